// client_screenshots OUT_DIR: writes PNG pictures of CFGVaskwell's main window (each of its seven
// tabs, and the tabs of a version 4 computer), of the filter rule editor with rules, and of the
// message boxes a user meets most, as the client shows them, on emulated computers made for the
// purpose in a temporary directory; then the first-start window, and every window in each of the
// five languages (OUT_DIR/EN, /DE, ...).
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QTabWidget>
#include <QTableWidget>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "client/auxiliary/ui/about_window.h"
#include "client/auxiliary/ui/update_check_window.h"
#include "client/auxiliary/update_fetch.h"
#include "client/auxiliary/web_addresses.h"
#include "client/core/client_session.h"
#include "client/core/service_control.h"
#include "client/core/service_installer.h"
#include "client/i18n/languages.h"
#include "client/i18n/messages.h"
#include "client/i18n/ui/options_window.h"
#include "client/i18n/ui/splash_window.h"
#include "client/ruleeditor/window/frm_advanced.h"
#include "client/ruleeditor/window/rule_editor_link.h"
#include "client/ui/main_window.h"
#include "client/ui/message_box.h"
#include "client/ui/qt_text.h"
#include "client/ui/select_computer_window.h"
#include "client/ui/service_state_window.h"
#include "platform/emulated/emulated_platform.h"

namespace {

using namespace sentrel::client;
using platform::emulated::EmulatedPlatform;

std::unique_ptr<EmulatedPlatform> MakeComputer(const std::string& dir, const char* name,
                                               uint32_t major) {
  platform::emulated::ComputerOptions options;
  options.name = name;
  options.major_version = major;
  options.seed = false;
  options.time_zone = "UTC";
  std::string error;
  auto computer = EmulatedPlatform::Create(dir + "/" + name, options, &error);
  if (!computer) std::fprintf(stderr, "client_screenshots: %s\n", error.c_str());
  return computer;
}

// A configuration that shows a little of everything: written through the client's own save.
void Configure(ClientSession& session) {
  (void)session.ResetToDefaults();
  Settings& s = session.settings();
  s.global.target = u"syslog.example.net";
  s.global.backup_enabled = true;
  s.global.target2 = u"10.0.0.2";
  s.global.protocol_backup.SelectData(1);
  s.global.sleep_time.text = u"5000";
  LogSettings& system = s.log(ClientLog::kSystem);
  system.mail_delivery.ticked = true;
  system.smtp_server = u"mail.example.net";
  system.smtp_recipient = u"admin@example.net";
  system.smtp_subject = u"Event %i on %s";
  system.facility.SelectData(24);
  s.log(ClientLog::kSecurity).last_record.text = u"1234";
  LogSettings& application = s.log(ClientLog::kApplication);
  application.types.bits = 2 | 4;
  (void)session.WriteRegValues();
}

// Filter rules for the System log, saved as the editor's OK and Apply would save them, and event
// sources for the editor's list.
void ConfigureRules(ClientSession& session) {
  FilterRuleStore store;
  session.set_filter_rules_io(&store);
  session.ReadRegValues();
  auto rule = [](const char16_t* action, const char16_t* source, const char16_t* id,
                 const char16_t* type, const char16_t* user) {
    FilterRuleTexts r;
    r.Set(RuleField::kAction, action);
    r.Set(RuleField::kEventSource, source);
    r.Set(RuleField::kEventID, id);
    r.Set(RuleField::kEventType, type);
    r.Set(RuleField::kUserName, user);
    return r;
  };
  store.Confirm(ClientLog::kSystem,
                {rule(u"4", u"Service Control Manager", u"7036", u"8", u""),
                 rule(u"0", u"Service Control Manager", u"", u"8", u""),
                 rule(u"6", u"", u"", u"2", u""), rule(u"2", u"", u"", u"", u"SRV1\\backup")});
  session.settings().log(ClientLog::kSystem).filter_rules = true;
  (void)session.WriteRegValues();
  session.set_filter_rules_io(nullptr);
  std::unique_ptr<platform::RegKey> hklm, source;
  if (session.platform().registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm) !=
      platform::kSuccess) {
    return;
  }
  for (const char16_t* name : {u"Service Control Manager", u"EventLog", u"Tcpip"}) {
    // A source that could not be made only leaves the editor's list in the picture shorter.
    (void)hklm->CreateKey(EventSourcesPath(ClientLog::kSystem) + u"\\" + name, &source);
  }
}

bool Save(QWidget* widget, const QString& dir, const char* name) {
  QApplication::processEvents();
  const QString path = dir + QLatin1Char('/') + QString::fromLatin1(name) + QStringLiteral(".png");
  if (!widget->grab().save(path)) {
    std::fprintf(stderr, "client_screenshots: cannot write %s\n", path.toUtf8().constData());
    return false;
  }
  std::printf("%s\n", path.toUtf8().constData());
  return true;
}

