// Time through time(), GetLocalTime, SystemTimeToTzSpecificLocalTime and
// GetTimeZoneInformation.

#include <windows.h>

#include <cstdint>
#include <ctime>

#include "platform/win32/win32_parts.h"

namespace platform::win32 {
namespace {

// FILETIME counts 100 ns ticks from 1601-01-01 UTC.
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kUnixEpochTicks = 116444736000000000;

SystemTime FromWin(const SYSTEMTIME& st) {
  SystemTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day_of_week = st.wDayOfWeek;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.milliseconds = st.wMilliseconds;
  return t;
}

class Win32Clock : public Clock {
 public:
  int64_t Now() override { return static_cast<int64_t>(std::time(nullptr)); }

  SystemTime LocalNow() override {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return FromWin(st);
  }

  // As localtime() does: the zone's rules for that moment's date decide whether daylight time
  // applies (FileTimeToLocalFileTime would apply today's bias to every date). A moment before
  // 1601 or one Windows cannot convert gives the zeroed SystemTime.
  SystemTime ToLocal(int64_t unix_seconds) override {
    const int64_t min_seconds = -kUnixEpochTicks / kTicksPerSecond;
    const int64_t max_seconds = (INT64_MAX - kUnixEpochTicks) / kTicksPerSecond;
    if (unix_seconds < min_seconds || unix_seconds > max_seconds) return {};
    const uint64_t ticks = static_cast<uint64_t>(unix_seconds * kTicksPerSecond + kUnixEpochTicks);
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SYSTEMTIME utc, local;
    if (!FileTimeToSystemTime(&ft, &utc)) return {};
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return {};
    return FromWin(local);
  }

  uint32_t TimeZone(TimeZoneInfo* info) override {
    TIME_ZONE_INFORMATION tzi = {};
    const DWORD id = GetTimeZoneInformation(&tzi);
    *info = TimeZoneInfo{};
    if (id == TIME_ZONE_ID_INVALID) return kTimeZoneIdUnknown;
    info->bias = tzi.Bias;
    info->standard_bias = tzi.StandardBias;
    info->daylight_bias = tzi.DaylightBias;
    return id;
  }
};

}  // namespace

std::unique_ptr<Clock> MakeClock() { return std::make_unique<Win32Clock>(); }

}  // namespace platform::win32
