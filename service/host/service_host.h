// The service framework: a Windows service's identity, its status towards the service control
// manager, the service entry routine, the control handler, the command line with installation
// and removal, and the hooks a concrete service fills.
//
// Threads: the dispatcher's thread (the process's main thread) runs the control handler; the
// service thread that the dispatcher starts runs the entry routine and then waits in Run. They
// share the running flag and the status record (each under its own lock) and the event
// reporting (locked inside ServiceEventLog).
#ifndef SERVICE_HOST_SERVICE_HOST_H_
#define SERVICE_HOST_SERVICE_HOST_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "service/host/service_event_log.h"

namespace sentrel {

// The program's version, as the "-h" and "-v" lines and the version resource show it.
inline constexpr int32_t kVersionMajor = 5;
inline constexpr int32_t kVersionMinor = 4;
inline constexpr int32_t kVersionBuild = 166;
inline constexpr char16_t kVersionLabel[] = u"Final Release";
// The name the usage text shows.
inline constexpr char kShortServiceName[] = "Vaskwell";

// The event source of the service below HKEY_LOCAL_MACHINE (followed by the service name).
inline constexpr char16_t kEventSourceKeyPrefix[] =
    u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
// TypesSupported of the event source: error, warning and information.
inline constexpr uint32_t kTypesSupported = 7;

// How long Run waits between two looks at the running flag when nothing wakes it: the stop
// wakes it at once, this bound is the longest a stop can take to reach the entry routine.
inline constexpr std::chrono::milliseconds kRunCheckInterval{7500};

// The value EventMessageFile gets at installation, for a program at `short_program_path`: the
// program itself on Windows (its message table is compiled in); on the emulated computer the
// message library built beside it (vaskwell_messages.dll in the program's directory).
std::u16string EventMessageFilePath(std::u16string_view short_program_path);

class ServiceHost {
 public:
  // `platform` must outlive the object. `name` is the service name, display name, event source
  // and key name below Services.
  ServiceHost(platform::Platform& platform, std::u16string name);
  // Releases the event source.
  virtual ~ServiceHost();
  ServiceHost(const ServiceHost&) = delete;
  ServiceHost& operator=(const ServiceHost&) = delete;

  // --- Hooks, called by the framework ---
  // Waits while the service runs: returns once the running flag is clear, looking at it at
  // least every kRunCheckInterval.
  virtual void Run();
  // After a successful installation / before a removal.
  virtual bool OnInstall() { return true; }
  virtual bool OnUninstall() { return true; }
  // On the service thread while start pending; false ends the start (event 104, stopped).
  virtual bool OnInit() { return true; }
  // On the service thread once the start is complete: event 105 written and running reported.
  virtual void OnStarted() {}
  // On the dispatcher's thread, between reporting stop pending and clearing the running flag.
  // Must not block for long.
  virtual void OnStop() {}
  virtual void OnInterrogate() {}
  virtual void OnPause() {}
  virtual void OnContinue() {}
  virtual void OnShutdown() {}
  // A control code of 128 or more; false means unsupported (event 106).
  virtual bool OnUserControl(uint32_t control) { return false; }

  // --- Service control manager side ---
  // Stores `state` in the status record and reports the whole record (once a control handler
  // is registered).
  void SetStatus(uint32_t state);
  // The service entry routine: registers the control handler, starts (OnInit), runs (Run) and
  // reports stopped.
  void ServiceMain(const std::vector<std::u16string>& args);
  // The control handler.
  void Handler(uint32_t control);
  // Starts the dispatcher with this service's entry routine; returns when the service has
  // stopped, or at once (kErrorFailedServiceControllerConnect) outside the control manager.
  [[nodiscard]] platform::Result StartDispatcher();

  // --- Program side ---
  // Enables SeSecurityPrivilege; prints the administrator hint when the privilege's name cannot
  // be looked up, and goes on in every case.
  void EnableSecurityPrivilege();
  // Handles the first argument when it is one of -h, -v, -i, -u (any case) and prints the
  // outcome; false when no option was handled (the caller then starts the dispatcher).
  bool ParseStandardArgs(const std::vector<std::string>& args);
  // Whether the control manager knows the service (false when the manager cannot be opened).
  bool IsInstalled();
  // Registers the service and its event source, reports event 100 and runs OnInstall. On
  // failure *error is the failing operation's code.
  bool Install(platform::Result* error);
  // Runs OnUninstall and deletes the service (events 101 / 102).
  bool Uninstall(platform::Result* error);

  // The program's whole run after the service object exists: privilege, command line or
  // dispatcher. Returns the exit code (the status record's exit code).
  int RunProgram(const std::vector<std::string>& args);

  const std::u16string& name() const { return name_; }
  platform::ServiceStatus status() const;
  bool running() const;
  EventReporter& events() { return events_; }
  platform::Platform& platform() { return platform_; }

 protected:
  // The code OnInit leaves for the status record's exit code when it fails (the platform's
  // last error); reset to 0 before OnInit.
  void set_last_error(platform::Result code) { last_error_ = code; }

 private:
  void ReportStatusLocked();
  void Print(const std::string& text);
  std::string Ansi(std::u16string_view text);
  void PrintVersion();

  platform::Platform& platform_;
  const std::u16string name_;
  ServiceEventLog events_;

  mutable std::mutex status_mutex_;
  platform::ServiceStatusHandle status_handle_ = platform::kNoServiceStatusHandle;
  platform::ServiceStatus status_;

  // Held by Run while it looks at the flag and by the stop control for its whole sequence, so
  // that Run sees the flag clear only after the stop has been reported (events 107, 108, the
  // second stop pending). The flag is written under it and may be read without it.
  std::mutex run_mutex_;
  std::condition_variable run_wake_;
  std::atomic<bool> running_{false};

  platform::Result last_error_ = platform::kSuccess;
};

}  // namespace sentrel

#endif  // SERVICE_HOST_SERVICE_HOST_H_
