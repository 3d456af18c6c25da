// How the core waits without blocking the window: the window thread lets pending window messages
// run during a wait (the client starts no threads), and the user can cancel a long wait.
#ifndef CLIENT_CORE_WAITER_H_
#define CLIENT_CORE_WAITER_H_

#include <cstdint>

namespace sentrel::client {

class Waiter {
 public:
  virtual ~Waiter() = default;
  // Lets pending window messages run for about `ms` milliseconds (0: only those already
  // waiting). False once the wait has been cancelled: the caller stops at once.
  [[nodiscard]] virtual bool Wait(uint32_t ms) = 0;
};

}  // namespace sentrel::client

#endif  // CLIENT_CORE_WAITER_H_
