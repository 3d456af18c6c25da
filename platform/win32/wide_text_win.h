// UTF-16 text at the edge of the Win32 API. wchar_t is 16 bits on Windows, so std::u16string and
// the API's wide strings share one representation; these helpers only change the pointer type.
#ifndef PLATFORM_WIN32_WIDE_TEXT_WIN_H_
#define PLATFORM_WIN32_WIDE_TEXT_WIN_H_

#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the Win32 build needs a 16-bit wchar_t");

namespace platform::win32 {

// A NUL-terminated copy of `text` for an API that takes LPCWSTR.
inline std::wstring ToWide(std::u16string_view text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

inline std::u16string FromWide(const wchar_t* text, size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

inline std::u16string FromWide(const wchar_t* text) {
  return FromWide(text, std::char_traits<wchar_t>::length(text));
}

}  // namespace platform::win32

#endif  // PLATFORM_WIN32_WIDE_TEXT_WIN_H_
