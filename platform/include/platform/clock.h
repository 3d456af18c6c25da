// Time: now, local time by the computer's time zone, and the zone's description.
//
// Blocking: none. Threads: any thread.
#ifndef PLATFORM_CLOCK_H_
#define PLATFORM_CLOCK_H_

#include <cstdint>

#include "platform/result.h"

namespace platform {

// SYSTEMTIME.
struct SystemTime {
  uint16_t year = 0;
  uint16_t month = 0;        // 1..12
  uint16_t day_of_week = 0;  // 0 = Sunday
  uint16_t day = 0;          // 1..31
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;
};

// The parts of TIME_ZONE_INFORMATION the programs use. Biases are minutes: UTC = local + bias.
struct TimeZoneInfo {
  int32_t bias = 0;
  int32_t standard_bias = 0;
  int32_t daylight_bias = 0;
};

// GetTimeZoneInformation results.
inline constexpr uint32_t kTimeZoneIdUnknown = 0;
inline constexpr uint32_t kTimeZoneIdStandard = 1;
inline constexpr uint32_t kTimeZoneIdDaylight = 2;

class Clock {
 public:
  virtual ~Clock() = default;

  // Seconds since 1970-01-01 UTC.
  virtual int64_t Now() = 0;
  // GetLocalTime.
  virtual SystemTime LocalNow() = 0;
  // A moment in local time of this computer's zone (what localtime() gives).
  virtual SystemTime ToLocal(int64_t unix_seconds) = 0;
  // GetTimeZoneInformation: fills *info, returns one of the kTimeZoneId values.
  virtual uint32_t TimeZone(TimeZoneInfo* info) = 0;
};

}  // namespace platform

#endif  // PLATFORM_CLOCK_H_
