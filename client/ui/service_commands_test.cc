// The client on other computers and in control of the service, with the real vaskwell and the
// emulated service control manager: remote targets, the computer selection window and its
// browse, start, stop and restart, the first start's installation, and the uninstallation.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QThread>
#include <QtTest>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "client/core/service_installer.h"
#include "client/core/win_nt_services.h"
#include "client/ui/select_computer_window.h"
#include "client/ui/service_commands.h"
#include "client/ui/service_state_window.h"
#include "client/ui/testing/window_fixture.h"
#include "platform/emulated/service_manager.h"
#include "platform/emulated/sqlite_db.h"
#include "platform/text.h"

using namespace sentrel::client;
using platform::emulated::EmulatedPlatform;
using testing::MessageBoxWatcher;

namespace {

// Runs `action` on the first modal window of class T that appears (the computer selection).
template <class T>
void OnModal(std::function<void(T*)> action) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, action] {
    auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!window || !window->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    action(window);
  });
  timer->start(10);
}

std::string BinDir() {
  std::u16string folder;
  testsupport::TempComputer probe;
  if (ProgramFolder(probe.platform(), &folder) != platform::kSuccess) return {};
  return platform::Utf16ToUtf8(folder);
}

// Runs vaskwell with `option` on the computer in `dir`.
bool RunVaskwell(const std::string& dir, const char* option) {
  const std::string command =
      "NTBOX_MACHINE='" + dir + "' '" + BinDir() + "/vaskwell' " + option + " >/dev/null";
  return std::system(command.c_str()) == 0;
}

uint32_t StateOf(platform::Platform& computer, std::u16string_view on = u"") {
  const ServiceQuery q = QueryNTServiceState(computer, on, kServiceName);
  return q.error ? q.error : q.state;
}

// This computer (SRV1, version 5) with a main window and its service commands; the service
// program is the real vaskwell beside this test, unless a test names another folder.
class Client {
 public:
  explicit Client(bool installed = true) {
    qputenv("NTBOX_MACHINE", QByteArray::fromStdString(computer_.dir()));
    if (installed && !RunVaskwell(computer_.dir(), "-i")) qWarning("vaskwell -i failed");
  }
  ~Client() {
    // Nothing of a test may keep running on its computer.
    StopAndWait(computer());
    for (const auto& sibling : siblings_) StopAndWait(*sibling);
  }
  static void StopAndWait(platform::Platform& on) {
    (void)StopNTService(on, u"", kServiceName);
    for (int i = 0; i < 100; ++i) {
      const uint32_t state = StateOf(on);
      if (state != platform::kServiceRunning && state != platform::kServiceStopPending &&
          state != platform::kServiceStartPending) {
        return;
      }
      QTest::qWait(100);
    }
  }

  EmulatedPlatform& computer() { return computer_.platform(); }
  MessageBoxWatcher& boxes() { return boxes_; }
  EmulatedPlatform& AddSibling(const std::string& name, uint32_t major, bool installed) {
    auto options = testsupport::TempComputer::DefaultOptions();
    options.name = name;
    options.major_version = major;
    std::string error;
    const std::string dir = computer_.parent() + "/" + name;
    siblings_.push_back(EmulatedPlatform::Create(dir, options, &error));
    if (installed && !RunVaskwell(dir, "-i")) qWarning("vaskwell -i failed on %s", name.c_str());
    return *siblings_.back();
  }

  MainWindow& Open(std::u16string folder = platform::Utf8ToUtf16(BinDir())) {
    window_.reset();
    session_ = std::make_unique<ClientSession>(computer());
    window_ = std::make_unique<MainWindow>(*session_);
    commands_ = new ServiceCommands(*window_, folder);
    window_->Load();
    window_->show();
    return *window_;
  }
  MainWindow& window() { return *window_; }
  ServiceCommands& commands() { return *commands_; }

