#include "platform/emulated/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <strings.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/code_page.h"

extern char** environ;

namespace platform::emulated {
namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Where Windows would find a program named without a directory: the current directory, then
// the search path.
std::string FindProgram(const Machine& machine, const std::string& name) {
  if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos ||
      (name.size() >= 2 && name[1] == ':')) {
    const std::string host = machine.HostPath(Utf8ToUtf16(name));
    return IsExecutableFile(host) ? host : std::string();
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

}  // namespace

Result ResultFromErrno(int e) {
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
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n < 0) return ResultFromErrno(errno);
  *path = Utf8ToUtf16(std::string_view(buffer, static_cast<size_t>(n)));
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

void EmulatedProcess::WriteConsole(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

Result EmulatedProcess::StartProcess(std::u16string_view command_line) {
  std::vector<std::string> parts = SplitCommandLine(Utf16ToUtf8(command_line));
  if (parts.empty()) return kErrorFileNotFound;
  std::string program = FindProgram(*machine_, parts[0]);
  const std::string& name = parts[0];
  if (program.empty() && name.size() > 4 &&
      strcasecmp(name.c_str() + name.size() - 4, ".exe") == 0) {
    program = FindProgram(*machine_, name.substr(0, name.size() - 4));
  }
  if (program.empty()) return kErrorFileNotFound;
  std::vector<char*> argv;
  parts[0] = program;
  for (auto& p : parts) argv.push_back(p.data());
  argv.push_back(nullptr);
  // A pipe closed by a successful exec tells the caller whether the program runs; a double
  // fork leaves no child to reap.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return kErrorNotEnoughMemory;
  const pid_t child = fork();
  if (child < 0) {
    close(fds[0]);
    close(fds[1]);
    return kErrorNotEnoughMemory;
  }
  if (child == 0) {
    close(fds[0]);
    const pid_t grandchild = fork();
    if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
    execve(argv[0], argv.data(), environ);
    const int e = errno;
    if (write(fds[1], &e, sizeof e) < 0) {
      // nobody to tell
    }
    _exit(127);
  }
  close(fds[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int e = 0;
  ssize_t n;
  while ((n = read(fds[0], &e, sizeof e)) < 0 && errno == EINTR) {
  }
  close(fds[0]);
  return n == static_cast<ssize_t>(sizeof e) ? ResultFromErrno(e) : kSuccess;
}

}  // namespace platform::emulated
