#include "platform/emulated/pe_message_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/emulated/message_compiler.h"

namespace platform::emulated {
namespace {

const std::filesystem::path kTestData = std::filesystem::path(__FILE__).parent_path() / "testdata";

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> OwnDll() {
  const std::vector<uint8_t> source = ReadBytes(kTestData / "messages.mc");
  McDocument doc;
  McError error;
  EXPECT_TRUE(CompileMessageText(std::string(source.begin(), source.end()), &doc, &error))
      << error.line << ": " << error.message;
  return BuildMessageDll(doc);
}

// The ids of testdata/messages.mc, and which languages have them.
constexpr uint32_t kCategoryGeneral = 1, kCategoryNetwork = 2;
constexpr uint32_t kServiceState = 0x41011b7c, kTwoLines = 0xc1011b7d, kEnglishOnly = 0x00ff0064;
constexpr uint32_t kAllIds[] = {kCategoryGeneral, kCategoryNetwork, kServiceState, kTwoLines,
                                kEnglishOnly};

std::u16string Lookup(const PeMessageTable& table, uint32_t id, uint16_t language,
                      Result* result = nullptr) {
  MessageText m;
  const Result r = table.Find(id, language, &m);
  if (result != nullptr) *result = r;
  return r == kSuccess ? m.text : u"<error>";
}

std::u16string Crlf(std::u16string_view lf_text) {
  std::u16string out;
  for (char16_t c : lf_text) {
    if (c == u'\n') out += u'\r';
    out += c;
  }
  return out;
}

// Rewrites a PE32+ image from BuildMessageDll as a PE32 one: same sections, 32-bit optional
// header (data directories at 96 instead of 112).
std::vector<uint8_t> AsPe32(const std::vector<uint8_t>& pe64) {
  std::vector<uint8_t> pe32 = pe64;
  const size_t optional = 0x40 + 4 + 20;
  const size_t section64 = optional + 240, section32 = optional + 224;
  std::fill(pe32.begin() + optional, pe32.begin() + 0x200, 0);
  pe32[0x40 + 4 + 16] = 224;
  pe32[optional] = 0x0b;
  pe32[optional + 1] = 0x01;
  pe32[optional + 92] = 16;  // NumberOfRvaAndSizes
  std::copy(pe64.begin() + optional + 112, pe64.begin() + optional + 240,
            pe32.begin() + optional + 96);
  std::copy(pe64.begin() + section64, pe64.begin() + section64 + 40, pe32.begin() + section32);
  return pe32;
}

TEST(PeMessageTableTest, ReadsDllBuiltByMingw) {
  for (const char* name : {"mingw_messages.dll", "mingw_messages_ansi.dll"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> image = ReadBytes(kTestData / name);
    ASSERT_FALSE(image.empty());
    PeMessageTable table;
    ASSERT_EQ(PeMessageTable::Parse(image, &table), kSuccess);
    EXPECT_EQ(table.Languages(), (std::vector<uint16_t>{0x407, 0x409}));
    // windmc keeps the source's LF line ends.
    EXPECT_EQ(Lookup(table, kServiceState, 0), u"The %1 service entered the %2 state.\n");
    EXPECT_EQ(Lookup(table, kServiceState, 0x400), u"The %1 service entered the %2 state.\n");
    EXPECT_EQ(Lookup(table, kServiceState, 0x407), u"Der Dienst %1 hat den Status %2 erreicht.\n");
    EXPECT_EQ(Lookup(table, kTwoLines, 0x409), u"First line with %1.\nSecond line, 100%% sure.\n");
    EXPECT_EQ(Lookup(table, kCategoryNetwork, 0x407), u"Netzwerk\n");
    Result r;
    Lookup(table, kEnglishOnly, 0x407, &r);
    EXPECT_EQ(r, kErrorMrMidNotFound);
    Lookup(table, 3, 0x409, &r);
    EXPECT_EQ(r, kErrorMrMidNotFound);
    Lookup(table, kServiceState, 0x411, &r);
    EXPECT_EQ(r, kErrorResourceLangNotFound);
  }
}

TEST(PeMessageTableTest, OwnCompilerAgreesWithMingw) {
  PeMessageTable theirs, ours, ours32;
  const std::vector<uint8_t> mingw = ReadBytes(kTestData / "mingw_messages.dll");
  const std::vector<uint8_t> own = OwnDll();
  const std::vector<uint8_t> own32 = AsPe32(own);
  ASSERT_EQ(PeMessageTable::Parse(mingw, &theirs), kSuccess);
  ASSERT_EQ(PeMessageTable::Parse(own, &ours), kSuccess);
  ASSERT_EQ(PeMessageTable::Parse(own32, &ours32), kSuccess);
  EXPECT_EQ(ours.Languages(), theirs.Languages());
  EXPECT_EQ(ours32.Languages(), theirs.Languages());
  for (uint16_t language : theirs.Languages()) {
    for (uint32_t id : kAllIds) {
      SCOPED_TRACE(testing::Message() << std::hex << language << " " << id);
      Result r_theirs, r_ours, r_ours32;
      const std::u16string t = Lookup(theirs, id, language, &r_theirs);
      EXPECT_EQ(Lookup(ours, id, language, &r_ours), r_theirs == kSuccess ? Crlf(t) : t);
      EXPECT_EQ(Lookup(ours32, id, language, &r_ours32), r_theirs == kSuccess ? Crlf(t) : t);
      EXPECT_EQ(r_ours, r_theirs);
      EXPECT_EQ(r_ours32, r_theirs);
    }
  }
}

TEST(PeMessageTableTest, LanguageDefaultWithoutEnglish) {
  McDocument doc;
  McError error;
  ASSERT_TRUE(
      CompileMessageText("LanguageNames=(German=0x407:MSG1 French=0x40c:MSG2)\n"
                         "MessageId=5\nLanguage=French\nfr\n.\nLanguage=German\nde\n.\n",
                         &doc, &error));
  const std::vector<uint8_t> image = BuildMessageDll(doc);
  PeMessageTable table;
  ASSERT_EQ(PeMessageTable::Parse(image, &table), kSuccess);
  EXPECT_EQ(Lookup(table, 5, 0), u"de\r\n");  // the first language present
  EXPECT_EQ(Lookup(table, 5, 0x40c), u"fr\r\n");
  Result r;
  Lookup(table, 5, 0x409, &r);
  EXPECT_EQ(r, kErrorResourceLangNotFound);
}

TEST(PeMessageTableTest, AnsiEntriesAreCodePage1252) {
  // One block, ids 7..8: an ANSI entry and a Unicode one.
  std::vector<uint8_t> data = {1,    0, 0, 0, 7,  0, 0, 0, 8,   0,   0,   0,
                               16,   0, 0, 0, 12, 0, 0, 0, 'c', 'a', 'f', 0xe9,
                               0x80, 0, 0, 0, 8,  0, 1, 0, 'o', 0,   'k', 0};
  std::u16string text;
  ASSERT_EQ(FindInMessageData(data, 7, &text), kSuccess);
  EXPECT_EQ(text, u"caf\u00e9\u20ac");
  ASSERT_EQ(FindInMessageData(data, 8, &text), kSuccess);
  EXPECT_EQ(text, u"ok");
  EXPECT_EQ(FindInMessageData(data, 9, &text), kErrorMrMidNotFound);
  // An entry length below its own header, or past the end, is damage.
  data[16] = 2;
  EXPECT_EQ(FindInMessageData(data, 8, &text), kErrorInvalidData);
  data[16] = 200;
  EXPECT_EQ(FindInMessageData(data, 7, &text), kErrorInvalidData);
  data[0] = 0xff;  // more blocks than bytes
  EXPECT_EQ(FindInMessageData(data, 7, &text), kErrorInvalidData);
}

TEST(PeMessageTableTest, DamagedFilesGiveErrorsNotCrashes) {
  PeMessageTable table;
  EXPECT_EQ(PeMessageTable::Parse({}, &table), kErrorBadExeFormat);
  const std::string text = "MZ but not a PE file at all";
  EXPECT_EQ(
      PeMessageTable::Parse({reinterpret_cast<const uint8_t*>(text.data()), text.size()}, &table),
      kErrorBadExeFormat);

  for (const std::vector<uint8_t>& image :
       {ReadBytes(kTestData / "mingw_messages.dll"), OwnDll()}) {
    // Every truncation fails cleanly or still finds only well-formed data.
    for (size_t n = 0; n < image.size(); ++n) {
      const std::span<const uint8_t> prefix(image.data(), n);
      if (PeMessageTable::Parse(prefix, &table) != kSuccess) continue;
      for (uint32_t id : kAllIds) Lookup(table, id, 0);
    }
    // Every single byte set to 0xff: whatever is damaged must be reported, never read past.
    for (size_t i = 0; i < image.size(); ++i) {
      std::vector<uint8_t> damaged = image;
      damaged[i] = 0xff;
      if (PeMessageTable::Parse(damaged, &table) != kSuccess) continue;
      for (uint16_t language : table.Languages()) {
        for (uint32_t id : kAllIds) Lookup(table, id, language);
      }
    }
  }

  // Specific offsets past the end.
  std::vector<uint8_t> image = OwnDll();
  auto put32 = [](std::vector<uint8_t>* b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  std::vector<uint8_t> bad = image;
  put32(&bad, 0x3c, 0xfffffff0);  // e_lfanew
  EXPECT_EQ(PeMessageTable::Parse(bad, &table), kErrorBadExeFormat);
  bad = image;
  put32(&bad, 0x58 + 112 + 20, 0x7fffffff);  // resource directory size
  EXPECT_EQ(PeMessageTable::Parse(bad, &table), kErrorBadExeFormat);
  bad = image;
  put32(&bad, 0x148 + 20, 0xfffffe00);  // PointerToRawData of .rsrc
  EXPECT_EQ(PeMessageTable::Parse(bad, &table), kErrorBadExeFormat);
  bad = image;
  put32(&bad, 0x200 + 0x50, 0x00100000);  // first language's data RVA
  EXPECT_EQ(PeMessageTable::Parse(bad, &table), kErrorBadExeFormat);
  bad = image;
  put32(&bad, 0x200 + 0x14, 0x8000fff0);  // type subdirectory past the section
  EXPECT_EQ(PeMessageTable::Parse(bad, &table), kErrorBadExeFormat);
  put32(&bad, 0x200 + 0x14, 0x00000018);  // type entry that is no subdirectory
  EXPECT_EQ(PeMessageTable::Parse(bad, &table), kErrorBadExeFormat);
}

TEST(PeMessageTableTest, FileImage) {
  FileImage file;
  EXPECT_EQ(FileImage::Open((kTestData / "no such.dll").string(), &file), kErrorModNotFound);
  EXPECT_EQ(FileImage::Open(kTestData.string(), &file), kErrorModNotFound);
  ASSERT_EQ(FileImage::Open((kTestData / "mingw_messages.dll").string(), &file), kSuccess);
  const std::vector<uint8_t> expected = ReadBytes(kTestData / "mingw_messages.dll");
  EXPECT_TRUE(
      std::equal(file.bytes().begin(), file.bytes().end(), expected.begin(), expected.end()));
  FileImage moved = std::move(file);
  EXPECT_EQ(moved.bytes().size(), expected.size());
}

}  // namespace
}  // namespace platform::emulated
