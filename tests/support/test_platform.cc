#include "tests/support/test_platform.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/code_page.h"

namespace testsupport {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/sentrel-test-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

platform::emulated::ComputerOptions TempComputer::DefaultOptions() {
  platform::emulated::ComputerOptions o;
  o.seed = false;
  o.time_zone = "UTC";
  return o;
}

TempComputer::TempComputer(platform::emulated::ComputerOptions options) {
  dir_ = temp_.path() + "/" + options.name;
  std::string error;
  platform_ = platform::emulated::EmulatedPlatform::Create(dir_, options, &error);
  if (!platform_) throw std::runtime_error("cannot create test computer: " + error);
}

std::unique_ptr<platform::emulated::EmulatedPlatform> TempComputer::Reopen() const {
  std::string error;
  auto p = platform::emulated::EmulatedPlatform::Open(dir_, &error);
  if (!p) throw std::runtime_error("cannot reopen test computer: " + error);
  return p;
}

int64_t DaysFromCivil(int year, int month, int day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int32_t FakeClock::EffectiveBias() const {
  return zone_.bias + (zone_id_ == platform::kTimeZoneIdDaylight ? zone_.daylight_bias
                                                                  : zone_.standard_bias);
}

platform::SystemTime FakeClock::ToLocal(int64_t unix_seconds) {
  const int64_t local = unix_seconds - int64_t{EffectiveBias()} * 60;
  int64_t days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
  const int64_t secs = local - days * 86400;
  platform::SystemTime t;
  t.day_of_week = static_cast<uint16_t>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  t.year = static_cast<uint16_t>(yoe + era * 400 + (m <= 2));
  t.month = static_cast<uint16_t>(m);
  t.day = static_cast<uint16_t>(d);
  t.hour = static_cast<uint16_t>(secs / 3600);
  t.minute = static_cast<uint16_t>(secs / 60 % 60);
  t.second = static_cast<uint16_t>(secs % 60);
  return t;
}

void FakeClock::SetLocal(int year, int month, int day, int hour, int minute, int second) {
  now_ = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second +
         int64_t{EffectiveBias()} * 60;
}

void CapturingDebugOutput::Write(std::u16string_view text) {
  WriteAnsi(platform::Utf16ToUtf8(text));
}

void CapturingDebugOutput::WriteAnsi(std::string_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.emplace_back(text);
}

std::vector<std::string> CapturingDebugOutput::lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

std::string CapturingDebugOutput::all() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string s;
  for (const auto& l : lines_) s += l;
  return s;
}

bool CapturingDebugOutput::Contains(std::string_view text) const {
  return all().find(text) != std::string::npos;
}

void CapturingDebugOutput::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

}  // namespace testsupport
