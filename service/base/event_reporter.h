// How every part of the service tells the administrator about itself: events in the
// "Application" log under the service's own source. The service host implements it with the
// hourly throttle; tests record the calls.
#ifndef SERVICE_BASE_EVENT_REPORTER_H_
#define SERVICE_BASE_EVENT_REPORTER_H_

#include <cstdint>
#include <string_view>

namespace sentrel {

// Event types the service reports.
inline constexpr uint16_t kReportError = 1;
inline constexpr uint16_t kReportInformation = 4;

// Event ids of the service's message table.
inline constexpr uint32_t kEventInstalled = 100;
inline constexpr uint32_t kEventRemoved = 101;
inline constexpr uint32_t kEventNotRemoved = 102;
inline constexpr uint32_t kEventNoControlHandler = 103;
inline constexpr uint32_t kEventInitFailed = 104;
inline constexpr uint32_t kEventStarted = 105;
inline constexpr uint32_t kEventUnsupportedRequest = 106;
inline constexpr uint32_t kEventText = 107;  // the whole text is the first insertion string
inline constexpr uint32_t kEventStopped = 108;
inline constexpr uint32_t kEventThrottled = 110;

class EventReporter {
 public:
  virtual ~EventReporter() = default;

  // ReportServiceEvent: up to three insertion texts; a null pointer means absent, and only the
  // texts present are passed on. Safe to call from any of the service's threads.
  virtual void ReportServiceEvent(uint16_t type, uint32_t event_id,
                                  const char16_t* text1 = nullptr,
                                  const char16_t* text2 = nullptr,
                                  const char16_t* text3 = nullptr) = 0;
};

}  // namespace sentrel

#endif  // SERVICE_BASE_EVENT_REPORTER_H_
