#include "client/i18n/messages.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "client/i18n/embedded_tables.h"
#include "client/i18n/message_table.h"
#include "platform/code_page.h"

namespace sentrel::client {
namespace {

std::string Utf8(const std::u16string& text) { return platform::Utf16ToUtf8(text); }

TEST(MessageTablesTest, EveryEmbeddedTableParses) {
  ASSERT_GT(kEmbeddedTableCount, 0u);
  for (size_t i = 0; i < kEmbeddedTableCount; ++i) {
    MessageTable table;
    std::string error;
    EXPECT_TRUE(ParseMessageTable(kEmbeddedTables[i].text, &table, &error))
        << kEmbeddedTables[i].file << ": " << error;
    EXPECT_FALSE(table.empty());
  }
}

TEST(MessageTablesTest, TheEnglishTableHasEveryNumberOfItsRanges) {
  std::set<int32_t> expected;
  const std::pair<int32_t, int32_t> ranges[] = {
      {0, 11},    {20, 46},     {60, 65},     {120, 123},   {130, 136},   {150, 162},
      {170, 196}, {200, 206},   {250, 254},   {300, 316},   {350, 352},   {401, 404},
      {450, 457}, {1001, 1003}, {2001, 2007}, {2011, 2029}, {3000, 3000}, {3100, 3100}};
  for (const auto& [first, last] : ranges) {
    for (int32_t n = first; n <= last; ++n) expected.insert(n);
  }
  std::set<int32_t> numbers;
  for (size_t i = 0; i < kEmbeddedTableCount; ++i) {
    if (std::u16string_view(kEmbeddedTables[i].language) != u"EN") continue;
    MessageTable table;
    std::string error;
    ASSERT_TRUE(ParseMessageTable(kEmbeddedTables[i].text, &table, &error)) << error;
    for (const auto& [number, text] : table) {
      numbers.insert(number);
      EXPECT_FALSE(text.empty()) << number;
    }
  }
  EXPECT_EQ(numbers, expected);
}

TEST(GetMessageTextTest, GivesTheTextsOfTheCurrentLanguage) {
  SetCurrentLanguage(u"EN");
  const std::pair<int32_t, const char*> rows[] = {
      {0, "Syslog Server"},
      {21, "&Enable Logging"},
      {192, "Error deleting the Registry-Key for "},
      {173,
       "Can't open Parameters key.\r\nClick \"File/Install Service\" if the vaskwell service is "
       "not yet installed!"},
      {9, "Sentrel polling interval in MILLIseconds  (1000 ms --> 1 second)."},
      {3100, "Protocol Type"},
  };
  for (const auto& [number, text] : rows) EXPECT_EQ(Utf8(GetMessageText(number)), text);
  EXPECT_EQ(Utf8(GetMessageText(999)), "***MESSAGE_MISSING***999");
  EXPECT_EQ(Utf8(GetMessageText(-7)), "***MESSAGE_MISSING***-7");
  // A language without a table of its own reads English.
  SetCurrentLanguage(u"IT");
  EXPECT_EQ(Utf8(GetMessageText(2027)), "Local Machine");
  SetCurrentLanguage(u"EN");
}

TEST(MessageTableParserTest, RefusesMalformedLinesWithTheirNumber) {
  const std::pair<const char*, const char*> cases[] = {
      {"1 \"a\"\n1 \"b\"\n", "line 2: message 1 is given twice"},
      {"# c\n\nx \"a\"\n", "line 3: a line must begin with a message number and a blank"},
      {"1\"a\"\n", "line 1: a line must begin with a message number and a blank"},
      {"1 a\n", "line 1: the text must stand in double quotes"},
      {"1 \"a\" b\n", "line 1: nothing may follow the closing quote"},
      {"1 \"a\\q\"\n", "line 1: unknown escape \\q"},
      {"4294967296 \"a\"\n", "line 1: a line must begin with a message number and a blank"},
  };
  for (const auto& [text, error] : cases) {
    MessageTable table;
    std::string got;
    EXPECT_FALSE(ParseMessageTable(text, &table, &got)) << text;
    EXPECT_EQ(got, error);
  }
  MessageTable table;
  std::string error;
  ASSERT_TRUE(ParseMessageTable("\xEF\xBB\xBF-3 \" \"in\" \\\\ \\r\\n \"  \r\n", &table, &error))
      << error;
  EXPECT_EQ(Utf8(table.at(-3)), " \"in\" \\ \r\n ");
}

TEST(MessageHelpersTest, ArgumentsAndMnemonics) {
  EXPECT_EQ(Utf8(FormatMessageArgs(u"\"%1\" up to %2, 100%", {u"Sleep", u"9"})),
            "\"Sleep\" up to 9, 100%");
  EXPECT_EQ(Utf8(FormatMessageArgs(u"%3", {u"a"})), "%3");
  EXPECT_EQ(Utf8(StripMnemonic(u"Report &Truncated && Log")), "Report Truncated & Log");
}

}  // namespace
}  // namespace sentrel::client
