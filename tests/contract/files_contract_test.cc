// Files: whether a file exists, and the fixed part of a program file's version resource.
//
// The version fixtures are compiled from one script (contract_version.rc) by ntbox rc and, where
// the mingw-w64 tools are installed, by windres: each platform must read both alike.

#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "tests/contract/contract_target.h"

namespace contract {
namespace {

using platform::FixedFileInfo;
using platform::Result;

platform::Files& Files() { return GetPlatform().files(); }

// The fixture directory itself, without a trailing backslash.
std::u16string FixtureFolder() {
  std::u16string path = GetTarget().FixturePath(u"");
  while (!path.empty() && path.back() == u'\\') path.pop_back();
  return path;
}

// What FileExists and QueryFileVersion answer for what is no program file; a failed version
// query leaves the answer alone.
TEST(FilesContract, ExistenceAndVersionErrors) {
  struct Case {
    std::u16string path;
    Result exists, version;
  } const cases[] = {
      {GetTarget().FixturePath(u"no_such_file.dll"), platform::kErrorFileNotFound,
       platform::kErrorFileNotFound},
      {GetTarget().FixturePath(u"no_such_folder\\file.dll"), platform::kErrorPathNotFound,
       platform::kErrorPathNotFound},
      // A text file: Windows reads it as a file without version data.
      {GetTarget().FixturePath(u"not_a_module.dll"), platform::kSuccess,
       platform::kErrorResourceDataNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::Utf16ToUtf8(c.path));
    EXPECT_EQ(Files().FileExists(c.path), c.exists);
    FixedFileInfo info;
    info.file_version_ms = 0xDEADBEEF;
    EXPECT_EQ(Files().QueryFileVersion(c.path, &info), c.version);
    EXPECT_EQ(info.file_version_ms, 0xDEADBEEFu);
  }
  // A folder is no file.
  EXPECT_EQ(Files().FileExists(FixtureFolder()), platform::kErrorFileNotFound);
}

class VersionContract : public ::testing::TestWithParam<const char16_t*> {};

TEST_P(VersionContract, FixedPartOfEveryField) {
  if (!GetTarget().HasFixture(GetParam())) {
    GTEST_SKIP() << "no fixture " << platform::Utf16ToUtf8(GetParam());
  }
  FixedFileInfo info;
  ASSERT_EQ(Files().QueryFileVersion(GetTarget().FixturePath(GetParam()), &info),
            platform::kSuccess);
  EXPECT_EQ(info.file_version_ms, 1u << 16 | 2u);
  EXPECT_EQ(info.file_version_ls, 3u << 16 | 4u);
  EXPECT_EQ(info.product_version_ms, 5u << 16 | 6u);
  EXPECT_EQ(info.product_version_ls, 7u << 16 | 8u);
  EXPECT_EQ(info.file_flags_mask, 0x3Fu);
  EXPECT_EQ(info.file_flags, 0x2u);
  EXPECT_EQ(info.file_os, 0x40004u);
  EXPECT_EQ(info.file_type, 0x2u);
  EXPECT_EQ(info.file_subtype, 0u);
}

INSTANTIATE_TEST_SUITE_P(Compilers, VersionContract,
                         ::testing::Values(u"version_ntbox.dll", u"version_windres.dll"),
                         [](const auto& info) {
                           return std::string(info.index == 0 ? "ntbox_rc" : "windres");
                         });

TEST(FilesContract, ModuleWithoutVersion) {
  const std::u16string module = GetTarget().FixturePath(u"contract_messages.dll");
  EXPECT_EQ(Files().FileExists(module), platform::kSuccess);
  CONTRACT_SKIP_UNDER_WINE("a module without a version resource answers 1812 instead of 1813");
  FixedFileInfo info;
  EXPECT_EQ(Files().QueryFileVersion(module, &info), platform::kErrorResourceTypeNotFound);
}

}  // namespace
}  // namespace contract
