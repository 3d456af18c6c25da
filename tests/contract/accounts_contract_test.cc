// Accounts, Environment and Computer: SID look-ups, environment strings and the computer's own
// facts.

#include <gtest/gtest.h>

#include <string>

#include "platform/accounts.h"
#include "platform/computer.h"
#include "platform/event_record.h"
#include "tests/contract/contract_target.h"

namespace contract {
namespace {

using platform::Result;

struct Lookup {
  Result result;
  std::u16string name, domain;
};

Lookup LookUp(const char* sid_text, size_t name_chars = 256, size_t domain_chars = 256,
              size_t cut = 0) {
  const auto sid = platform::SidFromString(sid_text);
  EXPECT_TRUE(sid.has_value()) << sid_text;
  Lookup out;
  out.result = GetPlatform().accounts().LookupSid(sid->data(), sid->size() - cut, name_chars,
                                                  domain_chars, &out.name, &out.domain);
  return out;
}

TEST(AccountsContract, WellKnownAndUnknownSids) {
  Lookup system = LookUp("S-1-5-18");
  EXPECT_EQ(system.result, platform::kSuccess);
  EXPECT_EQ(system.name, u"SYSTEM");
  EXPECT_EQ(system.domain, u"NT AUTHORITY");
  Lookup admins = LookUp("S-1-5-32-544");
  EXPECT_EQ(admins.result, platform::kSuccess);
  EXPECT_EQ(admins.name, u"Administrators");
  EXPECT_EQ(admins.domain, u"BUILTIN");
  EXPECT_EQ(LookUp("S-1-5-21-1-2-3-4242").result, platform::kErrorNoneMapped);
  // A SID cut short of its sub-authorities is refused rather than read past its end.
  EXPECT_EQ(LookUp("S-1-5-18", 256, 256, 2).result, platform::kErrorInvalidParameter);
  // The buffers count characters with the terminator: "SYSTEM" needs 7, "NT AUTHORITY" 13.
  EXPECT_EQ(LookUp("S-1-5-18", 5).result, platform::kErrorInsufficientBuffer);
  EXPECT_EQ(LookUp("S-1-5-18", 7, 11).result, platform::kErrorInsufficientBuffer);
  Lookup exact = LookUp("S-1-5-18", 7, 13);
  EXPECT_EQ(exact.result, platform::kSuccess);
  EXPECT_EQ(exact.name, u"SYSTEM");
  CONTRACT_SKIP_UNDER_WINE("a buffer one character short (no room for the terminator) passes");
  EXPECT_EQ(LookUp("S-1-5-18", 6).result, platform::kErrorInsufficientBuffer);
  EXPECT_EQ(LookUp("S-1-5-18", 7, 12).result, platform::kErrorInsufficientBuffer);
}

TEST(EnvironmentContract, Expansion) {
  platform::Environment& env = GetPlatform().environment();
  const std::u16string root = env.Expand(u"%SystemRoot%\\system32");
  ASSERT_GE(root.size(), 12u) << platform::Utf16ToUtf8(root);
  EXPECT_EQ(root.substr(1, 2), u":\\") << platform::Utf16ToUtf8(root);
  EXPECT_TRUE(root.ends_with(u"\\system32"));
  EXPECT_EQ(root.find(u'%'), std::u16string::npos);
  // Names ignore case; unknown names and a lone % stay as written.
  EXPECT_EQ(env.Expand(u"%systemroot%\\system32"), root);
  EXPECT_EQ(env.Expand(u"a %NO_SUCH_VARIABLE_Q% b % c"), u"a %NO_SUCH_VARIABLE_Q% b % c");
  EXPECT_EQ(env.Expand(u""), u"");
}

TEST(ComputerContract, OwnFacts) {
  platform::Computer& computer = GetPlatform().computer();
  const std::u16string name = computer.NetBiosName();
  ASSERT_FALSE(name.empty());
  EXPECT_LE(name.size(), 15u);
  for (const char16_t c : name) EXPECT_FALSE(c >= u'a' && c <= u'z') << "upper case";
  std::string host;
  EXPECT_EQ(computer.HostName(&host), platform::kSuccess);
  EXPECT_FALSE(host.empty());
  EXPECT_GE(computer.OsMajorVersion(), 4u);
}

}  // namespace
}  // namespace contract