bool SaveBox(QWidget* parent, const QString& dir, const char* name, const UserMessage& message,
             QMessageBox::StandardButtons buttons = QMessageBox::Ok) {
  auto box = MakeMessageBox(parent, message, buttons);
  box->setWindowModality(Qt::NonModal);
  box->show();
  const bool ok = Save(box.get(), dir, name);
  box->close();
  return ok;
}

// The windows of the client in one language, into OUT_DIR/<code>/: the main window's tabs, the
// options window, the rule editor, the computer selection, the progress of a service
// installation and the message boxes above.
bool ShootLanguage(ClientSession& session, const QString& out, std::u16string_view code) {
  SetCurrentLanguage(code);
  const QString dir = out + QLatin1Char('/') + ToQString(code);
  QDir().mkpath(dir);
  bool ok = true;
  MainWindow window(session);
  InstallLanguageCommands(window);
  auto* rules = new RuleEditorLink(window);
  window.Load();
  window.show();
  const char* tabs[] = {"main_general",   "main_system", "main_security",       "main_application",
                        "main_directory", "main_dns",    "main_filereplication"};
  for (int i = 0; i < window.tabs()->count(); ++i) {
    window.tabs()->setCurrentIndex(i);
    ok &= Save(&window, dir, tabs[i]);
  }
  window.tabs()->setCurrentIndex(0);
  window.menu_action(Command::kOptions)->trigger();
  if (auto* options = window.findChild<OptionsWindow*>()) {
    ok &= Save(options, dir, "options");
    options->close();
  }
  {
    FrmAdvanced editor(session, rules->store(), ClientLog::kSystem, &window);
    editor.show();
    editor.findChild<QTableWidget*>(QStringLiteral("MSFlexGridFR"))->selectRow(1);
    ok &= Save(&editor, dir, "advanced");
  }
  {
    AboutWindow about(session, &window);
    about.show();
    ok &= Save(&about, dir, "about");
  }
  {
    UpdateCheckWindow check(session, &window);
    check.show();
    ok &= Save(&check, dir, "update_check");
    check.ShowOffered({u"Sentrel", {6, 0, 12}, std::u16string(kProductSite), true});
    ok &= Save(&check, dir, "update_check_newer");
    ok &= SaveBox(&check, dir, "box_update_failed",
                  UpdateErrorMessage(UnreadableDocumentText(
                      u"Opening and ending tag mismatch. (line 1, column 33)")));
  }
  {
    SelectComputerWindow select(
        session.platform(), [](const std::u16string&) {}, &window);
    select.setWindowModality(Qt::NonModal);
    select.show();
    select.findChild<QLineEdit*>(QStringLiteral("txtComputer"))->setText(QStringLiteral("SRV3"));
    ok &= Save(&select, dir, "select_computer");
  }
  {
    ServiceStateWindow progress(&window);
    progress.ShowAction(205, u"LOCALHOST");
    progress.SetProgress(60);
    ok &= Save(&progress, dir, "service_state");
    progress.Finish();
  }
  InstallerRun late;
  late.outcome = InstallerRun::Outcome::kTimedOut;
  late.command_line = u"\"C:\\Program Files\\Sentrel\\vaskwell.exe\" -i";
  if (auto box = InstallerFailureMessage(session.platform(), late)) {
    ok &= SaveBox(&window, dir, "box_installer_late", *box);
  }
  ok &= SaveBox(&window, dir, "box_reset", {MessageIcon::kWarning, GetMessageText(193)},
                QMessageBox::Ok | QMessageBox::Cancel);
  ok &= SaveBox(&window, dir, "box_not_installed", {MessageIcon::kNone, GetMessageText(173)});
  ok &= SaveBox(&window, dir, "box_access_denied",
                {MessageIcon::kCritical, GetMessageText(181) + u" " + GetMessageText(2027) +
                                             u".\r\n" + GetMessageText(2028)});
  window.close();
  return ok;
}

