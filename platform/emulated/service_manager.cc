#include "platform/emulated/service_manager.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/emulated/process.h"
#include "platform/emulated/registry.h"
#include "platform/emulated/service_files.h"
#include "platform/emulated/spawn.h"
#include "platform/registry.h"

extern char** environ;

namespace platform::emulated {
namespace {

// How long a start waits for a service that reported stopped to let go of its lock.
constexpr int kStoppedWindDownMs = 3000;

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

  [[nodiscard]] Result Start(const std::vector<std::u16string>& args) override;
  [[nodiscard]] Result Control(uint32_t control, ServiceStatus* status) override;
  [[nodiscard]] Result QueryStatus(ServiceStatus* status) override;
  [[nodiscard]] Result QueryConfig(ServiceConfiguration* config) override;
  [[nodiscard]] Result Delete() override;

 private:
  Machine& machine() { return *context_->machine; }
  Registry& registry() { return *context_->registry; }
  ServiceStatus CurrentStatus(bool* alive);
  [[nodiscard]] Result Spawn(const std::vector<std::string>& command,
                             const std::vector<std::u16string>& args, const ServiceFiles& files,
                             int lock_fd, uint32_t type);

  std::shared_ptr<ScmContext> context_;
  std::u16string name_;
  uint32_t access_;
};

ServiceStatus EmulatedServiceHandle::CurrentStatus(bool* alive) {
  const ServiceFiles files = FilesOf(machine(), name_);
  // Liveness first, then the row: a service that reports stopped and exits between the two
  // reads would otherwise be seen dead with its last-but-one row and read as aborted. Once the
  // process is gone its last row is written.
  *alive = ServiceProcessAlive(files);
  const StatusRow row = ReadStatusRow(machine(), ServiceFileName(name_));
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
  // Values a service entry may lack read as empty, as Windows gives them.
  if (QueryString(*key, u"ImagePath", &c.binary_path_name) != kSuccess) c.binary_path_name.clear();
  if (QueryString(*key, u"ObjectName", &c.service_start_name) != kSuccess) {
    c.service_start_name.clear();
  }
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
  // A service marked for deletion cannot be started any more.
  r = SetDword(*key, u"Start", kServiceDisabled);
  if (r != kSuccess) return r;
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
  if (QueryString(*key, u"ImagePath", &image_path) != kSuccess) return kErrorFileNotFound;
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
  r = WriteStatusRowOf(machine(), ServiceFileName(name_), 0, pending);
  if (r != kSuccess) return r;
  std::vector<std::u16string> all_args{name_};
  all_args.insert(all_args.end(), args.begin(), args.end());
  r = Spawn(command, all_args, files, lock_fd.get(), type);
  if (r != kSuccess) {
    ServiceStatus stopped;
    stopped.service_type = type;
    stopped.current_state = kServiceStopped;
    stopped.win32_exit_code = r;
    // The start's own result says what went wrong; the row only keeps it for later queries.
    static_cast<void>(WriteStatusRowOf(machine(), ServiceFileName(name_), 0, stopped));
  }
  return r;
}

// Runs the service's program in a new session, detached, with the lock description and the
// write end of a ready pipe inherited. Waits until its dispatcher says it is listening, the
// program could not be run, or it ended without connecting.
Result EmulatedServiceHandle::Spawn(const std::vector<std::string>& command,
                                    const std::vector<std::u16string>& args,
                                    const ServiceFiles& files, int lock_fd, uint32_t type) {
  Fd ready_read, ready_write;
  if (!MakePipe(&ready_read, &ready_write)) return kErrorNotEnoughMemory;
  Fd null_fd(open("/dev/null", O_RDWR | O_CLOEXEC));
  Fd log_fd(open(files.log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));

  SpawnSpec spec;
  spec.argv = command;
  for (char** e = environ; *e; ++e) {
    const std::string_view entry(*e);
    if (entry.starts_with("NTBOX_MACHINE=") || entry.starts_with("NTBOX_SERVICE_")) continue;
    spec.env.emplace_back(entry);
  }
  spec.working_dir = AbsoluteDir(machine());
  spec.env.push_back("NTBOX_MACHINE=" + spec.working_dir);
  spec.env.push_back(std::string(kStartToken) + "=" + Utf16ToUtf8(name_));
  spec.env.push_back(std::string(kLockFdVar) + "=" + std::to_string(lock_fd));
  spec.env.push_back(std::string(kReadyFdVar) + "=" + std::to_string(ready_write.get()));
  spec.env.push_back(std::string(kArgsVar) + "=" + EncodeArgs(args));
  spec.new_session = true;
  spec.stdio[0] = spec.stdio[1] = null_fd.get();
  spec.stdio[2] = log_fd.get();
  spec.keep_open = {lock_fd, ready_write.get()};
  spec.report_fd = ready_write.get();
  if (const Result r = SpawnDetached(spec); r != kSuccess) return r;
  ready_write.Reset();
  // Messages, each one write: 'P' and the process id, then 'R' when the dispatcher listens or
  // 'E' and errno when the program could not be run. The end of the pipe without 'R' means the
  // program ended without connecting.
  SpawnReport report;
  while (ReadSpawnReport(ready_read.get(), kRequestTimeoutMs, &report)) {
    if (report.kind == 'R') return kSuccess;
    if (report.kind == 'E') return ResultFromErrno(report.error);
    if (report.kind != 'P') break;
    ServiceStatus pending;
    pending.service_type = type;
    pending.current_state = kServiceStartPending;
    // The row is a convenience for tools; the dispatcher writes it again once it runs.
    static_cast<void>(WriteStatusRowOf(machine(), ServiceFileName(name_), report.pid, pending));
  }
  return kErrorServiceRequestTimeout;
}

class EmulatedServiceManagerHandle : public ServiceManagerHandle {
 public:
  EmulatedServiceManagerHandle(std::shared_ptr<ScmContext> context, uint32_t access)
      : context_(std::move(context)), access_(MapGeneric(access, kScManagerAllAccess)) {}

  [[nodiscard]] Result Open(std::u16string_view name, uint32_t access,
                            std::unique_ptr<ServiceHandle>* out) override {
    if (!ValidServiceName(name)) return kErrorInvalidName;
    RemoveIfDeletedAndStopped(*context_->machine, *context_->registry, name);
    std::unique_ptr<RegKey> key;
    const Result r = OpenServiceKey(*context_->registry, name, &key);
    if (r != kSuccess) return r;
    *out = std::make_unique<EmulatedServiceHandle>(context_, std::u16string(name), access);
    return kSuccess;
  }

  [[nodiscard]] Result Create(std::u16string_view name, std::u16string_view display_name,
                              uint32_t access, uint32_t service_type, uint32_t start_type,
                              uint32_t error_control, std::u16string_view binary_path,
                              std::u16string_view account,
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

}  // namespace platform::emulated
