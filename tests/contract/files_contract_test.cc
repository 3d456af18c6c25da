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

TEST(FilesContract, FileExists) {
  EXPECT_EQ(Files().FileExists(GetTarget().FixturePath(u"contract_messages.dll")),
            platform::kSuccess);
  EXPECT_EQ(Files().FileExists(GetTarget().FixturePath(u"no_such_file.dll")),
            platform::kErrorFileNotFound);
  EXPECT_EQ(Files().FileExists(GetTarget().FixturePath(u"no_such_folder\\file.dll")),
            platform::kErrorPathNotFound);
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
                           return std::string(
                               info.param == std::u16string_view(u"version_ntbox.dll") ? "ntbox_rc"
                                                                                       : "windres");
                         });

TEST(FilesContract, VersionErrors) {
  struct Case {
    const char16_t* file;
    Result expected;
  } const cases[] = {
      {u"no_such_file.dll", platform::kErrorFileNotFound},
      {u"no_such_folder\\file.dll", platform::kErrorPathNotFound},
      // A text file: Windows reads it as a file without version data.
      {u"not_a_module.dll", platform::kErrorResourceDataNotFound},
  };
  for (const Case& c : cases) {
    FixedFileInfo info;
    info.file_version_ms = 0xDEADBEEF;
    EXPECT_EQ(Files().QueryFileVersion(GetTarget().FixturePath(c.file), &info), c.expected)
        << platform::Utf16ToUtf8(c.file);
    EXPECT_EQ(info.file_version_ms, 0xDEADBEEFu) << "a failed query leaves the answer alone";
  }
}

TEST(FilesContract, ModuleWithoutVersion) {
  CONTRACT_SKIP_UNDER_WINE("a module without a version resource answers 1812 instead of 1813");
  FixedFileInfo info;
  EXPECT_EQ(Files().QueryFileVersion(GetTarget().FixturePath(u"contract_messages.dll"), &info),
            platform::kErrorResourceTypeNotFound);
}

}  // namespace
}  // namespace contract
