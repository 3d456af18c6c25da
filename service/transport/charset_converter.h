// Conversion of wide (UCS-2) text to the Japanese output encodings ISO-2022-JP and EUC-JP, with
// conversion tables built into the service (the platform's code page services are not used).
#ifndef SERVICE_TRANSPORT_CHARSET_CONVERTER_H_
#define SERVICE_TRANSPORT_CHARSET_CONVERTER_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/debug_output.h"

namespace sentrel {

// Output encoding values. 0 (the ANSI code page) is converted by the platform, not here; any
// other value gives empty output.
inline constexpr int kEncodingIso2022Jp = 51220;
inline constexpr int kEncodingEucJp = 51932;

// Size of the callers' output buffers: three bytes for each of 50,001 characters plus the
// terminating zero byte.
inline constexpr size_t kConvertedTextBufferSize = 150004;

// ISO-2022-JP shift states (the character set the bytes currently stand for).
enum Iso2022JpState : int {
  kStateAscii = 0,
  kStateJisX0201Roman = 1,
  kStateJisC6226 = 2,  // JIS C 6226-1978: has an escape sequence but is never selected
  kStateJisX0208 = 3,
};

// Converts text for one delivery at a time. Not re-entrant: the shift state and the
// per-character buffer are members, shared by all conversions made through one object.
class CharsetConverter {
 public:
  // Diagnostics and the per-character trace go to `debug`, which must outlive the converter.
  explicit CharsetConverter(platform::DebugOutput& debug);

  CharsetConverter(const CharsetConverter&) = delete;
  CharsetConverter& operator=(const CharsetConverter&) = delete;

  // The bytes of `text` in `encoding`, without a terminator. The same bytes ConvertString
  // writes into a buffer of kConvertedTextBufferSize bytes, including where a long text stops.
  std::string Convert(std::u16string_view text, int encoding);

  // Writes the bytes of `text` in `encoding` followed by a zero byte into `output` and returns
  // the number of bytes before the zero byte. Characters without a code are dropped. Conversion
  // stops before a character whose bytes would leave no room for the closing escape sequence
  // (ISO-2022-JP) and the terminator. An empty `output` is left untouched.
  size_t ConvertString(std::u16string_view text, std::span<char> output, int encoding);

  // The bytes of one character; `next` is the following character (0 at the end of the text).
  // Sets `consumed_next` when `next` was combined into this character (a halfwidth katakana
  // letter with its sound mark). Uses and updates the ISO-2022-JP shift state. The view is valid
  // until the next call.
  std::string_view ConvertChar(char16_t ch, int encoding, char16_t next, bool& consumed_next);

  // Writes the escape sequence that selects `state` into the per-character buffer; for an
  // unknown state writes nothing and reports an internal error on the debugger output.
  void writeIso2022JpEscapeSequence(int state);

  int shift_state() const { return shift_state_; }

  // Lookup routines; each returns -1 for no mapping.
  // Code page 932 code (the lowest one standing for the character).
  static int UCS4ToSJIS(uint32_t ch);
  // JIS X 0212 code, row and cell plus 0x20 each.
  static int UCS4ToJISX0212(uint32_t ch);
  // JIS X 0208 code (row and cell plus 0x20) of a double-byte code page 932 code, by arithmetic.
  static int SJISToJISX0208(int sjis);
  // JIS X 0201 code: 0x00-0x7F (Roman, with the yen sign at 0x5C and the overline at 0x7E) or
  // 0xA1-0xDF (halfwidth katakana).
  static int UCS4ToJISX0201(uint32_t ch);
  // JIS X 0208 code, row and cell plus 0x20 each; also accepts the code page 932 variants
  // U+FF5E, U+2225, U+FF0D, U+FFE0, U+FFE1, U+FFE2.
  static int UCS4toJISX0208(uint32_t ch);

  // Character set classes. ISO-2022-JP: 0 ASCII, 1 JIS X 0201 Roman, 3 JIS X 0208, -1 none.
  static int GetIso2022JpCharset(uint32_t ch);
  // EUC-JP: 0 ASCII, 1 JIS X 0201 katakana, 2 JIS X 0208, 3 JIS X 0212, -1 none.
  static int GetEucJpCharset(uint32_t ch);

 private:
  // The fullwidth letter a halfwidth letter and the following sound mark combine to, or 0.
  static char16_t CombineSoundMark(char16_t ch, char16_t next);

  void ConvertIso2022Jp(uint32_t ch);
  void ConvertEucJp(uint32_t ch);
  void PutByte(int byte);
  void ReportNoConversion(const char* format, uint32_t ch);

  platform::DebugOutput& debug_;
  int shift_state_ = kStateAscii;
  // Bytes of the character being converted: at most an escape sequence and two bytes.
  std::array<char, 8> char_buffer_{};
  size_t char_size_ = 0;
  // Whether the debugger output listens during the current character.
  bool debug_enabled_ = false;
  std::string trace_;
};

}  // namespace sentrel

#endif  // SERVICE_TRANSPORT_CHARSET_CONVERTER_H_
