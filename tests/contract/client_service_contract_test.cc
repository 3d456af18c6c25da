// The client's control of the forwarding service on each platform: the real service program
// (which lies beside this test program) installed by the client's first start, started, queried
// and stopped through the client's service functions and removed again; the commands the client
// offers in each state it sees; and the system's reason in the boxes of failed starts and stops.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include "client/core/client_session.h"
#include "client/core/service_control.h"
#include "client/core/service_installer.h"
#include "client/core/system_error.h"
#include "client/core/win_nt_services.h"
#include "client/i18n/messages.h"
#include "platform/service_manager.h"
#include "platform/text.h"
#include "tests/contract/contract_target.h"

namespace sentrel::client {

// Readable failures: the commands offered by name, a box by its text.
void PrintTo(const ServiceControls& c, std::ostream* os) {
  *os << "{" << (c.install ? " install" : "") << (c.uninstall ? " uninstall" : "")
      << (c.stop ? " stop" : "") << (c.start ? " start" : "") << (c.restart ? " restart" : "")
      << " }";
}
void PrintTo(const UserMessage& box, std::ostream* os) { *os << platform::Utf16ToUtf8(box.text); }

}  // namespace sentrel::client

namespace contract {
namespace {

using platform::kErrorServiceDoesNotExist;
using platform::kSuccess;
using platform::Result;
using sentrel::client::ClientSession;
using sentrel::client::FirstRunResult;
using sentrel::client::InstallerOption;
using sentrel::client::InstallerRun;
using sentrel::client::kServiceName;
using sentrel::client::ServiceControls;
using sentrel::client::ServiceQuery;
using sentrel::client::UserMessage;

constexpr char16_t kInstalledMark[] = u"nServiceInstalled";
constexpr int kStartFailed = 191;  // the client's message ids of the two boxes
constexpr int kStopFailed = 190;

// Sleeps through each wait and is never cancelled.
class SleepingWaiter : public sentrel::client::Waiter {
 public:
  bool Wait(uint32_t ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return true;
  }
};

// A failure box carries the client's message, a line break and the system's own text of the
// code (not the fallback "Error N" given when the system has no text for it).
void ExpectBoxWithSystemText(const std::optional<UserMessage>& box, int message, Result code) {
  platform::Platform& p = GetPlatform();
  const std::u16string reason = sentrel::client::GetSystemErrorText(p, code);
  EXPECT_NE(reason, u"Error " + platform::Decimal(code)) << "no system text for " << code;
  ASSERT_TRUE(box) << "no box for " << code;
  EXPECT_EQ(box->icon, sentrel::client::MessageIcon::kCritical);
  EXPECT_EQ(box->text, sentrel::client::GetMessageText(message) + u"\r\n" + reason);
}

// Installs, runs and removes the service named kServiceName: a computer where it is installed
// already is refused, so the test never removes a service it did not install. The user's
// first-start mark is put back as it was.
class ClientServiceContract : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sentrel::client::ProgramFolder(p_, &folder_), kSuccess);
    ASSERT_EQ(Query().error, kErrorServiceDoesNotExist)
        << "the service is installed on this computer: uninstall it before this test";
    ASSERT_EQ(session_.connection().OpenClientSettings(), kSuccess);
    (void)session_.registry().ReadRegDword(Settings(), kInstalledMark, &old_mark_, 0, &had_mark_);
    owns_service_ = true;
    ASSERT_EQ(session_.registry().DeleteRegValue(Settings(), kInstalledMark), kSuccess);
  }

  void TearDown() override {
    if (!owns_service_) return;
    if (Query().error != kErrorServiceDoesNotExist) {
      (void)sentrel::client::StopNTService(p_, u"", kServiceName);
      (void)sentrel::client::RefreshServiceState(p_, u"", waiter_, {});
      (void)sentrel::client::RunInstaller(p_, folder_, InstallerOption::kUninstall, waiter_);
    }
    if (had_mark_) {
      (void)session_.registry().SaveRegDword(Settings(), kInstalledMark,
                                             static_cast<uint32_t>(old_mark_));
    } else {
      (void)session_.registry().DeleteRegValue(Settings(), kInstalledMark);
    }
  }

  ServiceQuery Query() { return sentrel::client::QueryNTServiceState(p_, u"", kServiceName); }
  platform::RegKey* Settings() { return session_.connection().client_settings(); }

  platform::Platform& p_ = GetPlatform();
  ClientSession session_{p_};
  SleepingWaiter waiter_;
  std::u16string folder_;
  bool owns_service_ = false;  // SetUp found no such service and read the user's mark
  bool had_mark_ = false;
  int32_t old_mark_ = 0;
};

