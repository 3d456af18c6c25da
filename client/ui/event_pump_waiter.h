// The core's waits on the window thread: pending window messages (paint, clicks, timers) run
// during the wait, so the windows stay responsive while the client waits for the service, the
// network or the installer.
#ifndef CLIENT_UI_EVENT_PUMP_WAITER_H_
#define CLIENT_UI_EVENT_PUMP_WAITER_H_

#include <functional>

#include "client/core/waiter.h"
#include "platform/result.h"

namespace sentrel::client {

class EventPumpWaiter : public Waiter {
 public:
  // `cancelled` is asked after every wait; true stops the waiting operation.
  explicit EventPumpWaiter(std::function<bool()> cancelled) : cancelled_(std::move(cancelled)) {}
  [[nodiscard]] bool Wait(uint32_t ms) override;

 private:
  std::function<bool()> cancelled_;
};

// Runs `call` on a worker thread and lets window events run until it has returned, for the few
// platform calls that block for long (a service start waits up to 30 s for the service's program,
// another computer's service manager waits for the network). `call` must touch nothing the
// window thread uses meanwhile.
platform::Result RunWhileResponsive(const std::function<platform::Result()>& call);

}  // namespace sentrel::client

#endif  // CLIENT_UI_EVENT_PUMP_WAITER_H_
