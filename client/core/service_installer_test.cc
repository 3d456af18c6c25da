// Running the service program to install the service: its command line, a program that cannot
// be started or does not end, and a first start that fails. (A first start with the real
// vaskwell is walked through the window in the service command test.)
#include "client/core/service_installer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "client/core/system_error.h"
#include "client/i18n/messages.h"
#include "platform/text.h"
#include "tests/support/test_platform.h"

namespace sentrel::client {
namespace {

using Outcome = InstallerRun::Outcome;

// Cancels from the `cancel_at`-th wait on (0: never); sleeps only when asked to.
class TestWaiter : public Waiter {
 public:
  explicit TestWaiter(bool sleep, int cancel_at = 0) : sleep_(sleep), cancel_at_(cancel_at) {}
  bool Wait(uint32_t ms) override {
    ++waits_;
    if (sleep_) usleep(ms * 1000);
    return cancel_at_ == 0 || waits_ < cancel_at_;
  }

 private:
  bool sleep_;
  int cancel_at_;
  int waits_ = 0;
};

TEST(InstallerCommandLineTest, TheFullQuotedPathOfTheProgramInTheFolder) {
  const std::tuple<std::u16string, InstallerOption, std::u16string> cases[] = {
      {u"C:\\Program Files\\Sentrel", InstallerOption::kInstall,
       u"\"C:\\Program Files\\Sentrel\\vaskwell.exe\" -i"},
      {u"C:\\Sentrel\\", InstallerOption::kUninstall, u"\"C:\\Sentrel\\vaskwell.exe\" -u"},
      {u"/opt/sentrel bin", InstallerOption::kInstall, u"\"/opt/sentrel bin/vaskwell.exe\" -i"},
  };
  for (const auto& [folder, option, line] : cases) {
    EXPECT_EQ(InstallerCommandLine(folder, option), line);
  }
}

class InstallerTest : public ::testing::Test {
 protected:
  InstallerTest() {
    // The programs this test starts run on the test's computer.
    setenv("NTBOX_MACHINE", computer_.dir().c_str(), 1);
    session_.LoadUserConfig();
  }
  ~InstallerTest() override { unsetenv("NTBOX_MACHINE"); }

  // A folder holding a `vaskwell` that is a shell script with `body`.
  std::u16string FolderWithScript(const std::string& body) {
    const std::string path = folder_.path() + "/vaskwell";
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    EXPECT_EQ(chmod(path.c_str(), 0755), 0);
    return platform::Utf8ToUtf16(folder_.path());
  }
  int32_t ServiceInstalledValue() {
    int32_t value = -1;
    (void)session_.registry().ReadRegDword(session_.connection().client_settings(),
                                           u"nServiceInstalled", &value, -1);
    return value;
  }

  testsupport::TempComputer computer_;
  testsupport::TempDir folder_;
  ClientSession session_{computer_.platform()};
};

TEST_F(InstallerTest, AProgramThatCannotStartOrDoesNotEndIsReported) {
  platform::Platform& p = computer_.platform();
  TestWaiter waiter(/*sleep=*/false);
  const std::u16string empty = platform::Utf8ToUtf16(folder_.path());
  const InstallerRun missing = RunInstaller(p, empty, InstallerOption::kInstall, waiter);
  EXPECT_EQ(missing.outcome, Outcome::kStartFailed);
  EXPECT_EQ(missing.code, platform::kErrorFileNotFound);
  const auto box = InstallerFailureMessage(p, missing);
  ASSERT_TRUE(box);
  EXPECT_EQ(box->icon, MessageIcon::kCritical);
  EXPECT_EQ(box->text, GetMessageText(195) + u"\r\n" + missing.command_line + u"\r\n" +
                           GetSystemErrorText(p, platform::kErrorFileNotFound));

  const std::u16string hanging = FolderWithScript("exec sleep 2 >/dev/null 2>&1");
  const InstallerRun late = RunInstaller(p, hanging, InstallerOption::kInstall, waiter, 300);
  EXPECT_EQ(late.outcome, Outcome::kTimedOut);
  ASSERT_TRUE(InstallerFailureMessage(p, late));
  EXPECT_EQ(InstallerFailureMessage(p, late)->text,
            GetMessageText(196) + u"\r\n" + late.command_line);

  TestWaiter cancelling(/*sleep=*/false, /*cancel_at=*/1);
  const InstallerRun cancelled = RunInstaller(p, hanging, InstallerOption::kInstall, cancelling);
  EXPECT_EQ(cancelled.outcome, Outcome::kCancelled);
  EXPECT_FALSE(InstallerFailureMessage(p, cancelled));
  usleep(100 * 1000);  // the shell opens its script before the folder goes
}

TEST_F(InstallerTest, AFailedFirstInstallIsNotRemembered) {
  TestWaiter waiter(/*sleep=*/false);
  const FirstRunResult failed =
      EnsureServiceInstalled(session_, platform::Utf8ToUtf16(folder_.path()), 173, waiter);
  EXPECT_EQ(failed.state, FirstRunResult::State::kFailed);
  ASSERT_TRUE(failed.message);
  EXPECT_EQ(failed.message->icon, MessageIcon::kCritical);
  EXPECT_EQ(ServiceInstalledValue(), -1);

  // An installer that ends without creating the configuration: the hint, and still not
  // remembered, so the next start tries again.
  TestWaiter sleeping(/*sleep=*/true);
  const FirstRunResult empty =
      EnsureServiceInstalled(session_, FolderWithScript("exit 0"), 173, sleeping);
  EXPECT_EQ(empty.state, FirstRunResult::State::kShowHint);
  EXPECT_EQ(ServiceInstalledValue(), -1);
}

}  // namespace
}  // namespace sentrel::client
