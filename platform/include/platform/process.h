// The running program itself: its file, token privileges, scheduling priorities, console output,
// and starting other programs.
//
// Blocking: only StartedProcess::Wait waits (up to its bound); the other calls return at once.
// Threads: any thread; the priority calls act on the calling thread or the whole process as
// they say.
#ifndef PLATFORM_PROCESS_H_
#define PLATFORM_PROCESS_H_

#include <cstdint>
#include <memory>
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

// WaitForSingleObject's bound for no bound.
inline constexpr uint32_t kInfinite = 0xFFFFFFFF;

// A program started by Process::StartProcess (its process handle). Destroying it closes the
// handle; the program runs on.
class StartedProcess {
 public:
  virtual ~StartedProcess() = default;

  // WaitForSingleObject(`timeout_ms`) and GetExitCodeProcess: blocks the calling thread until
  // the program has ended or `timeout_ms` has passed (kInfinite: no bound; 0: only looks).
  // kSuccess with *exit_code once it has ended (a program ended by a signal on the emulated
  // computer reads 128 + the signal's number), kErrorWaitTimeout while it still runs. A window
  // program waits in short slices and lets its events run between them.
  [[nodiscard]] virtual Result Wait(uint32_t timeout_ms, uint32_t* exit_code) = 0;
};

class Process {
 public:
  virtual ~Process() = default;

  // GetModuleFileNameW(NULL): the full path of the program's file.
  [[nodiscard]] virtual Result ProgramPath(std::u16string* path) = 0;
  // GetShortPathNameW: the 8.3 form of an existing path (the path itself where the file system
  // keeps no short names).
  [[nodiscard]] virtual Result ShortPath(std::u16string_view path, std::u16string* short_path) = 0;
  // Enables SeSecurityPrivilege in the process's token: OpenProcessToken (adjust and query),
  // LookupPrivilegeValueW on the local computer, AdjustTokenPrivileges for that one privilege.
  [[nodiscard]] virtual PrivilegeResult EnableSecurityPrivilege() = 0;
  // SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST): the calling thread only, so a
  // thread lowers itself first thing.
  [[nodiscard]] virtual Result SetCurrentThreadLowestPriority() = 0;
  // SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS).
  [[nodiscard]] virtual Result SetProcessIdleClass() = 0;
  // Writes narrow text (the ANSI code page) to the console: standard output, flushed.
  virtual void WriteToConsole(std::string_view text) = 0;
  // CreateProcessW of a command line (program and arguments, quoted as on Windows), in a normal
  // window, without waiting for it. A program named without a folder is looked for as
  // CreateProcessW does: in this program's own folder first, then the current folder, then the
  // search path. With `started` given, it receives the program's process, through which the
  // caller can wait for its end; null closes the handle at once.
  [[nodiscard]] virtual Result StartProcess(std::u16string_view command_line,
                                            std::unique_ptr<StartedProcess>* started) = 0;
};

}  // namespace platform

#endif  // PLATFORM_PROCESS_H_
