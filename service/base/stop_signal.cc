#include "service/base/stop_signal.h"

#include <chrono>

namespace sentrel {

void StopSignal::Request() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requested_.store(true, std::memory_order_release);
  }
  wake_.notify_all();
}

bool StopSignal::SleepFor(uint32_t milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !wake_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return Requested(); });
}

}  // namespace sentrel
