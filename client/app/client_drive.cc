// client_drive: edits the configuration through CFGVaskwell's main window without a user, for
// end-to-end tests. Loads the window on the computer the platform names (NTBOX_MACHINE), then
// carries out each argument in order, driving the controls by their objectName:
//
//   NAME=VALUE   a text box gets VALUE as if typed; a list selects the entry whose text is
//                VALUE (an editable list without such an entry gets VALUE typed); a check box is
//                ticked by 1 and unticked by 0; a grid selects its row VALUE (counted from 1)
//   NAME         a button is clicked, a menu or toolbar action triggered
//
// While a modal window is open (the filter rule editor, after its log's Advanced button), the
// arguments drive that window.
//
// Every message box that appears is printed to standard error and answered with its default
// button. Exit code 0 when every argument could be carried out and no box appeared, 1 when a box
// appeared, 2 for a control that does not exist or an unusable value.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "client/core/client_session.h"
#include "client/ruleeditor/window/rule_editor_link.h"
#include "client/ui/main_window.h"
#include "platform/platform.h"

namespace {

using sentrel::client::MainWindow;

bool boxes_seen = false;

// Answers every message box with its default button, after printing it.
void WatchMessageBoxes(QObject* owner) {
  auto* timer = new QTimer(owner);
  QObject::connect(timer, &QTimer::timeout, owner, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    boxes_seen = true;
    std::fprintf(stderr, "client_drive: message box: %s\n", box->text().toUtf8().constData());
    QAbstractButton* button = box->defaultButton();
    if (!button) button = box->buttons().value(0);
    if (button) button->click();
  });
  timer->start(20);
}

bool SetValue(QWidget& window, const QString& name, const QString& value) {
  if (auto* edit = window.findChild<QLineEdit*>(name)) {
    edit->setFocus();
    edit->selectAll();
    edit->insert(value);
    return edit->text() == value;
  }
  if (auto* combo = window.findChild<QComboBox*>(name)) {
    const int index = combo->findText(value);
    if (index < 0 && combo->isEditable()) {
      combo->lineEdit()->selectAll();
      combo->lineEdit()->insert(value);
      return combo->currentText() == value;
    }
    if (index < 0) return false;
    combo->setCurrentIndex(index);
    emit combo->activated(index);  // as a user's choice
    return true;
  }
  if (auto* grid = window.findChild<QTableWidget*>(name)) {
    bool ok = false;
    const int row = value.toInt(&ok);
    if (!ok || row < 1 || row > grid->rowCount()) return false;
    grid->selectRow(row - 1);
    return true;
  }
  if (auto* box = window.findChild<QCheckBox*>(name)) {
    if (value != QLatin1String("0") && value != QLatin1String("1")) return false;
    box->setChecked(value == QLatin1String("1"));
    return true;
  }
  return false;
}

bool Activate(QWidget& window, const QString& name) {
  if (auto* button = window.findChild<QAbstractButton*>(name)) {
    if (!button->isEnabled()) return false;
    button->click();
    return true;
  }
  if (auto* action = window.findChild<QAction*>(name)) {
    if (!action->isEnabled()) return false;
    action->trigger();
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::string error;
  std::unique_ptr<platform::Platform> host = platform::OpenHostPlatform(&error);
  if (!host) {
    std::fprintf(stderr, "client_drive: %s\n", error.c_str());
    return 2;
  }
  sentrel::client::ClientSession session(*host);
  MainWindow window(session);
  sentrel::client::RuleEditorLink rules(window);
  WatchMessageBoxes(&window);
  window.Load();
  window.show();
  // Each argument runs from the event loop, and the next one is queued before it runs: an
  // argument that opens a modal window returns only when that window closes, and the arguments
  // after it drive that window meanwhile.
  int next = 1;
  bool failed = false;
  std::function<void()> step = [&] {
    if (failed) return;
    QWidget* modal = QApplication::activeModalWidget();
    if (qobject_cast<QMessageBox*>(modal)) {  // the watcher answers it first
      QTimer::singleShot(30, &window, step);
      return;
    }
    if (next >= argc) {
      QApplication::exit(boxes_seen ? 1 : 0);
      return;
    }
    const char* raw = argv[next++];
    QTimer::singleShot(0, &window, step);
    QWidget& target = modal ? *modal : static_cast<QWidget&>(window);
    const QString arg = QString::fromLocal8Bit(raw);
    const qsizetype equals = arg.indexOf(QLatin1Char('='));
    const bool ok = equals < 0 ? Activate(target, arg)
                               : SetValue(target, arg.left(equals), arg.mid(equals + 1));
    if (!ok) {
      std::fprintf(stderr, "client_drive: cannot carry out '%s'\n", raw);
      failed = true;
      QApplication::exit(2);
    }
  };
  QTimer::singleShot(0, &window, step);
  return QApplication::exec();
}
