// The running program itself: its file, token privileges, scheduling priorities, console output,
// and starting other programs.
#ifndef PLATFORM_PROCESS_H_
#define PLATFORM_PROCESS_H_

#include <string>
#include <string_view>

#include "platform/result.h"

namespace platform {

// Which step of enabling a privilege failed.
enum class PrivilegeStep {
  kNone,       // enabled
  kOpenToken,  // OpenProcessToken
  kLookup,     // LookupPrivilegeValueW: the privilege's name is unknown on this computer
  kAdjust,     // AdjustTokenPrivileges
};

struct PrivilegeResult {
  Result code = kSuccess;
  PrivilegeStep failed_step = PrivilegeStep::kNone;
};

class Process {
 public:
  virtual ~Process() = default;

  // GetModuleFileNameW(NULL): the full path of the program's file.
  virtual Result ProgramPath(std::u16string* path) = 0;
  // GetShortPathNameW: the 8.3 form of an existing path (the path itself where the file system
  // keeps no short names).
  virtual Result ShortPath(std::u16string_view path, std::u16string* short_path) = 0;
  // Enables SeSecurityPrivilege in the process's token: OpenProcessToken (adjust and query),
  // LookupPrivilegeValueW on the local computer, AdjustTokenPrivileges for that one privilege.
  virtual PrivilegeResult EnableSecurityPrivilege() = 0;
  // SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST): the calling thread only, so a
  // thread lowers itself first thing.
  virtual Result SetCurrentThreadLowestPriority() = 0;
  // SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS).
  virtual Result SetProcessIdleClass() = 0;
  // Writes narrow text (the ANSI code page) to the console: standard output, flushed.
  virtual void WriteConsole(std::string_view text) = 0;
  // CreateProcessW of a command line (program and arguments, quoted as on Windows), in a normal
  // window, without waiting for it.
  virtual Result StartProcess(std::u16string_view command_line) = 0;
};

}  // namespace platform

#endif  // PLATFORM_PROCESS_H_
