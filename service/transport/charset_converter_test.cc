#include "service/transport/charset_converter.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "service/transport/jis_tables.h"

namespace sentrel {
namespace {

// Keeps every debugger line; can pretend that nobody listens.
class RecordingDebugOutput : public platform::DebugOutput {
 public:
  bool Enabled() override { return enabled; }
  void Write(std::u16string_view text) override { lines.push_back("(wide)"); }
  void WriteAnsi(std::string_view text) override { lines.emplace_back(text); }

  bool enabled = false;
  std::vector<std::string> lines;
};

std::string Bytes(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out.push_back(static_cast<char>(b));
  return out;
}

const std::string kToAscii = Bytes({0x1B, 0x28, 0x42});
const std::string kToRoman = Bytes({0x1B, 0x28, 0x4A});
const std::string kToJisX0208 = Bytes({0x1B, 0x24, 0x42});

class CharsetConverterTest : public ::testing::Test {
 protected:
  std::string Iso(std::u16string_view text) { return converter_.Convert(text, kEncodingIso2022Jp); }
  std::string Euc(std::u16string_view text) { return converter_.Convert(text, kEncodingEucJp); }

  RecordingDebugOutput debug_;
  CharsetConverter converter_{debug_};
};

TEST_F(CharsetConverterTest, WorkedExamples) {
  EXPECT_EQ(Iso(u"A\u3042B"), Bytes({0x41, 0x1B, 0x24, 0x42, 0x24, 0x22, 0x1B, 0x28, 0x42, 0x42}));
  EXPECT_EQ(Euc(u"A\u3042B"), Bytes({0x41, 0xA4, 0xA2, 0x42}));
  EXPECT_EQ(Iso(u"\u00A5"), Bytes({0x1B, 0x28, 0x4A, 0x5C, 0x1B, 0x28, 0x42}));
  EXPECT_EQ(Iso(u"\uFF76\uFF9E"), Bytes({0x1B, 0x24, 0x42, 0x25, 0x2C, 0x1B, 0x28, 0x42}));
}

TEST_F(CharsetConverterTest, AsciiIsTheSameInBothEncodingsWithoutEscapes) {
  std::u16string text;
  std::string expected;
  for (char16_t c = 0; c < 0x80; ++c) {
    text.push_back(c);
    expected.push_back(static_cast<char>(c));
  }
  EXPECT_EQ(Iso(text), expected);
  EXPECT_EQ(Euc(text), expected);
}

TEST_F(CharsetConverterTest, EveryTextStartsInAsciiAndIso2022JpReturnsToIt) {
  const std::string kanji = Iso(u"\u6F22");  // JIS X 0208 row 20 cell 33
  EXPECT_EQ(kanji, kToJisX0208 + "\x34\x41" + kToAscii);
  // The closing escape sequence reset the state, so the next text begins with ESC $ B again.
  EXPECT_EQ(Iso(u"\u6F22"), kanji);
  EXPECT_EQ(converter_.shift_state(), kStateAscii);
  // Runs of one set share an escape sequence; line ends switch back to ASCII.
  EXPECT_EQ(Iso(u"\u6F22\u5B57\r\n\u00A5\u203E\u3042"),
            kToJisX0208 + "\x34\x41\x3B\x7A" + kToAscii + "\r\n" + kToRoman + "\x5C\x7E" +
                kToJisX0208 + "\x24\x22" + kToAscii);
}

TEST_F(CharsetConverterTest, HalfwidthKatakanaLettersBecomeFullwidth) {
  EXPECT_EQ(Euc(u"\uFF6F"), Euc(u"\u30C3"));
  EXPECT_EQ(Euc(u"\uFF66\uFF70\uFF9D"), Euc(u"\u30F2\u30FC\u30F3"));
  for (char16_t c = 0xFF66; c <= 0xFF9D; ++c) {
    const char16_t full = kHalfwidthToFullwidthKatakana[c - 0xFF61];
    ASSERT_GE(full, 0x30A1) << std::hex << static_cast<unsigned>(c);
    ASSERT_LE(full, 0x30FC) << std::hex << static_cast<unsigned>(c);
    EXPECT_EQ(Iso(std::u16string(1, c)), Iso(std::u16string(1, full)))
        << std::hex << static_cast<unsigned>(c);
    EXPECT_EQ(Euc(std::u16string(1, c)), Euc(std::u16string(1, full)))
        << std::hex << static_cast<unsigned>(c);
  }
}

TEST_F(CharsetConverterTest, SoundMarksCombineWithTheLettersThatHaveVoicedForms) {
  // A voiced letter follows its plain letter in Unicode, a semi-voiced letter comes one later.
  auto full = [](char16_t half) { return kHalfwidthToFullwidthKatakana[half - 0xFF61]; };
  for (char16_t c = 0xFF76; c <= 0xFF84; ++c) {
    const std::u16string pair{c, 0xFF9E};
    EXPECT_EQ(Euc(pair), Euc(std::u16string(1, full(c) + 1)))
        << std::hex << static_cast<unsigned>(c);
    EXPECT_EQ(Iso(pair), Iso(std::u16string(1, full(c) + 1)))
        << std::hex << static_cast<unsigned>(c);
  }
  for (char16_t c = 0xFF8A; c <= 0xFF8E; ++c) {
    EXPECT_EQ(Euc(std::u16string{c, 0xFF9E}), Euc(std::u16string(1, full(c) + 1)));
    EXPECT_EQ(Euc(std::u16string{c, 0xFF9F}), Euc(std::u16string(1, full(c) + 2)));
  }
  // A combined sound mark is consumed; the letter after it is converted normally.
  EXPECT_EQ(Euc(u"\uFF8A\uFF9F\uFF8A"), Euc(u"\u30D1\u30CF"));
  // Letters without such a form keep the sound mark as a character of its own: U+FF73 U+FF9E is
  // not combined, nor is U+FF76 with the semi-voiced mark.
  EXPECT_EQ(Euc(u"\uFF73\uFF9E"), Euc(u"\u30A6") + Bytes({0x8E, 0xDE}));
  EXPECT_EQ(Iso(u"\uFF73\uFF9E"), Iso(u"\u30A6"));
  EXPECT_EQ(Euc(u"\uFF76\uFF9F"), Euc(u"\u30AB") + Bytes({0x8E, 0xDF}));
  // A sound mark before its letter, or at the end of the text, stands alone.
  EXPECT_EQ(Euc(u"\uFF9E\uFF76"), Bytes({0x8E, 0xDE}) + Euc(u"\u30AB"));
}

TEST_F(CharsetConverterTest, HalfwidthPunctuationAndLoneSoundMarksStayHalfwidth) {
  const std::u16string marks = u"\uFF61\uFF62\uFF63\uFF64\uFF65\uFF9E\uFF9F";
  EXPECT_EQ(Euc(marks), Bytes({0x8E, 0xA1, 0x8E, 0xA2, 0x8E, 0xA3, 0x8E, 0xA4, 0x8E, 0xA5, 0x8E,
                               0xDE, 0x8E, 0xDF}));
  EXPECT_EQ(Iso(marks), "");
  EXPECT_EQ(Iso(u"a\uFF61b"), "ab");
}

TEST_F(CharsetConverterTest, YenSignAndOverlineAreJisX0201RomanOnly) {
  EXPECT_EQ(Iso(u"\u00A5"), kToRoman + "\x5C" + kToAscii);
  EXPECT_EQ(Iso(u"\u203E"), kToRoman + "\x7E" + kToAscii);
  EXPECT_EQ(Euc(u"\u00A5\u203E"), "");
  // The backslash and tilde stay ASCII, and so does every ASCII character after a Roman one.
  EXPECT_EQ(Iso(u"\\~"), "\\~");
  EXPECT_EQ(Iso(u"\u00A5z"), kToRoman + "\x5C" + kToAscii + "z");
}

TEST_F(CharsetConverterTest, LatinLettersWithDiacriticsAreJisX0212InEucJpOnly) {
  EXPECT_EQ(Euc(u"\u00FC"), Bytes({0x8F, 0xAB, 0xE4}));
  EXPECT_EQ(Iso(u"\u00FC"), "");
  for (char16_t c = 0x00F8; c <= 0x00FF; ++c) {
    const std::string bytes = Euc(std::u16string(1, c));
    ASSERT_EQ(bytes.size(), 3u) << std::hex << static_cast<unsigned>(c);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x8F);
    EXPECT_EQ(Iso(std::u16string(1, c)), "");
  }
}

TEST_F(CharsetConverterTest, CodePage932ExtensionsHaveNoJisX0208Code) {
  // NEC row 13 (circled digit, Roman numeral, parenthesised ideograph), IBM extensions (small
  // Roman numeral, kanji), user-defined area, and the single byte 0xA0 of code page 932.
  for (char16_t c : {0x2460, 0x2160, 0x3231, 0x2170, 0x9ED1, 0xE000, 0xF8F0}) {
    EXPECT_NE(CharsetConverter::UCS4ToSJIS(c), -1) << std::hex << static_cast<unsigned>(c);
    EXPECT_EQ(Iso(std::u16string(1, c)), "") << std::hex << static_cast<unsigned>(c);
    EXPECT_EQ(Euc(std::u16string(1, c)), "") << std::hex << static_cast<unsigned>(c);
  }
  // An IBM extension kanji that JIS X 0212 has goes out in EUC-JP as JIS X 0212.
  EXPECT_EQ(Iso(u"\u7E8A"), "");
  EXPECT_EQ(Euc(u"\u7E8A"), Bytes({0x8F, 0xD4, 0xE3}));
}

TEST_F(CharsetConverterTest, CodePage932VariantsMapLikeTheStandardCharacters) {
  const std::u16string variants = u"\uFF5E\u2225\uFF0D\uFFE0\uFFE1\uFFE2";
  const std::u16string standard = u"\u301C\u2016\u2212\u00A2\u00A3\u00AC";
  EXPECT_EQ(Iso(variants), Iso(standard));
  EXPECT_EQ(Euc(variants), Euc(standard));
  EXPECT_EQ(Euc(u"\u301C"), Bytes({0xA1, 0xC1}));
}

TEST_F(CharsetConverterTest, OtherEncodingsGiveNothing) {
  for (int encoding : {0, 1, 932, 50220, 65001}) {
    EXPECT_EQ(converter_.Convert(u"abc\u3042\uFF76\uFF9E", encoding), "") << encoding;
  }
  char buffer[8] = "xxxxxxx";
  EXPECT_EQ(converter_.ConvertString(u"abc", buffer, 1), 0u);
  EXPECT_EQ(buffer[0], '\0');
}

TEST_F(CharsetConverterTest, OutputStopsAtTheBufferBound) {
  // A JIS X 0212 kanji takes three bytes in EUC-JP: 50,001 of them fill the buffer exactly.
  const char16_t kanji0212 = 0x4E02;
  ASSERT_EQ(CharsetConverter::GetEucJpCharset(kanji0212), 3);
  std::vector<char> buffer(kConvertedTextBufferSize, 'x');
  const std::u16string full(50001, kanji0212);
  EXPECT_EQ(converter_.ConvertString(full, buffer, kEncodingEucJp), 150003u);
  EXPECT_EQ(buffer[150003], '\0');
  EXPECT_EQ(converter_.Convert(full, kEncodingEucJp).size(), 150003u);
  EXPECT_EQ(converter_.Convert(full + u"\u4E02", kEncodingEucJp).size(), 150003u);
  EXPECT_EQ(converter_.Convert(full + u"A", kEncodingEucJp).size(), 150003u);

  // JIS X 0208 kanji in ISO-2022-JP: one escape sequence each way and two bytes a kanji.
  const std::string iso = converter_.Convert(std::u16string(50001, u'\u6F22'), kEncodingIso2022Jp);
  EXPECT_EQ(iso.size(), 3u + 100002u + 3u);

  // Alternating sets need an escape sequence per character: conversion stops early and still
  // leaves room for the closing escape sequence and the terminator.
  std::u16string alternating;
  for (int i = 0; i < 25001; ++i) alternating += u"\u00A5\u6F22";
  std::fill(buffer.begin(), buffer.end(), 'x');
  const size_t n = converter_.ConvertString(alternating, buffer, kEncodingIso2022Jp);
  EXPECT_LE(n + 1, kConvertedTextBufferSize);
  EXPECT_GT(n + 1 + 5, kConvertedTextBufferSize);  // the next character (5 bytes) did not fit
  EXPECT_EQ(std::string(buffer.data() + n - 3, 3), kToAscii);
  EXPECT_EQ(buffer[n], '\0');
  EXPECT_EQ(converter_.Convert(alternating, kEncodingIso2022Jp), std::string(buffer.data(), n));
}

TEST_F(CharsetConverterTest, SmallBuffersStillGetTheClosingEscapeAndTerminator) {
  char buffer[9];
  // ESC $ B + kanji (5 bytes) + ESC ( B + NUL = 9; a second kanji (2 bytes) does not fit.
  EXPECT_EQ(converter_.ConvertString(u"\u6F22\u6F22", buffer, kEncodingIso2022Jp), 8u);
  EXPECT_EQ(std::string(buffer, 8), kToJisX0208 + "\x34\x41" + kToAscii);
  EXPECT_EQ(buffer[8], '\0');
  char tiny[1] = {'x'};
  EXPECT_EQ(converter_.ConvertString(u"abc", tiny, kEncodingEucJp), 0u);
  EXPECT_EQ(tiny[0], '\0');
  EXPECT_EQ(converter_.ConvertString(u"abc", std::span<char>(), kEncodingEucJp), 0u);
}

TEST_F(CharsetConverterTest, ConvertCharReportsTheConsumedSoundMark) {
  bool consumed = true;
  EXPECT_EQ(converter_.ConvertChar(0xFF8A, kEncodingEucJp, 0xFF9F, consumed), Euc(u"\u30D1"));
  EXPECT_TRUE(consumed);
  EXPECT_EQ(converter_.ConvertChar(0xFF8A, kEncodingEucJp, 0x0041, consumed), Euc(u"\u30CF"));
  EXPECT_FALSE(consumed);
  // The shift state carries over between characters and the escape comes only on a change.
  EXPECT_EQ(converter_.ConvertChar(0x3042, kEncodingIso2022Jp, 0, consumed),
            kToJisX0208 + "\x24\x22");
  EXPECT_EQ(converter_.ConvertChar(0x3042, kEncodingIso2022Jp, 0, consumed), "\x24\x22");
  EXPECT_EQ(converter_.shift_state(), kStateJisX0208);
}

TEST_F(CharsetConverterTest, DebuggerLinesAndTrace) {
  debug_.enabled = true;
  Euc(u"A\uFF76\u2460");
  Iso(u"\u3042\u00E9");
  const std::vector<std::string> expected = {
      "0041-->41,",
      "ff76-->##(30ab)-->a5,ab,",
      "ERROR - CC0005: No conversion available for UCS-2 to EUC-JP: 2460 (`)\r\n",
      "2460-->",
      "3042-->1b,24,42,24,22,",
      "ERROR - CC0006: No conversion available for UCS-2 to ISO-2022-JP: 00e9 (\xE9)\r\n",
      "ERROR CC0009 - CharsetConverter",
      "00e9-->",
  };
  EXPECT_EQ(debug_.lines, expected);

  debug_.lines.clear();
  converter_.writeIso2022JpEscapeSequence(4);
  EXPECT_EQ(debug_.lines, std::vector<std::string>{"Internal Error in Character Encoding "
                                                   "writeIso2022JpEscapeSequence() - state 4\r\n"});
}

TEST_F(CharsetConverterTest, NothingGoesToTheDebuggerWhenNobodyListens) {
  Euc(u"A\uFF76\u2460");
  Iso(u"\u3042\u00E9");
  EXPECT_TRUE(debug_.lines.empty());
}

TEST(CharsetConverterLookupTest, Classifiers) {
  EXPECT_EQ(CharsetConverter::GetIso2022JpCharset(0x41), 0);
  EXPECT_EQ(CharsetConverter::GetIso2022JpCharset(0xA5), 1);
  EXPECT_EQ(CharsetConverter::GetIso2022JpCharset(0x3042), 3);
  EXPECT_EQ(CharsetConverter::GetIso2022JpCharset(0xFC), -1);
  EXPECT_EQ(CharsetConverter::GetIso2022JpCharset(0xFF61), -1);
  EXPECT_EQ(CharsetConverter::GetEucJpCharset(0x41), 0);
  EXPECT_EQ(CharsetConverter::GetEucJpCharset(0xFF61), 1);
  EXPECT_EQ(CharsetConverter::GetEucJpCharset(0x3042), 2);
  EXPECT_EQ(CharsetConverter::GetEucJpCharset(0xFC), 3);
  EXPECT_EQ(CharsetConverter::GetEucJpCharset(0xA5), -1);
  EXPECT_EQ(CharsetConverter::GetEucJpCharset(0x10000), -1);
}

TEST(CharsetConverterLookupTest, ShiftJisToJisX0208Arithmetic) {
  EXPECT_EQ(CharsetConverter::SJISToJISX0208(0x8140), 0x2121);
  EXPECT_EQ(CharsetConverter::SJISToJISX0208(0x829F), 0x2421);  // trail from 0x9F: even row
  EXPECT_EQ(CharsetConverter::SJISToJISX0208(0x8380), 0x2560);  // trail 0x80: skips 0x7F
  EXPECT_EQ(CharsetConverter::SJISToJISX0208(0xE040), 0x5F21);  // lead from 0xE0
  EXPECT_EQ(CharsetConverter::SJISToJISX0208(0xEAA4), 0x7426);  // last JIS X 0208 kanji
  EXPECT_EQ(CharsetConverter::SJISToJISX0208(0xEFFC), 0x7E7E);
  EXPECT_EQ(CharsetConverter::SJISToJISX0208(0x813F), -1);
  EXPECT_EQ(CharsetConverter::SJISToJISX0208(0xF040), -1);
}

TEST(CharsetConverterLookupTest, JisX0201) {
  EXPECT_EQ(CharsetConverter::UCS4ToJISX0201(0x5C), -1);
  EXPECT_EQ(CharsetConverter::UCS4ToJISX0201(0x7E), -1);
  EXPECT_EQ(CharsetConverter::UCS4ToJISX0201(0xA5), 0x5C);
  EXPECT_EQ(CharsetConverter::UCS4ToJISX0201(0x203E), 0x7E);
  EXPECT_EQ(CharsetConverter::UCS4ToJISX0201(0x41), 0x41);
  EXPECT_EQ(CharsetConverter::UCS4ToJISX0201(0xFF61), 0xA1);
  EXPECT_EQ(CharsetConverter::UCS4ToJISX0201(0xFF9F), 0xDF);
  EXPECT_EQ(CharsetConverter::UCS4ToJISX0201(0xF8F0), -1);  // code page 932 byte 0xA0
  EXPECT_EQ(CharsetConverter::UCS4ToJISX0201(0x3042), -1);
}

// The JIS X 0208 rule on these tables: the standard 6,879 characters, the six code page 932
// variants and U+005C (turned into U+FF3C before the lookup).
TEST(CharsetConverterLookupTest, JisX0208CoversTheStandardSetAndTheVariants) {
  int count = 0;
  for (uint32_t c = 0; c < 0x10000; ++c) {
    if (CharsetConverter::UCS4toJISX0208(c) >= 0) ++count;
  }
  EXPECT_EQ(count, 6886);
  EXPECT_EQ(CharsetConverter::UCS4toJISX0208(0x5C), 0x2140);
  EXPECT_EQ(CharsetConverter::UCS4toJISX0208(0xFF3C), 0x2140);
  EXPECT_EQ(CharsetConverter::UCS4toJISX0208(0xA5), -1);
}

// ---- Tables ----

int CountEntries(const JisTableRow (&table)[256]) {
  int count = 0;
  for (uint32_t c = 0; c < 0x10000; ++c) count += LookupJisTable(table, c) != 0;
  return count;
}

TEST(JisTablesTest, SizesAndNotableEntries) {
  EXPECT_EQ(CountEntries(kUnicodeToCp932) + 128, 9401);
  EXPECT_EQ(CountEntries(kUnicodeToJisX0212), 6066);
  for (uint32_t c : {0x80, 0xA2, 0xA3, 0xAC, 0x2016, 0x2212, 0x301C}) {
    EXPECT_EQ(CharsetConverter::UCS4ToSJIS(c), -1) << std::hex << static_cast<unsigned>(c);
  }
  EXPECT_EQ(CharsetConverter::UCS4ToSJIS(0xF8F0), 0xA0);
  EXPECT_EQ(CharsetConverter::UCS4ToSJIS(0xF8F1), 0xFD);
  EXPECT_EQ(CharsetConverter::UCS4ToSJIS(0xF8F3), 0xFF);
  EXPECT_EQ(CharsetConverter::UCS4ToSJIS(0x0000), 0x00);
  EXPECT_EQ(CharsetConverter::UCS4ToSJIS(0xFF5E), 0x8160);
  EXPECT_EQ(CharsetConverter::UCS4ToSJIS(0x2252), 0x81E0);  // lowest of 0x81E0 and 0x8790
  EXPECT_EQ(CharsetConverter::UCS4ToJISX0212(0xFC), 0x2B64);
  EXPECT_EQ(CharsetConverter::UCS4ToJISX0212(0x7E), -1);
  EXPECT_EQ(CharsetConverter::UCS4ToJISX0212(0xFF5E), -1);
}

std::filesystem::path SourceRoot() {
  // This file is service/transport/charset_converter_test.cc under the source root.
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(JisTablesTest, CheckedInTablesEqualAFreshGeneration) {
  if (std::system("python3 --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
  const std::filesystem::path root = SourceRoot();
  const std::filesystem::path checked_in = root / "service/transport/jis_tables.cc";
  ASSERT_TRUE(std::filesystem::exists(checked_in)) << checked_in;
  const std::filesystem::path fresh =
      std::filesystem::temp_directory_path() / ("jis_tables_" + std::to_string(getpid()) + ".cc");
  const std::string command =
      "python3 '" + (root / "scripts/gen_jis_tables.py").string() + "' -o '" + fresh.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string generated = ReadFile(fresh);
  std::filesystem::remove(fresh);
  EXPECT_TRUE(generated == ReadFile(checked_in))
      << "service/transport/jis_tables.cc is stale: regenerate it with scripts/gen_jis_tables.py";
}

// ---- Oracle: glibc iconv ----

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `in`, leaving out what iconv rejects, and returns to the initial state.
  std::string Convert(const std::string& in, size_t unit) {
    std::string out;
    char buffer[64];
    for (size_t i = 0; i < in.size(); i += unit) {
      char* src = const_cast<char*>(in.data() + i);
      size_t src_left = unit;
      char* dst = buffer;
      size_t dst_left = sizeof buffer;
      if (iconv(cd_, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1)) {
        out.append(buffer, dst);
      }
    }
    char* dst = buffer;
    size_t dst_left = sizeof buffer;
    iconv(cd_, nullptr, nullptr, &dst, &dst_left);
    out.append(buffer, dst);
    return out;
  }

 private:
  iconv_t cd_;
};

std::string Utf16Le(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

struct ExpectedDifference {
  char16_t first;
  char16_t last;
  int encoding;  // 0: both
  const char* reason;
};

// Where this converter and glibc iconv deliberately disagree.
constexpr ExpectedDifference kExpectedDifferences[] = {
    {0x0080, 0x008D, kEncodingEucJp,
     "C1 controls: iconv passes them as single bytes; JIS sets have no such codes, so dropped"},
    {0x0090, 0x009F, kEncodingEucJp, "C1 controls, as above"},
    {0x00A5, 0x00A5, kEncodingEucJp,
     "yen sign: iconv sends 0x5C (ASCII backslash); EUC-JP has no JIS X 0201 Roman, so dropped"},
    {0x203E, 0x203E, kEncodingEucJp, "overline: iconv sends 0x7E (ASCII tilde); dropped"},
    {0x2225, 0x2225, 0, "code page 932 variant of U+2016, sent as JIS X 0208 1-34"},
    {0xFF0D, 0xFF0D, 0, "code page 932 variant of U+2212, sent as JIS X 0208 1-61"},
    {0xFF5E, 0xFF5E, 0,
     "code page 932 variant of U+301C, sent as JIS X 0208 1-33 (iconv EUC-JP: JIS X 0212 tilde)"},
    {0xFFE0, 0xFFE2, 0, "code page 932 variants of U+00A2, U+00A3, U+00AC"},
    {0xFF66, 0xFF9D, 0,
     "halfwidth katakana letters become fullwidth (iconv: dropped in ISO-2022-JP, SS2 in EUC-JP)"},
};

bool IsExpectedDifference(char16_t c, int encoding) {
  for (const ExpectedDifference& d : kExpectedDifferences) {
    if (c >= d.first && c <= d.last && (d.encoding == 0 || d.encoding == encoding)) return true;
  }
  return false;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char text[4];
  for (unsigned char b : bytes) {
    std::snprintf(text, sizeof text, "%02X ", b);
    out += text;
  }
  return out;
}

class IconvOracleTest : public ::testing::TestWithParam<int> {
 protected:
  const char* IconvName() const {
    return GetParam() == kEncodingIso2022Jp ? "ISO-2022-JP" : "EUC-JP";
  }

  RecordingDebugOutput debug_;
  CharsetConverter converter_{debug_};
};

// Every BMP character alone agrees byte for byte with iconv, except the listed ones, which must
// really differ (so that the list stays exact).
TEST_P(IconvOracleTest, EachCharacterAgreesExceptTheListedDifferences) {
  Iconv iconv(IconvName(), "UTF-16LE");
  ASSERT_TRUE(iconv.ok());
  int compared = 0;
  for (uint32_t c = 0; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::u16string text(1, static_cast<char16_t>(c));
    const std::string ours = converter_.Convert(text, GetParam());
    const std::string theirs = iconv.Convert(Utf16Le(text), 2);
    if (IsExpectedDifference(c, GetParam())) {
      EXPECT_NE(ours, theirs) << "listed difference agrees: U+" << std::hex
                              << static_cast<unsigned>(c);
    } else {
      EXPECT_EQ(Hex(ours), Hex(theirs)) << "U+" << std::hex << static_cast<unsigned>(c);
      ++compared;
    }
  }
  EXPECT_GT(compared, 63000);
}

// Whole rows of 256 characters as one text, so that shift state changes between neighbours of
// every kind are compared too.
TEST_P(IconvOracleTest, WholeRowsAgreeAsOneText) {
  Iconv iconv(IconvName(), "UTF-16LE");
  ASSERT_TRUE(iconv.ok());
  for (uint32_t high = 0; high < 0x100; ++high) {
    if (high >= 0xD8 && high <= 0xDF) continue;
    std::u16string text;
    for (uint32_t low = 0; low < 0x100; ++low) {
      const char16_t c = static_cast<char16_t>((high << 8) | low);
      // Sound marks are left out: they combine with a preceding letter here.
      if (!IsExpectedDifference(c, GetParam()) && c != 0xFF9E && c != 0xFF9F) text.push_back(c);
    }
    // Mix in ASCII, the yen sign and kanji so that every row switches sets. No ASCII follows
    // the yen sign directly: iconv stays in JIS X 0201 Roman for the ASCII characters Roman
    // shares, where this converter returns to ASCII (both are valid ISO-2022-JP).
    std::u16string mix = u"\u6F22A\u00A5\u6F22z";
    std::erase_if(mix, [this](char16_t c) { return IsExpectedDifference(c, GetParam()); });
    text.insert(text.size() / 2, mix);
    text += mix;
    EXPECT_EQ(Hex(converter_.Convert(text, GetParam())), Hex(iconv.Convert(Utf16Le(text), 2)))
        << "row " << std::hex << high;
  }
}

INSTANTIATE_TEST_SUITE_P(Encodings, IconvOracleTest,
                         ::testing::Values(kEncodingIso2022Jp, kEncodingEucJp),
                         [](const auto& info) {
                           return info.param == kEncodingIso2022Jp ? "Iso2022Jp" : "EucJp";
                         });

// Table 1 against glibc's own code page 932 decoder: the same lowest code for every character,
// except the single bytes 0xA0 and 0xFD-0xFF, which iconv does not decode.
TEST(JisTablesOracleTest, Cp932TableMatchesIconvDecoding) {
  Iconv decoder("UTF-16LE", "CP932");
  ASSERT_TRUE(decoder.ok());
  std::vector<int> lowest(0x10000, -1);
  auto add = [&](const std::string& bytes, int code) {
    const std::string wide = decoder.Convert(bytes, bytes.size());
    if (wide.size() != 2) return;
    const unsigned c = static_cast<unsigned char>(wide[0]) | static_cast<unsigned char>(wide[1])
                                                                 << 8;
    if (lowest[c] < 0) lowest[c] = code;
  };
  for (int b = 0; b < 0x100; ++b) add(std::string(1, static_cast<char>(b)), b);
  for (int lead = 0x81; lead < 0x100; ++lead) {
    for (int trail = 0x40; trail < 0x100; ++trail) {
      add(Bytes({lead, trail}), (lead << 8) | trail);
    }
  }
  lowest[0x80] = -1;
  for (uint32_t c = 0; c < 0x10000; ++c) {
    if (c >= 0xF8F0 && c <= 0xF8F3) continue;
    ASSERT_EQ(CharsetConverter::UCS4ToSJIS(c), lowest[c])
        << "U+" << std::hex << static_cast<unsigned>(c);
  }
}

}  // namespace
}  // namespace sentrel
