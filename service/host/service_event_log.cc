#include "service/host/service_event_log.h"

#include <string>
#include <vector>

#include "service/config/service_config.h"

namespace sentrel {

ServiceEventLog::ServiceEventLog(platform::Platform& platform) : platform_(platform) {}

void ServiceEventLog::ReportServiceEvent(uint16_t type, uint32_t event_id, const char16_t* text1,
                                         const char16_t* text2, const char16_t* text3) {
  std::lock_guard<std::mutex> lock(mutex_);
  const platform::SystemTime now = platform_.clock().LocalNow();
  const int hour = now.hour;
  const int minute = now.minute;

  if (!enabled_) {
    if (hour == disabled_hour_) {
      platform_.debug().Write(kThrottledTrace);
      return;
    }
    enabled_ = true;
    last_minute_ = -1;
  }

  if (last_minute_ != -1 && last_minute_ == minute) {
    ++count_;
  } else {
    last_minute_ = minute;
    count_ = 1;
  }

  const char16_t* texts[] = {text1, text2, text3};
  Report(type, event_id, texts, 3);

  if (count_ >= kReportsPerMinute) {
    const char16_t* throttle[] = {kThrottleText};
    Report(kReportError, kEventThrottled, throttle, 1);
    disabled_hour_ = hour;
    enabled_ = false;
  }
}

// Registers the source when there is none yet and reports through it; a report without a
// source, or one the platform refuses, is dropped.
void ServiceEventLog::Report(uint16_t type, uint32_t event_id, const char16_t* const* texts,
                             int count) {
  if (!source_) {
    std::unique_ptr<platform::EventSource> source;
    if (platform_.event_log().RegisterSource(u"", kServiceName, &source) == platform::kSuccess) {
      source_ = std::move(source);
    }
  }
  if (!source_) return;
  std::vector<std::u16string> strings;
  for (int i = 0; i < count; ++i) {
    if (texts[i]) strings.emplace_back(texts[i]);
  }
  // Self-reporting is best effort: an event the log does not take is lost, the service goes on.
  static_cast<void>(source_->Report(type, 0, event_id, {}, strings, {}));
}

}  // namespace sentrel
