// The service commands of the main window (Start, Stop, Restart, Install Service, Uninstall
// Service), the computer selection, and the first-start installation: they connect the main
// window's menu and toolbar to the core's service control and installer, show frmServiceState
// during the waits, and keep the five service commands in step with the service's state.
//
// During a wait the commands that would interfere (the service commands, Select Computer, Reset
// and Reload) are disabled, and ending the client is deferred until the wait is over.
#ifndef CLIENT_UI_SERVICE_COMMANDS_H_
#define CLIENT_UI_SERVICE_COMMANDS_H_

#include <QObject>
#include <QPointer>
#include <string>

#include "client/core/service_control.h"
#include "client/core/service_installer.h"

namespace sentrel::client {

class MainWindow;
class ServiceStateWindow;

class ServiceCommands : public QObject {
  Q_OBJECT

 public:
  // `installer_folder`: where the service program vaskwell lies (the client's own folder).
  ServiceCommands(MainWindow& window, std::u16string installer_folder);
  ~ServiceCommands() override;

  void Start();
  void Stop();
  void Restart();
  void Install();
  void Uninstall();
  void SelectComputer();
  // Waits for a pending state to end and sets the commands (and shows "not responding").
  void RefreshServiceState();
  // The first start on a computer without the service's configuration.
  void EnsureServiceInstalled(int message);

  const ServiceControls& controls() const { return controls_; }
  bool busy() const { return waits_ > 0; }
  // The progress window while it is shown (null otherwise).
  ServiceStateWindow* state_window() const;

 private:
  // One wait's bracket: the interfering commands off, the end of the client deferred.
  class WaitScope;

  using ServiceCall = Result (*)(platform::Platform&, std::u16string_view, std::u16string_view);
  // StartNTService or StopNTService on the target, off the window thread.
  Result CallServiceManager(ServiceCall call);
  void StartSentrelService();
  // False when the stop was refused (the box has been shown).
  bool StopSentrelService();
  void ShowStateWindow(int message);
  void CloseStateWindow();
  // SetServiceControls: the five commands as `controls` says (applied once no wait is running).
  void SetServiceControls(const ServiceControls& controls);
  void ApplyCommandState();
  std::u16string target() const;
  InstallerRun RunInstaller(InstallerOption option, int message);

  MainWindow& window_;
  std::u16string installer_folder_;
  ServiceControls controls_;
  int waits_ = 0;
  bool in_first_run_ = false;
  QPointer<ServiceStateWindow> state_window_;
};

}  // namespace sentrel::client

#endif  // CLIENT_UI_SERVICE_COMMANDS_H_
