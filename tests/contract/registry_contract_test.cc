// Registry and RegKey: values of every type, sizes, names without regard to case, the error
// codes, the narrow views, enumeration and remote connection. Everything happens below a scratch
// key of HKEY_CURRENT_USER that each test creates and removes.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "tests/contract/contract_target.h"

namespace contract {
namespace {

using platform::kSuccess;
using platform::RegAccess;
using platform::RegKey;
using platform::Result;

constexpr char16_t kScratch[] = u"Software\\SentrelContractScratch";

std::vector<uint8_t> Bytes(std::u16string_view text_with_nuls) {
  std::vector<uint8_t> bytes(text_with_nuls.size() * 2);
  std::memcpy(bytes.data(), text_with_nuls.data(), bytes.size());
  return bytes;
}

class RegistryContract : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(GetPlatform().registry().OpenRoot(platform::RegRoot::kCurrentUser, &root_), kSuccess);
    (void)platform::DeleteKeyTree(*root_, kScratch);  // left by an aborted run, if any
    bool created = false;
    ASSERT_EQ(root_->CreateKey(kScratch, &key_, &created), kSuccess);
    EXPECT_TRUE(created);
  }

  void TearDown() override {
    key_.reset();
    if (root_) {
      EXPECT_EQ(platform::DeleteKeyTree(*root_, kScratch), kSuccess);
    }
  }

  std::vector<std::u16string> ValueNames() {
    std::vector<std::u16string> names;
    std::u16string name;
    uint32_t type;
    std::vector<uint8_t> data;
    uint32_t i = 0;
    Result r;
    while ((r = key_->EnumValue(i++, &name, &type, &data)) == kSuccess) names.push_back(name);
    EXPECT_EQ(r, platform::kErrorNoMoreItems);
    return names;
  }

  std::vector<std::u16string> SubkeyNames() {
    std::vector<std::u16string> names;
    std::u16string name;
    uint32_t i = 0;
    Result r;
    while ((r = key_->EnumKey(i++, 256, &name)) == kSuccess) names.push_back(name);
    EXPECT_EQ(r, platform::kErrorNoMoreItems);
    return names;
  }

  std::unique_ptr<RegKey> root_;
  std::unique_ptr<RegKey> key_;
};

TEST_F(RegistryContract, EveryValueTypeRoundTrips) {
  struct Case {
    const char16_t* name;
    uint32_t type;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {u"Text", platform::kRegSz, Bytes(std::u16string_view(u"Wert \u00e4 \u20ac\0", 9))},
      // Stored as written: the registry itself expands nothing.
      {u"Expand", platform::kRegExpandSz, Bytes(std::u16string_view(u"%SystemRoot%\\x\0", 15))},
      {u"Multi", platform::kRegMultiSz, Bytes(std::u16string_view(u"one\0two\0\0", 9))},
      {u"Number", platform::kRegDword, {0xEF, 0xBE, 0xAD, 0xDE}},
      {u"Binary", platform::kRegBinary, {0x00, 0x01, 0xFE, 0xFF, 0x00}},
      {u"Empty", platform::kRegBinary, {}},
      {u"", platform::kRegSz, Bytes(std::u16string_view(u"default\0", 8))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::Utf16ToUtf8(c.name));
    ASSERT_EQ(key_->SetValue(c.name, c.type, c.bytes.data(), static_cast<uint32_t>(c.bytes.size())),
              kSuccess);
    // Size only.
    uint32_t type = 0, size = 0;
    ASSERT_EQ(key_->QueryValue(c.name, &type, nullptr, &size), kSuccess);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(size, c.bytes.size());
    // The whole value.
    std::vector<uint8_t> data(c.bytes.size() + 8, 0xCC);
    size = static_cast<uint32_t>(data.size());
    ASSERT_EQ(key_->QueryValue(c.name, &type, data.data(), &size), kSuccess);
    EXPECT_EQ(size, c.bytes.size());
    data.resize(size);
    EXPECT_EQ(data, c.bytes);
    // One byte short: 234 with the size needed.
    if (!c.bytes.empty()) {
      size = static_cast<uint32_t>(c.bytes.size() - 1);
      EXPECT_EQ(key_->QueryValue(c.name, &type, data.data(), &size), platform::kErrorMoreData);
      EXPECT_EQ(size, c.bytes.size());
    }
  }
  uint32_t number = 0;
  EXPECT_EQ(platform::QueryDword(*key_, u"Number", &number), kSuccess);
  EXPECT_EQ(number, 0xDEADBEEF);
}

TEST_F(RegistryContract, NamesIgnoreCaseAndKeepTheirCase) {
  ASSERT_EQ(platform::SetString(*key_, u"MixedCase", u"first"), kSuccess);
  ASSERT_EQ(platform::SetString(*key_, u"MIXEDCASE", u"second"), kSuccess);
  std::u16string text;
  EXPECT_EQ(platform::QueryString(*key_, u"mixedcase", &text), kSuccess);
  EXPECT_EQ(text, u"second");
  EXPECT_EQ(ValueNames(), std::vector<std::u16string>{u"MixedCase"});

  std::unique_ptr<RegKey> sub;
  bool created = false;
  ASSERT_EQ(key_->CreateKey(u"SubKey", &sub, &created), kSuccess);
  EXPECT_TRUE(created);
  ASSERT_EQ(key_->CreateKey(u"SUBKEY", &sub, &created), kSuccess);
  EXPECT_FALSE(created);
  EXPECT_EQ(key_->OpenKey(u"subkey", RegAccess::kRead, &sub), kSuccess);
  EXPECT_EQ(SubkeyNames(), std::vector<std::u16string>{u"SubKey"});
}

