// Conversion between UTF-16 and the computer's ANSI code page (WideCharToMultiByte and
// MultiByteToWideChar). A character the code page cannot hold becomes '?'.
//
// Blocking: none. Threads: any thread.
#ifndef PLATFORM_CODE_PAGE_H_
#define PLATFORM_CODE_PAGE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

class CodePage {
 public:
  virtual ~CodePage() = default;

  // The code page the conversions use: on Windows NT 5.0 and later the thread's code page, on
  // older systems the default ANSI code page of the thread's locale, else the system's; chosen
  // once, at the first conversion.
  virtual uint32_t AnsiCodePage() = 0;
  virtual std::string WideToAnsi(std::u16string_view text) = 0;
  virtual std::u16string AnsiToWide(std::string_view text) = 0;
};

// UTF-8 <-> UTF-16 for the edges that speak UTF-8 (command lines, files, terminals). Invalid
// input becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace platform

#endif  // PLATFORM_CODE_PAGE_H_
