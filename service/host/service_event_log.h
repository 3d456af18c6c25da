// The service's reports about itself: events in the "Application" log under the event source
// "Brinmoor Vaskwell", limited so that a failing service cannot flood the log.
#ifndef SERVICE_HOST_SERVICE_EVENT_LOG_H_
#define SERVICE_HOST_SERVICE_EVENT_LOG_H_

#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/platform.h"
#include "service/base/event_reporter.h"

namespace sentrel {

// The text of event 110, reported once when the limit is reached.
inline constexpr char16_t kThrottleText[] =
    u"Sentrel has encountered numerous runtime events.\r\n"
    u"This is usually caused by configuration or network problems.\r\n"
    u"From now, Sentrel will not log any more events this hour.";

// The debugger trace line for a report dropped while reporting is disabled.
inline constexpr char16_t kThrottledTrace[] =
    u"A Event was not logged, internal EventLogging is disabled for one hour\r\n";

// Reports counted within one minute value of the clock: the report that brings the count to
// this many still lands, followed by event 110, and then nothing is reported until the hour of
// the day changes. The count runs on across reports in the same minute value of different
// hours. The event source is registered at the first report (again at each report while that
// fails) and deregistered when the object goes.
//
// The service's threads report concurrently (logger, service control), so the throttle state
// and the source are guarded by a mutex.
class ServiceEventLog : public EventReporter {
 public:
  explicit ServiceEventLog(platform::Platform& platform);
  ServiceEventLog(const ServiceEventLog&) = delete;
  ServiceEventLog& operator=(const ServiceEventLog&) = delete;

  void ReportServiceEvent(uint16_t type, uint32_t event_id, const char16_t* text1 = nullptr,
                          const char16_t* text2 = nullptr,
                          const char16_t* text3 = nullptr) override;

  static constexpr int kReportsPerMinute = 10;

 private:
  void Report(uint16_t type, uint32_t event_id, const char16_t* const* texts, int count);

  platform::Platform& platform_;
  std::mutex mutex_;
  std::unique_ptr<platform::EventSource> source_;
  int last_minute_ = -1;
  int count_ = 0;
  int disabled_hour_ = -1;
  bool enabled_ = true;
};

}  // namespace sentrel

#endif  // SERVICE_HOST_SERVICE_EVENT_LOG_H_
