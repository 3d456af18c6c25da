// The client's registry primitives on each platform: what the configuration window reads and
// writes must come out alike on the emulated computer and on Windows. Everything happens below a
// scratch key of HKEY_LOCAL_MACHINE\SOFTWARE that each test creates and removes.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "client/core/registry.h"
#include "platform/registry.h"
#include "tests/contract/contract_target.h"

namespace contract {
namespace {

using platform::kSuccess;
using platform::RegKey;
using sentrel::client::Registry;

constexpr char16_t kScratch[] = u"SOFTWARE\\SentrelClientContract";

class ClientRegistryContract : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(GetPlatform().registry().OpenRoot(platform::RegRoot::kLocalMachine, &root_),
              kSuccess);
    (void)platform::DeleteKeyTree(*root_, kScratch);  // left by an aborted run, if any
    bool created = false;
    ASSERT_EQ(root_->CreateKey(kScratch, &key_, &created), kSuccess);
  }

  void TearDown() override {
    key_.reset();
    if (root_) {
      EXPECT_EQ(platform::DeleteKeyTree(*root_, kScratch), kSuccess);
    }
  }

  Registry registry_{GetPlatform()};
  std::unique_ptr<RegKey> root_, key_;
};

TEST_F(ClientRegistryContract, TextsThroughTheNarrowView) {
  if (GetTarget().ExpectedAnsiCodePage() != 1252) GTEST_SKIP() << "a run for another code page";
  std::u16string out;
  ASSERT_EQ(registry_.SaveRegString(key_.get(), u"szTarget", u"h\u00f4te.example", false),
            kSuccess);
  EXPECT_EQ(registry_.ReadRegString(key_.get(), u"szTarget", &out, u"x"), kSuccess);
  EXPECT_EQ(out, u"h\u00f4te.example");
  // Stored as REG_SZ that a wide reader sees as the same text.
  uint32_t type = 0;
  uint32_t size = 0;
  ASSERT_EQ(key_->QueryValue(u"szTarget", &type, nullptr, &size), kSuccess);
  EXPECT_EQ(type, platform::kRegSz);
  std::u16string wide;
  ASSERT_EQ(platform::QueryString(*key_, u"szTarget", &wide), kSuccess);
  EXPECT_EQ(wide, u"h\u00f4te.example");

  // 255 characters fit the client's 256-byte buffer with the terminator; 256 do not, and the
  // reader gets the default as the service would.
  const std::u16string fits(255, u'a'), too_long(256, u'b');
  ASSERT_EQ(registry_.SaveRegString(key_.get(), u"fits", fits, false), kSuccess);
  ASSERT_EQ(registry_.SaveRegString(key_.get(), u"long", too_long, false), kSuccess);
  EXPECT_EQ(registry_.ReadRegString(key_.get(), u"fits", &out, u"d"), kSuccess);
  EXPECT_EQ(out, fits);
  EXPECT_EQ(registry_.ReadRegString(key_.get(), u"long", &out, u"d"), platform::kErrorMoreData);
  EXPECT_EQ(out, u"d");

  // An empty text deletes the value unless it is kept.
  ASSERT_EQ(registry_.SaveRegString(key_.get(), u"szTarget", u"", false), kSuccess);
  EXPECT_EQ(registry_.ReadRegString(key_.get(), u"szTarget", &out, u"127.0.0.1"),
            platform::kErrorFileNotFound);
  EXPECT_EQ(out, u"127.0.0.1");
  ASSERT_EQ(registry_.SaveRegString(key_.get(), u"szTarget2", u"", true), kSuccess);
  EXPECT_EQ(registry_.ReadRegString(key_.get(), u"szTarget2", &out, u"d"), kSuccess);
  EXPECT_EQ(out, u"");
}

TEST_F(ClientRegistryContract, Numbers) {
  int32_t value = 0;
  bool found = true;
  EXPECT_EQ(registry_.ReadRegDword(key_.get(), u"nSleep", &value, 1000, &found),
            platform::kErrorFileNotFound);
  EXPECT_EQ(value, 1000);
  EXPECT_FALSE(found);

  // Stored as unsigned, read back as the signed number the service uses.
  struct Case {
    uint32_t saved;
    int32_t read;
  } const cases[] = {{4294967295u, -1}, {2147483648u, INT32_MIN}, {129, 129}};
  for (const Case& c : cases) {
    EXPECT_EQ(registry_.SaveRegDword(key_.get(), u"nFacility", c.saved), kSuccess) << c.saved;
    EXPECT_EQ(registry_.ReadRegDword(key_.get(), u"nFacility", &value, 7, &found), kSuccess);
    EXPECT_TRUE(found);
    EXPECT_EQ(value, c.read) << c.saved;
  }
  EXPECT_EQ(registry_.DeleteRegValue(key_.get(), u"nFacility"), kSuccess);
  EXPECT_EQ(registry_.ReadRegDword(key_.get(), u"nFacility", &value, 7, &found),
            platform::kErrorFileNotFound);
  EXPECT_FALSE(found);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(registry_.DeleteRegValue(key_.get(), u"nFacility"), kSuccess);  // already gone

  // A null key fails every call with the invalid-handle code and gives the default.
  registry_.ClearSaveFailure();
  EXPECT_EQ(registry_.ReadRegDword(nullptr, u"nSleep", &value, 5), platform::kErrorInvalidHandle);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(registry_.SaveRegDword(nullptr, u"nSleep", 1), platform::kErrorInvalidHandle);
  ASSERT_TRUE(registry_.save_failure().has_value());
  EXPECT_EQ(registry_.save_failure()->value, u"nSleep");
}

TEST_F(ClientRegistryContract, Subkeys) {
  for (const char16_t* name : {u"System", u"Application"}) {
    std::unique_ptr<RegKey> sub;
    bool created = false;
    ASSERT_EQ(key_->CreateKey(name, &sub, &created), kSuccess);
  }
  const auto names = registry_.EnumRegSubkeys(u"LOCALHOST", kScratch);
  ASSERT_TRUE(names.has_value());
  EXPECT_EQ(names->size(), 2u);
  EXPECT_EQ(registry_.EnumRegSubkeys(u"", u"SOFTWARE\\SentrelNoSuchKey"), std::nullopt);
  // Another computer's registry: one that does not exist cannot be reached.
  EXPECT_EQ(registry_.EnumRegSubkeys(u"SENTRELNOSUCHPC", kScratch), std::nullopt);
}

}  // namespace
}  // namespace contract
