// A counter shared by every process that opens one computer: a small file of the computer's
// directory mapped into memory, so reading it costs no system call. Writers bump it around every
// change of data that processes keep in memory (the registry), and readers compare it with the
// value they read their copy under.
#ifndef PLATFORM_EMULATED_CHANGE_COUNTER_H_
#define PLATFORM_EMULATED_CHANGE_COUNTER_H_

#include <cstdint>
#include <memory>
#include <string>

namespace platform::emulated {

class ChangeCounter {
 public:
  // Maps (creating it when missing) the counter file `path`. Null when the file cannot be had (a
  // directory that cannot be written): callers then keep nothing in memory.
  static std::unique_ptr<ChangeCounter> Open(const std::string& path);
  ~ChangeCounter();
  ChangeCounter(const ChangeCounter&) = delete;
  ChangeCounter& operator=(const ChangeCounter&) = delete;

  uint64_t Load() const;
  void Bump();

 private:
  explicit ChangeCounter(uint64_t* value) : value_(value) {}
  uint64_t* value_;  // in the shared mapping
};

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_CHANGE_COUNTER_H_
