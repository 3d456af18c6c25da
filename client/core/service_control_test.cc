// Service control in the core: the commands each state allows, the wait for a pending state with
// its limit, and the boxes of failed starts and stops, against a scripted service manager and
// the emulated one.
#include "client/core/service_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <numeric>
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

// Running remotely, stopped and pending on this computer are in the refresh table below.
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
      {{0, kStopped}, false, {false, false, false, true, false}, false},
      // A service that does not exist: only Install (not Uninstall, even here), and no box.
      {{platform::kErrorServiceDoesNotExist, 0}, true, {true, false, false, false, false}, false},
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

// One poll per 100 ms wait while the state is pending, up to the limit; a cancelled wait looks
// once more and shows no box. Only "LOCALHOST" goes to the service manager as this computer.
TEST(RefreshServiceStateTest, PollsWhileThePendingStateLasts) {
  struct Case {
    std::deque<uint32_t> states;
    std::u16string target;
    int cancel_at;
    int polls;
    int queries;
    std::u16string computer;  // as the service manager was opened
    ServiceControls controls;
    bool box;
  };
  const ServiceControls local_start{false, true, false, true, false};
  const ServiceControls remote_stop{false, false, true, false, true};
  const std::deque<uint32_t> starting{kPendingStart, kPendingStart, kPendingStart, kRunning};
  const Case cases[] = {
      {starting, u"SRV2", 0, 4, 4, u"SRV2", remote_stop, false},
      {{kStopped}, u"LOCALHOST", 0, 1, 1, u"", local_start, false},
      {{kPendingStart}, u"", 0, kServicePollLimit, kServicePollLimit, u"", local_start, true},
      {{kPendingStart}, u"", 5, 4, 5, u"", local_start, false},
  };
  testsupport::TempComputer computer;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.states.size() * 1000 + c.cancel_at);
    ScriptedServices services(c.states);
    platform::OverlayPlatform overlay(computer.platform());
    overlay.service_manager_ = &services;
    CountingWaiter waiter(c.cancel_at);
    std::vector<int> progress;
    const RefreshOutcome outcome = RefreshServiceState(
        overlay, c.target, waiter, [&progress](int polls) { progress.push_back(polls); });
    EXPECT_EQ(outcome.polls, c.polls);
    EXPECT_EQ(services.queries(), c.queries);
    EXPECT_EQ(waiter.waited_ms, std::max(c.polls, c.cancel_at) * kServicePollIntervalMs);
    std::vector<int> counted(static_cast<size_t>(c.polls));
    std::iota(counted.begin(), counted.end(), 1);
    EXPECT_EQ(progress, counted);
    EXPECT_EQ(services.computer(), c.computer);
    EXPECT_EQ(outcome.cancelled, c.cancel_at != 0);
    EXPECT_EQ(outcome.view.controls, c.controls);
    ASSERT_EQ(outcome.view.message.has_value(), c.box);
    if (c.box) {
      EXPECT_EQ(outcome.view.message->text, GetMessageText(186) + u" \r\n" + GetMessageText(187));
    }
  }
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
