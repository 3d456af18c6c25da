// The message tables that the mingw-w64 message compiler builds for the Windows programs (from
// the same sources and by the same CMake function as vaskwell.exe's own table) store every line
// of every message with CR LF, as Windows' message compiler does, although the sources have LF
// line ends. FormatMessage at width 0 hides the difference, so the stored text is read here.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/code_page.h"
#include "platform/emulated/pe_message_table.h"

namespace {

using platform::emulated::FileImage;
using platform::emulated::MessageText;
using platform::emulated::PeMessageTable;

// Where a lone LF or a lone CR is, or npos.
size_t LoneLineBreak(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const bool crlf = text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
    if (crlf) {
      ++i;
    } else if (text[i] == u'\r' || text[i] == u'\n') {
      return i;
    }
  }
  return std::u16string::npos;
}

class WindmcTables : public ::testing::TestWithParam<const char*> {};

TEST_P(WindmcTables, EveryLineEndsInCrLf) {
  const char* dir = std::getenv("CONTRACT_FIXTURES");
  ASSERT_NE(dir, nullptr);
  const std::filesystem::path dll = std::filesystem::path(dir) / GetParam();
  if (!std::filesystem::exists(dll)) GTEST_SKIP() << "no " << dll << " (mingw-w64 tools missing)";
  FileImage file;
  ASSERT_EQ(FileImage::Open(dll.string(), &file), platform::kSuccess);
  PeMessageTable table;
  ASSERT_EQ(PeMessageTable::Parse(file.bytes(), &table), platform::kSuccess);
  int messages = 0;
  for (const uint16_t language : table.Languages()) {
    for (uint32_t id : {1u, 2u, 3u, 4u, 5u, 0xC2A10100u, 100u, 101u, 102u, 103u, 104u, 105u, 106u,
                        107u, 108u, 109u, 110u}) {
      MessageText found;
      if (table.Find(id, language, &found) != platform::kSuccess) continue;
      ++messages;
      SCOPED_TRACE(platform::Utf16ToUtf8(found.text));
      EXPECT_TRUE(found.text.ends_with(u"\r\n")) << id;
      EXPECT_EQ(LoneLineBreak(found.text), std::u16string::npos) << id;
    }
  }
  EXPECT_GE(messages, 7);
}

// The check above sees the fault it guards against: a table compiled from LF line ends.
TEST(WindmcTablesCheck, SeesLoneLineFeeds) {
  const char* dir = std::getenv("CONTRACT_FIXTURES");
  ASSERT_NE(dir, nullptr);
  FileImage file;
  ASSERT_EQ(FileImage::Open((std::filesystem::path(dir) / "lf_messages.dll").string(), &file),
            platform::kSuccess);
  PeMessageTable table;
  ASSERT_EQ(PeMessageTable::Parse(file.bytes(), &table), platform::kSuccess);
  MessageText found;
  ASSERT_EQ(table.Find(0xC1011B7D, 0x409, &found), platform::kSuccess);
  EXPECT_EQ(LoneLineBreak(found.text), found.text.find(u'\n'));
  EXPECT_NE(LoneLineBreak(found.text), std::u16string::npos);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, WindmcTables,
                         ::testing::Values("contract_messages_windmc.dll",
                                           "vaskwell_messages_windmc.dll"));

}  // namespace
