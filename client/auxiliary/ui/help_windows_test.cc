// The update check against a local HTTP server, the Help menu's addresses and manual, and the
// about box, on emulated computers in temporary directories. Nothing leaves the machine.
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "client/auxiliary/system_info.h"
#include "client/auxiliary/ui/about_window.h"
#include "client/auxiliary/ui/help_commands.h"
#include "client/auxiliary/ui/update_check_window.h"
#include "client/auxiliary/web_addresses.h"
#include "client/core/connection.h"
#include "client/i18n/messages.h"
#include "client/ui/qt_text.h"
#include "client/ui/testing/window_fixture.h"
#include "platform/code_page.h"
#include "platform/emulated/shell.h"
#include "tests/support/loopback.h"

namespace sentrel::client {
namespace {

// An HTTP server on 127.0.0.1 that answers every request with `body` (status `status`).
class LocalHttpServer {
 public:
  LocalHttpServer() {
    if (http_.port() == 0) qFatal("cannot listen on 127.0.0.1");
  }
  void Answer(int status, std::string body) {
    std::lock_guard<std::mutex> lock(mutex_);
    status_ = status;
    body_ = std::move(body);
  }
  QString url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(http_.port()); }
  std::string last_request() const {
    const std::vector<std::string> requests = http_.requests();
    return requests.empty() ? std::string()
                            : requests.back().substr(0, requests.back().find("\r\n"));
  }

 private:
  std::string Reply() {
    std::lock_guard<std::mutex> lock(mutex_);
    return "HTTP/1.1 " + std::to_string(status_) + " X\r\nContent-Type: text/xml\r\n" +
           "Content-Length: " + std::to_string(body_.size()) + "\r\nConnection: close\r\n\r\n" +
           body_;
  }

  std::mutex mutex_;
  int status_ = 200;
  std::string body_;
  testsupport::LoopbackHttpServer http_{[this](const std::string&) { return Reply(); }};
};

std::string UpdateDocument(int major, int minor, int build, bool beta) {
  return "<?xml version=\"1.0\"?><Update><ProductSKU>Sentrel</ProductSKU><VersionMajor>" +
         std::to_string(major) + "</VersionMajor><VersionMinor>" + std::to_string(minor) +
         "</VersionMinor><VersionBuild>" + std::to_string(build) +
         "</VersionBuild><InfoUrl>https://sentrel.brinmoor.com/EN/Download/</InfoUrl>"
         "<isBetaBuild>" +
         (beta ? "1" : "0") + "</isBetaBuild></Update>";
}

// The version resource every file of the computer reports.
class FixedVersionFiles : public platform::Files {
 public:
  explicit FixedVersionFiles(platform::Files& base) : base_(base) {}
  platform::Result FileExists(std::u16string_view path) override { return base_.FileExists(path); }
  platform::Result QueryFileVersion(std::u16string_view, platform::FixedFileInfo* info) override {
    info->product_version_ms = ms;
    info->product_version_ls = ls;
    return platform::kSuccess;
  }
  uint32_t ms = 0, ls = 0;

 private:
  platform::Files& base_;
};

// The client program's path as the test says; program starts are recorded, not run.
class FakeProcess : public platform::Process {
 public:
  explicit FakeProcess(platform::Process& base) : base_(base) {}
  platform::Result ProgramPath(std::u16string* path) override {
    *path = program;
    return platform::kSuccess;
  }
  platform::Result ShortPath(std::u16string_view path, std::u16string* out) override {
    return base_.ShortPath(path, out);
  }
  platform::PrivilegeResult EnableSecurityPrivilege() override {
    return base_.EnableSecurityPrivilege();
  }
  platform::Result SetCurrentThreadLowestPriority() override { return platform::kSuccess; }
  platform::Result SetProcessIdleClass() override { return platform::kSuccess; }
  void WriteToConsole(std::string_view) override {}
  platform::Result StartProcess(std::u16string_view command_line,
                                std::unique_ptr<platform::StartedProcess>*) override {
    started.push_back(ToQString(command_line));
    return platform::kSuccess;
  }
  std::u16string program;
  QStringList started;

