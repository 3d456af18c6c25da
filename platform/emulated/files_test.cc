#include "platform/emulated/files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "platform/emulated/message_compiler.h"
#include "platform/emulated/version_resource.h"
#include "tests/support/test_platform.h"

namespace platform::emulated {
namespace {

constexpr char kScript[] = R"rc(// a comment
#include <winver.h>
1 VERSIONINFO
FILEVERSION 5, 4, 0, 166
PRODUCTVERSION 5,4,0,167
FILEFLAGSMASK 0x3F
FILEFLAGS 0x1 | 0x2
FILEOS 0x40004
FILETYPE 0x1
FILESUBTYPE 0x0
BEGIN
  BLOCK "StringFileInfo"
  {
    BLOCK "040904B0"
    BEGIN
      VALUE "ProductName", "Brinmoor ""Sentrel""\0"
    END
  }
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
)rc";

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> VersionDll(std::string_view script) {
  VersionInfoScript info;
  int line = 0;
  std::string error;
  EXPECT_TRUE(CompileVersionInfo(script, &info, &line, &error)) << line << ": " << error;
  return BuildResourceDll(kRtVersion, info.resource_name,
                          {{VersionResourceLanguage(info), BuildVersionResource(info)}});
}

class FilesTest : public ::testing::Test {
 protected:
  std::string C(const std::string& name) { return computer_.dir() + "/drive_c/" + name; }
  Files& files() { return computer_.platform().files(); }
  testsupport::TempComputer computer_;
};

// Missing files and folders are in the platform contract tests; here the emulated names.
TEST_F(FilesTest, FileExistsTakesNamesInAnyCaseAndHostPaths) {
  std::ofstream(C("there.txt")) << "x";
  EXPECT_EQ(kSuccess, files().FileExists(u"C:\\THERE.txt"));
  EXPECT_EQ(kSuccess, files().FileExists(Utf8ToUtf16(C("there.txt"))));
}

// A copy of a host program has no version until its carrier, a resource DLL compiled from a
// script, is beside it.
TEST_F(FilesTest, AHostProgramCarriesItsVersionBesideIt) {
  std::ifstream in("/proc/self/exe", std::ios::binary);
  WriteBytes(C("tool"), std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
  FixedFileInfo info;
  EXPECT_EQ(kErrorResourceTypeNotFound, files().QueryFileVersion(u"C:\\tool", &info));
  WriteBytes(C("tool") + kResourceCarrierSuffix, VersionDll(kScript));
  ASSERT_EQ(kSuccess, files().QueryFileVersion(u"C:\\TOOL", &info));
  EXPECT_EQ(5u << 16 | 4u, info.file_version_ms);
  EXPECT_EQ(166u, info.file_version_ls);
  EXPECT_EQ(5u << 16 | 4u, info.product_version_ms);
  EXPECT_EQ(167u, info.product_version_ls);
  EXPECT_EQ(0x3Fu, info.file_flags_mask);
  EXPECT_EQ(0x3u, info.file_flags);
  EXPECT_EQ(0x40004u, info.file_os);
  EXPECT_EQ(1u, info.file_type);
}

#ifdef VASKWELL_PATH
TEST_F(FilesTest, TheBuiltServiceProgramReadsAs5_4_0_166) {
  FixedFileInfo info;
  ASSERT_EQ(kSuccess, files().QueryFileVersion(Utf8ToUtf16(VASKWELL_PATH), &info));
  EXPECT_EQ(5u << 16 | 4u, info.product_version_ms);
  EXPECT_EQ(0u << 16 | 166u, info.product_version_ls);
  EXPECT_EQ(info.product_version_ms, info.file_version_ms);
  EXPECT_EQ(info.product_version_ls, info.file_version_ls);
}
#endif

TEST(VersionScriptTest, ErrorsNameTheirLine) {
  VersionInfoScript info;
  int line = 0;
  std::string error;
  EXPECT_FALSE(
      CompileVersionInfo("1 VERSIONINFO\nFILEVERSION 1,2,3\nBEGIN\nEND\n", &info, &line, &error));
  EXPECT_EQ(3, line);
  EXPECT_FALSE(CompileVersionInfo("1 VERSIONINFO\nFILEDATE 1\n", &info, &line, &error));
  EXPECT_EQ("unknown statement FILEDATE", error);
  EXPECT_FALSE(CompileVersionInfo("STRINGTABLE\nBEGIN\nEND\n", &info, &line, &error));
  // A resource that is no VS_VERSIONINFO is refused on reading.
  FixedFileInfo fixed;
  const std::vector<uint8_t> junk(200, 0x41);
  EXPECT_EQ(kErrorInvalidData, ReadFixedFileInfo(junk, &fixed));
}

}  // namespace
}  // namespace platform::emulated
