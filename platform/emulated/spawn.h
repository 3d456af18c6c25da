// Starting host programs from an emulated computer, shared by the process start and the service
// control manager: an owned descriptor, whole reads and writes with a bound, and a detached
// start that leaves the caller no child to reap.
#ifndef PLATFORM_EMULATED_SPAWN_H_
#define PLATFORM_EMULATED_SPAWN_H_

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/result.h"

namespace platform::emulated {

// An open descriptor, closed on destruction.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void Reset(int fd = -1);

 private:
  int fd_;
};

// A pipe with both ends close-on-exec. False (both ends invalid) when the system has none left.
bool MakePipe(Fd* read_end, Fd* write_end);

// Reads exactly `size` bytes, waiting at most `timeout_ms` in all (-1: no bound). False on
// time-out, error or end of stream.
bool ReadFully(int fd, void* buffer, size_t size, int timeout_ms);
// Writes all of `size` bytes (to a pipe or a socket, without SIGPIPE). False on error.
bool WriteFully(int fd, const void* buffer, size_t size);

// One message of a report pipe (SpawnSpec::report_fd) or of the exit pipe (SpawnSpec::exit_fd):
// the kind byte, and for 'P' the program's process id, for 'E' the errno, for 'X' the wait
// status. Other kinds (a caller's own) carry nothing.
struct SpawnReport {
  char kind = 0;
  pid_t pid = 0;
  int error = 0;
  int status = 0;
};
// Reads the next message, waiting at most `timeout_ms` for each part. False when the pipe ended
// (every writer closed it: the program runs, or ended) or nothing came in time.
bool ReadSpawnReport(int fd, int timeout_ms, SpawnReport* report);

// What SpawnDetached runs, and how.
struct SpawnSpec {
  std::vector<std::string> argv;  // argv[0]: the host path of the program
  std::vector<std::string> env;   // "NAME=value"; empty: this process's environment
  std::string working_dir;        // empty: the caller's
  bool new_session = false;       // the program runs in a session of its own
  int stdio[3] = {-1, -1, -1};    // descriptors for 0, 1 and 2; -1 keeps the caller's
  std::vector<int> keep_open;     // descriptors the program inherits (close-on-exec cleared)
  // The write end of the caller's report pipe: 'P' and the program's pid_t once its process
  // exists, 'E' and the errno when it cannot be run (each message one write).
  int report_fd = -1;
  // When >= 0: a watcher process waits for the program and then writes 'X' and the int wait
  // status here.
  int exit_fd = -1;
};

// Starts the program with a double fork (and a watcher between when `exit_fd` is given), so the
// caller never has a child to reap and may call it from any thread. Between fork and exec only
// async-signal-safe calls run; everything is prepared before. kSuccess once the first child has
// done its part; whether the program runs the caller learns from the report pipe.
[[nodiscard]] Result SpawnDetached(const SpawnSpec& spec);

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_SPAWN_H_
