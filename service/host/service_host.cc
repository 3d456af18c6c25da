#include "service/host/service_host.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <utility>

#include "platform/text.h"

namespace sentrel {
namespace {

using platform::kSuccess;
using platform::Result;

// printf into a string (the console texts are printf templates).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char buffer[1024];
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof buffer) return std::string(buffer, static_cast<size_t>(n));
  std::string out(static_cast<size_t>(n) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(out.data(), out.size(), format, args);
  va_end(args);
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace

ServiceHost::ServiceHost(platform::Platform& platform, std::u16string name)
    : platform_(platform), name_(std::move(name)), events_(platform) {
  status_.service_type = platform::kServiceWin32OwnProcess;
  status_.current_state = platform::kServiceStopped;
  status_.controls_accepted = platform::kServiceAcceptStop;
}

ServiceHost::~ServiceHost() = default;

platform::ServiceStatus ServiceHost::status() const {
  std::lock_guard<std::mutex> lock(status_mutex_);
  return status_;
}

bool ServiceHost::running() const { return running_.load(); }

void ServiceHost::Run() {
  std::unique_lock<std::mutex> lock(run_mutex_);
  while (running_) run_wake_.wait_for(lock, kRunCheckInterval);
}

void ServiceHost::SetStatus(uint32_t state) {
  std::lock_guard<std::mutex> lock(status_mutex_);
  status_.current_state = state;
  ReportStatusLocked();
}

// Reporting under the status lock keeps the reports in the order of the record's changes: a
// late report of stop pending can never follow the report of stopped.
void ServiceHost::ReportStatusLocked() {
  if (status_handle_ == platform::kNoServiceStatusHandle) return;
  // A status the control manager does not take cannot be reported anywhere else.
  static_cast<void>(platform_.service_dispatcher().SetStatus(status_handle_, status_));
}

void ServiceHost::ServiceMain(const std::vector<std::u16string>&) {
  platform::ServiceStatusHandle handle = platform::kNoServiceStatusHandle;
  {
    std::lock_guard<std::mutex> lock(status_mutex_);
    status_.current_state = platform::kServiceStartPending;
  }
  if (platform_.service_dispatcher().RegisterControlHandler(
          name_, [this](uint32_t control) { Handler(control); }, &handle) != kSuccess) {
    events_.ReportServiceEvent(kReportError, kEventNoControlHandler);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(status_mutex_);
    status_handle_ = handle;
  }

  SetStatus(platform::kServiceStartPending);
  last_error_ = kSuccess;
  const bool started = OnInit();
  {
    std::lock_guard<std::mutex> lock(status_mutex_);
    // A service that runs has exit code 0 whatever OnInit left behind.
    status_.win32_exit_code = started ? kSuccess : last_error_;
    status_.check_point = 0;
    status_.wait_hint = 0;
  }
  if (!started) {
    events_.ReportServiceEvent(kReportError, kEventInitFailed);
  } else {
    events_.ReportServiceEvent(kReportInformation, kEventStarted);
    // The flag is set before running is reported: a stop that follows the report at once must
    // find it set, or Run would wait for ever.
    {
      std::lock_guard<std::mutex> lock(run_mutex_);
      running_ = true;
    }
    {
      std::lock_guard<std::mutex> lock(status_mutex_);
      status_.current_state = platform::kServiceRunning;
      ReportStatusLocked();
    }
    OnStarted();
    Run();
  }
  SetStatus(platform::kServiceStopped);
}

void ServiceHost::Handler(uint32_t control) {
  switch (control) {
    case platform::kServiceControlStop: {
      std::lock_guard<std::mutex> run_lock(run_mutex_);
      SetStatus(platform::kServiceStopPending);
      OnStop();
      running_ = false;
      events_.ReportServiceEvent(kReportInformation, kEventStopped);
      // The final report still under the run lock, so that it comes before Run returns and the
      // entry routine reports stopped.
      {
        std::lock_guard<std::mutex> lock(status_mutex_);
        ReportStatusLocked();
      }
      run_wake_.notify_all();
      return;
    }
    case platform::kServiceControlPause:
      OnPause();
      break;
    case platform::kServiceControlContinue:
      OnContinue();
      break;
    case platform::kServiceControlInterrogate:
      OnInterrogate();
      break;
    case platform::kServiceControlShutdown:
      OnShutdown();
      break;
    default:
      if (control < platform::kServiceControlUserFirst || !OnUserControl(control)) {
        events_.ReportServiceEvent(kReportError, kEventUnsupportedRequest);
      }
      break;
  }
  std::lock_guard<std::mutex> lock(status_mutex_);
  ReportStatusLocked();
}

Result ServiceHost::StartDispatcher() {
  return platform_.service_dispatcher().StartDispatcher(
      name_, [this](const std::vector<std::u16string>& args) { ServiceMain(args); });
}

void ServiceHost::EnableSecurityPrivilege() {
  const platform::PrivilegeResult r = platform_.process().EnableSecurityPrivilege();
  if (r.failed_step == platform::PrivilegeStep::kLookup) {
    Print("\nThe above error means you need to log on as an Administrator");
  }
}

std::string ServiceHost::Ansi(std::u16string_view text) {
  return platform_.code_page().WideToAnsi(text);
}

void ServiceHost::Print(const std::string& text) { platform_.process().WriteToConsole(text); }

void ServiceHost::PrintVersion() {
  Print(Format("%s Version %d.%d Build %d (%s)\n", Ansi(name_).c_str(), kVersionMajor,
               kVersionMinor, kVersionBuild, Ansi(kVersionLabel).c_str()));
}

bool ServiceHost::ParseStandardArgs(const std::vector<std::string>& args) {
  if (args.empty()) return false;
  const std::string& option = args[0];
  const std::string name = Ansi(name_);
  if (platform::EqualsIgnoringCase(option, "-h")) {
    PrintVersion();
    Print(Format("Usage: %s -h  --> This help message.\n", kShortServiceName));
    Print(Format("       %s -v  --> Show version information.\n", kShortServiceName));
    Print(Format("       %s -i  --> Install service.\n", kShortServiceName));
    Print(Format("       %s -u  --> Remove (uninstall) service.\n", kShortServiceName));
    return true;
  }
  if (platform::EqualsIgnoringCase(option, "-v")) {
    PrintVersion();
    Print(Format("The service is %s installed.\n", IsInstalled() ? "currently" : "not"));
    return true;
  }
  if (platform::EqualsIgnoringCase(option, "-i")) {
    Result error = kSuccess;
    if (IsInstalled()) {
      Print(Format("%s is already installed.\n", name.c_str()));
    } else if (Install(&error)) {
      Print(Format("%s installed.\n", name.c_str()));
    } else {
      Print(Format("%s failed to install. Error %d.\n", name.c_str(), static_cast<int>(error)));
    }
    return true;
  }
  if (platform::EqualsIgnoringCase(option, "-u")) {
    Result error = kSuccess;
    if (!IsInstalled()) {
      Print(Format("%s is not installed.\n", name.c_str()));
    } else if (Uninstall(&error)) {
      std::u16string path;
      // Without the program's path the message names none.
      if (platform_.process().ProgramPath(&path) != kSuccess) path.clear();
      Print(Format("%s removed. (You must delete the file (%s) yourself.)\n", name.c_str(),
                   Ansi(path).c_str()));
    } else {
      Print(Format("Could not remove %s. Error %d\n", name.c_str(), static_cast<int>(error)));
    }
    return true;
  }
  return false;
}

bool ServiceHost::IsInstalled() {
  std::unique_ptr<platform::ServiceManagerHandle> manager;
  if (platform_.service_manager().Open(u"", platform::kScManagerAllAccess, &manager) != kSuccess) {
    return false;
  }
  std::unique_ptr<platform::ServiceHandle> service;
  return manager->Open(name_, platform::kServiceQueryConfig, &service) == kSuccess;
}

bool ServiceHost::Install(Result* error) {
  std::unique_ptr<platform::ServiceManagerHandle> manager;
  Result r = platform_.service_manager().Open(u"", platform::kScManagerAllAccess, &manager);
  if (r != kSuccess) {
    *error = r;
    return false;
  }
  std::u16string path, short_path;
  if ((r = platform_.process().ProgramPath(&path)) != kSuccess ||
      (r = platform_.process().ShortPath(path, &short_path)) != kSuccess) {
    *error = r;
    return false;
  }
  std::unique_ptr<platform::ServiceHandle> service;
  r = manager->Create(name_, name_, platform::kServiceAllAccess, platform::kServiceWin32OwnProcess,
                      platform::kServiceAutoStart, platform::kServiceErrorNormal, short_path, u"",
                      &service);
  if (r != kSuccess) {
    *error = r;
    return false;
  }

  std::unique_ptr<platform::RegKey> root, source_key;
  if ((r = platform_.registry().OpenRoot(platform::RegRoot::kLocalMachine, &root)) != kSuccess ||
      (r = root->CreateKey(std::u16string(kEventSourceKeyPrefix) + name_, &source_key)) !=
          kSuccess) {
    *error = r;
    return false;
  }
  const std::u16string message_file = EventMessageFilePath(short_path);
  if ((r = platform::SetString(*source_key, u"EventMessageFile", message_file,
                               platform::kRegExpandSz)) != kSuccess) {
    *error = r;
    return false;
  }
  platform_.debug().WriteAnsi(Format("Try to install %s, len %d.\n", Ansi(message_file).c_str(),
                                     static_cast<int>(message_file.size() + 1)));
  if ((r = platform::SetDword(*source_key, u"TypesSupported", kTypesSupported)) != kSuccess) {
    *error = r;
    return false;
  }
  events_.ReportServiceEvent(kReportInformation, kEventInstalled, name_.c_str());

  source_key.reset();
  root.reset();
  service.reset();
  manager.reset();
  OnInstall();
  return true;
}

bool ServiceHost::Uninstall(Result* error) {
  OnUninstall();
  std::unique_ptr<platform::ServiceManagerHandle> manager;
  Result r = platform_.service_manager().Open(u"", platform::kScManagerAllAccess, &manager);
  std::unique_ptr<platform::ServiceHandle> service;
  if (r == kSuccess) r = manager->Open(name_, platform::kDeleteAccess, &service);
  if (r != kSuccess) {
    *error = r;
    return false;
  }
  r = service->Delete();
  if (r != kSuccess) {
    events_.ReportServiceEvent(kReportError, kEventNotRemoved, name_.c_str());
    *error = r;
    return false;
  }
  events_.ReportServiceEvent(kReportInformation, kEventRemoved, name_.c_str());
  return true;
}

int ServiceHost::RunProgram(const std::vector<std::string>& args) {
  EnableSecurityPrivilege();
  // A dispatcher that cannot start (the program was not started by the control manager) leaves
  // the status untouched: the exit code is the last reported one either way.
  if (!ParseStandardArgs(args)) static_cast<void>(StartDispatcher());
  return static_cast<int>(status().win32_exit_code);
}

}  // namespace sentrel
