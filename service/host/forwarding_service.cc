#include "service/host/forwarding_service.h"

#include <string>
#include <system_error>

#include "service/config/service_config.h"

namespace sentrel {

ForwardingService::ForwardingService(platform::Platform& platform)
    : ServiceHost(platform, kServiceName) {}

ForwardingService::~ForwardingService() {
  if (logger_.joinable()) {
    stop_.Request();
    OpenStartGate();
    logger_.join();
  }
}

void ForwardingService::OpenStartGate() {
  start_gate_open_.store(true);
  start_gate_open_.notify_all();
}

bool ForwardingService::WaitForStart() {
  start_gate_open_.wait(false);
  return !stop_.Requested();
}

bool ForwardingService::OnInstall() {
  CreateDefaultConfiguration();
  return true;
}

void ForwardingService::CreateDefaultConfiguration() {
  // A store of its own: its first write of every log always writes, so installing again resets
  // the values to the defaults.
  ConfigStore store(platform());
  const int logs = platform().computer().OsMajorVersion() >= 5 ? kLogCount : 3;
  for (int i = 0; i < logs; ++i) store.WriteInstallDefaults(kLogNames[static_cast<size_t>(i)]);

  std::string notice =
      "Brinmoor Sentrel has created/reset the registry key\n\n\nHKEY_LOCAL_MACHINE\\";
  notice += platform().code_page().WideToAnsi(kParametersKey);
  notice +=
      "\n\n\nand its subkeys with default parameters. Please use REGEDIT to customize.\n"
      "Note: the default syslog host is 127.0.0.1. Do not start\n"
      "the Vaskwell service before adjusting. Otherwise you need to\n"
      "reset the 'nLastRecord' parameters to 0 in order to get a\n"
      "complete log of all event log entries!\n\n";
  notice += kSupportLine;
  platform().process().WriteToConsole(notice);
}

bool ForwardingService::OnInit() {
  pipeline_ = std::make_unique<ForwardingPipeline>(platform(), events(), stop_);
  pipeline_->config().LoadConfig(LogId::kSystem);
  try {
    logger_ = std::thread([this] {
      // A thread that cannot lower its priority forwards at the normal one.
      static_cast<void>(platform().process().SetCurrentThreadLowestPriority());
      if (WaitForStart()) pipeline_->Run();
    });
  } catch (const std::system_error&) {
    // No thread: the service runs on without forwarding, and event 107 says so.
  }
  // Likewise the process: the idle class is a courtesy to the computer, not a condition.
  static_cast<void>(platform().process().SetProcessIdleClass());
  if (logger_.joinable()) {
    events().ReportServiceEvent(kReportInformation, kEventText, kLoggerStarted);
  } else {
    events().ReportServiceEvent(kReportError, kEventText, kLoggerNotStarted);
  }
  return true;
}

void ForwardingService::OnStarted() { OpenStartGate(); }

void ForwardingService::OnStop() {
  if (!logger_.joinable()) {
    events().ReportServiceEvent(kReportError, kEventText, kLoggerNotStopped);
    return;
  }
  stop_.Request();
  OpenStartGate();
  events().ReportServiceEvent(kReportInformation, kEventText, kLoggerStopped);
}

}  // namespace sentrel
