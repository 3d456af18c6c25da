// The forwarding service: the service framework with the logger thread, and the default
// configuration written at installation.
//
// The stop never waits for a pass: OnStop requests the stop signal, which every wait of the
// logger observes, and returns. The logger gives up at its next check without writing the
// progress of the pass it was in, so those records are forwarded again after the next start.
// The logger thread is joined when the object goes (program exit, after the dispatcher has
// returned), so the process never ends under a registry or event log write of the logger.
//
// The logger thread begins its first pass only once the start is complete (events 107 and 105
// written): a first pass that reports errors at once would otherwise use up the reporting
// allowance of the minute before them, and the service's start would go unrecorded.
#ifndef SERVICE_HOST_FORWARDING_SERVICE_H_
#define SERVICE_HOST_FORWARDING_SERVICE_H_

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "service/base/stop_signal.h"
#include "service/collect/forwarding_pipeline.h"
#include "service/host/service_host.h"

namespace sentrel {

// The texts of event 107 about the logger thread.
inline constexpr char16_t kLoggerStarted[] = u"The logger background thread started successfully";
inline constexpr char16_t kLoggerNotStarted[] =
    u"The logger background thread could not be started - Sentrel service defunct.";
inline constexpr char16_t kLoggerStopped[] = u"The logger background thread stopped successfully.";
inline constexpr char16_t kLoggerNotStopped[] =
    u"The logger background thread could not be stopped.";

// The last line of the installation notice.
inline constexpr char kSupportLine[] =
    "Visit https://www.brinmoor.example/sentrel for product updates and support.\n";

class ForwardingService : public ServiceHost {
 public:
  explicit ForwardingService(platform::Platform& platform);
  // Requests the stop and waits for the logger thread to end.
  ~ForwardingService() override;

  // CreateDefaultConfiguration.
  bool OnInstall() override;
  // Loads System's configuration and starts the logger thread; true even when the thread could
  // not be started (event 107 says so).
  bool OnInit() override;
  // Lets the logger thread begin.
  void OnStarted() override;
  // Requests the logger's stop without waiting for it.
  void OnStop() override;

  // Writes the installation defaults of the logs this computer has and prints the notice.
  void CreateDefaultConfiguration();

  // The logger thread, for tests: whether it was started and has not been joined.
  bool logger_started() const { return logger_.joinable(); }

 private:
  // Opens the gate the logger thread waits at before its first pass (start or stop).
  void OpenStartGate();
  // On the logger thread: waits until the gate opens; true when the logger is to run.
  bool WaitForStart();

  StopSignal stop_;
  std::unique_ptr<ForwardingPipeline> pipeline_;
  std::atomic<bool> start_gate_open_{false};
  std::thread logger_;
};

}  // namespace sentrel

#endif  // SERVICE_HOST_FORWARDING_SERVICE_H_
