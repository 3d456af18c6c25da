// A small service program for the tests of the service control manager.
//
//   fake_service NAME [--stop-delay-ms N]   runs as the service NAME under the manager
//   fake_service NAME --no-dispatcher       lives without ever connecting (sleeps)
//   fake_service NAME --stay-start-pending  never reports running: stays start pending, where
//                                           the manager passes it no control; end its process
//   fake_service NAME --dispatch-again      its entry routine calls the dispatcher a second time
//                                           (with the ready descriptor's number reused) and
//                                           writes "again: N" with that call's result
//
// Its entry routine writes "args:" and its arguments to standard error (the service's log),
// reports running accepting stop, and waits for the stop. The handler answers stop with stop
// pending (the entry routine then reports stopped, after the delay), and user control 130 by
// setting the check point to 130. Outside the manager it prints "dispatcher: N" with the
// dispatcher's result code and exits with 1 when it failed.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/code_page.h"
#include "platform/emulated/service_files.h"
#include "platform/platform.h"

namespace {

using namespace platform;

struct FakeService {
  ServiceDispatcher* dispatcher = nullptr;
  std::u16string name;
  int stop_delay_ms = 0;
  bool dispatch_again = false;
  bool stay_start_pending = false;
  std::mutex mutex;
  std::condition_variable stopped_cv;
  bool stop_requested = false;
  ServiceStatusHandle handle = kNoServiceStatusHandle;
  ServiceStatus status;

  void Report(uint32_t state) {
    status.current_state = state;
    if (const Result r = dispatcher->SetStatus(handle, status); r != kSuccess) {
      std::fprintf(stderr, "SetStatus: %u\n", r);
    }
  }

  void Handle(uint32_t control) {
    std::lock_guard<std::mutex> lock(mutex);
    if (control == kServiceControlStop) {
      status.controls_accepted = 0;
      Report(kServiceStopPending);
      stop_requested = true;
      stopped_cv.notify_all();
    } else if (control == 130) {
      status.check_point = 130;
      Report(status.current_state);
    }
  }

  void Main(const std::vector<std::u16string>& args) {
    std::string line = "args:";
    for (const auto& a : args) line += " " + Utf16ToUtf8(a);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    status.service_type = kServiceWin32OwnProcess;
    if (dispatcher->RegisterControlHandler(
            name, [this](uint32_t c) { Handle(c); }, &handle) != kSuccess) {
      return;
    }
    if (dispatch_again) {
      // The ready descriptor is closed once the dispatcher listens, and a later open may get
      // its number: the second call then finds every descriptor it looks for.
      if (const char* ready = std::getenv(emulated::kReadyFdVar)) {
        const int number = std::atoi(ready);
        const int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (null_fd >= 0 && null_fd != number) {
          if (dup2(null_fd, number) < 0) std::perror("dup2");
          close(null_fd);
        }
      }
      const Result again =
          dispatcher->StartDispatcher(name, [](const std::vector<std::u16string>&) {});
      std::fprintf(stderr, "again: %u\n", again);
      std::fflush(stderr);
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      Report(kServiceStartPending);
      status.controls_accepted = kServiceAcceptStop;
      if (!stay_start_pending) Report(kServiceRunning);
    }
    std::unique_lock<std::mutex> lock(mutex);
    stopped_cv.wait(lock, [this] { return stop_requested; });
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(stop_delay_ms));
    lock.lock();
    Report(kServiceStopped);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(
        stderr,
        "usage: fake_service NAME [--stop-delay-ms N | --no-dispatcher | --dispatch-again |"
        " --stay-start-pending]\n");
    return 2;
  }
  FakeService service;
  service.name = Utf8ToUtf16(argv[1]);
  for (int i = 2; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--no-dispatcher")) {
      std::this_thread::sleep_for(std::chrono::seconds(60));
      return 0;
    }
    if (!std::strcmp(argv[i], "--dispatch-again")) service.dispatch_again = true;
    if (!std::strcmp(argv[i], "--stay-start-pending")) service.stay_start_pending = true;
    if (!std::strcmp(argv[i], "--stop-delay-ms") && i + 1 < argc) {
      service.stop_delay_ms = std::atoi(argv[++i]);
    }
  }
  std::string error;
  auto host = OpenHostPlatform(&error);
  if (!host) {
    std::fprintf(stderr, "fake_service: %s\n", error.c_str());
    return 2;
  }
  service.dispatcher = &host->service_dispatcher();
  const Result r = service.dispatcher->StartDispatcher(
      service.name, [&service](const std::vector<std::u16string>& args) { service.Main(args); });
  std::printf("dispatcher: %u\n", r);
  return r == kSuccess ? 0 : 1;
}
