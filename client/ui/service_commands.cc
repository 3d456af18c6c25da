#include "client/ui/service_commands.h"

#include <QAction>
#include <QCursor>

#include "client/i18n/messages.h"
#include "client/ui/busy_cursor.h"
#include "client/ui/event_pump_waiter.h"
#include "client/ui/main_window.h"
#include "client/ui/message_box.h"
#include "client/ui/select_computer_window.h"
#include "client/ui/service_state_window.h"

namespace sentrel::client {
namespace {

// The commands a wait disables besides the five service commands.
constexpr Command kInterferingCommands[] = {Command::kSelectComputer, Command::kReset,
                                            Command::kReload};

}  // namespace

class ServiceCommands::WaitScope {
 public:
  explicit WaitScope(ServiceCommands& owner)
      : owner_(owner), waiter_([&window = owner.window_] { return window.end_requested(); }) {
    if (owner_.waits_++ == 0) owner_.ApplyCommandState();
    owner_.window_.BeginWait();
  }
  ~WaitScope() {
    if (--owner_.waits_ == 0) owner_.ApplyCommandState();
    // Last: this may end the client (and close its windows) when the user asked for it.
    owner_.window_.EndWait();
  }
  Waiter& waiter() { return waiter_; }

 private:
  ServiceCommands& owner_;
  EventPumpWaiter waiter_;
};

ServiceCommands::ServiceCommands(MainWindow& window, std::u16string installer_folder)
    : QObject(&window), window_(window), installer_folder_(std::move(installer_folder)) {
  window_.SetCommandHandler(Command::kStart, [this] { Start(); });
  window_.SetCommandHandler(Command::kStop, [this] { Stop(); });
  window_.SetCommandHandler(Command::kRestart, [this] { Restart(); });
  window_.SetCommandHandler(Command::kInstall, [this] { Install(); });
  window_.SetCommandHandler(Command::kUninstall, [this] { Uninstall(); });
  window_.SetCommandHandler(Command::kSelectComputer, [this] { SelectComputer(); });
  // This object is the window's child and goes while the window is destroyed; the window may
  // call the handler only while this object lives.
  QPointer<ServiceCommands> self(this);
  window_.SetEnsureServiceInstalledHandler([self](int message) {
    if (self) self->EnsureServiceInstalled(message);
  });
  connect(&window_, &MainWindow::TargetConnected, this, &ServiceCommands::RefreshServiceState);
  connect(&window_, &MainWindow::ConfigurationDisabled, this,
          [this](bool install) { SetServiceControls({.install = install}); });
  // Until the first state is known nothing but Install is offered.
  controls_.install = true;
  ApplyCommandState();
}

ServiceCommands::~ServiceCommands() = default;

ServiceStateWindow* ServiceCommands::state_window() const { return state_window_.data(); }

std::u16string ServiceCommands::target() const { return window_.session().connection().target(); }

void ServiceCommands::SetServiceControls(const ServiceControls& controls) {
  controls_ = controls;
  ApplyCommandState();
}

void ServiceCommands::ApplyCommandState() {
  const bool idle = waits_ == 0;
  const std::pair<Command, bool> menu[] = {
      {Command::kInstall, controls_.install}, {Command::kUninstall, controls_.uninstall},
      {Command::kStop, controls_.stop},       {Command::kStart, controls_.start},
      {Command::kRestart, controls_.restart},
  };
  for (const auto& [command, on] : menu) {
    window_.SetActionAllowed(window_.menu_action(command), idle && on);
    window_.SetActionAllowed(window_.toolbar_action(command), idle && on);
  }
  for (Command command : kInterferingCommands) {
    QAction* in_menu = window_.menu_action(command);
    QAction* on_bar = window_.toolbar_action(command);
    // Reset and Reload also depend on the configuration being editable: only a wait's own
    // disabling is lifted here.
    const bool configurable = window_.session().connection().connected();
    const bool allowed = idle && (command == Command::kSelectComputer || configurable);
    window_.SetActionAllowed(in_menu, allowed);
    window_.SetActionAllowed(on_bar, allowed);
  }
}

void ServiceCommands::ShowStateWindow(int message) {
  if (!state_window_) state_window_ = new ServiceStateWindow(&window_);
  state_window_->ShowAction(message, target());
}

void ServiceCommands::CloseStateWindow() {
  if (!state_window_) return;
  state_window_->Finish();
  // Deleted once control is back in the event loop, never from inside a wait that uses it.
  state_window_->deleteLater();
  state_window_ = nullptr;
}

void ServiceCommands::RefreshServiceState() {
  WaitScope wait(*this);
  ServiceStateWindow* progress = state_window_;
  BusyCursor busy;
  const RefreshOutcome outcome = client::RefreshServiceState(window_.session().platform(), target(),
                                                             wait.waiter(), [progress](int polls) {
                                                               if (progress)
                                                                 progress->SetProgress(polls);
                                                             });
  busy.Restore();
  SetServiceControls(outcome.view.controls);
  if (outcome.view.message && !window_.end_requested()) {
    ShowMessage(&window_, *outcome.view.message);
  }
}

Result ServiceCommands::CallServiceManager(ServiceCall call) {
  BusyCursor busy;
  platform::Platform& platform = window_.session().platform();
  const std::u16string computer = ServiceComputer(target());
  return RunWhileResponsive([&] { return call(platform, computer, kServiceName); });
}

void ServiceCommands::StartSentrelService() {
  ShowStateWindow(203);
  const Result r = CallServiceManager(&StartNTService);
  if (auto box = StartFailureMessage(window_.session().platform(), r)) ShowMessage(&window_, *box);
  RefreshServiceState();
  CloseStateWindow();
}

bool ServiceCommands::StopSentrelService() {
  ShowStateWindow(204);
  const Result r = CallServiceManager(&StopNTService);
  const auto box = StopFailureMessage(window_.session().platform(), r);
  if (box) ShowMessage(&window_, *box);
  // A service that was not running (1062) ends like any other stop: the window closes and the
  // commands follow the state.
  RefreshServiceState();
  CloseStateWindow();
  return !box;
}

void ServiceCommands::Start() {
  WaitScope wait(*this);
  StartSentrelService();
}

void ServiceCommands::Stop() {
  WaitScope wait(*this);
  (void)StopSentrelService();
}

void ServiceCommands::Restart() {
  WaitScope wait(*this);
  (void)StopSentrelService();
  if (window_.end_requested()) return;
  StartSentrelService();
}

InstallerRun ServiceCommands::RunInstaller(InstallerOption option, int message) {
  WaitScope wait(*this);
  ShowStateWindow(message);
  BusyCursor busy;
  InstallerRun run =
      client::RunInstaller(window_.session().platform(), installer_folder_, option, wait.waiter());
  busy.Restore();
  CloseStateWindow();
  if (auto box = InstallerFailureMessage(window_.session().platform(), run)) {
    ShowMessage(&window_, *box);
  }
  return run;
}

void ServiceCommands::Install() {
  const InstallerRun run = RunInstaller(InstallerOption::kInstall, 205);
  if (run.outcome != InstallerRun::Outcome::kFinished) return;
  ShowMessage(&window_, {MessageIcon::kNone, GetMessageText(177)});
  // Loaded as at start; a configuration the installer did not create gives only the hint.
  in_first_run_ = true;
  window_.Load();
  in_first_run_ = false;
}

void ServiceCommands::Uninstall() {
  {
    WaitScope wait(*this);
    (void)StopSentrelService();
    if (window_.end_requested()) return;
  }
  const InstallerRun run = RunInstaller(InstallerOption::kUninstall, 206);
  if (run.outcome != InstallerRun::Outcome::kFinished) {
    if (!window_.end_requested()) RefreshServiceState();
    return;
  }
  ShowMessage(&window_, {MessageIcon::kNone, GetMessageText(178)});
  window_.End();
}

void ServiceCommands::SelectComputer() {
  // The window is deleted here, after its own event loop has ended.
  SelectComputerWindow select(
      window_.session().platform(),
      [this](const std::u16string& name) {
        window_.HandleConnectResult(window_.session().CreateKeyHandles(name));
        window_.ReloadSettings();
      },
      &window_);
  WaitScope wait(*this);
  select.exec();
}

void ServiceCommands::EnsureServiceInstalled(int message) {
  if (in_first_run_) {
    // The installation has just run and the key is still missing: only the hint.
    window_.DisableConfiguration();
    window_.InitiateLanguageSettings();
    ShowMessage(&window_, {MessageIcon::kNone, GetMessageText(message)});
    return;
  }
  FirstRunResult result;
  {
    WaitScope wait(*this);
    BusyCursor busy;
    result = client::EnsureServiceInstalled(window_.session(), installer_folder_, message,
                                            wait.waiter(), [this] { ShowStateWindow(205); });
    busy.Restore();
    CloseStateWindow();
  }
  switch (result.state) {
    case FirstRunResult::State::kInstalled:
      in_first_run_ = true;
      window_.Load();
      in_first_run_ = false;
      return;
    case FirstRunResult::State::kShowHint:
    case FirstRunResult::State::kFailed:
      window_.DisableConfiguration();
      SetServiceControls({.install = true});
      window_.InitiateLanguageSettings();
      if (result.message) ShowMessage(&window_, *result.message);
      return;
    case FirstRunResult::State::kCancelled:
      return;
  }
}

}  // namespace sentrel::client
