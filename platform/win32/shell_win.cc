// The shell's "open" verb through ShellExecuteW.

// windows.h comes first, in a block of its own: shellapi.h relies on its macros.
#include <windows.h>

#include <shellapi.h>

#include "platform/win32/wide_text_win.h"
#include "platform/win32/win32_parts.h"

namespace platform::win32 {
namespace {

class Win32Shell : public Shell {
 public:
  uint32_t Open(std::u16string_view target) override {
    const std::wstring text = ToWide(target);
    const HINSTANCE r =
        ShellExecuteW(nullptr, L"open", text.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    // The result is an HINSTANCE only for compatibility: a number, 32 or less on failure.
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(r));
  }
};

}  // namespace

std::unique_ptr<Shell> MakeShell() { return std::make_unique<Win32Shell>(); }

}  // namespace platform::win32
