// What a pass keeps: message libraries loaded once per pass, account names looked up once per pass.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/code_page.h"
#include "platform/event_record.h"
#include "service/base/module_cache.h"
#include "service/render/account_name.h"

namespace sentrel {
namespace {

class Module : public platform::MessageModule {};

// Counts the loads of each path; "missing" paths fail.
class CountingLibrary : public platform::MessageLibrary {
 public:
  platform::Result Load(std::u16string_view path, uint32_t,
                        std::unique_ptr<platform::MessageModule>* out) override {
    ++loads[std::u16string(path)];
    if (path.starts_with(u"missing")) return platform::kErrorModNotFound;
    *out = std::make_unique<Module>();
    return platform::kSuccess;
  }
  platform::Result Format(uint32_t, const platform::MessageModule*, uint32_t, uint32_t,
                          const uintptr_t*, size_t, size_t, std::u16string*) override {
    return platform::kErrorMrMidNotFound;
  }
  std::map<std::u16string, int> loads;
};

TEST(ModuleCacheTest, EachLibraryIsLoadedOncePerPass) {
  CountingLibrary library;
  ModuleCache cache(library);
  std::unique_ptr<platform::MessageModule> transient;
  const platform::MessageModule* a = cache.Get(u"a.dll", 3, &transient);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(cache.Get(u"a.dll", 3, &transient), a);
  EXPECT_NE(cache.Get(u"a.dll", 1, &transient), a);  // other load flags: another module
  EXPECT_EQ(cache.Get(u"missing.dll", 3, &transient), nullptr);
  EXPECT_EQ(cache.Get(u"missing.dll", 3, &transient), nullptr);
  EXPECT_EQ(transient, nullptr);
  EXPECT_EQ(library.loads[u"a.dll"], 2);
  EXPECT_EQ(library.loads[u"missing.dll"], 1);

  cache.Release();  // the pass ends: the next one loads again
  EXPECT_NE(cache.Get(u"a.dll", 3, &transient), nullptr);
  EXPECT_EQ(cache.Get(u"missing.dll", 3, &transient), nullptr);
  EXPECT_EQ(library.loads[u"a.dll"], 3);
  EXPECT_EQ(library.loads[u"missing.dll"], 2);
}

TEST(ModuleCacheTest, PastItsBoundModulesLiveOnlyForTheirUse) {
  CountingLibrary library;
  ModuleCache cache(library);
  std::unique_ptr<platform::MessageModule> transient;
  for (size_t i = 0; i < ModuleCache::kMaxModules; ++i) {
    const std::u16string path = platform::Utf8ToUtf16(std::to_string(i) + ".dll");
    ASSERT_NE(cache.Get(path, 3, &transient), nullptr);
    ASSERT_EQ(transient, nullptr);
  }
  const platform::MessageModule* extra = cache.Get(u"extra.dll", 3, &transient);
  ASSERT_NE(extra, nullptr);
  EXPECT_EQ(extra, transient.get());
  cache.Get(u"extra.dll", 3, &transient);
  EXPECT_EQ(library.loads[u"extra.dll"], 2);
  EXPECT_EQ(cache.size(), ModuleCache::kMaxModules);
}

// Answers S-1-5-18 and counts the look-ups.
class CountingAccounts : public platform::Accounts {
 public:
  platform::Result LookupSid(const uint8_t* sid, size_t sid_size, size_t, size_t,
                             std::u16string* name, std::u16string* domain) override {
    ++lookups;
    if (platform::SidToString(sid, sid_size) != "S-1-5-18") return platform::kErrorNoneMapped;
    *name = u"SYSTEM";
    *domain = u"NT AUTHORITY";
    return platform::kSuccess;
  }
  int lookups = 0;
};

TEST(AccountCacheTest, EachSidIsLookedUpOncePerPassFailuresIncluded) {
  CountingAccounts accounts;
  AccountCache cache(accounts);
  const std::vector<uint8_t> system = *platform::SidFromString("S-1-5-18");
  const std::vector<uint8_t> unknown = *platform::SidFromString("S-1-5-21-1-2-3-1001");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(GetAccountName(cache, system.data(), system.size()), u"NT AUTHORITY\\SYSTEM");
    EXPECT_EQ(GetAccountName(cache, unknown.data(), unknown.size()), u"S-1-5-21-1-2-3-1001");
  }
  EXPECT_EQ(accounts.lookups, 2);
  cache.Clear();
  EXPECT_EQ(GetAccountName(cache, system.data(), system.size()), u"NT AUTHORITY\\SYSTEM");
  EXPECT_EQ(accounts.lookups, 3);
}

}  // namespace
}  // namespace sentrel
