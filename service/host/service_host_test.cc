// The service framework's state machine against a dispatcher that records the status reports,
// with the events it writes read back from the Application log of an emulated computer.
#include "service/host/service_host.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "service/config/service_config.h"
#include "service/host/host_test_support.h"
#include "tests/support/test_platform.h"

namespace sentrel {
namespace {

using hosttest::EventIds;
using hosttest::FakeDispatcher;
using platform::kServiceRunning;
using platform::kServiceStartPending;
using platform::kServiceStopped;
using platform::kServiceStopPending;

// Records which hooks ran, and in which state the service was when OnStop ran.
class RecordingHost : public ServiceHost {
 public:
  explicit RecordingHost(platform::Platform& p) : ServiceHost(p, u"Test Svc") {}

  bool OnInit() override {
    Record("init");
    set_last_error(init_error);
    return init_result;
  }
  void OnStop() override {
    Record("stop");
    state_at_stop = status().current_state;
    running_at_stop = running();
  }
  void OnPause() override { Record("pause"); }
  void OnContinue() override { Record("continue"); }
  void OnInterrogate() override { Record("interrogate"); }
  void OnShutdown() override { Record("shutdown"); }
  bool OnUserControl(uint32_t control) override {
    Record("user " + std::to_string(control));
    return user_result;
  }

  void Record(std::string call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
  }

  bool init_result = true;
  platform::Result init_error = platform::kSuccess;
  bool user_result = false;
  // Hooks run on the service thread and on the test's thread acting as the dispatcher.
  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  uint32_t state_at_stop = 0;
  bool running_at_stop = false;

 private:
  std::mutex mutex_;
  std::vector<std::string> calls_;
};

class ServiceHostTest : public ::testing::Test {
 protected:
  ServiceHostTest() { overlay_.service_dispatcher_ = &dispatcher_; }

  // Runs the entry routine on a service thread of its own and waits until it reports running.
  void StartService() {
    service_thread_ = std::thread([this] { host_.ServiceMain({u"Test Svc"}); });
    ASSERT_TRUE(dispatcher_.WaitFor(kServiceRunning));
  }
  std::vector<uint32_t> Events() { return EventIds(computer_.platform(), kServiceName); }

  ~ServiceHostTest() override {
    if (service_thread_.joinable()) {
      if (host_.running()) dispatcher_.Control(platform::kServiceControlStop);
      service_thread_.join();
    }
  }

