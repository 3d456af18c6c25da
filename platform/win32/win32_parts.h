// The parts of the Win32 platform, one per interface. Each factory returns a thin wrapper of the
// Win32 functions named in its interface; no Windows header leaks out of this one.
#ifndef PLATFORM_WIN32_WIN32_PARTS_H_
#define PLATFORM_WIN32_WIN32_PARTS_H_

#include <memory>

#include "platform/platform.h"

namespace platform::win32 {

// The registry's narrow views (RegQueryValueExA / RegSetValueExA) take value names in the ANSI
// code page; `code_page` converts them and must outlive the registry.
std::unique_ptr<Registry> MakeRegistry(CodePage& code_page);
std::unique_ptr<EventLog> MakeEventLog();
std::unique_ptr<CodePage> MakeCodePage();
std::unique_ptr<Computer> MakeComputer();
std::unique_ptr<Clock> MakeClock();
std::unique_ptr<DebugOutput> MakeDebugOutput();
std::unique_ptr<MessageLibrary> MakeMessageLibrary();
std::unique_ptr<Accounts> MakeAccounts();
std::unique_ptr<Environment> MakeEnvironment();
std::unique_ptr<ServiceManager> MakeServiceManager();
std::unique_ptr<ServiceDispatcher> MakeServiceDispatcher();
std::unique_ptr<Process> MakeProcess();
std::unique_ptr<Network> MakeNetwork();
std::unique_ptr<NetworkBrowser> MakeNetworkBrowser();
std::unique_ptr<Shell> MakeShell();
std::unique_ptr<Files> MakeFiles();
std::unique_ptr<Http> MakeHttp();

}  // namespace platform::win32

#endif  // PLATFORM_WIN32_WIN32_PARTS_H_
