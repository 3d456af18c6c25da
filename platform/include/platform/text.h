// Small text and byte helpers every part of the programs uses: ASCII case, decimal numbers as
// UTF-16, widening ASCII, and little-endian reads of stored records.
//
// Case here is ASCII only (A-Z / a-z), as command words, host names, keywords and file suffixes
// need; registry and service names, which Windows compares by its own upper-case table, are
// compared by the emulated registry's Upcase.
#ifndef PLATFORM_TEXT_H_
#define PLATFORM_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
constexpr char16_t AsciiLower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);
// UTF-16 text to UTF-8, lower-cased in ASCII.
std::string AsciiLowerUtf8(std::u16string_view text);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);
bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b);

// ASCII (or Latin-1) bytes as UTF-16, one character per byte.
std::u16string Widen(std::string_view ascii);
// A number in decimal digits, with a minus sign when negative.
std::u16string Decimal(int64_t value);

// The 32-bit and 16-bit little-endian numbers at `p` (stored records and files are
// little-endian; `p` need not be aligned).
inline uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace platform

#endif  // PLATFORM_TEXT_H_
