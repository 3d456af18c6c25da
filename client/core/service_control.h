// The client's control of the forwarding service on the target computer: which service commands
// are offered in which state, the wait for a pending state to end, and the boxes of failed
// starts and stops.
#ifndef CLIENT_CORE_SERVICE_CONTROL_H_
#define CLIENT_CORE_SERVICE_CONTROL_H_

#include <functional>
#include <optional>
#include <string>

#include "client/core/user_message.h"
#include "client/core/waiter.h"
#include "client/core/win_nt_services.h"

namespace sentrel::client {

// The five service commands in the order SetServiceControls applies them.
struct ServiceControls {
  bool install = false;
  bool uninstall = false;
  bool stop = false;
  bool start = false;
  bool restart = false;

  bool operator==(const ServiceControls&) const = default;
};

// The commands a state allows, and the box that goes with it. `local`: the target is this
// computer (only there the service can be removed). A service that does not exist offers only
// Install, without a box; a state still pending or a failed query offers Start and shows
// "not responding".
struct ServiceStateView {
  ServiceControls controls;
  std::optional<UserMessage> message;
};
ServiceStateView ViewOfServiceState(const ServiceQuery& query, bool local);

// The service control manager's name for the target: empty for this computer.
std::u16string ServiceComputer(std::u16string_view target);

// RefreshServiceState's polls: one every 100 ms, at most 150 (about 15 seconds).
inline constexpr uint32_t kServicePollIntervalMs = 100;
inline constexpr int kServicePollLimit = 150;

struct RefreshOutcome {
  ServiceQuery query;      // the last state found
  int polls = 0;           // queries made
  bool cancelled = false;  // the wait was cancelled (the state was then queried once more)
  ServiceStateView view;   // no box after a cancelled wait
};

// Waits for a pending state of the service on `target` to end: waits 100 ms, queries, reports the
// number of queries so far to `progress` (may be empty), and repeats while the state is start or
// stop pending, at most kServicePollLimit times.
RefreshOutcome RefreshServiceState(platform::Platform& platform, std::u16string_view target,
                                   Waiter& waiter, const std::function<void(int polls)>& progress);

// The boxes of a failed start or stop: the message, a line break and the system's text of the
// code. None for success, and none for a stop of a service that was not running (1062).
std::optional<UserMessage> StartFailureMessage(platform::Platform& platform, Result code);
std::optional<UserMessage> StopFailureMessage(platform::Platform& platform, Result code);

}  // namespace sentrel::client

#endif  // CLIENT_CORE_SERVICE_CONTROL_H_
