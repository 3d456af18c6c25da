// frmMain, the client's main window: the General tab and six log tabs (SSTab), the menu bar,
// the toolbar TBMain, the status bar STBMain and the buttons OK, Cancel and Apply. It shows and
// edits the settings record of a ClientSession; every rule that needs no widget is in the core.
//
// Commands of the menus and the toolbar are QActions (menu_action / toolbar_action). An action is
// enabled when it has a handler and the window's state allows it: the ones this window carries
// out itself have theirs; the service control, computer selection, options, about, update and
// help commands get theirs through SetCommandHandler from the code that implements them, and are
// disabled until then.
#ifndef CLIENT_UI_MAIN_WINDOW_H_
#define CLIENT_UI_MAIN_WINDOW_H_

#include <array>
#include <functional>
#include <map>

#include <QMainWindow>

#include "client/core/client_session.h"
#include "client/ui/language_window.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTabWidget;
class QToolBar;

namespace sentrel::client {

class GeneralTab;
class LogTab;

enum class Command {
  kOk,              // toolbar "OK"
  kSave,            // toolbar "Save" (Apply)
  kCancel,          // toolbar "Cancel"
  kReload,          // toolbar "Reload"
  kReset,           // menu and toolbar "Reset to default"
  kAbout,           // menu and toolbar
  kUpdate,          // menu and toolbar "Update Check"
  kStart,           // menu and toolbar: start the service
  kStop,            // menu and toolbar
  kRestart,         // menu and toolbar
  kOptions,         // menu File
  kSelectComputer,  // menu File
  kQuit,            // menu File
  kInstall,         // menu Service
  kUninstall,       // menu Service
  kManual,          // menu Help
  kFaq,
  kSeminars,
  kHomepage,
  kMakerHome,
  kRequestSupport,
};

class MainWindow : public QMainWindow, public LanguageWindow {
  Q_OBJECT

 public:
  // `session` must outlive the window.
  explicit MainWindow(ClientSession& session, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The window's load: connects to this computer, reads every setting, applies the texts.
  void Load();

  ClientSession& session() { return session_; }
  GeneralTab* general_tab() { return general_; }
  LogTab* log_tab(ClientLog log) { return logs_[LogPosition(log)]; }
  QTabWidget* tabs() { return tabs_; }

  // --- Seams for the other parts of the client ---
  // The action of a command in the menu bar or the toolbar (null where it has none).
  QAction* menu_action(Command command) const;
  QAction* toolbar_action(Command command) const;
  // Gives a command its handler (both places) and enables it where the state allows.
  void SetCommandHandler(Command command, std::function<void()> handler);
  // Allows or forbids a command's action in one place (the service state decides Start and
  // Stop, for example); a forbidden or handler-less action is disabled.
  void SetActionAllowed(QAction* action, bool allowed);

  // Applies a CreateKeyHandles outcome: its boxes, then the success steps (status bar, OK,
  // Apply and the tabs enabled, the tabs of the target's version) or the disabled state.
  void HandleConnectResult(const ConnectResult& result);
  // The configuration cannot be edited (no access, service not installed).
  void DisableConfiguration();
  // Service not installed: `message` is the box to show (173 at the window's load). The handler
  // set with SetEnsureServiceInstalledHandler does it (the first start installs the service);
  // without one the window only shows the box.
  void EnsureServiceInstalled(int message);
  void SetEnsureServiceInstalledHandler(std::function<void(int message)> handler) {
    ensure_installed_ = std::move(handler);
  }

  // A wait that lets window messages run (service polling, browse, installer) is under way.
  // While one is, ending the client is deferred until the last wait is over; end_requested()
  // tells a wait to cancel itself.
  void BeginWait() { ++waits_; }
  void EndWait();
  bool end_requested() const { return end_requested_; }
  // Reads every setting again and shows it (toolbar "Reload", after a new connection).
  void ReloadSettings();
  // Shows the record in every tab.
  void ShowSettings();
  // Initiate_Language_settings: the language's font, every caption, tool tip and list entry in
  // the current language, and the minimum size of that language.
  void InitiateLanguageSettings() override;

  // Apply: writes the settings; a failure shows its box and answers false.
  bool Apply();
  // OK: Apply, and end the client when it succeeded.
  void Ok();
  // Reset to default, after the user's confirmation.
  void ResetToDefaults();
  // Ends the client without saving (Cancel, Quit, closing the window).
  void End();
  bool ended() const { return ended_; }

 signals:
  // The client ends (the window closes).
  void Ended();
  // A connection succeeded (the service state display follows it).
  void TargetConnected();
  // The configuration cannot be edited (no access, or the service is not installed); of the
  // service commands only Install Service is offered, and that only when `install` is true.
  void ConfigurationDisabled(bool install);
  // A log's "Advanced" button: the filter rule editor for that log.
  void AdvancedRequested(ClientLog log);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void MakeTabs();
  void MakeButtons();
  void MakeMenus();
  void MakeToolBar();
  QMenu* AddMenu(const char* name, int caption);
  // Names the action and ties it to its command and caption (menu entry or toolbar button).
  void AddCommandAction(QAction* action, Command command, const char* name, int caption);
  QAction* AddMenuAction(QMenu* menu, Command command, const char* name, int caption);
  QAction* AddToolAction(Command command, const char* name, int tip, int icon);
  void RunCommand(Command command);
  void RefreshAction(QAction* action);
  void SetConfigurationEnabled(bool enabled);
  // The tabs of the three logs of version 5: enabled with their captions, or "Win2K Only".
  void ApplyTargetVersion();
  void ApplyMinimumSize();
  void ShowStatus();

  ClientSession& session_;
  bool ended_ = false;
  int waits_ = 0;
  bool end_requested_ = false;
  std::function<void(int message)> ensure_installed_;

  QTabWidget* tabs_;
  GeneralTab* general_;
  std::array<LogTab*, kLogCount> logs_{};
  QPushButton* pbOK_;
  QPushButton* pbCancel_;
  QPushButton* pbApply_;
  QToolBar* toolbar_;
  QLabel* status_;

  std::map<Command, QAction*> menu_actions_;
  std::map<Command, QAction*> toolbar_actions_;
  std::map<QAction*, Command> action_commands_;  // every menu entry and toolbar button
  std::map<QAction*, bool> allowed_;
  std::map<Command, std::function<void()>> handlers_;
  // Message numbers of the menus' titles, the menu entries' captions and the toolbar buttons'
  // tool tips, for InitiateLanguageSettings.
  std::map<QMenu*, int> menu_captions_;
  std::map<QAction*, int> action_captions_;
};

}  // namespace sentrel::client

#endif  // CLIENT_UI_MAIN_WINDOW_H_
