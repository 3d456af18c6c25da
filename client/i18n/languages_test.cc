// Lookup by language, the language list and the font that follows the language.
#include <gtest/gtest.h>

#include <string>

#include "client/i18n/languages.h"
#include "client/i18n/message_table.h"
#include "client/i18n/messages.h"
#include "platform/code_page.h"

namespace sentrel::client {
namespace {

std::string U8(std::u16string_view s) { return platform::Utf16ToUtf8(s); }

TEST(Messages, LookupByLanguage) {
  struct Case {
    std::u16string_view language;
    int32_t number;
    std::u16string_view text;
  } cases[] = {
      {u"EN", 192, u"Error deleting the Registry-Key for "},
      {u"EN", 173,
       u"Can't open Parameters key.\r\nClick \"File/Install Service\" if the vaskwell service is "
       u"not yet installed!"},
      {u"DE", 121, u"&Abbrechen"},
      {u"ES", 352, u"Elija su idioma"},
      {u"FR", 201, u"Connect\u00e9 \u00e0\u00a0:"},
      {u"JP", 121, u"\u30ad\u30e3\u30f3\u30bb\u30eb(&C)"},
      {u"IT", 121, u"&Cancel"},  // an unknown code gives English
      {u"", 0, u"Syslog Server"},
      {u"de", 121, u"&Cancel"},  // codes are compared case-sensitively
      {u"FR", 999, u"***MESSAGE_MISSING***999"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(U8(GetMessageTextIn(c.language, c.number)), U8(c.text))
        << U8(c.language) << " " << c.number;
  }
  SetCurrentLanguage(u"DE");
  EXPECT_EQ(U8(GetMessageText(155)), "&Optionen");
  SetCurrentLanguage(u"EN");
}

TEST(Messages, BrokenEntryCostsOnlyItself) {
  MessageTable table;
  std::vector<std::string> problems;
  ParseMessageTableLenient(
      "1 \"one\"\n2 no quotes\n3 \"three\" trailing\n4 \"four\"\n1 \"again\"\n", &table, &problems);
  EXPECT_EQ(problems.size(), 3u);
  EXPECT_EQ(U8(LookupMessage(&table, 1)), "one");
  EXPECT_EQ(U8(LookupMessage(&table, 2)), "***MESSAGE_MISSING***2");
  EXPECT_EQ(U8(LookupMessage(&table, 3)), "***MESSAGE_MISSING***3");
  EXPECT_EQ(U8(LookupMessage(&table, 4)), "four");
  EXPECT_EQ(U8(LookupMessage(nullptr, 4)), "***MESSAGE_MISSING***4");
}

TEST(Messages, ParserRefusesMalformedLinesWithTheirNumber) {
  const std::pair<const char*, const char*> cases[] = {
      {"1 \"a\"\n1 \"b\"\n", "line 2: message 1 is given twice"},
      {"# c\n\nx \"a\"\n", "line 3: a line must begin with a message number and a blank"},
      {"1\"a\"\n", "line 1: a line must begin with a message number and a blank"},
      {"1 \"one\"\n2 no quotes\n", "line 2: the text must stand in double quotes"},
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
  EXPECT_EQ(U8(table.at(-3)), " \"in\" \\ \r\n ");
}

TEST(Messages, StripMnemonicAndArguments) {
  struct Case {
    std::u16string_view caption, plain;
  } cases[] = {
      {u"&Apply", u"Apply"}, {u"Save && Close", u"Save & Close"},
      {u"OK(&O)", u"OK"},    {u"\u9069\u7528(&A)", u"\u9069\u7528"},
      {u"(&&)", u"(&)"},     {u"F&ileRepl.", u"FileRepl."},
  };
  for (const Case& c : cases) EXPECT_EQ(U8(StripMnemonic(c.caption)), U8(c.plain));
  EXPECT_EQ(U8(FormatMessageArgs(u"\"%1\" up to %2, 100%", {u"Sleep", u"9"})),
            "\"Sleep\" up to 9, 100%");
  EXPECT_EQ(U8(FormatMessageArgs(u"%3", {u"a"})), "%3");
}

TEST(Languages, ListEntriesAndCodes) {
  for (size_t i = 0; i < kLanguages.size(); ++i) {
    EXPECT_EQ(LanguageIndex(kLanguages[i].code), i);
    EXPECT_EQ(LanguageCodeOfItemData(kLanguages[i].item_data), kLanguages[i].code);
  }
  EXPECT_EQ(LanguageIndex(u"IT"), std::nullopt);
  EXPECT_EQ(LanguageIndex(u"jp"), std::nullopt);
  EXPECT_EQ(LanguageIndex(u""), std::nullopt);
  EXPECT_TRUE(LanguageCodeOfItemData(5).empty());
  // Every language of the list has a table.
  for (const Language& language : kLanguages) {
    if (language.code == kEnglishCode) continue;
    EXPECT_NE(GetMessageTextIn(language.code, 352), GetMessageTextIn(kEnglishCode, 352))
        << U8(language.code) << " falls back to English";
  }
}

TEST(Languages, FontFollowsTheLanguage) {
  ClientFont styled;
  styled.name = u"Tahoma";
  styled.size = 11;
  styled.charset = 0;
  styled.weight = 700;
  styled.italic = styled.underline = styled.strikethrough = true;

  ClientFont sans = {u"MS Sans Serif", 8, kDefaultCharset, 400, false, false, false};
  ClientFont gothic = {u"MS Gothic", 8, kShiftJisCharset, 400, false, false, false};
  ClientFont kept = {u"Tahoma", 11, 0, 400, false, false, false};
  struct Case {
    std::u16string_view code;
    ClientFont expected;
  } cases[] = {{u"EN", sans}, {u"FR", sans}, {u"JP", gothic}, {u"IT", kept}, {u"", kept}};
  for (const Case& c : cases) {
    ClientFont font = styled;
    SelectLanguageFontFor(c.code, &font);
    EXPECT_EQ(font, c.expected) << U8(c.code);
  }

  // The shared font: Japanese, then a code of no language keeps the Japanese face.
  SetCurrentLanguage(u"JP");
  SelectLanguageFont();
  EXPECT_EQ(SharedClientFont(), gothic);
  SetCurrentLanguage(u"IT");
  SelectLanguageFont();
  EXPECT_EQ(SharedClientFont(), gothic);
  SetCurrentLanguage(u"EN");
  SelectLanguageFont();
  EXPECT_EQ(SharedClientFont(), sans);
}

}  // namespace
}  // namespace sentrel::client
