#include "service/transport/charset_converter.h"

#include <algorithm>
#include <cstdio>

#include "service/transport/jis_tables.h"

namespace sentrel {

namespace {

constexpr char16_t kHalfwidthFirst = 0xFF61;
constexpr char16_t kHalfwidthLast = 0xFF9F;
constexpr char16_t kVoicedSoundMark = 0xFF9E;
constexpr char16_t kSemiVoicedSoundMark = 0xFF9F;

// Voiced letters for the halfwidth letters U+FF76 .. U+FF84 followed by U+FF9E.
constexpr char16_t kVoicedKaToDo[] = {0x30AC, 0x30AE, 0x30B0, 0x30B2, 0x30B4,
                                      0x30B6, 0x30B8, 0x30BA, 0x30BC, 0x30BE,
                                      0x30C0, 0x30C2, 0x30C5, 0x30C7, 0x30C9};
// Voiced and semi-voiced letters for the halfwidth letters U+FF8A .. U+FF8E followed by U+FF9E
// and U+FF9F.
constexpr char16_t kVoicedHaToHo[] = {0x30D0, 0x30D3, 0x30D6, 0x30D9, 0x30DC};
constexpr char16_t kSemiVoicedHaToHo[] = {0x30D1, 0x30D4, 0x30D7, 0x30DA, 0x30DD};

constexpr size_t kEscapeSequenceSize = 3;
constexpr char kEscapeSequences[4][kEscapeSequenceSize] = {
    {0x1B, 0x28, 0x42},  // ESC ( B   ASCII
    {0x1B, 0x28, 0x4A},  // ESC ( J   JIS X 0201 Roman
    {0x1B, 0x24, 0x40},  // ESC $ @   JIS C 6226-1978
    {0x1B, 0x24, 0x42},  // ESC $ B   JIS X 0208-1983
};

// Whether a JIS X 0208 row and cell (1-94 each) is a defined character.
bool IsDefinedJisX0208Cell(int row, int cell) {
  struct Range {
    int first, last;
  };
  auto in = [cell](std::initializer_list<Range> ranges) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [cell](Range r) { return cell >= r.first && cell <= r.last; });
  };
  if (row < 1 || row > 94 || cell < 1 || cell > 94) return false;
  switch (row) {
    case 1:
      return true;
    case 2:
      return in({{1, 14}, {26, 33}, {42, 48}, {60, 74}, {82, 89}, {94, 94}});
    case 3:
      return in({{16, 25}, {33, 58}, {64, 90}});
    case 4:
      return cell <= 83;
    case 5:
      return cell <= 86;
    case 6:
      return in({{1, 24}, {33, 56}});
    case 7:
      return in({{1, 33}, {49, 91}});
    case 8:
      return cell <= 32;
    case 47:
      return cell <= 51;
    case 84:
      return cell <= 6;
    default:
      return (row >= 16 && row <= 83);
  }
}

// The code page 932 variants and the characters JIS X 0201 Roman takes over, replaced before the
// JIS X 0208 lookup.
uint32_t ReplaceForJisX0208(uint32_t ch) {
  switch (ch) {
    case 0x005C:
      return 0xFF3C;
    case 0x00A2:
      return 0xFFE0;
    case 0x00A3:
      return 0xFFE1;
    case 0x00A5:
      return 0x005C;
    case 0x00AC:
      return 0xFFE2;
    case 0x2016:
      return 0x2225;
    case 0x203E:
      return 0x007E;
    case 0x2212:
      return 0xFF0D;
    case 0x301C:
      return 0xFF5E;
    default:
      return ch;
  }
}

}  // namespace

CharsetConverter::CharsetConverter(platform::DebugOutput& debug) : debug_(debug) {}

std::string CharsetConverter::Convert(std::u16string_view text, int encoding) {
  // No character takes more than five bytes (an escape sequence and two bytes), so a buffer of
  // this size stops exactly where a full-size one would.
  const size_t size = std::min(kConvertedTextBufferSize, text.size() * 5 + kEscapeSequenceSize + 1);
  std::string out(size, '\0');
  out.resize(ConvertString(text, out, encoding));
  return out;
}

size_t CharsetConverter::ConvertString(std::u16string_view text, std::span<char> output,
                                       int encoding) {
  if (output.empty()) return 0;
  shift_state_ = kStateAscii;
  const size_t reserve = (encoding == kEncodingIso2022Jp ? kEscapeSequenceSize : 0) + 1;
  size_t used = 0;
  bool consumed = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (consumed) {
      consumed = false;
      continue;
    }
    const char16_t next = i + 1 < text.size() ? text[i + 1] : 0;
    const int state_before = shift_state_;
    const std::string_view bytes = ConvertChar(text[i], encoding, next, consumed);
    if (used + bytes.size() + reserve > output.size()) {
      shift_state_ = state_before;
      break;
    }
    std::copy(bytes.begin(), bytes.end(), output.begin() + used);
    used += bytes.size();
  }
  if (encoding == kEncodingIso2022Jp && shift_state_ != kStateAscii) {
    std::copy_n(kEscapeSequences[kStateAscii], kEscapeSequenceSize, output.begin() + used);
    used += kEscapeSequenceSize;
    shift_state_ = kStateAscii;
  }
  output[used] = '\0';
  return used;
}

