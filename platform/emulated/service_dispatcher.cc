#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/code_page.h"
#include "platform/emulated/registry.h"
#include "platform/emulated/service_files.h"
#include "platform/emulated/service_manager.h"
#include "platform/emulated/spawn.h"

namespace platform::emulated {

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
  {
    // A second call while dispatching leaves the descriptors to the first.
    std::lock_guard<std::mutex> guard(mutex_);
    if (dispatching_) return kErrorServiceAlreadyRunning;
    dispatching_ = true;
    name_ = started;
    status_ = ServiceStatus{};
    status_.service_type = kServiceWin32OwnProcess;
    status_.current_state = kServiceStartPending;
  }
  // Keep both from the service's own children.
  fcntl(lock_fd, F_SETFD, FD_CLOEXEC);
  fcntl(ready_fd, F_SETFD, FD_CLOEXEC);
  Fd lock(lock_fd), ready(ready_fd);
  const ServiceFiles files = FilesOf(*machine_, started);
  Fd listener;
  // Whatever way this returns, the dispatcher is free again and the socket is gone before the
  // lock (a new instance binds only after it holds the lock).
  struct Cleanup {
    EmulatedServiceDispatcher* self;
    const ServiceFiles& files;
    Fd& listener;
    Fd& lock;
    ~Cleanup() {
      listener.Reset();
      if (!files.abstract) unlink(files.address.sun_path);
      lock.Reset();
      {
        std::lock_guard<std::mutex> guard(self->mutex_);
        self->dispatching_ = false;
        self->registered_ = false;
        self->handler_ = nullptr;
      }
      EmulatedRegistry registry(self->machine_, self->code_page_);
      RemoveIfDeletedAndStopped(*self->machine_, registry, self->name_);
    }
  } cleanup{this, files, listener, lock};

  listener.Reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!files.abstract) unlink(files.address.sun_path);
  if (!listener.valid() ||
      bind(listener.get(), reinterpret_cast<const sockaddr*>(&files.address), files.address_size) !=
          0 ||
      listen(listener.get(), 16) != 0) {
    return kErrorFailedServiceControllerConnect;
  }
  Fd done_read, done_write;
  if (!MakePipe(&done_read, &done_write)) return kErrorNotEnoughMemory;
  if (const Result r = WriteStatusRow(status_); r != kSuccess) return r;
  const char ok = 'R';
  if (write(ready.get(), &ok, 1) < 0) {
    // the starter gave up waiting; go on anyway
  }
  ready.Reset();

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
  return kSuccess;
}

EmulatedServiceDispatcher::~EmulatedServiceDispatcher() = default;

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
  // Other processes read the status from the row: a row that cannot be written is a failure.
  return WriteStatusRow(status);
}

Result EmulatedServiceDispatcher::WriteStatusRow(const ServiceStatus& status) {
  std::u16string name;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    name = name_;
  }
  return WriteStatusRowOf(*machine_, ServiceFileName(name), getpid(), status);
}

}  // namespace platform::emulated
