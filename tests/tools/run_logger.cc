// Runs the service's logger in the foreground on the computer named by NTBOX_MACHINE, without the
// service framework: for the forwarding tests and the benchmark, which need a pass to happen now.
//
//   run_logger [--passes N] [--stderr-events]
//
// With --passes N it runs N rounds over the logs back to back (no nSleepTime in between) and
// exits; without it, it polls as the service does until SIGTERM or SIGINT. The service's own
// events go into the "Application" log under its source, with the hourly limit, as in the
// service; --stderr-events prints them to standard error instead ("event TYPE ID TEXT").
// At the end it prints "rounds R" and the CPU time used.
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "service/base/stop_signal.h"
#include "service/collect/forwarding_pipeline.h"
#include "service/host/service_event_log.h"

namespace {

class StderrReporter : public sentrel::EventReporter {
 public:
  void ReportServiceEvent(uint16_t type, uint32_t event_id, const char16_t* text1, const char16_t*,
                          const char16_t*) override {
    std::fprintf(stderr, "event %u %u %s\n", type, event_id,
                 platform::Utf16ToUtf8(text1 ? text1 : u"").c_str());
  }
};

int Usage() {
  std::fprintf(stderr, "usage: run_logger [--passes N] [--stderr-events]\n");
  return 2;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  int passes = -1;
  bool stderr_events = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--passes") == 0 && i + 1 < argc) {
      passes = std::atoi(argv[++i]);
      if (passes < 0) return Usage();
    } else if (std::strcmp(argv[i], "--stderr-events") == 0) {
      stderr_events = true;
    } else {
      return Usage();
    }
  }

  // SIGTERM and SIGINT request the stop; a thread of its own waits for them, since the stop
  // cannot be requested from a signal handler.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  sentrel::StopSignal stop;
  std::thread([&signals, &stop] {
    int signal = 0;
    sigwait(&signals, &signal);
    stop.Request();
  }).detach();

  std::string error;
  std::unique_ptr<platform::Platform> host = platform::OpenHostPlatform(&error);
  if (!host) {
    std::fprintf(stderr, "run_logger: %s\n", error.c_str());
    return 1;
  }
  std::unique_ptr<sentrel::EventReporter> reporter;
  if (stderr_events) {
    reporter = std::make_unique<StderrReporter>();
  } else {
    reporter = std::make_unique<sentrel::ServiceEventLog>(*host);
  }
  sentrel::ForwardingPipeline pipeline(*host, *reporter, stop);
  if (passes >= 0) {
    pipeline.RunRounds(passes);
  } else {
    pipeline.Run();
  }
  std::printf("rounds %d cpu %.3f\n", passes, CpuSeconds());
  return 0;
}
