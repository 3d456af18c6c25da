#include "platform/emulated/service_manager.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/emulated/process.h"
#include "platform/emulated/registry.h"
#include "platform/emulated/sqlite_db.h"
#include "platform/registry.h"

extern char** environ;

namespace platform::emulated {
namespace {

constexpr char16_t kServicesKey[] = u"SYSTEM\\CurrentControlSet\\Services";
constexpr char kStartToken[] = "NTBOX_SERVICE_START";
constexpr char kLockFdVar[] = "NTBOX_SERVICE_LOCK_FD";
constexpr char kReadyFdVar[] = "NTBOX_SERVICE_READY_FD";
constexpr char kArgsVar[] = "NTBOX_SERVICE_ARGS";
// How long a start or a control waits for the service's process, as Windows does.
constexpr int kRequestTimeoutMs = 30000;
// How long a start waits for a service that reported stopped to let go of its lock.
constexpr int kStoppedWindDownMs = 3000;
// The size of a control reply: the result code and the seven fields of the status record.
constexpr size_t kReplyWords = 8;

// --- files of a service ---------------------------------------------------------------------

std::string AbsoluteDir(const Machine& machine) {
  char* real = realpath(machine.dir().c_str(), nullptr);
  if (!real) return machine.dir();
  std::string dir = real;
  free(real);
  return dir;
}

struct ServiceFiles {
  std::string dir;  // <computer>/services
  std::string lock;
  std::string log;
  sockaddr_un address{};
  socklen_t address_size = 0;
  bool abstract = false;
};

uint64_t Fnv1a(std::string_view text) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

ServiceFiles FilesOf(const Machine& machine, std::u16string_view name) {
  ServiceFiles f;
  f.dir = AbsoluteDir(machine) + "/services";
  const std::string base = f.dir + "/" + ServiceFileName(name);
  f.lock = base + ".lock";
  f.log = base + ".log";
  const std::string socket_path = base + ".sock";
  f.address.sun_family = AF_UNIX;
  if (socket_path.size() < sizeof f.address.sun_path) {
    std::memcpy(f.address.sun_path, socket_path.c_str(), socket_path.size() + 1);
    f.address_size =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socket_path.size() + 1);
  } else {
    // Too long for a path: an abstract socket, named by a hash of the path.
    char name_buffer[64];
    const int n = std::snprintf(name_buffer, sizeof name_buffer, "ntbox-svc-%016llx",
                                static_cast<unsigned long long>(Fnv1a(socket_path)));
    f.address.sun_path[0] = '\0';
    std::memcpy(f.address.sun_path + 1, name_buffer, static_cast<size_t>(n));
    f.address_size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
    f.abstract = true;
  }
  return f;
}

// An open descriptor, closed on destruction.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

flock WholeFileWriteLock() {
  flock lock{};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return lock;
}

// True while some process holds the service's lock, that is, while the service's process lives.
// Only tests the lock; it never takes it, so it cannot disturb a start.
bool ServiceProcessAlive(const ServiceFiles& f) {
  Fd fd(open(f.lock.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return false;
  flock lock = WholeFileWriteLock();
  if (fcntl(fd.get(), F_OFD_GETLK, &lock) != 0) return false;
  return lock.l_type != F_UNLCK;
}

// --- the status rows --------------------------------------------------------------------------

struct StatusRow {
  bool found = false;
  int64_t pid = 0;
  ServiceStatus status;
};

StatusRow ReadStatusRow(Machine& machine, const std::string& upper) {
  StatusRow row;
  try {
    Transaction t(machine.db(), Transaction::kRead);
    Statement s(machine.db(),
                "SELECT pid, service_type, state, controls_accepted, exit_code, "
                "specific_exit_code, check_point, wait_hint FROM svc_status WHERE name_upper = ?");
    if (s.Bind(1, upper).Step()) {
      row.found = true;
      row.pid = s.Int(0);
      row.status.service_type = static_cast<uint32_t>(s.Int(1));
      row.status.current_state = static_cast<uint32_t>(s.Int(2));
      row.status.controls_accepted = static_cast<uint32_t>(s.Int(3));
      row.status.win32_exit_code = static_cast<uint32_t>(s.Int(4));
      row.status.service_specific_exit_code = static_cast<uint32_t>(s.Int(5));
      row.status.check_point = static_cast<uint32_t>(s.Int(6));
      row.status.wait_hint = static_cast<uint32_t>(s.Int(7));
    }
  } catch (const DbError&) {
  }
  return row;
}

Result WriteStatusRowOf(Machine& machine, const std::string& upper, int64_t pid,
                        const ServiceStatus& st) {
  try {
    Transaction t(machine.db(), Transaction::kWrite);
    Statement(machine.db(),
              "INSERT OR REPLACE INTO svc_status VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)")
        .Bind(1, upper)
        .Bind(2, pid)
        .Bind(3, st.service_type)
        .Bind(4, st.current_state)
        .Bind(5, st.controls_accepted)
        .Bind(6, st.win32_exit_code)
        .Bind(7, st.service_specific_exit_code)
        .Bind(8, st.check_point)
        .Bind(9, st.wait_hint)
        .Step();
    t.Commit();
    return kSuccess;
  } catch (const DbError&) {
    return kErrorInvalidData;
  }
}

void DeleteStatusRow(Machine& machine, const std::string& upper) {
  try {
    Transaction t(machine.db(), Transaction::kWrite);
    Statement(machine.db(), "DELETE FROM svc_status WHERE name_upper = ?")
        .Bind(1, upper)
        .Step();
    t.Commit();
  } catch (const DbError&) {
  }
}

// --- the registry entries -----------------------------------------------------------------------

Result OpenServicesKey(Registry& registry, std::unique_ptr<RegKey>* out) {
  std::unique_ptr<RegKey> hklm;
  const Result r = registry.OpenRoot(RegRoot::kLocalMachine, &hklm);
  if (r != kSuccess) return r;
  return hklm->CreateKey(kServicesKey, out);
}

// Opens the key of a registered service; a key without a Type value is no service.
Result OpenServiceKey(Registry& registry, std::u16string_view name, std::unique_ptr<RegKey>* out) {
  std::unique_ptr<RegKey> services;
  Result r = OpenServicesKey(registry, &services);
  if (r != kSuccess) return r;
  r = services->OpenKey(name, RegAccess::kReadWrite, out);
  if (r == kErrorFileNotFound) return kErrorServiceDoesNotExist;
  if (r != kSuccess) return r;
  uint32_t type = 0;
  if (QueryDword(**out, u"Type", &type) != kSuccess) {
    out->reset();
    return kErrorServiceDoesNotExist;
  }
  return kSuccess;
}

uint32_t DwordOr(RegKey& key, std::u16string_view name, uint32_t fallback) {
  uint32_t v = fallback;
  QueryDword(key, name, &v);
  return v;
}

bool MarkedForDelete(RegKey& key) { return DwordOr(key, u"DeleteFlag", 0) != 0; }

// Removes a service marked for deletion once its process is gone.
void RemoveIfDeletedAndStopped(Machine& machine, Registry& registry, std::u16string_view name) {
  std::unique_ptr<RegKey> key;
  if (OpenServiceKey(registry, name, &key) != kSuccess || !MarkedForDelete(*key)) return;
  key.reset();
  if (ServiceProcessAlive(FilesOf(machine, name))) return;
  std::unique_ptr<RegKey> services;
  if (OpenServicesKey(registry, &services) != kSuccess) return;
  DeleteKeyTree(*services, name);
  DeleteStatusRow(machine, ServiceFileName(name));
}

bool ValidServiceName(std::u16string_view name) {
  if (name.empty() || name.size() > 256) return false;
  for (char16_t c : name) {
    if (c == u'/' || c == u'\\' || c == u'\0') return false;
  }
  return true;
}

// --- command lines and start arguments ---------------------------------------------------------

// The program and arguments of an ImagePath. An unquoted path with blanks that names an existing
// file is taken whole.
std::vector<std::string> ImageCommand(const Machine& machine, std::u16string_view image_path) {
  const std::string whole = machine.HostPath(image_path);
  const std::string text = Utf16ToUtf8(image_path);
  if (!text.empty() && text[0] != '"' && access(whole.c_str(), F_OK) == 0) return {whole};
  std::vector<std::string> parts = SplitCommandLine(text);
  if (!parts.empty()) parts[0] = machine.HostPath(Utf8ToUtf16(parts[0]));
  return parts;
}

std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// Start arguments travel in one environment variable: each argument's UTF-8 bytes in hex,
// followed by a comma.
std::string EncodeArgs(const std::vector<std::u16string>& args) {
  std::string out;
  for (const auto& a : args) out += Hex(Utf16ToUtf8(a)) + ",";
  return out;
}

std::vector<std::u16string> DecodeArgs(std::string_view text) {
  std::vector<std::u16string> args;
  std::string current;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ',') {
      args.push_back(Utf8ToUtf16(current));
      current.clear();
    } else if (i + 1 < text.size()) {
      current += static_cast<char>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16));
      ++i;
    }
  }
  return args;
}

