// Helpers of the Qt tests of the client's windows: a main window on a fresh emulated computer in
// a temporary directory, controls found by objectName, the registry read back, and a watcher that
// answers the modal message boxes the window shows.
#ifndef CLIENT_UI_TESTING_WINDOW_FIXTURE_H_
#define CLIENT_UI_TESTING_WINDOW_FIXTURE_H_

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <memory>
#include <string>

#include "client/core/client_session.h"
#include "client/ui/main_window.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/test_platform.h"

namespace sentrel::client::testing {

// Answers every modal message box with `answer` and keeps what it showed.
class MessageBoxWatcher : public QObject {
 public:
  struct Seen {
    QMessageBox::Icon icon;
    QString text;
  };

  explicit MessageBoxWatcher(QMessageBox::StandardButton answer = QMessageBox::Ok)
      : answer_(answer) {
    connect(&timer_, &QTimer::timeout, this, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      seen_.append({box->icon(), box->text()});
      QAbstractButton* button = box->button(answer_);
      if (!button) button = box->buttons().value(0);
      button->click();
    });
    timer_.start(10);
  }
  void set_answer(QMessageBox::StandardButton answer) { answer_ = answer; }
  const QList<Seen>& seen() const { return seen_; }
  void clear() { seen_.clear(); }

 private:
  QTimer timer_;
  QMessageBox::StandardButton answer_;
  QList<Seen> seen_;
};

// A computer with the service's Parameters key (unless `installed` is false) and a main window
// on it, loaded and shown. Every message box is answered (by boxes(), OK unless set otherwise),
// so a test never waits for a user.
class WindowFixture {
 public:
  explicit WindowFixture(uint32_t major = 5, bool installed = true) : computer_(Options(major)) {
    if (installed) CreateParameters();
  }

  static platform::emulated::ComputerOptions Options(uint32_t major) {
    auto options = testsupport::TempComputer::DefaultOptions();
    options.major_version = major;
    return options;
  }

  platform::emulated::EmulatedPlatform& computer() { return computer_.platform(); }
  MessageBoxWatcher& boxes() { return boxes_; }

  void CreateParameters() {
    std::unique_ptr<platform::RegKey> key;
    (void)Root()->CreateKey(kParametersPath, &key);
  }
  std::unique_ptr<platform::RegKey> Root() {
    std::unique_ptr<platform::RegKey> hklm;
    (void)computer().registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm);
    return hklm;
  }
  // Sets a value below Parameters ("" for Parameters itself) behind the window's back.
  void SetDword(std::u16string_view subkey, std::u16string_view name, uint32_t value) {
    std::u16string path = kParametersPath;
    if (!subkey.empty()) path += u"\\" + std::u16string(subkey);
    std::unique_ptr<platform::RegKey> key;
    if (Root()->CreateKey(path, &key) == platform::kSuccess) {
      (void)platform::SetDword(*key, name, value);
    }
  }
  testsupport::RegistrySnapshot Snapshot() {
    return testsupport::SnapshotKey(computer(), kParametersPath);
  }

  // The window, made and loaded on first use.
  MainWindow& window() {
    if (!window_) {
      session_ = std::make_unique<ClientSession>(computer());
      window_ = std::make_unique<MainWindow>(*session_);
      window_->Load();
      window_->show();
      window_->activateWindow();
      (void)QTest::qWaitForWindowActive(window_.get());
    }
    return *window_;
  }
  ClientSession& session() {
    window();
    return *session_;
  }

  template <class T>
  T* Find(const QString& name) {
    T* widget = window().findChild<T*>(name);
    if (!widget) qWarning("no control %s", qPrintable(name));
    return widget;
  }
  QLineEdit* Edit(const QString& name) { return Find<QLineEdit>(name); }
  QCheckBox* Check(const QString& name) { return Find<QCheckBox>(name); }
  QComboBox* List(const QString& name) { return Find<QComboBox>(name); }
  // A user's click (nothing happens on a disabled control).
  void Click(const QString& name) { Find<QAbstractButton>(name)->click(); }
  // Selects a list entry by its text, as a user's choice does.
  void Choose(const QString& name, const QString& text) {
    QComboBox* list = List(name);
    list->setCurrentIndex(list->findText(text));
  }
  // Replaces a box's text by typing.
  void Type(const QString& name, const QString& text) {
    QLineEdit* edit = Edit(name);
    edit->setFocus();
    edit->selectAll();
    if (text.isEmpty()) QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
  }

 private:
  testsupport::TempComputer computer_;
  MessageBoxWatcher boxes_;
  std::unique_ptr<ClientSession> session_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace sentrel::client::testing

#endif  // CLIENT_UI_TESTING_WINDOW_FIXTURE_H_