TEST_F(ClientServiceContract, InstallStartStopAndRemoveTheService) {
  CONTRACT_RUN_IN_PRIVATE_NETWORK();  // the running service sends to the syslog port
  using sentrel::client::ViewOfServiceState;
  const ServiceControls install_only{.install = true};
  const ServiceControls stopped{.uninstall = true, .start = true};
  const ServiceControls running{.uninstall = true, .stop = true, .restart = true};

  // Not installed: only Install, without a box; start and stop fail with the system's reason.
  EXPECT_EQ(ViewOfServiceState(Query(), true).controls, install_only);
  EXPECT_EQ(ViewOfServiceState(Query(), true).message, std::nullopt);
  for (const bool start : {true, false}) {
    const Result r = start ? sentrel::client::StartNTService(p_, u"", kServiceName)
                           : sentrel::client::StopNTService(p_, u"", kServiceName);
    EXPECT_EQ(r, kErrorServiceDoesNotExist);
    ExpectBoxWithSystemText(start ? sentrel::client::StartFailureMessage(p_, r)
                                  : sentrel::client::StopFailureMessage(p_, r),
                            start ? kStartFailed : kStopFailed, r);
  }

  // The client's first start installs it with the service program from the client's folder.
  const FirstRunResult first = EnsureServiceInstalled(session_, folder_, 173, waiter_);
  ASSERT_EQ(first.state, FirstRunResult::State::kInstalled)
      << ::testing::PrintToString(first.message);
  int32_t mark = 0;
  EXPECT_EQ(session_.registry().ReadRegDword(Settings(), kInstalledMark, &mark, 0), kSuccess);
  EXPECT_EQ(mark, 1);

  // Each command, then the wait for a pending state to end, as the client does it.
  struct Step {
    const char* what;
    bool start;     // the command: start, or stop
    Result result;  // what the command answers
    int box;        // the failure box's message, or 0 for none
    uint32_t state;
    ServiceControls controls;
  } const steps[] = {
      {"start", true, kSuccess, 0, platform::kServiceRunning, running},
      {"start again", true, platform::kErrorServiceAlreadyRunning, kStartFailed,
       platform::kServiceRunning, running},
      {"stop", false, kSuccess, 0, platform::kServiceStopped, stopped},
      {"stop again", false, platform::kErrorServiceNotActive, 0, platform::kServiceStopped,
       stopped},
  };
  const sentrel::client::ServiceStateView installed = ViewOfServiceState(Query(), true);
  EXPECT_EQ(installed.controls, stopped);
  EXPECT_EQ(installed.message, std::nullopt);
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    const Result r = s.start ? sentrel::client::StartNTService(p_, u"", kServiceName)
                             : sentrel::client::StopNTService(p_, u"", kServiceName);
    EXPECT_EQ(r, s.result);
    const std::optional<UserMessage> box = s.start ? sentrel::client::StartFailureMessage(p_, r)
                                                   : sentrel::client::StopFailureMessage(p_, r);
    if (s.box != 0) {
      ExpectBoxWithSystemText(box, s.box, r);
    } else {
      EXPECT_EQ(box, std::nullopt);
    }
    const sentrel::client::RefreshOutcome outcome =
        sentrel::client::RefreshServiceState(p_, u"", waiter_, {});
    EXPECT_EQ(outcome.query.error, kSuccess);
    EXPECT_EQ(outcome.query.state, s.state);
    EXPECT_EQ(outcome.view.controls, s.controls);
    EXPECT_EQ(outcome.view.message, std::nullopt);
  }

  // Removed by the service program from the client's folder: only Install is offered again.
  const InstallerRun removal = RunInstaller(p_, folder_, InstallerOption::kUninstall, waiter_);
  EXPECT_EQ(removal.outcome, InstallerRun::Outcome::kFinished)
      << platform::Utf16ToUtf8(removal.command_line);
  const ServiceQuery gone = Query();
  EXPECT_EQ(gone.error, kErrorServiceDoesNotExist);
  EXPECT_EQ(ViewOfServiceState(gone, true).controls, install_only);
  EXPECT_FALSE(sentrel::client::LocalParametersExist(p_));
}

// A start the service control manager refuses, on a probe service that cannot run: the code is
// the system's, the box carries its text, and the service stays stopped with Start offered.
TEST(ClientServiceStartFailures, TheSystemsReasonReachesTheBox) {
  constexpr char16_t kProbe[] = u"SentrelClientContractProbe";
  platform::Platform& p = GetPlatform();
  std::unique_ptr<platform::ServiceManagerHandle> manager;
  ASSERT_EQ(p.service_manager().Open(u"", platform::kScManagerAllAccess, &manager), kSuccess);
  const auto remove_probe = [&] {
    std::unique_ptr<platform::ServiceHandle> left;
    if (manager->Open(kProbe, platform::kDeleteAccess, &left) == kSuccess) (void)left->Delete();
  };
  struct Case {
    const char* what;
    uint32_t start_type;
    Result result;
  } const cases[] = {
      {"disabled", platform::kServiceDisabled, platform::kErrorServiceDisabled},
      {"no such program", platform::kServiceDemandStart, platform::kErrorFileNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    remove_probe();  // from the case before, or from an aborted run
    std::unique_ptr<platform::ServiceHandle> probe;
    ASSERT_EQ(
        manager->Create(kProbe, u"", platform::kServiceAllAccess, platform::kServiceWin32OwnProcess,
                        c.start_type, platform::kServiceErrorNormal,
                        u"C:\\SentrelClientContract\\missing.exe", u"", &probe),
        kSuccess);
    const Result r = sentrel::client::StartNTService(p, u"", kProbe);
    EXPECT_EQ(r, c.result);
    ExpectBoxWithSystemText(sentrel::client::StartFailureMessage(p, r), kStartFailed, r);
    const ServiceQuery after = sentrel::client::QueryNTServiceState(p, u"", kProbe);
    EXPECT_EQ(after.error, kSuccess);
    EXPECT_EQ(after.state, platform::kServiceStopped);
    EXPECT_EQ(sentrel::client::ViewOfServiceState(after, true).controls,
              (ServiceControls{.uninstall = true, .start = true}));
  }
  remove_probe();
}

}  // namespace
}  // namespace contract
