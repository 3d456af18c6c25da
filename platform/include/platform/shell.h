// The shell's "open" verb (ShellExecuteW): a web address in the browser, a document in the
// program registered for it.
//
// Blocking: returns once the shell has handed the target on (on Windows that may take a moment
// while the program starts; it never waits for the program to end). Any thread; on Windows the
// calling thread should have initialised COM, as the shell's handlers expect.
#ifndef PLATFORM_SHELL_H_
#define PLATFORM_SHELL_H_

#include <cstdint>
#include <string_view>

namespace platform {

// ShellExecuteW results of 32 or less are errors.
inline constexpr uint32_t kShellOpenOk = 42;  // any value above 32 is success
inline constexpr uint32_t kShellErrorOutOfMemory = 0;
inline constexpr uint32_t kShellErrorFileNotFound = 2;
inline constexpr uint32_t kShellErrorPathNotFound = 3;
inline constexpr uint32_t kShellErrorAccessDenied = 5;
inline constexpr uint32_t kShellErrorOom = 8;
inline constexpr uint32_t kShellErrorNoAssociation = 31;

inline constexpr bool ShellOpenSucceeded(uint32_t result) { return result > 32; }

class Shell {
 public:
  virtual ~Shell() = default;

  // ShellExecuteW(NULL, "open", target, NULL, NULL, SW_SHOWNORMAL): `target` is an address
  // ("https://...", "mailto:...") or a file path of this computer. Returns what ShellExecuteW
  // returns: above 32 on success, else an error (2 for a missing file, 3 for a missing folder,
  // 31 when nothing is registered for the target's kind).
  [[nodiscard]] virtual uint32_t Open(std::u16string_view target) = 0;
};

}  // namespace platform

#endif  // PLATFORM_SHELL_H_
