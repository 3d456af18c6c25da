// ntbox sc query|start|stop|create|delete and ntbox boot: the service control manager of an
// emulated computer, in sc.exe's syntax and with its output.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/code_page.h"
#include "platform/message_library.h"
#include "platform/registry.h"
#include "platform/service_manager.h"
#include "platform/text.h"
#include "tools/ntbox/commands.h"
#include "tools/ntbox/machine_arg.h"

namespace ntbox {
namespace {

using platform::Result;
using platform::ServiceConfiguration;
using platform::ServiceHandle;
using platform::ServiceManagerHandle;
using platform::ServiceStatus;
using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;
using platform::emulated::EmulatedPlatform;

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr int kDefaultStopWaitSeconds = 10;

const char kScUsage[] =
    "usage: ntbox sc [\\\\COMPUTER] query NAME\n"
    "       ntbox sc [\\\\COMPUTER] start NAME [ARGS...]\n"
    "       ntbox sc [\\\\COMPUTER] stop NAME [--wait SECONDS]\n"
    "       ntbox sc [\\\\COMPUTER] create NAME binPath= PATH [start= auto|demand|disabled]\n"
    "                              [type= own|share] [error= normal|ignore|severe|critical]\n"
    "                              [DisplayName= TEXT] [obj= ACCOUNT]\n"
    "       ntbox sc [\\\\COMPUTER] delete NAME\n"
    "       ntbox sc [\\\\COMPUTER] control NAME CODE\n"
    "stop waits up to --wait seconds (default 10) for the service to stop.\n"
    "control sends a control code (1 to 5, or the service's own 128 to 255).\n"
    "A failure prints sc.exe's \"[SC] Operation FAILED code:\" and its text, and exits 1.\n";

const char kBootUsage[] =
    "usage: ntbox boot\n"
    "Starts every service whose Start is 2 (automatic), as a computer start would.\n";

// The system's text of a result code, with Linux line ends.
std::string ErrorText(EmulatedPlatform& computer, Result code) {
  std::u16string text;
  if (computer.message_library().Format(
          platform::kFormatMessageFromSystem | platform::kFormatMessageIgnoreInserts |
              platform::kFormatMessageAllocateBuffer,
          nullptr, code, 0, nullptr, 0, 0, &text) != platform::kSuccess) {
    return "\n";
  }
  std::string out;
  for (char c : Utf16ToUtf8(text)) {
    if (c != '\r') out += c;
  }
  return out;
}

int Failed(EmulatedPlatform& computer, const char* operation, Result code) {
  std::printf("[SC] %s FAILED %u:\n\n%s\n", operation, code, ErrorText(computer, code).c_str());
  return kExitError;
}

const char* StateName(uint32_t state) {
  switch (state) {
    case platform::kServiceStopped:
      return "STOPPED";
    case platform::kServiceStartPending:
      return "START_PENDING";
    case platform::kServiceStopPending:
      return "STOP_PENDING";
    case platform::kServiceRunning:
      return "RUNNING";
    case platform::kServiceContinuePending:
      return "CONTINUE_PENDING";
    case platform::kServicePausePending:
      return "PAUSE_PENDING";
    case platform::kServicePaused:
      return "PAUSED";
    default:
      return "";
  }
}

std::string TypeName(uint32_t type) {
  std::string name;
  switch (type & ~platform::kServiceInteractiveProcess) {
    case platform::kServiceWin32OwnProcess:
      name = "WIN32_OWN_PROCESS";
      break;
    case platform::kServiceWin32ShareProcess:
      name = "WIN32_SHARE_PROCESS";
      break;
    case platform::kServiceKernelDriver:
      name = "KERNEL_DRIVER";
      break;
    case platform::kServiceFileSystemDriver:
      name = "FILE_SYSTEM_DRIVER";
      break;
  }
  if (type & platform::kServiceInteractiveProcess) name += " (interactive)";
  return name;
}

void PrintStatus(const std::u16string& name, const ServiceStatus& st) {
  const uint32_t accepted = st.controls_accepted;
  std::printf("\nSERVICE_NAME: %s\n", Utf16ToUtf8(name).c_str());
  std::printf("        TYPE               : %x  %s\n", st.service_type,
              TypeName(st.service_type).c_str());
  std::printf("        STATE              : %u  %s\n", st.current_state,
              StateName(st.current_state));
  std::printf(
      "                                (%s, %s, %s)\n",
      accepted & platform::kServiceAcceptStop ? "STOPPABLE" : "NOT_STOPPABLE",
      accepted & platform::kServiceAcceptPauseContinue ? "PAUSABLE" : "NOT_PAUSABLE",
      accepted & platform::kServiceAcceptShutdown ? "ACCEPTS_SHUTDOWN" : "IGNORES_SHUTDOWN");
  std::printf("        WIN32_EXIT_CODE    : %u  (0x%x)\n", st.win32_exit_code, st.win32_exit_code);
  std::printf("        SERVICE_EXIT_CODE  : %u  (0x%x)\n", st.service_specific_exit_code,
              st.service_specific_exit_code);
  std::printf("        CHECKPOINT         : 0x%x\n", st.check_point);
  std::printf("        WAIT_HINT          : 0x%x\n", st.wait_hint);
}

// The value of an sc.exe option ("start= auto", or "start=auto") at args[*i]; advances *i.
bool OptionValue(const Args& args, size_t* i, std::string* key, std::string* value) {
  const std::string& word = args[*i];
  const size_t eq = word.find('=');
  if (eq == std::string::npos || eq == 0) return false;
  *key = platform::AsciiLower(word.substr(0, eq));
  if (eq + 1 < word.size()) {
    *value = word.substr(eq + 1);
  } else {
    if (*i + 1 >= args.size()) return false;
    *value = args[++*i];
  }
  return true;
}

struct ScContext {
  EmulatedPlatform& computer;
  std::unique_ptr<ServiceManagerHandle> manager;
};

// Opens the computer and its service control manager (`target` empty = this computer). Returns
// 0, or the exit code after reporting the failure.
int OpenManager(std::u16string_view target, std::unique_ptr<EmulatedPlatform>* computer,
                std::unique_ptr<ServiceManagerHandle>* manager) {
  std::string error;
  *computer = OpenComputer(&error);
  if (!*computer) {
    std::fprintf(stderr, "ntbox: %s\n", error.c_str());
    return kExitError;
  }
  const Result r =
      (*computer)->service_manager().Open(target, platform::kScManagerAllAccess, manager);
  if (r != platform::kSuccess) return Failed(**computer, "OpenSCManager", r);
  return 0;
}

int OpenService(ScContext& sc, const std::u16string& name, uint32_t access, const char* operation,
                std::unique_ptr<ServiceHandle>* out) {
  const Result r = sc.manager->Open(name, access, out);
  return r == platform::kSuccess ? 0 : Failed(sc.computer, operation, r);
}

int Query(ScContext& sc, const std::u16string& name) {
  std::unique_ptr<ServiceHandle> service;
  if (int e = OpenService(sc, name, platform::kServiceQueryStatus,
                          "EnumQueryServicesStatus:OpenService", &service)) {
    return e;
  }
  ServiceStatus st;
  const Result r = service->QueryStatus(&st);
  if (r != platform::kSuccess) return Failed(sc.computer, "QueryServiceStatus", r);
  PrintStatus(name, st);
  return 0;
}

int Start(ScContext& sc, const std::u16string& name, const std::vector<std::u16string>& args) {
  std::unique_ptr<ServiceHandle> service;
  if (int e = OpenService(sc, name, platform::kServiceStart | platform::kServiceQueryStatus,
                          "OpenService", &service)) {
    return e;
  }
  const Result r = service->Start(args);
  if (r != platform::kSuccess) return Failed(sc.computer, "StartService", r);
  ServiceStatus st;
  if (service->QueryStatus(&st) == platform::kSuccess) PrintStatus(name, st);
  return 0;
}

int Stop(ScContext& sc, const std::u16string& name, int wait_seconds) {
  std::unique_ptr<ServiceHandle> service;
  if (int e = OpenService(sc, name, platform::kServiceStop | platform::kServiceQueryStatus,
                          "OpenService", &service)) {
    return e;
  }
  ServiceStatus st;
  const Result r = service->Control(platform::kServiceControlStop, &st);
  if (r != platform::kSuccess) return Failed(sc.computer, "ControlService", r);
  PrintStatus(name, st);
  if (st.current_state == platform::kServiceStopped) return 0;
  // sc.exe returns here; this one also waits for the stop and shows where it ended.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(wait_seconds);
  while (st.current_state != platform::kServiceStopped &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const Result q = service->QueryStatus(&st);
    if (q != platform::kSuccess) return Failed(sc.computer, "QueryServiceStatus", q);
  }
  PrintStatus(name, st);
  if (st.current_state == platform::kServiceStopped) return 0;
  std::printf("[SC] The service did not stop within %d seconds.\n", wait_seconds);
  return kExitError;
}

// The access right a control code needs.
uint32_t ControlAccess(uint32_t code) {
  switch (code) {
    case platform::kServiceControlStop:
      return platform::kServiceStop;
    case platform::kServiceControlPause:
    case platform::kServiceControlContinue:
      return platform::kServicePauseContinue;
    case platform::kServiceControlInterrogate:
      return platform::kServiceInterrogate;
    default:
      return platform::kServiceUserDefinedControl;
  }
}

int Control(ScContext& sc, const std::u16string& name, uint32_t code) {
  std::unique_ptr<ServiceHandle> service;
  if (int e = OpenService(sc, name, ControlAccess(code), "OpenService", &service)) return e;
  ServiceStatus st;
  const Result r = service->Control(code, &st);
  if (r != platform::kSuccess) return Failed(sc.computer, "ControlService", r);
  PrintStatus(name, st);
  return 0;
}

int Create(ScContext& sc, const std::u16string& name, const Args& options) {
  std::u16string binary_path, display_name, account;
  uint32_t start = platform::kServiceDemandStart, type = platform::kServiceWin32OwnProcess;
  uint32_t error_control = platform::kServiceErrorNormal;
  bool have_path = false;
  for (size_t i = 0; i < options.size(); ++i) {
    std::string key, value;
    if (!OptionValue(options, &i, &key, &value)) {
      std::fprintf(stderr, "ntbox: sc create: unexpected '%s'\n%s", options[i].c_str(), kScUsage);
      return kExitUsage;
    }
    const std::string v = platform::AsciiLower(value);
    if (key == "binpath") {
      binary_path = Utf8ToUtf16(value);
      have_path = true;
    } else if (key == "displayname") {
      display_name = Utf8ToUtf16(value);
    } else if (key == "obj") {
      account = Utf8ToUtf16(value);
    } else if (key == "start" && (v == "auto" || v == "demand" || v == "disabled")) {
      start = v == "auto"     ? platform::kServiceAutoStart
              : v == "demand" ? platform::kServiceDemandStart
                              : platform::kServiceDisabled;
    } else if (key == "type" && (v == "own" || v == "share")) {
      type = v == "own" ? platform::kServiceWin32OwnProcess : platform::kServiceWin32ShareProcess;
    } else if (key == "error" &&
               (v == "normal" || v == "ignore" || v == "severe" || v == "critical")) {
      error_control = v == "ignore"   ? platform::kServiceErrorIgnore
                      : v == "normal" ? platform::kServiceErrorNormal
                      : v == "severe" ? platform::kServiceErrorSevere
                                      : platform::kServiceErrorCritical;
    } else {
      std::fprintf(stderr, "ntbox: sc create: bad option %s= %s\n%s", key.c_str(), value.c_str(),
                   kScUsage);
      return kExitUsage;
    }
  }
  if (!have_path) {
    std::fprintf(stderr, "ntbox: sc create needs binPath= PATH\n%s", kScUsage);
    return kExitUsage;
  }
  std::unique_ptr<ServiceHandle> service;
  const Result r = sc.manager->Create(name, display_name, platform::kServiceAllAccess, type, start,
                                      error_control, binary_path, account, &service);
  if (r != platform::kSuccess) return Failed(sc.computer, "CreateService", r);
  std::printf("[SC] CreateService SUCCESS\n");
  return 0;
}

int Delete(ScContext& sc, const std::u16string& name) {
  std::unique_ptr<ServiceHandle> service;
  if (int e = OpenService(sc, name, platform::kDeleteAccess, "OpenService", &service)) return e;
  const Result r = service->Delete();
  if (r != platform::kSuccess) return Failed(sc.computer, "DeleteService", r);
  std::printf("[SC] DeleteService SUCCESS\n");
  return 0;
}

bool ParseSeconds(const std::string& text, int* seconds) {
  if (text.empty() || text.size() > 6) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  *seconds = std::atoi(text.c_str());
  return true;
}

}  // namespace

int RunSc(const Args& all_args) {
  Args args = all_args;
  std::u16string target;
  if (!args.empty() && args[0].rfind("\\\\", 0) == 0) {
    target = Utf8ToUtf16(args[0]);
    args.erase(args.begin());
  }
  if (args.size() < 2) {
    std::fputs(kScUsage, stderr);
    return kExitUsage;
  }
  const std::string verb = platform::AsciiLower(args[0]);
  const std::u16string name = Utf8ToUtf16(args[1]);
  const Args rest(args.begin() + 2, args.end());
  int wait_seconds = kDefaultStopWaitSeconds;
  int control_code = 0;
  if (verb == "stop") {
    if (!rest.empty() &&
        !(rest.size() == 2 && rest[0] == "--wait" && ParseSeconds(rest[1], &wait_seconds))) {
      std::fputs(kScUsage, stderr);
      return kExitUsage;
    }
  } else if (verb == "control") {
    if (rest.size() != 1 || !ParseSeconds(rest[0], &control_code) || control_code > 255) {
      std::fputs(kScUsage, stderr);
      return kExitUsage;
    }
  } else if ((verb == "query" || verb == "delete") && !rest.empty()) {
    std::fputs(kScUsage, stderr);
    return kExitUsage;
  } else if (verb != "query" && verb != "delete" && verb != "start" && verb != "create") {
    std::fprintf(stderr, "ntbox: sc: unknown operation '%s'\n%s", args[0].c_str(), kScUsage);
    return kExitUsage;
  }

  std::unique_ptr<EmulatedPlatform> computer;
  std::unique_ptr<ServiceManagerHandle> manager;
  if (const int failed = OpenManager(target, &computer, &manager)) return failed;
  ScContext sc{*computer, std::move(manager)};
  if (verb == "query") return Query(sc, name);
  if (verb == "stop") return Stop(sc, name, wait_seconds);
  if (verb == "delete") return Delete(sc, name);
  if (verb == "create") return Create(sc, name, rest);
  if (verb == "control") return Control(sc, name, static_cast<uint32_t>(control_code));
  std::vector<std::u16string> start_args;
  for (const auto& a : rest) start_args.push_back(Utf8ToUtf16(a));
  return Start(sc, name, start_args);
}

int RunBoot(const Args& args) {
  if (!args.empty()) {
    std::fputs(kBootUsage, stderr);
    return kExitUsage;
  }
  std::unique_ptr<EmulatedPlatform> computer;
  std::unique_ptr<ServiceManagerHandle> manager;
  if (const int failed = OpenManager(u"", &computer, &manager)) return failed;
  ScContext sc{*computer, std::move(manager)};

  std::unique_ptr<platform::RegKey> hklm, services;
  if (computer->registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm) !=
          platform::kSuccess ||
      hklm->OpenKey(u"SYSTEM\\CurrentControlSet\\Services", platform::RegAccess::kRead,
                    &services) != platform::kSuccess) {
    return 0;  // no services at all
  }
  std::vector<std::u16string> names;
  std::u16string key_name;
  for (uint32_t i = 0; services->EnumKey(i, 512, &key_name) == platform::kSuccess; ++i) {
    names.push_back(key_name);
  }
  int exit_code = 0;
  for (const auto& name : names) {
    std::unique_ptr<ServiceHandle> service;
    if (sc.manager->Open(
            name,
            platform::kServiceQueryConfig | platform::kServiceStart | platform::kServiceQueryStatus,
            &service) != platform::kSuccess) {
      continue;  // not a service (the event log's key, Tcpip, ...)
    }
    ServiceConfiguration config;
    ServiceStatus st;
    if (service->QueryConfig(&config) != platform::kSuccess ||
        config.start_type != platform::kServiceAutoStart ||
        !(config.service_type &
          (platform::kServiceWin32OwnProcess | platform::kServiceWin32ShareProcess))) {
      continue;
    }
    if (service->QueryStatus(&st) == platform::kSuccess &&
        st.current_state != platform::kServiceStopped) {
      std::printf("%s: already running\n", Utf16ToUtf8(name).c_str());
      continue;
    }
    const Result started = service->Start({});
    if (started == platform::kSuccess) {
      std::printf("%s: started\n", Utf16ToUtf8(name).c_str());
    } else {
      std::printf("%s: StartService FAILED %u: %s", Utf16ToUtf8(name).c_str(), started,
                  ErrorText(*computer, started).c_str());
      exit_code = kExitError;
    }
  }
  return exit_code;
}

}  // namespace ntbox
