#include "platform/emulated/reg_file.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/code_page.h"
#include "platform/emulated/code_page.h"

namespace platform::emulated {
namespace {

std::vector<uint8_t> Wide(std::u16string_view text) {
  std::vector<uint8_t> out;
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

RegFileValue Value(std::u16string name, uint32_t type, std::vector<uint8_t> data) {
  RegFileValue v;
  v.name = std::move(name);
  v.type = type;
  v.data = std::move(data);
  return v;
}

std::vector<uint8_t> Bytes(size_t n, uint8_t start = 0) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(start + i));
  return out;
}

std::string Utf8Of(std::u16string_view text) { return Utf16ToUtf8(text); }

// Parses UTF-8 text; on failure returns the error as "LINE: message".
std::string ParseError(const std::string& text) {
  RegFile file;
  RegFileError error;
  if (ParseRegFile(text, nullptr, &file, &error)) return "parsed";
  return std::to_string(error.line) + ": " + error.message;
}

RegFile ParseOk(const std::string& bytes, const AnsiDecoder& ansi = nullptr) {
  RegFile file;
  RegFileError error;
  EXPECT_TRUE(ParseRegFile(bytes, ansi, &file, &error)) << error.line << ": " << error.message;
  return file;
}

void ExpectSame(const RegFile& a, const RegFile& b) {
  ASSERT_EQ(a.keys.size(), b.keys.size());
  for (size_t k = 0; k < a.keys.size(); ++k) {
    const RegFileKey& x = a.keys[k];
    const RegFileKey& y = b.keys[k];
    EXPECT_EQ(x.root, y.root) << k;
    EXPECT_EQ(Utf8Of(x.path), Utf8Of(y.path)) << k;
    EXPECT_EQ(x.remove, y.remove) << k;
    ASSERT_EQ(x.values.size(), y.values.size()) << Utf8Of(x.path);
    for (size_t v = 0; v < x.values.size(); ++v) {
      SCOPED_TRACE(Utf8Of(x.path) + " value " + std::to_string(v));
      EXPECT_EQ(Utf8Of(x.values[v].name), Utf8Of(y.values[v].name));
      EXPECT_EQ(x.values[v].remove, y.values[v].remove);
      if (!x.values[v].remove) {
        EXPECT_EQ(x.values[v].type, y.values[v].type);
        EXPECT_EQ(x.values[v].data, y.values[v].data);
      }
    }
  }
}

TEST(RegFileTest, EveryTypeRoundTrips) {
  RegFile file;
  RegFileKey key;
  key.path = u"SOFTWARE\\Test \u65E5\u672C";
  key.values = {
      Value(u"", kRegSz, Wide(std::u16string(u"default", 8))),
      Value(u"Path \"q\" \\", kRegSz, Wide(std::u16string(u"C:\\dir\\\"x\"", 11))),
      Value(u"Empty", kRegSz, Wide(std::u16string(1, u'\0'))),
      Value(u"NoTerminator", kRegSz, Wide(u"abc")),
      Value(u"EmbeddedZero", kRegSz, Wide(std::u16string(u"a\0b\0", 4))),
      Value(u"Lines", kRegSz, Wide(std::u16string(u"one\r\ntwo", 9))),
      Value(u"Japanese \u30C6", kRegSz, Wide(std::u16string(u"\u65E5\u672C\u8A9E", 4))),
      Value(u"Expand", kRegExpandSz, Wide(std::u16string(u"%SystemRoot%\\x.dll", 19))),
      Value(u"Multi", kRegMultiSz, Wide(std::u16string(u"one\0two\0\0", 9))),
      Value(u"Dword", kRegDword, {0x2a, 0, 0, 0x80}),
      Value(u"ShortDword", kRegDword, {1, 2, 3}),
      Value(u"Binary", kRegBinary, Bytes(300)),
      Value(u"EmptyBinary", kRegBinary, {}),
      Value(u"None", kRegNone, {1}),
      Value(u"Qword", 11, Bytes(8, 0xF0)),
  };
  file.keys.push_back(key);
  RegFileKey removed;
  removed.path = u"SOFTWARE\\Gone";
  removed.remove = true;
  file.keys.push_back(removed);
  RegFileKey user;
  user.root = RegRoot::kCurrentUser;
  RegFileValue gone;
  gone.name = u"Old";
  gone.remove = true;
  user.values = {gone, Value(u"x", kRegDword, {0, 0, 0, 0})};
  file.keys.push_back(user);

  ExpectSame(file, ParseOk(FormatRegFile(file)));
}

TEST(RegFileTest, WritesRegeditLayout) {
  RegFile file;
  RegFileKey key;
  key.path = u"SOFTWARE\\Vendor";
  key.values = {Value(u"", kRegSz, Wide(std::u16string(u"a\"b\\c", 6))),
                Value(u"Dword", kRegDword, {0x2a, 0, 0, 0}), Value(u"Bin", kRegBinary, Bytes(40)),
                Value(u"Exp", kRegExpandSz, Wide(std::u16string(u"%A%", 4)))};
  file.keys.push_back(key);
  RegFileKey sub;
  sub.path = u"SOFTWARE\\Vendor\\Sub";
  file.keys.push_back(sub);

  const std::string bytes = FormatRegFile(file);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFEW\0", 4));
  const std::u16string expected =
      u"Windows Registry Editor Version 5.00\r\n"
      u"\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n"
      u"@=\"a\\\"b\\\\c\"\r\n"
      u"\"Dword\"=dword:0000002a\r\n"
      u"\"Bin\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
      u"  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27\r\n"
      u"\"Exp\"=hex(2):25,00,41,00,25,00,00,00\r\n"
      u"\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Sub]\r\n"
      u"\r\n";
  EXPECT_EQ(Utf8Of(FormatRegText(file)), Utf8Of(expected));
}

TEST(RegFileTest, HexLinesStayWithinEightyColumns) {
  for (size_t name_len : {1, 20, 60, 75, 90}) {
    RegFile file;
    RegFileKey key;
    key.values = {Value(std::u16string(name_len, u'n'), kRegMultiSz, Bytes(500))};
    file.keys.push_back(key);
    std::istringstream lines(Utf8Of(FormatRegText(file)));
    std::string line;
    int wrapped = 0;
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.size() > 1 && line.back() == '\\') {
        ++wrapped;
        // Only a name longer than the line forces a longer first line.
        if (line.rfind("  ", 0) == 0 || name_len < 70) {
          EXPECT_LE(line.size(), 80u) << line;
        }
        EXPECT_EQ(line.substr(line.size() - 2), ",\\");
      }
    }
    EXPECT_GT(wrapped, 10) << name_len;
    ExpectSame(file, ParseOk(FormatRegFile(file)));
  }
}

