// Service control in the core: the commands each state allows, the wait for a pending state with
// its limit, and the boxes of failed starts and stops, against a scripted service manager and
// the emulated one.
#include "client/core/service_control.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>

#include "client/core/system_error.h"
#include "client/i18n/messages.h"
#include "tests/support/test_platform.h"

namespace sentrel::client {
namespace {

using platform::ServiceHandle;
using platform::ServiceManagerHandle;

// Counts the waits; cancels from the `cancel_at`-th wait on (0: never).
class CountingWaiter : public Waiter {
 public:
  explicit CountingWaiter(int cancel_at = 0) : cancel_at_(cancel_at) {}
  bool Wait(uint32_t ms) override {
    ++waits;
    waited_ms += ms;
    return cancel_at_ == 0 || waits < cancel_at_;
  }
  int waits = 0;
  uint32_t waited_ms = 0;

 private:
  int cancel_at_;
};

// A service manager whose one service answers the scripted states in turn (the last one for
// ever), and counts the queries and the computer they went to.
class ScriptedServices : public platform::ServiceManager {
 public:
  explicit ScriptedServices(std::deque<uint32_t> states) : states_(std::move(states)) {}

  Result Open(std::u16string_view computer, uint32_t,
              std::unique_ptr<ServiceManagerHandle>* out) override {
    computer_ = std::u16string(computer);
    *out = std::make_unique<Manager>(this);
    return platform::kSuccess;
  }
  int queries() const { return queries_; }
  const std::u16string& computer() const { return computer_; }

 private:
  struct Service : ServiceHandle {
    explicit Service(ScriptedServices* owner) : owner(owner) {}
    Result Start(const std::vector<std::u16string>&) override { return platform::kSuccess; }
    Result Control(uint32_t, platform::ServiceStatus*) override { return platform::kSuccess; }
    Result QueryStatus(platform::ServiceStatus* status) override {
      ++owner->queries_;
      status->current_state = owner->states_.front();
      if (owner->states_.size() > 1) owner->states_.pop_front();
      return platform::kSuccess;
    }
    Result QueryConfig(platform::ServiceConfiguration*) override { return platform::kSuccess; }
    Result Delete() override { return platform::kSuccess; }
    ScriptedServices* owner;
  };
  struct Manager : ServiceManagerHandle {
    explicit Manager(ScriptedServices* owner) : owner(owner) {}
    Result Open(std::u16string_view, uint32_t, std::unique_ptr<ServiceHandle>* out) override {
      *out = std::make_unique<Service>(owner);
      return platform::kSuccess;
    }
    Result Create(std::u16string_view, std::u16string_view, uint32_t, uint32_t, uint32_t, uint32_t,
                  std::u16string_view, std::u16string_view,
                  std::unique_ptr<ServiceHandle>*) override {
      return platform::kErrorAccessDenied;
    }
    ScriptedServices* owner;
  };

  std::deque<uint32_t> states_;
  int queries_ = 0;
  std::u16string computer_;
};

constexpr uint32_t kPendingStart = platform::kServiceStartPending;
constexpr uint32_t kRunning = platform::kServiceRunning;
constexpr uint32_t kStopped = platform::kServiceStopped;

TEST(ServiceStateViewTest, EachStateOffersItsCommands) {
  const std::u16string not_responding = GetMessageText(186) + u" \r\n" + GetMessageText(187);
  struct Case {
    ServiceQuery query;
    bool local;
    ServiceControls controls;  // install, uninstall, stop, start, restart
    bool box;
  };
  const Case cases[] = {
      {{0, kRunning}, true, {false, true, true, false, true}, false},
      {{0, kRunning}, false, {false, false, true, false, true}, false},
      {{0, kStopped}, true, {false, true, false, true, false}, false},
      {{0, kStopped}, false, {false, false, false, true, false}, false},
      // A service that does not exist: only Install, and no box.
      {{platform::kErrorServiceDoesNotExist, 0}, true, {true, false, false, false, false}, false},
      {{platform::kErrorServiceDoesNotExist, 0}, false, {true, false, false, false, false}, false},
      {{0, kPendingStart}, true, {false, true, false, true, false}, true},
      {{0, platform::kServicePaused}, false, {false, false, false, true, false}, true},
      {{platform::kErrorAccessDenied, 0}, true, {false, true, false, true, false}, true},
      {{platform::kErrorBadNetpath, 0}, false, {false, false, false, true, false}, true},
  };
  for (const Case& c : cases) {
    const ServiceStateView view = ViewOfServiceState(c.query, c.local);
    SCOPED_TRACE(testing::Message() << c.query.error << "/" << c.query.state << " " << c.local);
    EXPECT_EQ(view.controls, c.controls);
    EXPECT_EQ(view.message.has_value(), c.box);
    if (view.message) {
      EXPECT_EQ(view.message->text, not_responding);
      EXPECT_EQ(view.message->icon, MessageIcon::kCritical);
    }
  }
}

class RefreshTest : public ::testing::Test {
 protected:
  RefreshOutcome Refresh(std::deque<uint32_t> states, std::u16string_view target,
                         CountingWaiter& waiter) {
    services_ = std::make_unique<ScriptedServices>(std::move(states));
    overlay_.service_manager_ = services_.get();
    progress_.clear();
    return RefreshServiceState(overlay_, target, waiter,
                               [this](int polls) { progress_.push_back(polls); });
  }

