#include "tests/support/netns.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef __linux__
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

extern char** environ;

namespace testsupport {
namespace {

constexpr const char* kMarker = "SENTREL_PRIVATE_NETNS";
// Exit code of a child that could not enter its namespace.
constexpr int kExitUnsupported = 77;

#ifdef __linux__

// The child's side between fork and exec: system calls only.
void WriteAll(int fd, const char* text) {
  size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t n = write(fd, text, left);
    if (n <= 0) return;
    text += n;
    left -= static_cast<size_t>(n);
  }
}

void WriteFile(const char* path, const char* text) {
  const int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return;
  WriteAll(fd, text);
  close(fd);
}

[[noreturn]] void Unsupported(const char* why) {
  WriteAll(2, why);
  WriteAll(2, "\n");
  _exit(kExitUnsupported);
}

bool BringLoopbackUp() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  if (ok) {
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP | IFF_RUNNING);
    ok = ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  }
  close(fd);
  return ok;
}

[[noreturn]] void EnterNamespaceAndExec(const std::string& exe, char* const* argv,
                                        char* const* envp, const char* uid_map,
                                        const char* gid_map) {
  if (unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0) {
    WriteFile("/proc/self/setgroups", "deny");
    WriteFile("/proc/self/uid_map", uid_map);
    WriteFile("/proc/self/gid_map", gid_map);
  } else if (geteuid() != 0 || unshare(CLONE_NEWNET) != 0) {
    Unsupported("unshare of the user and network namespaces was refused");
  }
  if (!BringLoopbackUp()) Unsupported("the loopback interface of the namespace did not come up");
  execve(exe.c_str(), argv, envp);
  Unsupported("cannot execute the test binary again");
}

// The environment of the child: this one without GoogleTest's output, filter and sharding
// settings (the parent owns those), plus the marker.
std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (entry.rfind("GTEST_", 0) == 0 || entry.rfind(kMarker, 0) == 0) continue;
    env.push_back(entry);
  }
  env.push_back(std::string(kMarker) + "=1");
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (auto& t : texts) out.push_back(t.data());
  out.push_back(nullptr);
  return out;
}

#endif  // __linux__

}  // namespace

bool InPrivateNetworkNamespace() {
  const char* value = std::getenv(kMarker);
  return value && std::strcmp(value, "1") == 0;
}

PrivateNetworkRun RerunCurrentTestInPrivateNetwork() {
  PrivateNetworkRun run;
#ifndef __linux__
  run.outcome = PrivateNetworkRun::kUnsupported;
  run.output = "network namespaces need Linux";
  return run;
#else
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = std::string(info->test_suite_name()) + "." + info->name();

  char exe_buffer[4096];
  const ssize_t exe_length = readlink("/proc/self/exe", exe_buffer, sizeof exe_buffer - 1);
  if (exe_length <= 0) {
    run.outcome = PrivateNetworkRun::kUnsupported;
    run.output = "cannot find the test binary";
    return run;
  }
  const std::string exe(exe_buffer, static_cast<size_t>(exe_length));
  std::vector<std::string> args = {exe, "--gtest_filter=" + name, "--gtest_color=no"};
  std::vector<std::string> env = ChildEnvironment();
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  const std::string uid_map = "0 " + std::to_string(getuid()) + " 1\n";
  const std::string gid_map = "0 " + std::to_string(getgid()) + " 1\n";

  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
    run.output = "pipe failed";
    return run;
  }
  const pid_t pid = fork();
  if (pid < 0) {
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    run.output = "fork failed";
    return run;
  }
  if (pid == 0) {
    // dup2 clears close-on-exec on the copies, so the exec'd binary writes into the pipe.
    dup2(pipe_fds[1], 1);
    dup2(pipe_fds[1], 2);
    EnterNamespaceAndExec(exe, argv.data(), envp.data(), uid_map.c_str(), gid_map.c_str());
  }
  close(pipe_fds[1]);
  char chunk[4096];
  ssize_t n;
  while ((n = read(pipe_fds[0], chunk, sizeof chunk)) != 0) {
    if (n > 0) run.output.append(chunk, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (code == kExitUnsupported) {
    run.outcome = PrivateNetworkRun::kUnsupported;
  } else if (code == 0 && run.output.find("[       OK ] " + name) != std::string::npos) {
    run.outcome = PrivateNetworkRun::kPassed;
  } else if (code == 0 && run.output.find("[  SKIPPED ] " + name) != std::string::npos) {
    run.outcome = PrivateNetworkRun::kUnsupported;  // the test itself found something missing
  } else {
    run.outcome = PrivateNetworkRun::kFailed;
  }
  return run;
#endif
}

}  // namespace testsupport