TEST(RegFileTest, ReadsUtf8CommentsAndContinuations) {
  const std::string text =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
      "; a comment\n"
      "\n"
      "  [HKEY_CURRENT_USER\\Software\\App]   ; trailing comment\n"
      "\"Name\" = \"caf\xC3\xA9\"\n"
      "\"Bin\"=hex:01, 02,\\\n"
      "    03,\\   \n"
      "\t04  ; end\n"
      "\"Dw\"=DWORD:FFFFFFFF\n"
      "\"T\"=hex(b):01,02,03,04,05,06,07,08\n"
      "\"Gone\"=-\n"
      "[-HKLM\\SOFTWARE\\Old]\n";
  RegFile file = ParseOk(text);
  ASSERT_EQ(file.keys.size(), 2u);
  const RegFileKey& app = file.keys[0];
  EXPECT_EQ(app.root, RegRoot::kCurrentUser);
  EXPECT_EQ(Utf8Of(app.path), "Software\\App");
  EXPECT_EQ(app.line, 4);
  ASSERT_EQ(app.values.size(), 5u);
  EXPECT_EQ(app.values[0].data, Wide(std::u16string(u"caf\u00E9", 5)));
  EXPECT_EQ(app.values[1].data, (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(app.values[1].line, 6);
  EXPECT_EQ(app.values[2].data, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(app.values[2].line, 9);
  EXPECT_EQ(app.values[3].type, 11u);
  EXPECT_TRUE(app.values[4].remove);
  EXPECT_TRUE(file.keys[1].remove);
  EXPECT_EQ(file.keys[1].root, RegRoot::kLocalMachine);
}

TEST(RegFileTest, ReadsRegedit4InTheAnsiCodePage) {
  auto cp = EmulatedCodePage::Create(1252);
  ASSERT_TRUE(cp);
  AnsiDecoder ansi = [&](std::string_view s) { return cp->AnsiToWide(s); };
  // "caf\xE9" is é in code page 1252, not UTF-8; hex(2) data is ANSI bytes too.
  const std::string text =
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"S\"=\"caf\xE9\"\r\n"
      "\"E\"=hex(2):25,80,25,00\r\n\"M\"=hex(7):61,00,62,00,00\r\n";
  RegFile file = ParseOk(text, ansi);
  ASSERT_EQ(file.keys.size(), 1u);
  ASSERT_EQ(file.keys[0].values.size(), 3u);
  EXPECT_EQ(file.keys[0].values[0].data, Wide(std::u16string(u"caf\u00E9", 5)));
  EXPECT_EQ(file.keys[0].values[1].data, Wide(std::u16string(u"%\u20AC%", 4)));
  EXPECT_EQ(file.keys[0].values[2].data, Wide(std::u16string(u"a\0b\0\0", 5)));
}

TEST(RegFileTest, ReadsUtf16WithAndWithoutBom) {
  RegFile file;
  RegFileKey key;
  key.values = {Value(u"v", kRegSz, Wide(std::u16string(u"\u00FC", 2)))};
  file.keys.push_back(key);
  const std::string with_bom = FormatRegFile(file);
  ExpectSame(file, ParseOk(with_bom));
  ExpectSame(file, ParseOk(with_bom.substr(2)));
  RegFileError error;
  RegFile ignored;
  EXPECT_FALSE(ParseRegFile(with_bom.substr(0, with_bom.size() - 1), nullptr, &ignored, &error));
  EXPECT_NE(error.message.find("UTF-16"), std::string::npos);
}

TEST(RegFileTest, BadLinesNameTheirLine) {
  const std::string head = "Windows Registry Editor Version 5.00\n\n";
  const std::string key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n";
  struct Case {
    std::string text;
    std::string expected;  // "LINE: start of message"
  };
  const Case cases[] = {
      {"REGEDIT5\n", "1: not a registry file"},
      {"", "1: not a registry file"},
      {head + "\"v\"=\"x\"\n", "3: a value before the first [KEY]"},
      {head + "[HKEY_CLASSES_ROOT\\x]\n", "3: unknown root key"},
      {head + "[HKEY_LOCAL_MACHINE\\a\\\\b]\n", "3: empty key name"},
      {head + "[HKEY_LOCAL_MACHINE\\" + std::string(256, 'k') + "]\n", "3: key name longer"},
      {head + "[HKEY_LOCAL_MACHINE\\x\n", "3: the key name has no closing"},
      {head + key + "\"v\"=\"unterminated\n", "4: the value data has no closing quote"},
      {head + key + "\"v=\"x\"\n", "4: expected '='"},
      {head + key + "\"v\"=\"a\\nb\"\n", "4: unknown escape \\n"},
      {head + key + "\"v\"=\"x\" junk\n", "4: unexpected text after the closing quote"},
      {head + key + "\"v\"=dword:123456789\n", "4: dword: takes at most 8"},
      {head + key + "\"v\"=dword:xyz\n", "4: dword: needs a hex number"},
      {head + key + "\"v\"=hex:01,zz\n", "4: bad hex byte"},
      {head + key + "\"v\"=hex:01 02\n", "4: expected ','"},
      {head + key + "\"v\"=hex:001\n", "4: expected ','"},
      {head + key + "\"v\"=hex(q):01\n", "4: bad value type"},
      {head + key + "\"v\"=str:01\n", "4: unknown value data"},
      {head + key + "\"a\"=hex:01,\\\n  02,\\\n  zz\n", "6: bad hex byte"},
      {head + key + "\"a\"=hex:01,\\\n", "4: the value continues past the end"},
      {head + "[-HKEY_LOCAL_MACHINE\\Y]\n\"v\"=\"x\"\n", "4: a value under a key that is being"},
      {head + key + "garbage\n", "4: unexpected text"},
      {head + key + "\"v\"=\"\xC3\x28\"\n", "4: the text is not valid UTF-8"},
  };
  for (const Case& c : cases) {
    const std::string got = ParseError(c.text);
    EXPECT_EQ(got.substr(0, c.expected.size()), c.expected) << c.text;
  }
}

TEST(RegFileTest, SplitRootPathAcceptsShortAndLongRootNames) {
  RegRoot root;
  std::u16string path;
  ASSERT_TRUE(SplitRootPath(u"hklm\\Software\\X\\", &root, &path));
  EXPECT_EQ(root, RegRoot::kLocalMachine);
  EXPECT_EQ(Utf8Of(path), "Software\\X");
  ASSERT_TRUE(SplitRootPath(u"HKEY_CURRENT_USER", &root, &path));
  EXPECT_EQ(root, RegRoot::kCurrentUser);
  EXPECT_TRUE(path.empty());
  EXPECT_FALSE(SplitRootPath(u"HKU\\x", &root, &path));
  EXPECT_FALSE(SplitRootPath(u"HKLMX\\x", &root, &path));
}

}  // namespace
}  // namespace platform::emulated