// The first-start window in its two forms (fixed English texts).
bool ShootSplash(const QString& out) {
  bool ok = true;
  for (auto [prompt, name] : {std::pair{LanguagePrompt::kFirstTime, "splash_first_time"},
                              std::pair{LanguagePrompt::kNotFound, "splash_not_found"}}) {
    auto* splash = new SplashWindow(prompt);
    splash->show();
    ok &= Save(splash, out, name);
    splash->close();
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: client_screenshots OUT_DIR\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  std::string temp = (std::filesystem::temp_directory_path() / "sentrel-shots-XXXXXX").string();
  if (!mkdtemp(temp.data())) return 1;
  bool ok = true;
  {
    auto computer = MakeComputer(temp, "SRV1", 5);
    auto nt4 = MakeComputer(temp, "NT4", 4);
    if (!computer || !nt4) return 1;

    ClientSession session(*computer);
    Configure(session);
    ConfigureRules(session);
    MainWindow window(session);
    RuleEditorLink rules(window);
    window.Load();
    window.show();
    const char* tabs[] = {"main_general",        "main_system",    "main_security",
                          "main_application",    "main_directory", "main_dns",
                          "main_filereplication"};
    for (int i = 0; i < window.tabs()->count(); ++i) {
      window.tabs()->setCurrentIndex(i);
      ok &= Save(&window, out, tabs[i]);
    }

    {
      FrmAdvanced editor(session, rules.store(), ClientLog::kSystem, &window);
      editor.show();
      editor.findChild<QTableWidget*>(QStringLiteral("MSFlexGridFR"))->selectRow(1);
      ok &= Save(&editor, out, "advanced_rule_shown");
      editor.findChild<QAction*>(QStringLiteral("mnuInsertNew"))->trigger();
      ok &= Save(&editor, out, "advanced_rule_inserted");
    }

    ClientSession old_session(*nt4);
    (void)old_session.ResetToDefaults();
    MainWindow old_window(old_session);
    old_window.Load();
    old_window.show();
    old_window.tabs()->setCurrentIndex(3);
    ok &= Save(&old_window, out, "main_version4");

    // The computer selection after its browse, and the progress of a service start.
    {
      SelectComputerWindow select(
          *computer, [](const std::u16string&) {}, &window);
      select.setWindowModality(Qt::NonModal);
      select.show();
      select.FillComputerList();
      select.findChild<QLineEdit*>(QStringLiteral("txtComputer"))->setText(QStringLiteral("NT4"));
      ok &= select.list_filled() && Save(&select, out, "select_computer");
      auto* list = select.findChild<QComboBox*>(QStringLiteral("cbComputerList"));
      list->showPopup();
      QApplication::processEvents();
      if (QWidget* popup = list->view()->window()) ok &= Save(popup, out, "select_computer_list");
      list->hidePopup();
    }
    {
      ServiceStateWindow progress(&window);
      progress.ShowAction(203, u"LOCALHOST");
      progress.SetProgress(20);
      ok &= Save(&progress, out, "service_state");
      progress.Finish();
    }
    ok &= SaveBox(&window, out, "box_remote_failed",
                  session.CreateKeyHandles(u"NOSUCH").messages.front());
    ok &= SaveBox(
        &window, out, "box_not_responding",
        *ViewOfServiceState({platform::kSuccess, platform::kServiceStartPending}, true).message);
    ok &= SaveBox(&window, out, "box_reset", {MessageIcon::kWarning, GetMessageText(193)},
                  QMessageBox::Ok | QMessageBox::Cancel);
    ok &= SaveBox(&window, out, "box_not_installed", {MessageIcon::kNone, GetMessageText(173)});
    // The boxes the core builds, from the situations that lead to them.
    session.settings().global.sleep_time.text = u"4294967296";
    ok &=
        SaveBox(&window, out, "box_invalid_number", ValidateSettings(session.settings())->message);
    session.settings().global.sleep_time.text = session.settings().global.sleep_time.shown;
    std::unique_ptr<platform::RegKey> hklm;
    if (computer->registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm) ==
            platform::kSuccess &&
        platform::DeleteKeyTree(*hklm, kParametersPath) == platform::kSuccess) {
      const WriteResult failed = session.WriteRegValues();
      if (failed.failure) ok &= SaveBox(&window, out, "box_save_failed", *failed.failure);
      (void)computer->emulated_registry().SetAccessDenied(
          platform::RegRoot::kLocalMachine, u"SYSTEM\\CurrentControlSet\\Services", true);
      ClientSession denied(*computer);
      const ConnectResult refused = denied.CreateKeyHandles(u"");
      if (!refused.messages.empty()) {
        ok &= SaveBox(&window, out, "box_access_denied", refused.messages.front());
      }
    }
    ok &= ShootSplash(out);
    // A computer of their own: the boxes above took this one's configuration away.
    auto languages = MakeComputer(temp, "SRV2", 5);
    if (!languages) return 1;
    ClientSession languages_session(*languages);
    Configure(languages_session);
    ConfigureRules(languages_session);
    for (const Language& language : kLanguages) {
      ok &= ShootLanguage(languages_session, out, language.code);
    }
    SetCurrentLanguage(kEnglishCode);
  }
  std::error_code ignored;
  std::filesystem::remove_all(temp, ignored);
  return ok ? 0 : 1;
}
