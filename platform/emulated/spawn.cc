#include "platform/emulated/spawn.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

extern char** environ;

namespace platform::emulated {
namespace {

// Writes one message: a kind byte and a payload, in one write so that messages never mix.
template <typename T>
void Report(int fd, char kind, const T& payload) {
  if (fd < 0) return;
  char message[1 + sizeof(T)];
  message[0] = kind;
  std::memcpy(message + 1, &payload, sizeof(T));
  if (write(fd, message, sizeof message) < 0) {
    // nobody listens any more
  }
}

// The program's side of the fork: descriptors, folder, then exec. Never returns.
[[noreturn]] void RunProgram(const SpawnSpec& spec, char* const* argv, char* const* envp) {
  if (!spec.working_dir.empty() && chdir(spec.working_dir.c_str()) != 0) {
    // stays in the caller's folder
  }
  for (int i = 0; i < 3; ++i) {
    if (spec.stdio[i] >= 0) dup2(spec.stdio[i], i);
  }
  for (int fd : spec.keep_open) fcntl(fd, F_SETFD, 0);
  execve(argv[0], argv, envp);
  Report(spec.report_fd, 'E', errno);
  _exit(127);
}

}  // namespace

void Fd::Reset(int fd) {
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
}

bool MakePipe(Fd* read_end, Fd* write_end) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  read_end->Reset(fds[0]);
  write_end->Reset(fds[1]);
  return true;
}

bool ReadFully(int fd, void* buffer, size_t size, int timeout_ms) {
  auto* p = static_cast<char*>(buffer);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (size > 0) {
    int wait = -1;
    if (timeout_ms >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) return false;
      wait = static_cast<int>(left);
    }
    pollfd pfd{fd, POLLIN, 0};
    const int ready = poll(&pfd, 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    const ssize_t n = read(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteFully(int fd, const void* buffer, size_t size) {
  struct stat st;
  const bool is_socket = fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode);
  const auto* p = static_cast<const char*>(buffer);
  while (size > 0) {
    const ssize_t n = is_socket ? send(fd, p, size, MSG_NOSIGNAL) : write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReadSpawnReport(int fd, int timeout_ms, SpawnReport* report) {
  *report = SpawnReport{};
  if (!ReadFully(fd, &report->kind, 1, timeout_ms)) return false;
  switch (report->kind) {
    case 'P':
      return ReadFully(fd, &report->pid, sizeof report->pid, timeout_ms);
    case 'E':
      return ReadFully(fd, &report->error, sizeof report->error, timeout_ms);
    case 'X':
      return ReadFully(fd, &report->status, sizeof report->status, timeout_ms);
    default:
      return true;
  }
}

[[nodiscard]] Result SpawnDetached(const SpawnSpec& spec) {
  if (spec.argv.empty()) return kErrorFileNotFound;
  // Everything the children need is prepared here: after fork only async-signal-safe calls.
  std::vector<std::string> argv_text = spec.argv;
  std::vector<std::string> env_text = spec.env;
  if (env_text.empty()) {
    for (char** e = environ; *e; ++e) env_text.emplace_back(*e);
  }
  std::vector<char*> argv, envp;
  for (auto& s : argv_text) argv.push_back(s.data());
  argv.push_back(nullptr);
  for (auto& s : env_text) envp.push_back(s.data());
  envp.push_back(nullptr);

  const pid_t first = fork();
  if (first < 0) return kErrorNotEnoughMemory;
  if (first == 0) {
    if (spec.new_session) setsid();
    if (spec.exit_fd >= 0) {
      // The watcher must outlive this child, which the caller reaps at once.
      const pid_t watcher = fork();
      if (watcher != 0) _exit(watcher < 0 ? 1 : 0);
    }
    const pid_t program = fork();
    if (program == 0) RunProgram(spec, argv.data(), envp.data());
    if (program > 0) Report(spec.report_fd, 'P', program);
    if (spec.exit_fd < 0 || program < 0) _exit(program < 0 ? 1 : 0);
    // The watcher: the report pipe ends when the program has run (or failed to), so let go of
    // it, and of every other descriptor of the caller (sockets, files) it would otherwise keep
    // open for as long as the program runs; then wait for the program and pass its status on.
    const unsigned keep = static_cast<unsigned>(spec.exit_fd);
    if (keep > 3) close_range(3, keep - 1, 0);
    close_range(keep + 1, ~0u, 0);
    int status = 0;
    while (waitpid(program, &status, 0) < 0 && errno == EINTR) {
    }
    Report(spec.exit_fd, 'X', status);
    _exit(0);
  }
  int status = 0;
  while (waitpid(first, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? kSuccess : kErrorNotEnoughMemory;
}

}  // namespace platform::emulated