  QAction* Menu(Command c) { return window_->menu_action(c); }
  // Install, Uninstall, Stop, Start, Restart as the menu offers them, "10010" for example.
  QString Offered() {
    QString s;
    for (Command c : {Command::kInstall, Command::kUninstall, Command::kStop, Command::kStart,
                      Command::kRestart}) {
      s += Menu(c)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
      if (QAction* t = window_->toolbar_action(c)) {
        if (t->isEnabled() != Menu(c)->isEnabled()) s += QLatin1Char('!');
      }
    }
    return s;
  }
  QString Status() { return window_->findChild<QLabel*>(QStringLiteral("lblStatus"))->text(); }
  QString SleepTime() {
    return window_->findChild<QLineEdit*>(QStringLiteral("txtnSleep"))->text();
  }
  // Connects through the computer selection window, typing `name` and pressing Enter.
  void SelectComputer(const QString& name) {
    OnModal<SelectComputerWindow>([name](SelectComputerWindow* w) {
      auto* edit = w->findChild<QLineEdit*>(QStringLiteral("txtComputer"));
      edit->setText(name);
      QTest::keyClick(edit, Qt::Key_Return);
    });
    Menu(Command::kSelectComputer)->trigger();
  }

 private:
  testsupport::TempComputer computer_;
  std::vector<std::unique_ptr<EmulatedPlatform>> siblings_;
  MessageBoxWatcher boxes_;
  std::unique_ptr<ClientSession> session_;
  std::unique_ptr<MainWindow> window_;
  ServiceCommands* commands_ = nullptr;
};

// A network of many computers, read one entry per call with a short pause, so that a browse
// takes long enough for the user to act in the middle of it.
class SlowNetwork : public platform::NetworkBrowser {
 public:
  platform::Result OpenEnum(uint32_t, uint32_t, uint32_t, const platform::NetResource* container,
                            std::unique_ptr<platform::NetEnumeration>* out) override {
    if (container) return platform::kErrorNotContainer;
    *out = std::make_unique<Enumeration>(this);
    return platform::kSuccess;
  }
  static constexpr int kComputers = 2000;
  int read = 0;

 private:
  struct Enumeration : platform::NetEnumeration {
    explicit Enumeration(SlowNetwork* owner) : owner(owner) {}
    platform::Result Next(uint32_t* count, uint32_t*,
                          std::vector<platform::NetResource>* out) override {
      if (owner->read == kComputers) return platform::kErrorNoMoreItems;
      QThread::usleep(500);
      platform::NetResource r;
      r.display_type = platform::kResourceDisplayTypeServer;
      r.remote_name = u"\\PC" + platform::Utf8ToUtf16(std::to_string(owner->read++));
      out->push_back(r);
      *count = 1;
      return platform::kSuccess;
    }
    SlowNetwork* owner;
  };
};

}  // namespace

class ServiceCommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void aVersion4ComputerIsConfiguredAloneAndRemovedOnlyLocally() {
    Client c;
    EmulatedPlatform& nt4 = c.AddSibling("NT4", 4, /*installed=*/true);
    {
      std::unique_ptr<platform::RegKey> hklm, params;
      QCOMPARE(nt4.registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm), 0u);
      QCOMPARE(hklm->OpenKey(kParametersPath, platform::RegAccess::kReadWrite, &params), 0u);
      QCOMPARE(platform::SetDword(*params, u"nSleepTime", 7000), 0u);
    }
    c.Open();
    const auto local_before = testsupport::SnapshotKey(c.computer(), u"SYSTEM");

    c.SelectComputer(QStringLiteral("  \\\\NT4 "));
    QCOMPARE(c.Status(), QStringLiteral("Connected to: NT4"));
    QCOMPARE(c.SleepTime(), QStringLiteral("7000"));
    QTabWidget* tabs = c.window().tabs();
    QVERIFY(!tabs->isTabEnabled(5));
    QCOMPARE(c.Offered(), QStringLiteral("00010"));  // no Uninstall on another computer
    QVERIFY(c.boxes().seen().isEmpty());

    auto* sleep = c.window().findChild<QLineEdit*>(QStringLiteral("txtnSleep"));
    sleep->setText(QStringLiteral("6000"));
    QVERIFY(c.window().Apply());
    QCOMPARE(
        testsupport::SnapshotDword(testsupport::SnapshotKey(nt4, kParametersPath), "nSleepTime"),
        6000);
    const auto local_after = testsupport::SnapshotKey(c.computer(), u"SYSTEM");
    QVERIFY2(local_after == local_before,
             testsupport::DescribeChanges(local_before, local_after).c_str());
    // No key of a log that version 4 lacks was created there.
    QVERIFY(
        testsupport::SnapshotKey(nt4, std::u16string(kParametersPath) + u"\\DNS Server").empty());

    // The service there is controlled there.
    c.Menu(Command::kStart)->trigger();
    QCOMPARE(StateOf(nt4), platform::kServiceRunning);
    QCOMPARE(StateOf(c.computer()), platform::kServiceStopped);
    QCOMPARE(c.Offered(), QStringLiteral("00101"));

    c.SelectComputer(QStringLiteral("LOCALHOST"));
    QCOMPARE(c.Status(), QStringLiteral("Connected to: LOCALHOST"));
    QVERIFY(tabs->isTabEnabled(5));
    QCOMPARE(c.Offered(), QStringLiteral("01010"));
  }

  // Each failure's text is checked in the core; here the box and the return to this computer.
  void aFailedConnectionShowsItsBoxAndTheLocalConfiguration() {
    Client c;
    c.Open();
    const QString local_sleep = c.SleepTime();
    c.SelectComputer(QStringLiteral("NOSUCH"));
    QTRY_COMPARE(c.boxes().seen().size(), 1);
    QCOMPARE(c.boxes().seen()[0].text,
             QStringLiteral("Error, can't connect to NOSUCH.\nReverting back to local machine"));
    QCOMPARE(c.boxes().seen()[0].icon, QMessageBox::Critical);
    QCOMPARE(c.Status(), QStringLiteral("Connected to: LOCALHOST"));
    QCOMPARE(c.SleepTime(), local_sleep);
  }

  void theBrowseListsEveryComputerOnceAndCancelLeavesTheTarget() {
    Client c;
    c.AddSibling("SRV3", 5, false);
    c.AddSibling("SRV2", 5, false);
    c.Open();
    QStringList listed;
    OnModal<SelectComputerWindow>([&listed](SelectComputerWindow* w) {
      auto* list = w->findChild<QComboBox*>(QStringLiteral("cbComputerList"));
      QVERIFY(!w->list_filled());
      list->setFocus();
      QTRY_VERIFY(w->list_filled());
      for (int i = 0; i < list->count(); ++i) listed << list->itemText(i);
      // Focus away and back: no second browse.
      w->findChild<QLineEdit*>(QStringLiteral("txtComputer"))->setFocus();
      list->setFocus();
      QTest::qWait(50);
      QCOMPARE(list->count(), listed.size());
      list->setCurrentIndex(1);
      emit list->activated(1);
      QCOMPARE(w->findChild<QLineEdit*>(QStringLiteral("txtComputer"))->text(),
               QStringLiteral("\\\\SRV2"));
      w->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
    });
    c.Menu(Command::kSelectComputer)->trigger();
    QCOMPARE(listed, (QStringList{QStringLiteral("\\\\SRV1"), QStringLiteral("\\\\SRV2"),
                                  QStringLiteral("\\\\SRV3")}));
    QCOMPARE(c.Status(), QStringLiteral("Connected to: LOCALHOST"));
  }

  void aBrowseInProgressStopsForCancelAndForConnect() {
    testsupport::TempComputer computer;
    SlowNetwork network;
    platform::OverlayPlatform overlay(computer.platform());
    overlay.network_browser_ = &network;
    // A click on Cancel, then Enter on a typed name, while the list is still being read.
    for (bool cancel : {true, false}) {
      network.read = 0;
      QStringList connected;
      SelectComputerWindow select(
          overlay,
          [&](const std::u16string& name) { connected << QString::fromStdU16String(name); },
          nullptr);
      select.show();
      bool was_browsing = false;
      QTimer::singleShot(100, [&] {
        was_browsing = select.browsing();
        auto* edit = select.findChild<QLineEdit*>(QStringLiteral("txtComputer"));
        edit->setText(QStringLiteral(" \\\\SRV7 "));
        if (cancel) {
          select.findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
        } else {
          QTest::keyClick(edit, Qt::Key_Return);
          QVERIFY(connected.isEmpty());  // not from inside the browse
        }
      });
      select.FillComputerList();
      QVERIFY(was_browsing);
      QVERIFY(network.read < SlowNetwork::kComputers);
      QVERIFY(!select.list_filled());
      QCOMPARE(connected, cancel ? QStringList() : QStringList{QStringLiteral("SRV7")});
      QCOMPARE(select.result(), int(cancel ? QDialog::Rejected : QDialog::Accepted));
      QVERIFY(!select.isVisible());
    }
  }

  void startStopAndRestartFollowTheService() {
    Client c;
    c.Open();
    QCOMPARE(c.Offered(), QStringLiteral("01010"));
    c.Menu(Command::kStart)->trigger();
    QCOMPARE(StateOf(c.computer()), platform::kServiceRunning);
    QCOMPARE(c.Offered(), QStringLiteral("01101"));
    QVERIFY(!c.commands().state_window());  // closed after the start

    c.Menu(Command::kRestart)->trigger();
    QCOMPARE(StateOf(c.computer()), platform::kServiceRunning);
    QCOMPARE(c.Offered(), QStringLiteral("01101"));

    c.Menu(Command::kStop)->trigger();
    QCOMPARE(StateOf(c.computer()), platform::kServiceStopped);
    QCOMPARE(c.Offered(), QStringLiteral("01010"));
    // A stop of a stopped service: no box, the window closes, the commands stay.
    c.commands().Stop();
    QVERIFY(!c.commands().state_window());
    QCOMPARE(c.Offered(), QStringLiteral("01010"));
    QVERIFY(c.boxes().seen().isEmpty());
  }

  void aServiceThatNeverRunsIsReportedAfterTheLimit() {
    Client c(/*installed=*/false);
    {
      std::unique_ptr<platform::ServiceManagerHandle> scm;
      std::unique_ptr<platform::ServiceHandle> service;
      QCOMPARE(c.computer().service_manager().Open(u"", platform::kScManagerAllAccess, &scm), 0u);
      const std::u16string program = platform::Utf8ToUtf16(std::string("\"") + FAKE_SERVICE_PATH +
                                                           "\" \"Brinmoor Vaskwell\" "
                                                           "--stay-start-pending");
      QCOMPARE(scm->Create(kServiceName, u"", platform::kServiceAllAccess,
                           platform::kServiceWin32OwnProcess, platform::kServiceDemandStart,
                           platform::kServiceErrorNormal, program, u"", &service),
               0u);
      std::unique_ptr<platform::RegKey> hklm, key;
      QCOMPARE(c.computer().registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm), 0u);
      QCOMPARE(hklm->CreateKey(kParametersPath, &key), 0u);
    }
    c.Open();
    QElapsedTimer clock;
    clock.start();
    ServiceStateWindow* progress = nullptr;
    int progress_seen = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      progress = c.commands().state_window();
      if (progress) {
        progress_seen = std::max(
            progress_seen, progress->findChild<QProgressBar*>(QStringLiteral("pbMain"))->value());
      }
    });
    watch.start(200);
    c.Menu(Command::kStart)->trigger();
    const qint64 took = clock.elapsed();
    QVERIFY2(took > 14000 && took < 25000, qPrintable(QString::number(took)));
    QVERIFY(progress_seen > 100);
    QCOMPARE(c.boxes().seen().size(), 1);
    QCOMPARE(c.boxes().seen()[0].text,
             QStringLiteral("The Sentrel Service is not Responding. \nAction could not be "
                            "completed."));
    QCOMPARE(c.Offered(), QStringLiteral("01010"));
    // A start-pending service takes no stop (as on Windows): end its process, or it outlives the
    // test and the clean-up waits for it in vain.
    platform::emulated::Database& db = c.computer().machine().db();
    platform::emulated::Transaction t(db, platform::emulated::Transaction::kRead);
    platform::emulated::Statement pid(db, "SELECT pid FROM svc_status WHERE name_upper = ?");
    QVERIFY(pid.Bind(1, platform::emulated::ServiceFileName(kServiceName)).Step());
    QCOMPARE(kill(static_cast<pid_t>(pid.Int(0)), SIGKILL), 0);
  }

  // The first start installs the service, once (and reads what the installer wrote): after
  // Uninstall (which stops the service and ends the client) the next start shows the hint, runs
  // no installer and offers only Install, which brings the service back.
  void theFirstStartInstallsOnceAndTheMenuUninstallsAndInstalls() {
    Client c(/*installed=*/false);
    c.Open();
    QCOMPARE(c.SleepTime(), QStringLiteral("5000"));  // read after the installation
    QCOMPARE(c.Offered(), QStringLiteral("01010"));
    QVERIFY(c.boxes().seen().isEmpty());

    c.Menu(Command::kStart)->trigger();
    QCOMPARE(StateOf(c.computer()), platform::kServiceRunning);
    QSignalSpy ended(&c.window(), &MainWindow::Ended);
    c.Menu(Command::kUninstall)->trigger();
    QCOMPARE(ended.count(), 1);
    QCOMPARE(c.boxes().seen().size(), 1);
    QVERIFY(c.boxes().seen()[0].text.startsWith(QStringLiteral("Started service uninstaller.")));
    QCOMPARE(StateOf(c.computer()), platform::kErrorServiceDoesNotExist);

    c.boxes().clear();
    c.Open();
    QCOMPARE(c.boxes().seen().size(), 1);
    QVERIFY(c.boxes().seen()[0].text.startsWith(QStringLiteral("Can't open Parameters key.")));
    QCOMPARE(c.boxes().seen()[0].icon, QMessageBox::NoIcon);
    QCOMPARE(c.Offered(), QStringLiteral("10000"));
    c.boxes().clear();
    c.Menu(Command::kInstall)->trigger();
    QCOMPARE(c.boxes().seen().size(), 1);
    QVERIFY(c.boxes().seen()[0].text.startsWith(QStringLiteral("Started service installer.")));
    QCOMPARE(c.SleepTime(), QStringLiteral("5000"));
    QCOMPARE(c.Offered(), QStringLiteral("01010"));
  }

  void aServiceProgramThatCannotStartIsReported() {
    Client c(/*installed=*/false);
    testsupport::TempDir empty;
    QElapsedTimer clock;
    clock.start();
    c.Open(platform::Utf8ToUtf16(empty.path()));
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(c.boxes().seen().size(), 1);
    QVERIFY(c.boxes().seen()[0].text.startsWith(
        QStringLiteral("The service program could not be started:\n\"")));
    QCOMPARE(c.boxes().seen()[0].icon, QMessageBox::Critical);
    QCOMPARE(c.Offered(), QStringLiteral("10000"));
  }

  void closingDuringAWaitIsDeferred() {
    Client c;
    c.Open();
    bool closed_inside = false;
    QTimer::singleShot(50, [&] {
      c.window().close();
      closed_inside = c.window().ended();
    });
    c.Menu(Command::kStart)->trigger();
    QVERIFY(!closed_inside);      // the wait was still running
    QVERIFY(c.window().ended());  // and the client ended after it
  }
};

QTEST_MAIN(ServiceCommandsTest)
#include "service_commands_test.moc"