TEST_F(RegistryContract, ErrorCodes) {
  uint32_t type = 0, size = 0;
  std::unique_ptr<RegKey> sub;
  EXPECT_EQ(key_->QueryValue(u"Missing", &type, nullptr, &size), platform::kErrorFileNotFound);
  EXPECT_EQ(key_->DeleteValue(u"Missing"), platform::kErrorFileNotFound);
  EXPECT_EQ(key_->OpenKey(u"Missing", RegAccess::kRead, &sub), platform::kErrorFileNotFound);
  EXPECT_EQ(key_->DeleteKey(u"Missing"), platform::kErrorFileNotFound);

  ASSERT_EQ(key_->CreateKey(u"Parent\\Child", &sub), kSuccess);
  sub.reset();
  EXPECT_EQ(key_->DeleteKey(u"Parent"), platform::kErrorAccessDenied) << "a key with subkeys";
  std::u16string name;
  EXPECT_EQ(key_->EnumKey(0, 3, &name), platform::kErrorMoreData) << "\"Parent\" needs 7 chars";
  EXPECT_EQ(key_->EnumKey(0, 7, &name), kSuccess);
  EXPECT_EQ(name, u"Parent");
  EXPECT_EQ(key_->EnumKey(1, 256, &name), platform::kErrorNoMoreItems);
  uint32_t value_type;
  std::vector<uint8_t> data;
  EXPECT_EQ(key_->EnumValue(0, &name, &value_type, &data), platform::kErrorNoMoreItems);
  EXPECT_EQ(key_->DeleteKey(u"Parent\\Child"), kSuccess);
  EXPECT_EQ(key_->DeleteKey(u"Parent"), kSuccess);
}

TEST_F(RegistryContract, NarrowViews) {
  platform::CodePage& cp = GetPlatform().code_page();
  const std::u16string text = u"Wert \u00e4";
  ASSERT_EQ(platform::SetString(*key_, u"Name", text), kSuccess);
  const std::string expected = cp.WideToAnsi(text) + '\0';

  // A size-only query may answer more than the narrow text needs (Windows sizes it by the UTF-16
  // data); the read itself answers the exact size.
  uint32_t type = 0, size = 0;
  ASSERT_EQ(key_->QueryValueAnsi(u"Name", &type, nullptr, &size), kSuccess);
  EXPECT_EQ(type, platform::kRegSz);
  EXPECT_GE(size, expected.size());
  std::string narrow(size, '\xCC');
  ASSERT_EQ(key_->QueryValueAnsi(u"Name", &type, narrow.data(), &size), kSuccess);
  EXPECT_EQ(narrow.substr(0, size), expected);
  size = 2;
  EXPECT_EQ(key_->QueryValueAnsi(u"Name", &type, narrow.data(), &size), platform::kErrorMoreData);

  // Written narrow, read wide.
  ASSERT_EQ(key_->SetValueAnsi(u"Narrow", platform::kRegSz, cp.WideToAnsi(u"caf\u00e9")), kSuccess);
  std::u16string back;
  EXPECT_EQ(platform::QueryString(*key_, u"Narrow", &back), kSuccess);
  EXPECT_EQ(back, u"caf\u00e9");

  // Numbers are the same bytes in both views.
  ASSERT_EQ(platform::SetDword(*key_, u"Number", 7), kSuccess);
  uint32_t number = 0;
  size = sizeof number;
  EXPECT_EQ(key_->QueryValueAnsi(u"Number", &type, &number, &size), kSuccess);
  EXPECT_EQ(number, 7u);
  EXPECT_EQ(type, platform::kRegDword);
}

TEST_F(RegistryContract, EnumerationOrder) {
  for (const char16_t* name : {u"zeta", u"Alpha", u"mid"}) {
    ASSERT_EQ(platform::SetDword(*key_, name, 1), kSuccess);
  }
  std::unique_ptr<RegKey> sub;
  for (const char16_t* name : {u"a_b", u"Zed", u"aB"})
    ASSERT_EQ(key_->CreateKey(name, &sub), kSuccess);
  CONTRACT_SKIP_UNDER_WINE(
      "values enumerate alphabetically and subkeys in lower-case order under Wine");
  // Windows: values in the order they were written, subkeys sorted by their upper-case names
  // ("AB" < "A_B" < "ZED", where lower case would give "a_b" < "ab").
  EXPECT_EQ(ValueNames(), (std::vector<std::u16string>{u"zeta", u"Alpha", u"mid"}));
  EXPECT_EQ(SubkeyNames(), (std::vector<std::u16string>{u"aB", u"a_b", u"Zed"}));
}

TEST(RegistryConnectContract, LocalAndUnknownComputers) {
  platform::Registry& registry = GetPlatform().registry();
  std::unique_ptr<RegKey> key;
  EXPECT_EQ(registry.Connect(u"", platform::RegRoot::kLocalMachine, &key), kSuccess);
  const std::u16string own = GetPlatform().computer().NetBiosName();
  EXPECT_EQ(registry.Connect(u"\\\\" + own, platform::RegRoot::kLocalMachine, &key), kSuccess);
  ASSERT_NE(key, nullptr);
  std::unique_ptr<RegKey> software;
  EXPECT_EQ(key->OpenKey(u"SOFTWARE", RegAccess::kRead, &software), kSuccess);
  EXPECT_EQ(registry.Connect(u"\\\\NOSUCHCOMPUTER7", platform::RegRoot::kLocalMachine, &key),
            platform::kErrorBadNetpath);
}

}  // namespace
}  // namespace contract
