// The running program on an emulated computer: its file is a host file (its short path is the
// path itself), its token always holds SeSecurityPrivilege, and Windows priorities map to nice
// values (lowest thread priority: the process's nice + 2; idle class: nice 19 for every thread).
#ifndef PLATFORM_EMULATED_PROCESS_H_
#define PLATFORM_EMULATED_PROCESS_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/machine.h"
#include "platform/process.h"

namespace platform::emulated {

class EmulatedProcess : public Process {
 public:
  explicit EmulatedProcess(std::shared_ptr<Machine> machine) : machine_(std::move(machine)) {}

  [[nodiscard]] Result ProgramPath(std::u16string* path) override;
  [[nodiscard]] Result ShortPath(std::u16string_view path, std::u16string* short_path) override;
  [[nodiscard]] PrivilegeResult EnableSecurityPrivilege() override;
  [[nodiscard]] Result SetCurrentThreadLowestPriority() override;
  [[nodiscard]] Result SetProcessIdleClass() override;
  void WriteToConsole(std::string_view text) override;
  // The program is a host path, a path of the computer's drive C, or a bare name looked up in
  // this program's folder, the current directory and then PATH; a name ending in ".exe" is also
  // tried without it. With `started`, a watcher process waits for the program and reports its
  // exit status.
  [[nodiscard]] Result StartProcess(std::u16string_view command_line,
                                    std::unique_ptr<StartedProcess>* started) override;

 private:
  std::shared_ptr<Machine> machine_;
};

// Splits a command line the way Windows programs do for the common cases: blanks separate
// arguments, double quotes group blanks into one.
std::vector<std::string> SplitCommandLine(std::string_view line);

// Windows priorities as nice values.
inline constexpr int kNiceLowestThreadOffset = 2;
inline constexpr int kNiceIdleClass = 19;

// The Windows result code for an errno of a file or process operation (ENOENT: 2, EACCES: 5,
// ENOEXEC: 193, anything else: 87).
[[nodiscard]] Result ResultFromErrno(int e);

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_PROCESS_H_