 private:
  platform::Process& base_;
};

// A computer whose client program lies where `process.program` says; program starts are recorded.
struct ProgramComputer {
  ProgramComputer() { platform.process_ = &process; }
  std::unique_ptr<platform::RegKey> LocalMachine() {
    std::unique_ptr<platform::RegKey> hklm;
    (void)platform.registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm);
    return hklm;
  }
  // Creates `path` below HKEY_LOCAL_MACHINE with the text value `name` (if named).
  std::unique_ptr<platform::RegKey> SetText(std::u16string_view path, std::u16string_view name,
                                            std::u16string_view text) {
    std::unique_ptr<platform::RegKey> key;
    if (LocalMachine()->CreateKey(path, &key) != platform::kSuccess) return nullptr;
    if (!name.empty()) (void)platform::SetString(*key, name, text);
    return key;
  }

  testsupport::TempComputer computer;
  testing::MessageBoxWatcher boxes;
  FakeProcess process{computer.platform().process()};
  platform::OverlayPlatform platform{computer.platform()};
  ClientSession session{platform};
};

QStringList ShellOpened(platform::emulated::EmulatedPlatform& computer) {
  std::ifstream log(computer.machine().HostPath(platform::emulated::kShellOpenLog));
  std::stringstream text;
  text << log.rdbuf();
  return QString::fromStdString(text.str()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

class HelpWindowsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { SetCurrentLanguage(u"EN"); }
  void cleanup() { SetCurrentLanguage(u"EN"); }

  void UpdateCheck_data() {
    QTest::addColumn<QByteArray>("offered");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("download");
    auto doc = [](int major, int minor, int build, bool beta = false) {
      return QByteArray::fromStdString(UpdateDocument(major, minor, build, beta));
    };
    QTest::newRow("same") << doc(2, 0, 5) << "Version: 2.0.5" << QColor(Qt::black) << false;
    QTest::newRow("newer minor") << doc(2, 1, 1) << "Version: 2.1.1" << QColor(128, 0, 0) << true;
    QTest::newRow("newer major") << doc(3, 0, 1) << "Version: 3.0.1" << QColor(255, 0, 0) << true;
    QTest::newRow("beta") << doc(2, 1, 3, true) << "Version: 2.1.3 Beta" << QColor(128, 0, 0)
                          << true;
  }

  void UpdateCheck() {
    QFETCH(QByteArray, offered);
    QFETCH(QString, label);
    QFETCH(QColor, colour);
    QFETCH(bool, download);
    testing::WindowFixture fixture;
    LocalHttpServer server;
    server.Answer(200, offered.toStdString());
    FixedVersionFiles files(fixture.computer().files());
    files.ms = 2u << 16;  // running 2.0.5
    files.ls = 5;
    platform::OverlayPlatform platform(fixture.computer());
    platform.files_ = &files;
    ClientSession session(platform);
    QCOMPARE(session.connection().OpenClientSettings(), platform::kSuccess);
    QCOMPARE(session.registry().SaveRegString(session.connection().client_settings(),
                                              kUpdateServiceValue, ToU16(server.url()), false),
             platform::kSuccess);

    UpdateCheckWindow window(session, nullptr);
    window.show();
    auto* current = window.findChild<QLabel*>("lblCurrentVersion");
    QCOMPARE(current->text(), QStringLiteral("Version: 2.0.5"));
    auto* frame = window.findChild<QGroupBox*>("fraNewVersion");
    auto* link = window.findChild<QLabel*>("lblDownload");
    QVERIFY(!frame->isEnabled() && !link->isEnabled());
    QCOMPARE(window.findChild<QPushButton*>("cmdCancel")->text(), QStringLiteral("&Cancel"));

    window.findChild<QPushButton*>("cmdCheck")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.checking(), 20000);
    QCOMPARE(server.last_request(),
             std::string("GET /CheckUpdate.asp?ProductSKU=Sentrel HTTP/1.1"));
    QVERIFY(fixture.boxes().seen().isEmpty());
    QCOMPARE(window.findChild<QLabel*>("lblNewVersion")->text(), label);
    QCOMPARE(frame->palette().color(QPalette::WindowText), colour);
    QVERIFY(frame->isEnabled());
    QCOMPARE(link->isEnabled(), download);
    QCOMPARE(window.findChild<QPushButton*>("cmdCancel")->text(), QStringLiteral("Close"));
    if (download) {
      emit link->linkActivated(QStringLiteral("download"));
      QCOMPARE(ShellOpened(fixture.computer()).value(0),
               QStringLiteral("https://sentrel.brinmoor.com/EN/Download/"));
    }
  }

  // A broken document or no server: the box with the reason; the window stays usable.
  void FailedChecksLeaveTheWindowUsable() {
    testing::WindowFixture fixture;
    std::optional<LocalHttpServer> server(std::in_place);
    const QString url = server->url();
    server->Answer(200, "<Update><VersionMajor>5</VersionMinor></Update>");
    ClientSession session(fixture.computer());
    QCOMPARE(session.connection().OpenClientSettings(), platform::kSuccess);
    QCOMPARE(session.registry().SaveRegString(session.connection().client_settings(),
                                              kUpdateServiceValue, ToU16(url), false),
             platform::kSuccess);
    UpdateCheckWindow window(session, nullptr);
    window.show();
    auto* check = window.findChild<QPushButton*>("cmdCheck");

    check->click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.checking(), 20000);
    QTRY_COMPARE(fixture.boxes().seen().size(), 1);
    QCOMPARE(fixture.boxes().seen()[0].icon, QMessageBox::Critical);
    const QString broken = fixture.boxes().seen()[0].text;
    QVERIFY2(broken.startsWith(QStringLiteral("An Error occured while checking for new Update\n"
                                              "The update document could not be read: ")),
             qPrintable(broken));
    QVERIFY2(broken.contains(QStringLiteral("line 1")), qPrintable(broken));
    QVERIFY(check->isEnabled());
    QCOMPARE(window.findChild<QPushButton*>("cmdCancel")->text(), QStringLiteral("&Cancel"));

    server->Answer(404, "<html>Not here</html>");
    check->click();
    QTRY_COMPARE_WITH_TIMEOUT(fixture.boxes().seen().size(), 2, 20000);
    QVERIFY2(fixture.boxes().seen()[1].text.contains(QStringLiteral("HTTP status 404")),
             qPrintable(fixture.boxes().seen()[1].text));

    server.reset();  // nothing listens there any more
    check->click();
    QTRY_COMPARE_WITH_TIMEOUT(fixture.boxes().seen().size(), 3, 20000);
    QVERIFY2(fixture.boxes().seen()[2].text.contains(QStringLiteral("No connection")),
             qPrintable(fixture.boxes().seen()[2].text));
    QVERIFY(check->isEnabled());
    QVERIFY(!window.findChild<QGroupBox*>("fraNewVersion")->isEnabled());
  }

  // The Help entries open their addresses in the current language; the manual beside the client
  // opens, and a missing one gives its box.
  void HelpOpensTheRightAddresses() {
    testing::WindowFixture fixture;
    MainWindow& window = fixture.window();
    InstallHelpCommands(window);
    SetCurrentLanguage(u"DE");
    for (Command c : {Command::kHomepage, Command::kFaq, Command::kSeminars,
                      Command::kRequestSupport, Command::kMakerHome}) {
      QVERIFY(window.menu_action(c)->isEnabled());
      window.menu_action(c)->trigger();
    }
    QCOMPARE(
        ShellOpened(fixture.computer()),
        QStringList({"https://sentrel.brinmoor.com/DE", "https://sentrel.brinmoor.com/DE/FAQ/",
                     "https://www.brinmoor.com/common/DE/SeminarsOnline/",
                     "https://www.brinmoor.com/support/request/", "https://www.brinmoor.com/"}));
    QVERIFY(fixture.boxes().seen().isEmpty());
  }

  void Manual() {
    ProgramComputer p;
    p.process.program = u"C:\\Sentrel\\CFGVaskwell.exe";
    QVERIFY(p.SetText(kParametersPath, u"", u""));
    MainWindow window(p.session);
    InstallHelpCommands(window);
    window.Load();
    window.menu_action(Command::kManual)->trigger();
    QTRY_COMPARE(p.boxes.seen().size(), 1);
    QCOMPARE(p.boxes.seen()[0].text, QStringLiteral("Error 3 opening the Manual"));

    std::filesystem::create_directories(p.computer.dir() + "/drive_c/Sentrel/manual");
    std::ofstream(p.computer.dir() + "/drive_c/Sentrel/manual/manual.htm") << "<html></html>";
    window.menu_action(Command::kManual)->trigger();
    QCOMPARE(ShellOpened(p.computer.platform()),
             QStringList{QStringLiteral("C:\\Sentrel\\manual\\manual.htm")});
    QCOMPARE(p.boxes.seen().size(), 1);
  }

  // The service's version from the program file beside the client, or "Unknown Version".
  void AboutShowsTheVersions() {
    ProgramComputer p;
    p.process.program = ToU16(QStringLiteral(SENTREL_BIN_DIR "/CFGVaskwell"));
    {
      AboutWindow about(p.session, nullptr);
      QCOMPARE(about.findChild<QLabel*>("lblTitle")->text(),
               QStringLiteral("Brinmoor Sentrel Version: 5.4.166"));
      QCOMPARE(about.findChild<QLabel*>("lblVersion")->text(),
               QStringLiteral("Client Version 5.4.166"));
    }
    p.process.program = ToU16(QString::fromStdString(p.computer.dir() + "/CFGVaskwell"));
    SetCurrentLanguage(u"FR");
    AboutWindow about(p.session, nullptr);
    QCOMPARE(about.findChild<QLabel*>("lblTitle")->text(),
             QString::fromUtf8("Version de Brinmoor Sentrel\u00a0: Unknown Version"));
    QCOMPARE(about.windowTitle(), QString::fromUtf8("\u00c0 propos de Sentrel"));
  }

  // System Information: where Windows records it, else message 179.
  void SystemInformation() {
    ProgramComputer p;
    AboutWindow about(p.session, nullptr);
    auto* button = about.findChild<QPushButton*>("cmdSysInfo");

    button->click();
    QTRY_COMPARE(p.boxes.seen().size(), 1);
    QCOMPARE(p.boxes.seen()[0].text,
             QStringLiteral("System Information Is Unavailable At This Time"));

    QVERIFY(p.SetText(kSharedToolsLocationKey, u"MSINFO", u"C:\\Tools"));
    button->click();  // the folder is named, but the program is not there
    QTRY_COMPARE(p.boxes.seen().size(), 2);
    std::filesystem::create_directories(p.computer.dir() + "/drive_c/Tools");
    std::ofstream(p.computer.dir() + "/drive_c/Tools/MSINFO32.EXE") << "MZ";
    button->click();
    QCOMPARE(p.process.started, QStringList{QStringLiteral("\"C:\\Tools\\MSINFO32.EXE\"")});

    const auto msinfo =
        p.SetText(kMsInfoKey, u"PATH", u"C:\\Program Files\\Common Files\\msinfo32.exe");
    QVERIFY(msinfo);
    button->click();
    QCOMPARE(p.process.started.value(1),
             QStringLiteral("\"C:\\Program Files\\Common Files\\msinfo32.exe\""));
    QCOMPARE(p.boxes.seen().size(), 2);
    QCOMPARE(platform::SetDword(*msinfo, u"Number", 42), platform::kSuccess);
    QCOMPARE(GetKeyValue(p.platform, kMsInfoKey, u"Number"), std::optional<std::u16string>(u"42"));
  }
};

}  // namespace sentrel::client

QTEST_MAIN(sentrel::client::HelpWindowsTest)
#include "help_windows_test.moc"
