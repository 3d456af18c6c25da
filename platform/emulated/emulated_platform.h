// The platform of an emulated computer: every part of the seam backed by one computer directory.
#ifndef PLATFORM_EMULATED_EMULATED_PLATFORM_H_
#define PLATFORM_EMULATED_EMULATED_PLATFORM_H_

#include <memory>
#include <string>

#include "platform/emulated/code_page.h"
#include "platform/emulated/event_log.h"
#include "platform/emulated/files.h"
#include "platform/emulated/http.h"
#include "platform/emulated/machine.h"
#include "platform/emulated/network.h"
#include "platform/emulated/network_browse.h"
#include "platform/emulated/process.h"
#include "platform/emulated/registry.h"
#include "platform/emulated/service_manager.h"
#include "platform/emulated/shell.h"
#include "platform/platform.h"

namespace platform::emulated {

// What `ntbox init` sets when it creates a computer.
struct ComputerOptions {
  std::string name = "SRV1";   // NetBIOS name, stored upper case
  std::string hostname;        // DNS host name; empty = the name in lower case
  uint32_t major_version = 5;  // 4 = Windows NT 4.0 (three logs only)
  uint32_t minor_version = 0;
  uint32_t acp = 1252;    // ANSI code page; 932 for a Japanese computer
  std::string time_zone;  // IANA name; empty = the host's zone
  bool seed = true;       // register the standard sources and write sample records
};

class EmulatedPlatform : public Platform {
 public:
  // Opens an existing computer.
  static std::unique_ptr<EmulatedPlatform> Open(const std::string& dir, std::string* error);
  // Creates a computer in `dir` with its facts, standard logs and (when asked) sample data.
  static std::unique_ptr<EmulatedPlatform> Create(const std::string& dir,
                                                  const ComputerOptions& options,
                                                  std::string* error);
  ~EmulatedPlatform() override;

  Registry& registry() override { return *registry_; }
  EventLog& event_log() override { return *event_log_; }
  CodePage& code_page() override { return *code_page_; }
  Computer& computer() override { return *computer_; }
  Clock& clock() override { return *clock_; }
  DebugOutput& debug() override { return *debug_; }
  MessageLibrary& message_library() override { return *message_library_; }
  Accounts& accounts() override { return *accounts_; }
  Environment& environment() override { return *environment_; }
  Network& network() override { return *network_; }
  ServiceManager& service_manager() override { return *service_manager_; }
  ServiceDispatcher& service_dispatcher() override { return *service_dispatcher_; }
  Process& process() override { return *process_; }
  NetworkBrowser& network_browser() override { return *network_browser_; }
  Shell& shell() override { return *shell_; }
  Files& files() override { return *files_; }
  Http& http() override { return *http_; }

  EmulatedRegistry& emulated_registry() { return *registry_; }
  EmulatedEventLog& emulated_event_log() { return *event_log_; }
  Machine& machine() { return *machine_; }
  EmulatedNetwork& emulated_network() { return *network_; }
  const std::string& time_zone() const { return time_zone_; }

 private:
  EmulatedPlatform() = default;
  bool Init(std::shared_ptr<Machine> machine, std::string* error);

  std::shared_ptr<Machine> machine_;
  std::string time_zone_;
  std::unique_ptr<EmulatedCodePage> code_page_;
  std::unique_ptr<EmulatedRegistry> registry_;
  std::unique_ptr<Computer> computer_;
  std::unique_ptr<Clock> clock_;
  std::unique_ptr<EmulatedEventLog> event_log_;
  std::unique_ptr<DebugOutput> debug_;
  std::unique_ptr<MessageLibrary> message_library_;
  std::unique_ptr<Accounts> accounts_;
  std::unique_ptr<Environment> environment_;
  std::unique_ptr<EmulatedNetwork> network_;
  std::unique_ptr<EmulatedServiceManager> service_manager_;
  std::unique_ptr<EmulatedServiceDispatcher> service_dispatcher_;
  std::unique_ptr<EmulatedProcess> process_;
  std::unique_ptr<EmulatedNetworkBrowser> network_browser_;
  std::unique_ptr<EmulatedShell> shell_;
  std::unique_ptr<EmulatedFiles> files_;
  std::unique_ptr<EmulatedHttp> http_;
};

// Registry paths where Windows keeps the facts of a computer.
inline constexpr char16_t kComputerNameKey[] =
    u"SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
inline constexpr char16_t kTcpipParametersKey[] =
    u"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";
inline constexpr char16_t kCurrentVersionKey[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
inline constexpr char16_t kCodePageKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";
inline constexpr char16_t kTimeZoneKey[] =
    u"SYSTEM\\CurrentControlSet\\Control\\TimeZoneInformation";
inline constexpr char16_t kEnvironmentKey[] =
    u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
inline constexpr char16_t kEventLogKey[] = u"SYSTEM\\CurrentControlSet\\Services\\EventLog";

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_EMULATED_PLATFORM_H_
