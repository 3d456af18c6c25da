#include "platform/emulated/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <poll.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/code_page.h"
#include "platform/emulated/spawn.h"
#include "platform/text.h"

namespace platform::emulated {
namespace {

// How long a start waits to learn whether the program could be run.
constexpr int kExecWaitMs = 30000;

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The host path of this process's program file; empty when it cannot be told (errno says why).
std::string OwnProgramFile() {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

// The folder of this process's program file ("" when it cannot be told).
std::string ProgramFolder() {
  const std::string path = OwnProgramFile();
  return path.substr(0, path.find_last_of('/'));
}

// Where CreateProcessW finds a program named without a folder: the calling program's own
// folder, the current folder, then the search path.
std::string FindProgram(const Machine& machine, const std::string& name) {
  if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
      (name.size() >= 2 && name[1] == ':')) {
    const std::string host = machine.HostPath(Utf8ToUtf16(name));
    return IsExecutableFile(host) ? host : std::string();
  }
  if (const std::string own = ProgramFolder(); !own.empty() && IsExecutableFile(own + "/" + name)) {
    return own + "/" + name;
  }
  if (IsExecutableFile("./" + name)) return "./" + name;
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t pos = 0;
  while (pos <= dirs.size()) {
    size_t colon = dirs.find(':', pos);
    if (colon == std::string::npos) colon = dirs.size();
    const std::string dir = colon == pos ? "." : dirs.substr(pos, colon - pos);
    if (IsExecutableFile(dir + "/" + name)) return dir + "/" + name;
    pos = colon + 1;
  }
  return {};
}

// A program started with a watcher: its wait status arrives on a pipe when it ends.
class EmulatedStartedProcess : public StartedProcess {
 public:
  explicit EmulatedStartedProcess(Fd exit_pipe) : exit_pipe_(std::move(exit_pipe)) {}

  [[nodiscard]] Result Wait(uint32_t timeout_ms, uint32_t* exit_code) override {
    if (!ended_) {
      const int bound = timeout_ms == kInfinite ? -1
                        : timeout_ms > static_cast<uint32_t>(INT32_MAX)
                            ? INT32_MAX
                            : static_cast<int>(timeout_ms);
      if (!Readable(bound)) return kErrorWaitTimeout;
      SpawnReport report;
      if (!ReadSpawnReport(exit_pipe_.get(), 1000, &report) || report.kind != 'X') {
        return kErrorInvalidHandle;  // the watcher is gone without word
      }
      const int status = report.status;
      exit_code_ = WIFEXITED(status)     ? static_cast<uint32_t>(WEXITSTATUS(status))
                   : WIFSIGNALED(status) ? 128u + static_cast<uint32_t>(WTERMSIG(status))
                                         : 1u;
      ended_ = true;
    }
    *exit_code = exit_code_;
    return kSuccess;
  }

 private:
  bool Readable(int timeout_ms) {
    for (;;) {
      pollfd p{exit_pipe_.get(), POLLIN, 0};
      const int n = poll(&p, 1, timeout_ms);
      if (n < 0 && errno == EINTR) continue;
      return n > 0;
    }
  }

  Fd exit_pipe_;
  bool ended_ = false;
  uint32_t exit_code_ = 0;
};

}  // namespace

[[nodiscard]] Result ResultFromErrno(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return kErrorFileNotFound;
    case EACCES:
    case EPERM:
      return kErrorAccessDenied;
    case ENOEXEC:
      return kErrorBadExeFormat;
    default:
      return kErrorInvalidParameter;
  }
}

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> parts;
  std::string current;
  bool in_quotes = false, have = false;
  for (char c : line) {
    if (c == '"') {
      in_quotes = !in_quotes;
      have = true;
    } else if ((c == ' ' || c == '\t') && !in_quotes) {
      if (have) parts.push_back(std::move(current));
      current.clear();
      have = false;
    } else {
      current += c;
      have = true;
    }
  }
  if (have) parts.push_back(std::move(current));
  return parts;
}

Result EmulatedProcess::ProgramPath(std::u16string* path) {
  const std::string file = OwnProgramFile();
  if (file.empty()) return ResultFromErrno(errno);
  *path = Utf8ToUtf16(file);
  return kSuccess;
}

Result EmulatedProcess::ShortPath(std::u16string_view path, std::u16string* short_path) {
  // The file must exist, as for GetShortPathNameW; the host keeps no 8.3 names.
  struct stat st;
  if (stat(machine_->HostPath(path).c_str(), &st) != 0) return ResultFromErrno(errno);
  *short_path = std::u16string(path);
  return kSuccess;
}

PrivilegeResult EmulatedProcess::EnableSecurityPrivilege() { return {}; }

Result EmulatedProcess::SetCurrentThreadLowestPriority() {
  // Linux keeps a nice value per thread; PRIO_PROCESS with a thread id sets that thread only.
  errno = 0;
  const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
  if (base == -1 && errno != 0) return ResultFromErrno(errno);
  int nice_value = base + kNiceLowestThreadOffset;
  if (nice_value > kNiceIdleClass) nice_value = kNiceIdleClass;
  if (setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice_value) != 0) {
    return ResultFromErrno(errno);
  }
  return kSuccess;
}

Result EmulatedProcess::SetProcessIdleClass() {
  // Every thread of the process, and so every thread they create later.
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) return ResultFromErrno(errno);
  Result result = kSuccess;
  while (dirent* e = readdir(tasks)) {
    if (e->d_name[0] == '.') continue;
    const id_t tid = static_cast<id_t>(std::strtol(e->d_name, nullptr, 10));
    if (setpriority(PRIO_PROCESS, tid, kNiceIdleClass) != 0 && errno != ESRCH) {
      result = ResultFromErrno(errno);
    }
  }
  closedir(tasks);
  return result;
}

void EmulatedProcess::WriteToConsole(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

Result EmulatedProcess::StartProcess(std::u16string_view command_line,
                                     std::unique_ptr<StartedProcess>* started) {
  std::vector<std::string> parts = SplitCommandLine(Utf16ToUtf8(command_line));
  if (parts.empty()) return kErrorFileNotFound;
  std::string program = FindProgram(*machine_, parts[0]);
  const std::string& name = parts[0];
  if (program.empty() && name.size() > 4 &&
      EqualsIgnoringCase(std::string_view(name).substr(name.size() - 4), ".exe")) {
    program = FindProgram(*machine_, name.substr(0, name.size() - 4));
  }
  if (program.empty()) return kErrorFileNotFound;
  parts[0] = program;

  Fd report_read, report_write, exit_read, exit_write;
  if (!MakePipe(&report_read, &report_write)) return kErrorNotEnoughMemory;
  if (started != nullptr && !MakePipe(&exit_read, &exit_write)) return kErrorNotEnoughMemory;
  SpawnSpec spec;
  spec.argv = std::move(parts);
  spec.report_fd = report_write.get();
  spec.exit_fd = exit_write.get();
  if (const Result r = SpawnDetached(spec); r != kSuccess) return r;
  report_write.Reset();
  exit_write.Reset();
  // The report pipe ends when the program runs (exec closes it); before that it may say why
  // the program could not be run.
  for (SpawnReport report; ReadSpawnReport(report_read.get(), kExecWaitMs, &report);) {
    if (report.kind == 'E') return ResultFromErrno(report.error);
    if (report.kind != 'P') break;
  }
  if (started != nullptr) *started = std::make_unique<EmulatedStartedProcess>(std::move(exit_read));
  return kSuccess;
}

}  // namespace platform::emulated
