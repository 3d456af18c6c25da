// The service stop, as every wait of the logger sees it. The stop does not wait for a pass to
// finish: it requests the stop, and the logger gives up at its next check or wait, which every
// sleep, pause and network wait makes at once. A pass that sees the stop writes no progress.
#ifndef SERVICE_BASE_STOP_SIGNAL_H_
#define SERVICE_BASE_STOP_SIGNAL_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace sentrel {

class StopSignal {
 public:
  // Requests the stop and wakes every waiter. Safe from any thread; never blocks for long.
  void Request();
  bool Requested() const { return requested_.load(std::memory_order_acquire); }
  // Sleeps `milliseconds`; returns false as soon as the stop is requested (at once if it
  // already was), true after a full sleep.
  bool SleepFor(uint32_t milliseconds);

  // Slice length for waits that cannot be woken directly (a socket poll): they wait at most this
  // long before looking at Requested() again.
  static constexpr int kPollSliceMs = 50;

 private:
  std::atomic<bool> requested_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
};

}  // namespace sentrel

#endif  // SERVICE_BASE_STOP_SIGNAL_H_
