// Test helpers: a fresh emulated computer in a temporary directory, a clock the test sets, and a
// debug output that keeps every line.
#ifndef TESTS_SUPPORT_TEST_PLATFORM_H_
#define TESTS_SUPPORT_TEST_PLATFORM_H_

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/emulated/emulated_platform.h"
#include "platform/platform.h"

namespace testsupport {

// A directory under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// An emulated computer named SRV1 (by default) in its own temporary directory.
class TempComputer {
 public:
  explicit TempComputer(platform::emulated::ComputerOptions options = DefaultOptions());
  platform::emulated::EmulatedPlatform& platform() { return *platform_; }
  const std::string& dir() const { return dir_; }
  std::string parent() const { return temp_.path(); }
  // Opens the computer again, as a second process would.
  std::unique_ptr<platform::emulated::EmulatedPlatform> Reopen() const;

  // No sample records, UTC, version 5.0, code page 1252.
  static platform::emulated::ComputerOptions DefaultOptions();

 private:
  TempDir temp_;
  std::string dir_;
  std::unique_ptr<platform::emulated::EmulatedPlatform> platform_;
};

// A clock whose time the test sets. Local time is UTC shifted by a fixed bias (minutes, as
// Windows counts it: UTC = local + bias).
class FakeClock : public platform::Clock {
 public:
  int64_t Now() override { return now_; }
  platform::SystemTime LocalNow() override { return ToLocal(now_); }
  platform::SystemTime ToLocal(int64_t unix_seconds) override;
  uint32_t TimeZone(platform::TimeZoneInfo* info) override {
    *info = zone_;
    return zone_id_;
  }

  void Set(int64_t unix_seconds) { now_ = unix_seconds; }
  // Sets the clock so that local time is the given moment.
  void SetLocal(int year, int month, int day, int hour, int minute, int second);
  void Advance(int64_t seconds) { now_ += seconds; }
  void SetZone(platform::TimeZoneInfo zone, uint32_t zone_id) {
    zone_ = zone;
    zone_id_ = zone_id;
  }

 private:
  int32_t EffectiveBias() const;
  int64_t now_ = 1052140806;  // Mon 5 May 2003 13:20:06 UTC
  platform::TimeZoneInfo zone_{};
  uint32_t zone_id_ = platform::kTimeZoneIdUnknown;
};

// Keeps everything written to the debugger output.
class CapturingDebugOutput : public platform::DebugOutput {
 public:
  bool Enabled() override { return true; }
  void Write(std::u16string_view text) override;
  void WriteAnsi(std::string_view text) override;
  std::vector<std::string> lines() const;  // each write is one entry, UTF-8
  std::string all() const;
  bool Contains(std::string_view text) const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// Days since 1970-01-01 for a civil date, and back.
int64_t DaysFromCivil(int year, int month, int day);

}  // namespace testsupport

#endif  // TESTS_SUPPORT_TEST_PLATFORM_H_
