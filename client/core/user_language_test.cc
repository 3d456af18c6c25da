// The language at the client's start and its change, on a fresh emulated computer.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "client/core/client_session.h"
#include "client/core/connection.h"
#include "client/core/user_language.h"
#include "client/i18n/messages.h"
#include "platform/code_page.h"
#include "tests/support/test_platform.h"

namespace sentrel::client {
namespace {

class UserLanguageTest : public testing::Test {
 protected:
  void SetUp() override {
    SetCurrentLanguage(u"EN");
    platform_.debug_ = &debug_;
  }
  void TearDown() override { SetCurrentLanguage(u"EN"); }

  std::unique_ptr<platform::RegKey> SettingsKey() {
    std::unique_ptr<platform::RegKey> hkcu, key;
    EXPECT_EQ(computer_.platform().registry().OpenRoot(platform::RegRoot::kCurrentUser, &hkcu),
              platform::kSuccess);
    EXPECT_EQ(hkcu->CreateKey(kClientSettingsPath, &key), platform::kSuccess);
    return key;
  }
  void StoreLanguage(std::u16string_view code) {
    ASSERT_EQ(platform::SetString(*SettingsKey(), u"szLanguage", code), platform::kSuccess);
  }
  // szLanguage as stored; "<none>" when absent.
  std::string StoredLanguage() {
    std::u16string text;
    if (platform::QueryString(*SettingsKey(), u"szLanguage", &text) != platform::kSuccess) {
      return "<none>";
    }
    return platform::Utf16ToUtf8(text);
  }

  testsupport::TempComputer computer_;
  testsupport::CapturingDebugOutput debug_;
  platform::OverlayPlatform platform_{computer_.platform()};
};

// The next start with the language stored is a row of the table below.
TEST_F(UserLanguageTest, FirstStartAsksAndStoresTheChoice) {
  ClientSession session(platform_);
  EXPECT_EQ(StartLanguage(session), LanguagePrompt::kFirstTime);
  EXPECT_TRUE(debug_.Contains("Generating Client User RegKey"));
  EXPECT_EQ(StoredLanguage(), "<none>");
  EXPECT_EQ(StoreStartLanguage(session, u"DE"), platform::kSuccess);
  EXPECT_EQ(platform::Utf16ToUtf8(GetMessageText(121)), "&Abbrechen");
  EXPECT_EQ(StoredLanguage(), "DE");
}

TEST_F(UserLanguageTest, StoredLanguageDecidesTheStart) {
  struct Case {
    std::u16string_view stored;
    LanguagePrompt prompt;
    std::u16string_view current;  // after the start
    std::string cancel;           // message 121 then
  } cases[] = {
      {u"", LanguagePrompt::kNotFound, u"EN", "&Cancel"},
      {u"FR", LanguagePrompt::kNone, u"FR", "&Annuler"},
      {u"JP", LanguagePrompt::kNone, u"JP", "\u30ad\u30e3\u30f3\u30bb\u30eb(&C)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::Utf16ToUtf8(c.stored));
    SetCurrentLanguage(u"EN");
    StoreLanguage(c.stored);
    ClientSession session(platform_);
    EXPECT_EQ(StartLanguage(session), c.prompt);
    EXPECT_EQ(CurrentLanguage(), c.current);
    EXPECT_EQ(platform::Utf16ToUtf8(GetMessageText(121)), c.cancel);
  }
}

TEST_F(UserLanguageTest, OptionsSaveOnlyAChange) {
  StoreLanguage(u"DE");
  ClientSession session(platform_);
  ASSERT_EQ(StartLanguage(session), LanguagePrompt::kNone);

  // The same language again writes nothing: a value changed behind the client's back stays.
  StoreLanguage(u"ES");
  const LanguageChange same = ChangeLanguage(session, u"DE");
  EXPECT_FALSE(same.changed);
  EXPECT_EQ(StoredLanguage(), "ES");

  const LanguageChange japanese = ChangeLanguage(session, u"JP");
  EXPECT_TRUE(japanese.changed);
  EXPECT_EQ(japanese.saved, platform::kSuccess);
  EXPECT_EQ(CurrentLanguage(), u"JP");
  EXPECT_EQ(StoredLanguage(), "JP");
}

TEST_F(UserLanguageTest, KeyThatCannotBeOpenedAsksAtEveryStart) {
  StoreLanguage(u"DE");  // there, but the client may not open it
  auto& registry = computer_.platform().emulated_registry();
  ASSERT_EQ(registry.SetAccessDenied(platform::RegRoot::kCurrentUser, kClientSettingsPath, true),
            platform::kSuccess);
  for (int start = 0; start < 2; ++start) {
    ClientSession session(platform_);
    EXPECT_EQ(StartLanguage(session), LanguagePrompt::kFirstTime);
    EXPECT_NE(StoreStartLanguage(session, u"FR"), platform::kSuccess);
    EXPECT_EQ(CurrentLanguage(), u"FR");  // the choice holds for this run
  }
}

}  // namespace
}  // namespace sentrel::client