std::string_view CharsetConverter::ConvertChar(char16_t ch, int encoding, char16_t next,
                                               bool& consumed_next) {
  consumed_next = false;
  char_size_ = 0;
  debug_enabled_ = debug_.Enabled();
  if (debug_enabled_) {
    char text[16];
    std::snprintf(text, sizeof text, "%4.4x-->", static_cast<unsigned>(ch));
    trace_ = text;
  }

  if (encoding == kEncodingIso2022Jp || encoding == kEncodingEucJp) {
    uint32_t c = ch;
    if (ch >= kHalfwidthFirst && ch <= kHalfwidthLast) {
      if (const char16_t combined = CombineSoundMark(ch, next)) {
        c = combined;
        consumed_next = true;
      } else {
        c = kHalfwidthToFullwidthKatakana[ch - kHalfwidthFirst];
        if (debug_enabled_) {
          char text[24];
          std::snprintf(text, sizeof text, "##(%4.4x)-->", static_cast<unsigned>(c));
          trace_ += text;
        }
      }
    }
    if (encoding == kEncodingIso2022Jp) {
      ConvertIso2022Jp(c);
    } else {
      ConvertEucJp(c);
    }
  }

  if (debug_enabled_) {
    for (size_t i = 0; i < char_size_; ++i) {
      char text[8];
      std::snprintf(text, sizeof text, "%2.2x,", static_cast<unsigned char>(char_buffer_[i]));
      trace_ += text;
    }
    debug_.WriteAnsi(trace_);
  }
  return std::string_view(char_buffer_.data(), char_size_);
}

char16_t CharsetConverter::CombineSoundMark(char16_t ch, char16_t next) {
  if (ch >= 0xFF76 && ch <= 0xFF84 && next == kVoicedSoundMark) return kVoicedKaToDo[ch - 0xFF76];
  if (ch >= 0xFF8A && ch <= 0xFF8E) {
    if (next == kVoicedSoundMark) return kVoicedHaToHo[ch - 0xFF8A];
    if (next == kSemiVoicedSoundMark) return kSemiVoicedHaToHo[ch - 0xFF8A];
  }
  return 0;
}

void CharsetConverter::ConvertIso2022Jp(uint32_t ch) {
  const int charset = GetIso2022JpCharset(ch);
  if (charset < 0) {
    ReportNoConversion(
        "ERROR - CC0006: No conversion available for UCS-2 to ISO-2022-JP: %04.4x (%c)\r\n", ch);
    if (debug_enabled_) debug_.WriteAnsi("ERROR CC0009 - CharsetConverter");
    return;
  }
  if (charset != shift_state_) {
    writeIso2022JpEscapeSequence(charset);
    shift_state_ = charset;
  }
  if (charset == kStateAscii) {
    PutByte(static_cast<int>(ch));
  } else if (charset == kStateJisX0201Roman) {
    const int code = UCS4ToJISX0201(ch);
    if (code < 0) {
      if (debug_enabled_) {
        debug_.WriteAnsi(
            "ERROR CC0007: UCS4ToJISX0201 returned -1 (might be an unsupported character)!\r\n");
      }
      return;
    }
    PutByte(code);
  } else {
    const int code = UCS4toJISX0208(ch);
    if (code < 0) {
      if (debug_enabled_) {
        debug_.WriteAnsi(
            "ERROR CC0008: UCS4toJISX0208 returned -1 (might be an unsupported character)!\r\n");
      }
      return;
    }
    PutByte(code >> 8);
    PutByte(code & 0xFF);
  }
}

void CharsetConverter::ConvertEucJp(uint32_t ch) {
  switch (GetEucJpCharset(ch)) {
    case 0:
      PutByte(static_cast<int>(ch));
      return;
    case 1: {
      const int code = UCS4ToJISX0201(ch);
      if (code < 0x80) {
        if (code < 0 && debug_enabled_) debug_.WriteAnsi("ERROR CC0001 - CharsetConverter");
        ReportNoConversion(
            "ERROR - CC0002: No conversion available for UCS-2 to EUC-JP: %04.4x (%c)\r\n", ch);
        return;
      }
      PutByte(0x8E);
      PutByte(code);
      return;
    }
    case 2: {
      const int code = UCS4toJISX0208(ch);
      if (code < 0) {
        if (debug_enabled_) debug_.WriteAnsi("ERROR CC0003 - CharsetConverter");
        return;
      }
      PutByte((code >> 8) | 0x80);
      PutByte((code & 0xFF) | 0x80);
      return;
    }
    case 3: {
      const int code = UCS4ToJISX0212(ch);
      if (code < 0) {
        if (debug_enabled_) debug_.WriteAnsi("ERROR CC0004 - CharsetConverter");
        return;
      }
      PutByte(0x8F);
      PutByte((code >> 8) | 0x80);
      PutByte((code & 0xFF) | 0x80);
      return;
    }
    default:
      ReportNoConversion(
          "ERROR - CC0005: No conversion available for UCS-2 to EUC-JP: %04.4x (%c)\r\n", ch);
      return;
  }
}

