// The running program through GetModuleFileNameW, GetShortPathNameW, the token functions,
// the priority functions, the console and CreateProcessW.

#include <windows.h>

#include <cstdio>
#include <memory>

#include "platform/win32/last_error_win.h"
#include "platform/win32/wide_text_win.h"
#include "platform/win32/win32_parts.h"

namespace platform::win32 {
namespace {

// The process handle of a started program.
class Win32StartedProcess : public StartedProcess {
 public:
  explicit Win32StartedProcess(HANDLE process) : process_(process) {}
  ~Win32StartedProcess() override { CloseHandle(process_); }

  [[nodiscard]] Result Wait(uint32_t timeout_ms, uint32_t* exit_code) override {
    const DWORD w = WaitForSingleObject(process_, timeout_ms);
    if (w == WAIT_TIMEOUT) return kErrorWaitTimeout;
    if (w != WAIT_OBJECT_0) return LastError();
    DWORD code = 0;
    if (!GetExitCodeProcess(process_, &code)) return LastError();
    *exit_code = code;
    return kSuccess;
  }

 private:
  HANDLE process_;
};

class Win32Process : public Process {
 public:
  [[nodiscard]] Result ProgramPath(std::u16string* path) override {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
      const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (n == 0) return LastError();
      if (n < buffer.size()) {
        *path = FromWide(buffer.data(), n);
        return kSuccess;
      }
      buffer.resize(buffer.size() * 2);  // truncated: try a larger buffer
    }
  }

  [[nodiscard]] Result ShortPath(std::u16string_view path, std::u16string* short_path) override {
    const std::wstring long_path = ToWide(path);
    const DWORD needed = GetShortPathNameW(long_path.c_str(), nullptr, 0);
    if (needed == 0) return LastError();
    std::wstring buffer(needed, L'\0');
    const DWORD n = GetShortPathNameW(long_path.c_str(), buffer.data(), needed);
    if (n == 0 || n >= needed) return n == 0 ? LastError() : kErrorInsufficientBuffer;
    *short_path = FromWide(buffer.data(), n);
    return kSuccess;
  }

  PrivilegeResult EnableSecurityPrivilege() override {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
      return {LastError(), PrivilegeStep::kOpenToken};
    }
    PrivilegeResult result;
    TOKEN_PRIVILEGES privileges{};
    if (!LookupPrivilegeValueW(nullptr, L"SeSecurityPrivilege", &privileges.Privileges[0].Luid)) {
      result = {LastError(), PrivilegeStep::kLookup};
    } else {
      privileges.PrivilegeCount = 1;
      privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
      // AdjustTokenPrivileges succeeds even when the privilege is not held; the last error
      // then says ERROR_NOT_ALL_ASSIGNED.
      if (!AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) ||
          GetLastError() != ERROR_SUCCESS) {
        result = {LastError(), PrivilegeStep::kAdjust};
      }
    }
    CloseHandle(token);
    return result;
  }

  [[nodiscard]] Result SetCurrentThreadLowestPriority() override {
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST) ? kSuccess : LastError();
  }

  [[nodiscard]] Result SetProcessIdleClass() override {
    return SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS) ? kSuccess : LastError();
  }

  void WriteToConsole(std::string_view text) override {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }

  [[nodiscard]] Result StartProcess(std::u16string_view command_line,
                                    std::unique_ptr<StartedProcess>* started) override {
    std::wstring line = ToWide(command_line);  // CreateProcessW may write into it
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
      return LastError();
    }
    CloseHandle(info.hThread);
    if (started != nullptr) {
      *started = std::make_unique<Win32StartedProcess>(info.hProcess);
    } else {
      CloseHandle(info.hProcess);
    }
    return kSuccess;
  }
};

}  // namespace

std::unique_ptr<Process> MakeProcess() { return std::make_unique<Win32Process>(); }

}  // namespace platform::win32
