#include "platform/emulated/shell.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/test_platform.h"

namespace platform::emulated {
namespace {

TEST(ShellTest, OpensAddressesAndFilesAndRecordsThem) {
  testsupport::TempComputer computer;
  Shell& shell = computer.platform().shell();
  std::ofstream(computer.dir() + "/drive_c/manual.htm") << "<html></html>";

  struct Case {
    std::u16string target;
    uint32_t result;
  };
  const Case cases[] = {
      {u"https://www.brinmoor.example/EN/FAQ/", kShellOpenOk},
      {u"mailto:support@brinmoor.example", kShellOpenOk},
      {u"C:\\MANUAL.HTM", kShellOpenOk},
      {u"C:\\missing.htm", kShellErrorFileNotFound},
      {u"", kShellErrorFileNotFound},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.result, shell.Open(c.target)) << Utf16ToUtf8(c.target);
  }
  std::ifstream log(computer.platform().machine().HostPath(kShellOpenLog));
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_EQ(
      "https://www.brinmoor.example/EN/FAQ/\nmailto:support@brinmoor.example\nC:\\MANUAL.HTM\n",
      text.str());
}

}  // namespace
}  // namespace platform::emulated
