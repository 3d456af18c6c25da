// The translated tables against the English one: the same numbers, and in every text what the
// program relies on (placeholders, line breaks, trailing blanks before a name, mnemonics).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "client/i18n/embedded_tables.h"
#include "client/i18n/message_table.h"
#include "platform/code_page.h"

namespace sentrel::client {
namespace {

std::map<std::u16string, MessageTable> ParseAll() {
  std::map<std::u16string, MessageTable> tables;
  for (size_t i = 0; i < kEmbeddedTableCount; ++i) {
    MessageTable table;
    std::string error;
    EXPECT_TRUE(ParseMessageTable(kEmbeddedTables[i].text, &table, &error))
        << kEmbeddedTables[i].file << ": " << error;
    tables.emplace(kEmbeddedTables[i].language, std::move(table));
  }
  return tables;
}

std::string U8(std::u16string_view s) { return platform::Utf16ToUtf8(s); }

// The letter a caption's mnemonic marks ("&Apply" -> 'A', "OK(&O)" -> 'O'), upper-cased; 0 when
// it has none. Counts the marks in *count ("&&" is an ampersand, not a mark).
char16_t Mnemonic(std::u16string_view text, int* count) {
  char16_t letter = 0;
  *count = 0;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != u'&') continue;
    if (text[i + 1] == u'&') {
      ++i;
      continue;
    }
    ++*count;
    letter = text[i + 1];
  }
  if (letter >= u'a' && letter <= u'z') letter = static_cast<char16_t>(letter - u'a' + u'A');
  return letter;
}

std::multiset<std::u16string> Placeholders(std::u16string_view text) {
  std::multiset<std::u16string> found;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == u'%' && text[i + 1] >= u'1' && text[i + 1] <= u'9') {
      found.insert(std::u16string(text.substr(i, 2)));
    }
  }
  return found;
}

size_t Count(std::u16string_view text, std::u16string_view part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::u16string_view::npos; at = text.find(part, at + 1)) {
    ++n;
  }
  return n;
}

bool HasKanaOrKanji(std::u16string_view text) {
  return std::any_of(text.begin(), text.end(), [](char16_t c) {
    return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x4E00 && c <= 0x9FFF);
  });
}

TEST(Translations, HaveTheEnglishNumbersAndKeepWhatTheProgramReliesOn) {
  const auto tables = ParseAll();
  ASSERT_EQ(tables.size(), 5u);
  const MessageTable& english = tables.at(u"EN");
  std::set<int32_t> expected, numbers;
  const std::pair<int32_t, int32_t> ranges[] = {
      {0, 11},    {20, 46},     {60, 65},     {120, 123},   {130, 136},   {150, 162},
      {170, 196}, {200, 206},   {250, 254},   {300, 316},   {350, 352},   {401, 404},
      {450, 457}, {1001, 1003}, {2001, 2007}, {2011, 2029}, {3000, 3000}, {3100, 3100}};
  for (const auto& [first, last] : ranges) {
    for (int32_t n = first; n <= last; ++n) expected.insert(n);
  }
  for (const auto& [number, text] : english) numbers.insert(number);
  EXPECT_EQ(numbers, expected);
  // Every translation has the same numbers (none extra, and as many) and in each text what the
  // program relies on.
  for (const auto& [language, table] : tables) {
    EXPECT_EQ(table.size(), english.size()) << U8(language);
    for (const auto& [number, text] : table) {
      auto en = english.find(number);
      ASSERT_NE(en, english.end()) << U8(language) << " has the extra " << number;
      const std::u16string& original = en->second;
      SCOPED_TRACE(U8(language) + " " + std::to_string(number) + " \"" + U8(text) + "\"");
      EXPECT_FALSE(text.empty());
      EXPECT_EQ(Placeholders(text), Placeholders(original));
      EXPECT_EQ(Count(text, u"\r\n"), Count(original, u"\r\n"));
      // A text that a name or a code follows keeps its trailing blank.
      EXPECT_EQ(text.back() == u' ', original.back() == u' ');
      int marks = 0, original_marks = 0;
      const char16_t letter = Mnemonic(text, &marks);
      (void)Mnemonic(original, &original_marks);
      EXPECT_EQ(marks, original_marks);
      if (marks == 1) {
        EXPECT_TRUE(letter >= u'A' && letter <= u'Z') << "mnemonic on a non-Latin letter";
      }
      if (language == u"JP") {
        if (Count(original, u" ") > 0) {
          EXPECT_TRUE(HasKanaOrKanji(text));
        }
        // Japanese captions mark their letter after the text: "適用(&A)".
        if (marks == 1) {
          EXPECT_NE(text.find(u"(&"), std::u16string::npos);
        }
      }
    }
  }
}

// Controls shown together must not share a mnemonic letter: the main window's buttons, tabs and
// a log tab's boxes; the menu bar; the Service menu. (English shares A between Apply and
// Application, as its texts are given; the translations avoid it.)
TEST(Translations, MnemonicsOfControlsShownTogetherDiffer) {
  const auto tables = ParseAll();
  const std::vector<std::vector<int32_t>> groups = {
      {120, 121, 122, 130, 131, 132, 133, 134, 135, 136, 20, 21, 37},
      {150, 153},
      {151, 152},
  };
  for (const auto& [language, table] : tables) {
    if (language == u"EN") continue;
    for (const auto& group : groups) {
      std::map<char16_t, int32_t> seen;
      for (int32_t number : group) {
        int marks = 0;
        const char16_t letter = Mnemonic(table.at(number), &marks);
        if (marks == 0) continue;
        auto [at, fresh] = seen.emplace(letter, number);
        EXPECT_TRUE(fresh) << U8(language) << ": " << number << " and " << at->second
                           << " share a mnemonic";
      }
    }
  }
}

}  // namespace
}  // namespace sentrel::client