void CharsetConverter::writeIso2022JpEscapeSequence(int state) {
  if (state < kStateAscii || state > kStateJisX0208) {
    if (debug_.Enabled()) {
      char text[96];
      const int n = std::snprintf(
          text, sizeof text,
          "Internal Error in Character Encoding writeIso2022JpEscapeSequence() - state %d\r\n",
          state);
      debug_.WriteAnsi(std::string_view(text, static_cast<size_t>(n)));
    }
    return;
  }
  for (char byte : kEscapeSequences[state]) PutByte(static_cast<unsigned char>(byte));
}

void CharsetConverter::PutByte(int byte) {
  if (char_size_ < char_buffer_.size()) char_buffer_[char_size_++] = static_cast<char>(byte);
}

void CharsetConverter::ReportNoConversion(const char* format, uint32_t ch) {
  if (!debug_enabled_) return;
  char text[128];
  // The low byte goes out as a character, as a C formatter's %c writes it.
  const int n = std::snprintf(text, sizeof text, format, static_cast<unsigned>(ch),
                              static_cast<int>(ch & 0xFF));
  debug_.WriteAnsi(std::string_view(text, static_cast<size_t>(n)));
}

int CharsetConverter::UCS4ToSJIS(uint32_t ch) {
  if (ch < 0x80) return static_cast<int>(ch);
  if (ch > 0xFFFF) return -1;
  const uint16_t code = LookupJisTable(kUnicodeToCp932, static_cast<char16_t>(ch));
  return code != 0 ? code : -1;
}

int CharsetConverter::UCS4ToJISX0212(uint32_t ch) {
  if (ch > 0xFFFF) return -1;
  const uint16_t code = LookupJisTable(kUnicodeToJisX0212, static_cast<char16_t>(ch));
  return code != 0 ? code : -1;
}

int CharsetConverter::SJISToJISX0208(int sjis) {
  if (sjis < 0x8140 || sjis > 0xEFFC) return -1;
  const int lead = sjis >> 8;
  const int trail = sjis & 0xFF;
  int first = lead < 0xA0 ? 2 * lead - 0xE0 : 2 * lead - 0x160;
  if (trail < 0x9F) --first;
  int second;
  if (trail < 0x80) {
    second = trail - 0x1F;
  } else if (trail <= 0x9E) {
    second = trail - 0x20;
  } else {
    second = trail - 0x7E;
  }
  return (first << 8) | (second & 0xFF);
}

int CharsetConverter::UCS4ToJISX0201(uint32_t ch) {
  switch (ch) {
    case 0x005C:
    case 0x007E:
      return -1;
    case 0x00A5:
      return 0x5C;
    case 0x203E:
      return 0x7E;
    default:
      break;
  }
  const int code = UCS4ToSJIS(ch);
  // 0xA0 is not a JIS X 0201 code, although code page 932 gives it to U+F8F0.
  if ((code >= 0x00 && code <= 0x7F) || (code >= 0xA1 && code <= 0xDF)) return code;
  return -1;
}

int CharsetConverter::UCS4toJISX0208(uint32_t ch) {
  const int sjis = UCS4ToSJIS(ReplaceForJisX0208(ch));
  if (sjis < 0x100) return -1;
  const int jis = SJISToJISX0208(sjis);
  if (jis < 0) return -1;
  const int row = (jis >> 8) - 0x20;
  const int cell = (jis & 0xFF) - 0x20;
  return IsDefinedJisX0208Cell(row, cell) ? jis : -1;
}

int CharsetConverter::GetIso2022JpCharset(uint32_t ch) {
  if (ch < 0x80) return kStateAscii;
  if (UCS4toJISX0208(ch) >= 0) return kStateJisX0208;
  const int code = UCS4ToJISX0201(ch);
  if (code >= 0 && code < 0x80) return kStateJisX0201Roman;
  return -1;
}

int CharsetConverter::GetEucJpCharset(uint32_t ch) {
  if (ch < 0x80) return 0;
  if (UCS4toJISX0208(ch) >= 0) return 2;
  if (UCS4ToJISX0212(ch) >= 0) return 3;
  if (UCS4ToJISX0201(ch) >= 0x80) return 1;
  return -1;
}

}  // namespace sentrel
