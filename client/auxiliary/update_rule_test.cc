// Versions, the update check's verdict on an offered version, and the addresses the client opens.
#include <gtest/gtest.h>

#include <string>

#include "client/auxiliary/update_rule.h"
#include "client/auxiliary/version.h"
#include "client/auxiliary/web_addresses.h"
#include "client/core/connection.h"
#include "client/i18n/messages.h"
#include "platform/code_page.h"
#include "tests/support/test_platform.h"

namespace sentrel::client {
namespace {

std::string U8(std::u16string_view s) { return platform::Utf16ToUtf8(s); }

TEST(Version, FromFixedInfoAsFilePropertiesShowIt) {
  struct Case {
    uint32_t ms, ls;
    const char* text;
  } cases[] = {
      {5u << 16 | 4, 0u << 16 | 166, "5.4.166"},
      {5u << 16 | 4, 1u << 16 | 166, "5.4.166"},  // not 65702
      {0xFFFFFFFFu, 0xFFFFFFFFu, "65535.65535.65535"},
      {0, 0, "0.0.0"},
  };
  for (const Case& c : cases) EXPECT_EQ(U8(VersionText(VersionFromFixedInfo(c.ms, c.ls))), c.text);
}

TEST(UpdateRule, ColourByMajorAndMinorOnly) {
  using C = VersionColour;
  struct Case {
    VersionTriple running, offered;
    C colour;
    bool download;
  } cases[] = {
      {{2, 0, 1}, {2, 1, 7}, C::kDarkRed, true},
      {{2, 0, 1}, {3, 0, 7}, C::kRed, true},
      {{2, 9, 1}, {3, 0, 0}, C::kRed, true},     // a new major beats an older minor
      {{2, 5, 1}, {1, 9, 7}, C::kBlack, false},  // older
      {{3, 0, 0}, {2, 9, 9}, C::kBlack, false},
      {{2, 0, 5}, {2, 0, 9}, C::kBlack, false},  // a build alone changes nothing
      {{5, 4, 166}, {5, 4, 166}, C::kBlack, false},
      {{0, 0, 0}, {5, 4, 166}, C::kRed, true},  // running version unknown
  };
  for (const Case& c : cases) {
    const UpdateVerdict verdict = JudgeOfferedVersion(c.running, c.offered);
    EXPECT_EQ(verdict.colour, c.colour) << U8(VersionText(c.offered));
    EXPECT_EQ(verdict.download_enabled, c.download) << U8(VersionText(c.offered));
  }
}

TEST(UpdateRule, Labels) {
  UpdateInfo info{u"Sentrel", {5, 5, 170}, u"https://x/", true};
  EXPECT_EQ(U8(OfferedVersionLabel(info)), "Version: 5.5.170 Beta");
  info.beta = false;
  EXPECT_EQ(U8(OfferedVersionLabel(info)), "Version: 5.5.170");
  SetCurrentLanguage(u"JP");
  EXPECT_EQ(U8(VersionLabel({5, 4, 166})), "\u30d0\u30fc\u30b8\u30e7\u30f3: 5.4.166");
  SetCurrentLanguage(u"EN");
}

TEST(WebAddresses, PagesByLanguage) {
  struct Case {
    WebPage page;
    std::u16string_view language;
    const char* address;
  } cases[] = {
      {WebPage::kHomepage, u"EN", "https://sentrel.brinmoor.com/EN"},
      {WebPage::kHomepage, u"JP", "https://sentrel.brinmoor.com/JP"},
      {WebPage::kFaq, u"DE", "https://sentrel.brinmoor.com/DE/FAQ/"},
      {WebPage::kFaq, u"IT", "https://sentrel.brinmoor.com/EN/FAQ/"},
      {WebPage::kSeminars, u"FR", "https://www.brinmoor.com/common/FR/SeminarsOnline/"},
      {WebPage::kSeminars, u"", "https://www.brinmoor.com/common/EN/SeminarsOnline/"},
      {WebPage::kRequestSupport, u"ES", "https://www.brinmoor.com/support/request/"},
      {WebPage::kMakerHome, u"ES", "https://www.brinmoor.com/"},
  };
  for (const Case& c : cases) EXPECT_EQ(U8(WebAddress(c.page, c.language)), c.address);
}

TEST(WebAddresses, UpdateServiceIsConfigurable) {
  testsupport::TempComputer computer;
  ClientSession session(computer.platform());
  EXPECT_EQ(U8(UpdateServiceAddress(session)), "https://update.brinmoor.com/");  // key not open
  ASSERT_EQ(session.connection().OpenClientSettings(), platform::kSuccess);
  EXPECT_EQ(U8(UpdateServiceAddress(session)), "https://update.brinmoor.com/");
  ASSERT_EQ(session.registry().SaveRegString(session.connection().client_settings(),
                                             kUpdateServiceValue, u"http://127.0.0.1:8080", false),
            platform::kSuccess);
  EXPECT_EQ(U8(UpdateDocumentAddress(UpdateServiceAddress(session))),
            "http://127.0.0.1:8080/CheckUpdate.asp?ProductSKU=Sentrel");
  EXPECT_EQ(U8(UpdateDocumentAddress(u"https://mirror.example/updates/")),
            "https://mirror.example/updates/CheckUpdate.asp?ProductSKU=Sentrel");
}

}  // namespace
}  // namespace sentrel::client