  testsupport::TempComputer computer_;
  platform::OverlayPlatform overlay_{computer_.platform()};
  std::unique_ptr<ScriptedServices> services_;
  std::vector<int> progress_;
};

TEST_F(RefreshTest, WaitsWhileThePendingStateLasts) {
  CountingWaiter waiter;
  const RefreshOutcome outcome =
      Refresh({kPendingStart, kPendingStart, kPendingStart, kRunning}, u"SRV2", waiter);
  EXPECT_EQ(outcome.polls, 4);
  EXPECT_EQ(waiter.waited_ms, 400u);
  EXPECT_EQ(progress_, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(services_->computer(), u"SRV2");
  EXPECT_EQ(outcome.query.state, kRunning);
  EXPECT_TRUE(outcome.view.controls.stop);
  EXPECT_FALSE(outcome.view.message);
}

TEST_F(RefreshTest, ASettledStateIsQueriedOnceOnThisComputer) {
  CountingWaiter waiter;
  const RefreshOutcome outcome = Refresh({kStopped}, u"LOCALHOST", waiter);
  EXPECT_EQ(outcome.polls, 1);
  EXPECT_EQ(services_->computer(), u"");
  EXPECT_TRUE(outcome.view.controls.start);
  EXPECT_TRUE(outcome.view.controls.uninstall);
}

TEST_F(RefreshTest, GivesUpAfterTheLimitAndSaysSo) {
  CountingWaiter waiter;
  const RefreshOutcome outcome = Refresh({kPendingStart}, u"", waiter);
  EXPECT_EQ(outcome.polls, kServicePollLimit);
  EXPECT_EQ(services_->queries(), kServicePollLimit);
  EXPECT_EQ(waiter.waited_ms, kServicePollLimit * kServicePollIntervalMs);
  EXPECT_TRUE(outcome.view.controls.start);
  ASSERT_TRUE(outcome.view.message);
  EXPECT_EQ(outcome.view.message->text, GetMessageText(186) + u" \r\n" + GetMessageText(187));
}

TEST_F(RefreshTest, ACancelledWaitStopsPollingAndShowsNoBox) {
  CountingWaiter waiter(/*cancel_at=*/5);
  const RefreshOutcome outcome = Refresh({kPendingStart}, u"", waiter);
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_EQ(outcome.polls, 4);
  EXPECT_EQ(services_->queries(), 5);  // the last look after the cancel
  EXPECT_FALSE(outcome.view.message);
}

TEST(ServiceCommandsTest, AMissingServiceAndItsBoxes) {
  testsupport::TempComputer computer;
  platform::Platform& p = computer.platform();
  EXPECT_EQ(QueryNTServiceState(p, u"", kServiceName).error, platform::kErrorServiceDoesNotExist);
  EXPECT_EQ(StartNTService(p, u"", kServiceName), platform::kErrorServiceDoesNotExist);
  EXPECT_EQ(StopNTService(p, u"", kServiceName), platform::kErrorServiceDoesNotExist);
  EXPECT_EQ(QueryNTServiceState(p, u"NOSUCH", kServiceName).error, platform::kErrorBadNetpath);

  EXPECT_FALSE(StartFailureMessage(p, platform::kSuccess));
  EXPECT_FALSE(StopFailureMessage(p, platform::kSuccess));
  EXPECT_FALSE(StopFailureMessage(p, platform::kErrorServiceNotActive));
  const auto start = StartFailureMessage(p, platform::kErrorServiceDoesNotExist);
  ASSERT_TRUE(start);
  EXPECT_EQ(start->text, GetMessageText(191) + u"\r\n" +
                             GetSystemErrorText(p, platform::kErrorServiceDoesNotExist));
  const auto stop = StopFailureMessage(p, platform::kErrorAccessDenied);
  ASSERT_TRUE(stop);
  EXPECT_EQ(stop->text,
            GetMessageText(190) + u"\r\n" + GetSystemErrorText(p, platform::kErrorAccessDenied));
  EXPECT_EQ(stop->icon, MessageIcon::kCritical);
}

}  // namespace
}  // namespace sentrel::client