  testsupport::TempComputer computer_;
  platform::OverlayPlatform overlay_{computer_.platform()};
  FakeDispatcher dispatcher_;
  RecordingHost host_{overlay_};
  std::thread service_thread_;
};

TEST_F(ServiceHostTest, StartsRunsAndStopsWithinTheCheckInterval) {
  StartService();
  EXPECT_EQ(dispatcher_.registered_name, u"Test Svc");
  EXPECT_EQ(dispatcher_.states(), (std::vector<uint32_t>{kServiceStartPending, kServiceRunning}));
  EXPECT_TRUE(host_.running());
  EXPECT_EQ(Events(), std::vector<uint32_t>{kEventStarted});
  const platform::ServiceStatus running = dispatcher_.reports().back();
  EXPECT_EQ(running.service_type, platform::kServiceWin32OwnProcess);
  EXPECT_EQ(running.controls_accepted, platform::kServiceAcceptStop);
  EXPECT_EQ(running.win32_exit_code, 0u);

  const auto before = std::chrono::steady_clock::now();
  dispatcher_.Control(platform::kServiceControlStop);
  service_thread_.join();
  const auto took = std::chrono::steady_clock::now() - before;
  EXPECT_LT(took, kRunCheckInterval);

  // Stop pending by SetStatus and by the handler's final report, then stopped by the entry
  // routine; OnStop ran while stop pending and before the flag was cleared.
  EXPECT_EQ(dispatcher_.states(),
            (std::vector<uint32_t>{kServiceStartPending, kServiceRunning, kServiceStopPending,
                                   kServiceStopPending, kServiceStopped}));
  EXPECT_EQ(host_.state_at_stop, kServiceStopPending);
  EXPECT_TRUE(host_.running_at_stop);
  EXPECT_FALSE(host_.running());
  EXPECT_EQ(host_.Calls(), (std::vector<std::string>{"init", "stop"}));
  EXPECT_EQ(Events(), (std::vector<uint32_t>{kEventStarted, kEventStopped}));
  EXPECT_EQ(host_.status().current_state, kServiceStopped);
}

TEST_F(ServiceHostTest, AFailedInitReportsStoppedWithItsErrorAndNeverRuns) {
  host_.init_result = false;
  host_.init_error = platform::kErrorNotEnoughMemory;
  host_.ServiceMain({u"Test Svc"});
  EXPECT_EQ(dispatcher_.states(), (std::vector<uint32_t>{kServiceStartPending, kServiceStopped}));
  EXPECT_EQ(dispatcher_.reports().back().win32_exit_code, platform::kErrorNotEnoughMemory);
  EXPECT_EQ(host_.status().win32_exit_code, platform::kErrorNotEnoughMemory);
  EXPECT_EQ(host_.Calls(), std::vector<std::string>{"init"});
  EXPECT_EQ(Events(), std::vector<uint32_t>{kEventInitFailed});
}

TEST_F(ServiceHostTest, ARunningServiceHasExitCodeZeroWhateverInitLeft) {
  host_.init_error = platform::kErrorAccessDenied;
  StartService();
  EXPECT_EQ(dispatcher_.reports().back().win32_exit_code, 0u);
}

TEST_F(ServiceHostTest, WithoutAControlHandlerOnlyEvent103) {
  dispatcher_.refuse_registration = true;
  host_.ServiceMain({u"Test Svc"});
  EXPECT_TRUE(dispatcher_.states().empty());
  EXPECT_TRUE(host_.Calls().empty());
  EXPECT_EQ(Events(), std::vector<uint32_t>{kEventNoControlHandler});
}

TEST_F(ServiceHostTest, OtherControlsRunTheirHooksAndReportTheUnchangedStatus) {
  StartService();
  for (uint32_t code : {platform::kServiceControlPause, platform::kServiceControlContinue,
                        platform::kServiceControlInterrogate, platform::kServiceControlShutdown}) {
    dispatcher_.Control(code);
  }
  EXPECT_EQ(host_.Calls(),
            (std::vector<std::string>{"init", "pause", "continue", "interrogate", "shutdown"}));
  const std::vector<uint32_t> states = dispatcher_.states();
  ASSERT_EQ(states.size(), 6u);
  for (size_t i = 1; i < states.size(); ++i) EXPECT_EQ(states[i], kServiceRunning);
  EXPECT_TRUE(host_.running());
  EXPECT_EQ(Events(), std::vector<uint32_t>{kEventStarted});
}

TEST_F(ServiceHostTest, UserAndUnknownControlsGiveEvent106UnlessTheServiceTakesThem) {
  StartService();
  dispatcher_.Control(200);  // the service's own code, refused by the hook
  host_.user_result = true;
  dispatcher_.Control(128);  // taken by the hook: no event
  dispatcher_.Control(6);    // unknown, below the service's own range: the hook is not asked
  dispatcher_.Control(127);
  EXPECT_EQ(host_.Calls(), (std::vector<std::string>{"init", "user 200", "user 128"}));
  EXPECT_EQ(Events(), (std::vector<uint32_t>{kEventStarted, kEventUnsupportedRequest,
                                             kEventUnsupportedRequest, kEventUnsupportedRequest}));
  EXPECT_EQ(dispatcher_.states().size(), 6u);
  EXPECT_TRUE(host_.running());
}

TEST_F(ServiceHostTest, OutsideTheControlManagerTheProgramPrintsNothingAndExitsZero) {
  hosttest::CapturingProcess process(computer_.platform().process());
  overlay_.process_ = &process;
  EXPECT_EQ(host_.RunProgram({"/i"}), 0);
  EXPECT_EQ(host_.RunProgram({}), 0);
  EXPECT_EQ(process.console, "");
  EXPECT_TRUE(host_.Calls().empty());
}

TEST_F(ServiceHostTest, APrivilegeThatCannotBeLookedUpPrintsTheHintAndGoesOn) {
  hosttest::CapturingProcess process(computer_.platform().process());
  overlay_.process_ = &process;
  process.privilege = {1313, platform::PrivilegeStep::kLookup};
  EXPECT_EQ(host_.RunProgram({"-V"}), 0);
  EXPECT_EQ(process.console,
            "\nThe above error means you need to log on as an Administrator"
            "Test Svc Version 5.4 Build 166 (Final Release)\n"
            "The service is not installed.\n");
  // Other failures of the privilege say nothing.
  process.console.clear();
  process.privilege = {5, platform::PrivilegeStep::kAdjust};
  host_.EnableSecurityPrivilege();
  EXPECT_EQ(process.console, "");
}

}  // namespace
}  // namespace sentrel
