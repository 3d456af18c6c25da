// UTF-16 <-> ANSI code page through WideCharToMultiByte / MultiByteToWideChar.

#include <windows.h>

#include <climits>
#include <mutex>

#include "platform/win32/wide_text_win.h"
#include "platform/win32/win32_parts.h"

namespace platform::win32 {
namespace {

// The default ANSI code page of the calling thread's locale; 0 when the locale does not say.
uint32_t ThreadLocaleAnsiCodePage() {
  char text[8] = {};
  if (GetLocaleInfoA(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, text, sizeof text) == 0) {
    return 0;
  }
  uint32_t cp = 0;
  for (const char* p = text; *p >= '0' && *p <= '9'; ++p) cp = cp * 10 + (*p - '0');
  return cp;
}

bool IsNt5OrLater() {
  const DWORD version = GetVersion();
  const bool nt = (version & 0x80000000u) == 0;
  return nt && LOBYTE(LOWORD(version)) >= 5;
}

class Win32CodePage : public CodePage {
 public:
  uint32_t AnsiCodePage() override {
    Choose();
    return number_;
  }

  std::string WideToAnsi(std::u16string_view text) override {
    Choose();
    if (text.empty() || text.size() > INT_MAX) return {};
    const auto* src = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    // A character the code page lacks becomes '?', never a look-alike ("best fit" would turn
    // U+03A9 into 'O'). UTF-7 and UTF-8 take neither the flag nor a default character.
    const bool utf = number_ == CP_UTF7 || number_ == CP_UTF8;
    const DWORD flags = utf ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* default_char = utf ? nullptr : "?";
    const int needed =
        WideCharToMultiByte(api_cp_, flags, src, length, nullptr, 0, default_char, nullptr);
    if (needed <= 0) return {};
    std::string out(static_cast<size_t>(needed), '\0');
    const int written =
        WideCharToMultiByte(api_cp_, flags, src, length, out.data(), needed, default_char, nullptr);
    out.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return out;
  }

  std::u16string AnsiToWide(std::string_view text) override {
    Choose();
    if (text.empty() || text.size() > INT_MAX) return {};
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(api_cp_, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring out(static_cast<size_t>(needed), L'\0');
    const int written = MultiByteToWideChar(api_cp_, 0, text.data(), length, out.data(), needed);
    return FromWide(out.data(), written > 0 ? static_cast<size_t>(written) : 0);
  }

 private:
  // The code page is chosen once, at the first use: on NT 5.0 and later the thread's code page
  // (CP_THREAD_ACP, resolved by Windows at every call against the calling thread's locale); on
  // older systems the default ANSI code page of the thread's locale, else the system's (GetACP).
  void Choose() {
    std::call_once(chosen_, [this] {
      const uint32_t locale_cp = ThreadLocaleAnsiCodePage();
      if (IsNt5OrLater()) {
        api_cp_ = CP_THREAD_ACP;
        number_ = locale_cp != 0 ? locale_cp : GetACP();
      } else {
        number_ = locale_cp != 0 ? locale_cp : GetACP();
        api_cp_ = number_;
      }
    });
  }

  std::once_flag chosen_;
  UINT api_cp_ = CP_ACP;  // what the conversions pass to Windows
  uint32_t number_ = 0;   // the code page that stands for, as a number (1252, 932, ...)
};

}  // namespace

std::unique_ptr<CodePage> MakeCodePage() { return std::make_unique<Win32CodePage>(); }

}  // namespace platform::win32
