// The debugger output channel through OutputDebugStringW / OutputDebugStringA.

#include <windows.h>

#include <string>

#include "platform/win32/wide_text_win.h"
#include "platform/win32/win32_parts.h"

namespace platform::win32 {
namespace {

class Win32DebugOutput : public DebugOutput {
 public:
  // A viewer can capture the channel without any debugger attached (IsDebuggerPresent() would
  // say false), and Windows gives no way to ask for one, so the trace is always built.
  bool Enabled() override { return true; }

  void Write(std::u16string_view text) override { OutputDebugStringW(ToWide(text).c_str()); }

  void WriteAnsi(std::string_view text) override { OutputDebugStringA(std::string(text).c_str()); }
};

}  // namespace

std::unique_ptr<DebugOutput> MakeDebugOutput() { return std::make_unique<Win32DebugOutput>(); }

}  // namespace platform::win32
