// The platform of the Windows computer this process runs on.

#include "platform/win32/win32_parts.h"

namespace platform {
namespace win32 {
namespace {

class Win32Platform : public Platform {
 public:
  Win32Platform()
      : code_page_(MakeCodePage()),
        registry_(MakeRegistry(*code_page_)),
        event_log_(MakeEventLog()),
        computer_(MakeComputer()),
        clock_(MakeClock()),
        debug_(MakeDebugOutput()),
        message_library_(MakeMessageLibrary()),
        accounts_(MakeAccounts()),
        environment_(MakeEnvironment()),
        network_(MakeNetwork()),
        service_manager_(MakeServiceManager()),
        service_dispatcher_(MakeServiceDispatcher()),
        process_(MakeProcess()),
        network_browser_(MakeNetworkBrowser()),
        shell_(MakeShell()),
        files_(MakeFiles()),
        http_(MakeHttp()) {}

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

 private:
  // The code page first: the registry converts value names with it.
  std::unique_ptr<CodePage> code_page_;
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<EventLog> event_log_;
  std::unique_ptr<Computer> computer_;
  std::unique_ptr<Clock> clock_;
  std::unique_ptr<DebugOutput> debug_;
  std::unique_ptr<MessageLibrary> message_library_;
  std::unique_ptr<Accounts> accounts_;
  std::unique_ptr<Environment> environment_;
  std::unique_ptr<Network> network_;
  std::unique_ptr<ServiceManager> service_manager_;
  std::unique_ptr<ServiceDispatcher> service_dispatcher_;
  std::unique_ptr<Process> process_;
  std::unique_ptr<NetworkBrowser> network_browser_;
  std::unique_ptr<Shell> shell_;
  std::unique_ptr<Files> files_;
  std::unique_ptr<Http> http_;
};

}  // namespace
}  // namespace win32

// On Windows the host is always reachable: opening it cannot fail.
std::unique_ptr<Platform> OpenHostPlatform(std::string* error) {
  return std::make_unique<win32::Win32Platform>();
}

}  // namespace platform