// Reads exactly `size` bytes, waiting at most `timeout_ms` in all. False on time-out, error or
// end of stream.
bool ReadFully(int fd, void* buffer, size_t size, int timeout_ms) {
  auto* p = static_cast<char*>(buffer);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (size > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return false;
    pollfd pfd{fd, POLLIN, 0};
    const int ready = poll(&pfd, 1, static_cast<int>(left));
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
  const auto* p = static_cast<const char*>(buffer);
  while (size > 0) {
    const ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The accept flag a control needs, or 0 for controls every running service takes. Answers
// false for codes ControlService cannot send.
bool ControlNeeds(uint32_t control, uint32_t* accept_flag, uint32_t* access) {
  *accept_flag = 0;
  switch (control) {
    case kServiceControlStop:
      *accept_flag = kServiceAcceptStop;
      *access = kServiceStop;
      return true;
    case kServiceControlPause:
    case kServiceControlContinue:
      *accept_flag = kServiceAcceptPauseContinue;
      *access = kServicePauseContinue;
      return true;
    case kServiceControlInterrogate:
      *access = kServiceInterrogate;
      return true;
    default:
      if (control >= kServiceControlUserFirst && control <= kServiceControlUserLast) {
        *access = kServiceUserDefinedControl;
        return true;
      }
      return false;  // shutdown comes only from the system; others are undefined here
  }
}

uint32_t MapGeneric(uint32_t access, uint32_t all) {
  if (access & kGenericAll) access |= all;
  if (access & kGenericRead) access |= kServiceQueryConfig | kServiceQueryStatus;
  if (access & kGenericExecute) access |= kServiceStart | kServiceStop | kServicePauseContinue;
  return access;
}

// --- client side --------------------------------------------------------------------------------

// What the handles of one opened manager share: the computer and its registry.
struct ScmContext {
  std::shared_ptr<Machine> machine;
  std::unique_ptr<EmulatedRegistry> registry;
};

class EmulatedServiceHandle : public ServiceHandle {
 public:
  EmulatedServiceHandle(std::shared_ptr<ScmContext> context, std::u16string name, uint32_t access)
      : context_(std::move(context)),
        name_(std::move(name)),
        access_(MapGeneric(access, kServiceAllAccess)) {}

  Result Start(const std::vector<std::u16string>& args) override;
  Result Control(uint32_t control, ServiceStatus* status) override;
  Result QueryStatus(ServiceStatus* status) override;
  Result QueryConfig(ServiceConfiguration* config) override;
  Result Delete() override;

 private:
  Machine& machine() { return *context_->machine; }
  Registry& registry() { return *context_->registry; }
  ServiceStatus CurrentStatus(bool* alive);
  Result Spawn(const std::vector<std::string>& command, const std::vector<std::u16string>& args,
               const ServiceFiles& files, int lock_fd, uint32_t type);

  std::shared_ptr<ScmContext> context_;
  std::u16string name_;
  uint32_t access_;
};

ServiceStatus EmulatedServiceHandle::CurrentStatus(bool* alive) {
  const ServiceFiles files = FilesOf(machine(), name_);
  const StatusRow row = ReadStatusRow(machine(), ServiceFileName(name_));
  *alive = ServiceProcessAlive(files);
  ServiceStatus st = row.status;
  if (st.service_type == 0) {
    std::unique_ptr<RegKey> key;
    if (OpenServiceKey(registry(), name_, &key) == kSuccess) {
      st.service_type = DwordOr(*key, u"Type", kServiceWin32OwnProcess);
    }
  }
  if (*alive) {
    if (!row.found) st.current_state = kServiceStartPending;
    return st;
  }
  // No process: stopped, whatever the row says. A process that went without reporting stopped
  // ended abnormally.
  const bool reported_stopped = row.found && row.status.current_state == kServiceStopped;
  st.current_state = kServiceStopped;
  st.controls_accepted = 0;
  st.check_point = 0;
  st.wait_hint = 0;
  if (!reported_stopped) {
    st.win32_exit_code = row.found ? kErrorProcessAborted : 0;
    st.service_specific_exit_code = 0;
  }
  return st;
}

Result EmulatedServiceHandle::QueryStatus(ServiceStatus* status) {
  if (!(access_ & kServiceQueryStatus)) return kErrorAccessDenied;
  bool alive = false;
  *status = CurrentStatus(&alive);
  if (!alive) RemoveIfDeletedAndStopped(machine(), registry(), name_);
  return kSuccess;
}

Result EmulatedServiceHandle::QueryConfig(ServiceConfiguration* config) {
  if (!(access_ & kServiceQueryConfig)) return kErrorAccessDenied;
  std::unique_ptr<RegKey> key;
  const Result r = OpenServiceKey(registry(), name_, &key);
  if (r != kSuccess) return r;
  ServiceConfiguration c;
  c.service_type = DwordOr(*key, u"Type", 0);
  c.start_type = DwordOr(*key, u"Start", kServiceDemandStart);
  c.error_control = DwordOr(*key, u"ErrorControl", kServiceErrorNormal);
  QueryString(*key, u"ImagePath", &c.binary_path_name);
  QueryString(*key, u"ObjectName", &c.service_start_name);
  if (QueryString(*key, u"DisplayName", &c.display_name) != kSuccess) c.display_name = name_;
  *config = std::move(c);
  return kSuccess;
}

Result EmulatedServiceHandle::Delete() {
  if (!(access_ & kDeleteAccess)) return kErrorAccessDenied;
  std::unique_ptr<RegKey> key;
  Result r = OpenServiceKey(registry(), name_, &key);
  if (r == kErrorServiceDoesNotExist) return kErrorServiceMarkedForDelete;  // already gone
  if (r != kSuccess) return r;
  if (MarkedForDelete(*key)) return kErrorServiceMarkedForDelete;
  r = SetDword(*key, u"DeleteFlag", 1);
  if (r != kSuccess) return r;
  SetDword(*key, u"Start", kServiceDisabled);
  key.reset();
  RemoveIfDeletedAndStopped(machine(), registry(), name_);
  return kSuccess;
}

Result EmulatedServiceHandle::Control(uint32_t control, ServiceStatus* status) {
  uint32_t accept_flag = 0, needed_access = 0;
  if (!ControlNeeds(control, &accept_flag, &needed_access)) return kErrorInvalidParameter;
  if (!(access_ & needed_access)) return kErrorAccessDenied;
  bool alive = false;
  *status = CurrentStatus(&alive);
  if (!alive || status->current_state == kServiceStopped) return kErrorServiceNotActive;
  if (status->current_state == kServiceStartPending ||
      status->current_state == kServiceStopPending) {
    return kErrorServiceCannotAcceptCtrl;
  }
  if (accept_flag && !(status->controls_accepted & accept_flag)) {
    return kErrorInvalidServiceControl;
  }
  const ServiceFiles files = FilesOf(machine(), name_);
  Fd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return kErrorNotEnoughMemory;
  if (connect(fd.get(), reinterpret_cast<const sockaddr*>(&files.address), files.address_size) !=
      0) {
    // The process lives but takes no controls: it never started its dispatcher.
    return kErrorServiceRequestTimeout;
  }
  if (!WriteFully(fd.get(), &control, sizeof control)) return kErrorServiceRequestTimeout;
  uint32_t reply[kReplyWords];
  if (!ReadFully(fd.get(), reply, sizeof reply, kRequestTimeoutMs)) {
    return kErrorServiceRequestTimeout;
  }
  *status = ServiceStatus{reply[1], reply[2], reply[3], reply[4], reply[5], reply[6], reply[7]};
  return reply[0];
}

Result EmulatedServiceHandle::Start(const std::vector<std::u16string>& args) {
  if (!(access_ & kServiceStart)) return kErrorAccessDenied;
  std::unique_ptr<RegKey> key;
  Result r = OpenServiceKey(registry(), name_, &key);
  if (r != kSuccess) return r;
  if (MarkedForDelete(*key)) return kErrorServiceMarkedForDelete;
  if (DwordOr(*key, u"Start", kServiceDemandStart) == kServiceDisabled) {
    return kErrorServiceDisabled;
  }
  std::u16string image_path;
  QueryString(*key, u"ImagePath", &image_path);
  const uint32_t type = DwordOr(*key, u"Type", kServiceWin32OwnProcess);
  key.reset();
  const std::vector<std::string> command = ImageCommand(machine(), image_path);
  if (command.empty()) return kErrorFileNotFound;

  const ServiceFiles files = FilesOf(machine(), name_);
  mkdir(files.dir.c_str(), 0755);
  Fd lock_fd(open(files.lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!lock_fd.valid()) return ResultFromErrno(errno);
  // The lock is free exactly when no process of the service lives. A process that has just
  // reported stopped may still be on its way out: give it a moment.
  flock lock = WholeFileWriteLock();
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kStoppedWindDownMs);
  while (fcntl(lock_fd.get(), F_OFD_SETLK, &lock) != 0) {
    const StatusRow row = ReadStatusRow(machine(), ServiceFileName(name_));
    const bool stopping = row.found && row.status.current_state == kServiceStopped;
    if (!stopping || std::chrono::steady_clock::now() > deadline) {
      return kErrorServiceAlreadyRunning;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ServiceStatus pending;
  pending.service_type = type;
  pending.current_state = kServiceStartPending;
  WriteStatusRowOf(machine(), ServiceFileName(name_), 0, pending);
  std::vector<std::u16string> all_args{name_};
  all_args.insert(all_args.end(), args.begin(), args.end());
  r = Spawn(command, all_args, files, lock_fd.get(), type);
  if (r != kSuccess) {
    ServiceStatus stopped;
    stopped.service_type = type;
    stopped.current_state = kServiceStopped;
    stopped.win32_exit_code = r;
    WriteStatusRowOf(machine(), ServiceFileName(name_), 0, stopped);
  }
  return r;
}

// Runs the service's program in a new session, detached (a double fork), with the lock
// description and the write end of a ready pipe inherited. Waits until its dispatcher says it
// is listening, the program could not be run, or it ended without connecting.
Result EmulatedServiceHandle::Spawn(const std::vector<std::string>& command,
                                    const std::vector<std::u16string>& args,
                                    const ServiceFiles& files, int lock_fd, uint32_t type) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return kErrorNotEnoughMemory;
  Fd ready_read(pipe_fds[0]), ready_write(pipe_fds[1]);

  // Everything the children need is prepared here: after fork only async-signal-safe calls.
  std::vector<std::string> env_text;
  for (char** e = environ; *e; ++e) {
    const std::string_view entry(*e);
    if (entry.starts_with("NTBOX_MACHINE=") || entry.starts_with("NTBOX_SERVICE_")) continue;
    env_text.emplace_back(entry);
  }
  const std::string dir = AbsoluteDir(machine());
  env_text.push_back("NTBOX_MACHINE=" + dir);
  env_text.push_back(std::string(kStartToken) + "=" + Utf16ToUtf8(name_));
  env_text.push_back(std::string(kLockFdVar) + "=" + std::to_string(lock_fd));
  env_text.push_back(std::string(kReadyFdVar) + "=" + std::to_string(ready_write.get()));
  env_text.push_back(std::string(kArgsVar) + "=" + EncodeArgs(args));
  std::vector<char*> envp, argv;
  for (auto& s : env_text) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> command_copy = command;
  for (auto& s : command_copy) argv.push_back(s.data());
  argv.push_back(nullptr);
  const int write_fd = ready_write.get();

  const pid_t child = fork();
  if (child < 0) return kErrorNotEnoughMemory;
  if (child == 0) {
    setsid();
    const pid_t grandchild = fork();
    if (grandchild != 0) {
      // Tell the starter the service's process id.
      char message[1 + sizeof grandchild];
      message[0] = 'P';
      std::memcpy(message + 1, &grandchild, sizeof grandchild);
      if (grandchild > 0 && write(write_fd, message, sizeof message) < 0) {
        // the starter reads the process id from the dispatcher instead
      }
      _exit(grandchild < 0 ? 1 : 0);
    }
    if (chdir(dir.c_str()) != 0) {
      // stays in the current directory
    }
    const int null_fd = open("/dev/null", O_RDWR);
    const int log_fd = open(files.log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (null_fd >= 0) {
      dup2(null_fd, 0);
      dup2(null_fd, 1);
    }
    if (log_fd >= 0) dup2(log_fd, 2);
    fcntl(lock_fd, F_SETFD, 0);
    fcntl(write_fd, F_SETFD, 0);
    execve(argv[0], argv.data(), envp.data());
    const int e = errno;
    char message[1 + sizeof e];
    message[0] = 'E';
    std::memcpy(message + 1, &e, sizeof e);
    if (write(write_fd, message, sizeof message) < 0) {
      // nobody to tell
    }
    _exit(127);
  }
  int child_status = 0;
  while (waitpid(child, &child_status, 0) < 0 && errno == EINTR) {
  }
  ready_write.Reset();
  // Messages, each one write: 'P' and the process id (from the first child), then 'R' when the
  // dispatcher listens or 'E' and errno when the program could not be run. The end of the pipe
  // without 'R' means the program ended without connecting.
  for (;;) {
    char kind = 0;
    if (!ReadFully(ready_read.get(), &kind, 1, kRequestTimeoutMs)) {
      return kErrorServiceRequestTimeout;
    }
    if (kind == 'R') return kSuccess;
    if (kind == 'P') {
      pid_t pid = 0;
      if (!ReadFully(ready_read.get(), &pid, sizeof pid, 1000)) return kErrorServiceRequestTimeout;
      ServiceStatus pending;
      pending.service_type = type;
      pending.current_state = kServiceStartPending;
      WriteStatusRowOf(machine(), ServiceFileName(name_), pid, pending);
      continue;
    }
    int e = 0;
    if (kind == 'E' && ReadFully(ready_read.get(), &e, sizeof e, 1000)) return ResultFromErrno(e);
    return kErrorServiceRequestTimeout;
  }
}

class EmulatedServiceManagerHandle : public ServiceManagerHandle {
 public:
  EmulatedServiceManagerHandle(std::shared_ptr<ScmContext> context, uint32_t access)
      : context_(std::move(context)), access_(MapGeneric(access, kScManagerAllAccess)) {}

  Result OpenService(std::u16string_view name, uint32_t access,
                     std::unique_ptr<ServiceHandle>* out) override {
    if (!ValidServiceName(name)) return kErrorInvalidName;
    RemoveIfDeletedAndStopped(*context_->machine, *context_->registry, name);
    std::unique_ptr<RegKey> key;
    const Result r = OpenServiceKey(*context_->registry, name, &key);
    if (r != kSuccess) return r;
    *out = std::make_unique<EmulatedServiceHandle>(context_, std::u16string(name), access);
    return kSuccess;
  }

  Result CreateService(std::u16string_view name, std::u16string_view display_name, uint32_t access,
                       uint32_t service_type, uint32_t start_type, uint32_t error_control,
                       std::u16string_view binary_path, std::u16string_view account,
                       std::unique_ptr<ServiceHandle>* out) override {
    if (!(access_ & kScManagerCreateService)) return kErrorAccessDenied;
    if (!ValidServiceName(name)) return kErrorInvalidName;
    const uint32_t base_type = service_type & ~kServiceInteractiveProcess;
    if ((base_type != kServiceWin32OwnProcess && base_type != kServiceWin32ShareProcess) ||
        start_type < kServiceAutoStart || start_type > kServiceDisabled ||
        error_control > kServiceErrorCritical || binary_path.empty()) {
      return kErrorInvalidParameter;
    }
    Registry& registry = *context_->registry;
    RemoveIfDeletedAndStopped(*context_->machine, registry, name);
    std::unique_ptr<RegKey> key;
    Result r = OpenServiceKey(registry, name, &key);
    if (r == kSuccess) {
      return MarkedForDelete(*key) ? kErrorServiceMarkedForDelete : kErrorServiceExists;
    }
    if (r != kErrorServiceDoesNotExist) return r;
    std::unique_ptr<RegKey> services;
    r = OpenServicesKey(registry, &services);
    if (r != kSuccess) return r;
    r = services->CreateKey(name, &key);
    if (r != kSuccess) return r;
    const std::u16string display =
        display_name.empty() ? std::u16string(name) : std::u16string(display_name);
    const std::u16string object = account.empty() ? u"LocalSystem" : std::u16string(account);
    if ((r = SetDword(*key, u"Type", service_type)) != kSuccess ||
        (r = SetDword(*key, u"Start", start_type)) != kSuccess ||
        (r = SetDword(*key, u"ErrorControl", error_control)) != kSuccess ||
        (r = SetString(*key, u"ImagePath", binary_path, kRegExpandSz)) != kSuccess ||
        (r = SetString(*key, u"DisplayName", display)) != kSuccess ||
        (r = SetString(*key, u"ObjectName", object)) != kSuccess) {
      return r;
    }
    // A service created again under an old name starts with a clean status.
    DeleteStatusRow(*context_->machine, ServiceFileName(name));
    *out = std::make_unique<EmulatedServiceHandle>(context_, std::u16string(name), access);
    return kSuccess;
  }

 private:
  std::shared_ptr<ScmContext> context_;
  uint32_t access_;
};

bool SameComputer(std::u16string_view a, std::u16string_view b) {
  while (!a.empty() && a[0] == u'\\') a.remove_prefix(1);
  return a.empty() || Upcase(a) == Upcase(b);
}

}  // namespace

std::string ServiceFileName(std::u16string_view service_name) {
  return Utf16ToUtf8(Upcase(service_name));
}

// --- the manager ------------------------------------------------------------------------------

EmulatedServiceManager::EmulatedServiceManager(std::shared_ptr<Machine> machine,
                                               CodePage& code_page, std::u16string computer_name)
    : machine_(std::move(machine)),
      code_page_(code_page),
      computer_name_(std::move(computer_name)) {}

Result EmulatedServiceManager::Open(std::u16string_view computer, uint32_t access,
                                    std::unique_ptr<ServiceManagerHandle>* out) {
  auto context = std::make_shared<ScmContext>();
  if (SameComputer(computer, computer_name_)) {
    context->machine = machine_;
  } else {
    const std::string dir = machine_->SiblingDir(computer);
    std::string error;
    if (!dir.empty()) context->machine = Machine::Open(dir, &error);
    if (!context->machine) return kErrorBadNetpath;
  }
  context->registry = std::make_unique<EmulatedRegistry>(context->machine, code_page_);
  *out = std::make_unique<EmulatedServiceManagerHandle>(std::move(context), access);
  return kSuccess;
}

// --- the dispatcher -----------------------------------------------------------------------------

namespace {

constexpr ServiceStatusHandle kTheStatusHandle = 1;

bool DescriptorFromEnv(const char* var, int* fd) {
  const char* text = std::getenv(var);
  if (!text || !*text) return false;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (*end != '\0' || v < 0 || v > 65535) return false;
  *fd = static_cast<int>(v);
  return fcntl(*fd, F_GETFD) >= 0;
}

}  // namespace

EmulatedServiceDispatcher::EmulatedServiceDispatcher(std::shared_ptr<Machine> machine,
                                                     CodePage& code_page)
    : machine_(std::move(machine)), code_page_(code_page) {}

EmulatedServiceDispatcher::~EmulatedServiceDispatcher() = default;

Result EmulatedServiceDispatcher::StartDispatcher(std::u16string_view name,
                                                  ServiceMainFunction main) {
  // Only a process the control manager started carries the token and the inherited lock.
  const char* token = std::getenv(kStartToken);
  int lock_fd = -1, ready_fd = -1;
  if (!token || !*token || !DescriptorFromEnv(kLockFdVar, &lock_fd) ||
      !DescriptorFromEnv(kReadyFdVar, &ready_fd)) {
    return kErrorFailedServiceControllerConnect;
  }
  const std::u16string started = Utf8ToUtf16(token);
  if (Upcase(started) != Upcase(name)) return kErrorServiceNotInExe;
  // Keep both from the service's own children.
  fcntl(lock_fd, F_SETFD, FD_CLOEXEC);
  fcntl(ready_fd, F_SETFD, FD_CLOEXEC);
  Fd lock(lock_fd), ready(ready_fd);
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (dispatching_) return kErrorServiceAlreadyRunning;
    dispatching_ = true;
    name_ = started;
    status_ = ServiceStatus{};
    status_.service_type = kServiceWin32OwnProcess;
    status_.current_state = kServiceStartPending;
  }
  const ServiceFiles files = FilesOf(*machine_, started);
  Fd listener(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!files.abstract) unlink(files.address.sun_path);
  if (!listener.valid() ||
      bind(listener.get(), reinterpret_cast<const sockaddr*>(&files.address), files.address_size) !=
          0 ||
      listen(listener.get(), 16) != 0) {
    std::lock_guard<std::mutex> guard(mutex_);
    dispatching_ = false;
    return kErrorFailedServiceControllerConnect;
  }
  WriteStatusRow(status_);
  const char ok = 'R';
  if (write(ready.get(), &ok, 1) < 0) {
    // the starter gave up waiting; go on anyway
  }
  ready.Reset();

  int done_fds[2];
  if (pipe2(done_fds, O_CLOEXEC) != 0) return kErrorNotEnoughMemory;
  Fd done_read(done_fds[0]), done_write(done_fds[1]);
  const char* args_text = std::getenv(kArgsVar);
  std::vector<std::u16string> args = DecodeArgs(args_text ? args_text : "");
  if (args.empty()) args.push_back(started);
  std::thread service_thread([&main, args, &done_write] {
    main(args);
    const char byte = 1;
    if (write(done_write.get(), &byte, 1) < 0) {
      // the main thread also sees the thread end when it polls again
    }
  });
  // Controls run on this thread, one at a time, until the service entry routine returns.
  for (;;) {
    pollfd fds[2] = {{listener.get(), POLLIN, 0}, {done_read.get(), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents) break;
    if (fds[0].revents & POLLIN) {
      Fd connection(accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (connection.valid()) ServeControl(connection.get());
    }
  }
  service_thread.join();
  // The socket goes before the lock: a new instance binds only after it holds the lock.
  listener.Reset();
  if (!files.abstract) unlink(files.address.sun_path);
  lock.Reset();
  {
    std::lock_guard<std::mutex> guard(mutex_);
    dispatching_ = false;
    registered_ = false;
    handler_ = nullptr;
  }
  EmulatedRegistry registry(machine_, code_page_);
  RemoveIfDeletedAndStopped(*machine_, registry, started);
  return kSuccess;
}

void EmulatedServiceDispatcher::ServeControl(int connection) {
  uint32_t control = 0;
  if (!ReadFully(connection, &control, sizeof control, 5000)) return;
  ServiceControlHandler handler;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    handler = handler_;
  }
  Result result = kSuccess;
  if (handler) {
    handler(control);
  } else {
    result = kErrorServiceCannotAcceptCtrl;
  }
  ServiceStatus st;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    st = status_;
  }
  const uint32_t reply[kReplyWords] = {result,
                                       st.service_type,
                                       st.current_state,
                                       st.controls_accepted,
                                       st.win32_exit_code,
                                       st.service_specific_exit_code,
                                       st.check_point,
                                       st.wait_hint};
  WriteFully(connection, reply, sizeof reply);
}

Result EmulatedServiceDispatcher::RegisterControlHandler(std::u16string_view name,
                                                         ServiceControlHandler handler,
                                                         ServiceStatusHandle* out) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (!dispatching_) return kErrorFailedServiceControllerConnect;
  if (Upcase(name) != Upcase(name_)) return kErrorServiceDoesNotExist;
  handler_ = std::move(handler);
  registered_ = true;
  *out = kTheStatusHandle;
  return kSuccess;
}

Result EmulatedServiceDispatcher::SetStatus(ServiceStatusHandle handle,
                                            const ServiceStatus& status) {
  if (status.current_state < kServiceStopped || status.current_state > kServicePaused) {
    return kErrorInvalidData;
  }
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (handle != kTheStatusHandle || !registered_) return kErrorInvalidHandle;
    status_ = status;
  }
  WriteStatusRow(status);
  return kSuccess;
}

void EmulatedServiceDispatcher::WriteStatusRow(const ServiceStatus& status) {
  std::u16string name;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    name = name_;
  }
  WriteStatusRowOf(*machine_, ServiceFileName(name), getpid(), status);
}

}  // namespace platform::emulated
