// The shell of an emulated computer. Nothing is shown: every target the shell opens is appended
// as one line (UTF-8) to the computer's file C:\shell-open.log, so that a user or a test sees
// what a program opened. Addresses of the schemes http, https, ftp, mailto and file open; other
// schemes have no program registered (31). A file path opens when the file or folder exists
// (2 when it does not, 3 when its folder does not).
#ifndef PLATFORM_EMULATED_SHELL_H_
#define PLATFORM_EMULATED_SHELL_H_

#include <memory>
#include <string>

#include "platform/emulated/machine.h"
#include "platform/shell.h"

namespace platform::emulated {

inline constexpr char16_t kShellOpenLog[] = u"C:\\shell-open.log";

class EmulatedShell : public Shell {
 public:
  explicit EmulatedShell(std::shared_ptr<Machine> machine) : machine_(std::move(machine)) {}

  [[nodiscard]] uint32_t Open(std::u16string_view target) override;

 private:
  std::shared_ptr<Machine> machine_;
};

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_SHELL_H_
