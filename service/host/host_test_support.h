// Test helpers of the service host: a service control manager's dispatcher side that records the
// status reports, a console that keeps its text, and a reader of the Application log.
#ifndef SERVICE_HOST_HOST_TEST_SUPPORT_H_
#define SERVICE_HOST_HOST_TEST_SUPPORT_H_

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/event_record.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace sentrel::hosttest {

// The dispatcher side without a control manager: keeps the registered handler, records every
// status report and lets a test wait for a state.
class FakeDispatcher : public platform::ServiceDispatcher {
 public:
  [[nodiscard]] platform::Result StartDispatcher(std::u16string_view,
                                                 platform::ServiceMainFunction) override {
    return platform::kErrorFailedServiceControllerConnect;
  }
  [[nodiscard]] platform::Result RegisterControlHandler(
      std::u16string_view name, platform::ServiceControlHandler handler,
      platform::ServiceStatusHandle* out) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (refuse_registration) return platform::kErrorServiceDoesNotExist;
    registered_name = std::u16string(name);
    handler_ = std::move(handler);
    *out = 1;
    return platform::kSuccess;
  }
  [[nodiscard]] platform::Result SetStatus(platform::ServiceStatusHandle handle,
                                           const platform::ServiceStatus& status) override {
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back(status);
    changed_.notify_all();
    return handle == 1 ? platform::kSuccess : platform::kErrorInvalidHandle;
  }

  // Sends a control as the dispatcher's thread would.
  void Control(uint32_t code) {
    platform::ServiceControlHandler handler;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      handler = handler_;
    }
    handler(code);
  }
  // Waits (up to 10 s) until `state` has been reported.
  bool WaitFor(uint32_t state) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] {
      for (const auto& r : reports_) {
        if (r.current_state == state) return true;
      }
      return false;
    });
  }
  std::vector<uint32_t> states() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<uint32_t> out;
    for (const auto& r : reports_) out.push_back(r.current_state);
    return out;
  }
  std::vector<platform::ServiceStatus> reports() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
  }

  bool refuse_registration = false;
  std::u16string registered_name;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  platform::ServiceControlHandler handler_;
  std::vector<platform::ServiceStatus> reports_;
};

// A process whose console output is kept; everything else goes to `base`.
class CapturingProcess : public platform::Process {
 public:
  explicit CapturingProcess(platform::Process& base) : base_(base) {}
  [[nodiscard]] platform::Result ProgramPath(std::u16string* path) override {
    return base_.ProgramPath(path);
  }
  [[nodiscard]] platform::Result ShortPath(std::u16string_view path, std::u16string* out) override {
    return base_.ShortPath(path, out);
  }
  platform::PrivilegeResult EnableSecurityPrivilege() override { return privilege; }
  [[nodiscard]] platform::Result SetCurrentThreadLowestPriority() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++lowest_priority_calls;
    return platform::kSuccess;
  }
  [[nodiscard]] platform::Result SetProcessIdleClass() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++idle_class_calls;
    return platform::kSuccess;
  }
  void WriteToConsole(std::string_view text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    console.append(text);
  }
  [[nodiscard]] platform::Result StartProcess(
      std::u16string_view command_line,
      std::unique_ptr<platform::StartedProcess>* started) override {
    return base_.StartProcess(command_line, started);
  }
  int lowest_priority() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lowest_priority_calls;
  }

  platform::PrivilegeResult privilege;
  std::string console;
  int lowest_priority_calls = 0;
  int idle_class_calls = 0;

 private:
  platform::Process& base_;
  std::mutex mutex_;
};

// One event of a log, as stored.
struct Logged {
  uint32_t id;
  uint16_t type;
  std::u16string source;
  std::vector<std::u16string> strings;
};

inline std::vector<Logged> ReadLog(platform::Platform& p, std::u16string_view log) {
  std::vector<Logged> out;
  std::unique_ptr<platform::EventLogReader> reader;
  if (p.event_log().Open(u"", log, &reader) != platform::kSuccess) return out;
  std::vector<uint8_t> buffer(0x10000);
  uint32_t read = 0, needed = 0;
  while (reader->Read(platform::kEventLogSequentialRead | platform::kEventLogForwardsRead, 0,
                      buffer.data(), static_cast<uint32_t>(buffer.size()), &read,
                      &needed) == platform::kSuccess) {
    for (uint32_t at = 0; at < read;) {
      auto fields = platform::ParseEventRecord(buffer.data() + at, read - at);
      if (!fields) return out;
      out.push_back({fields->event_id, fields->event_type, fields->source, fields->strings});
      at += platform::ReadLe32(buffer.data() + at);
    }
  }
  return out;
}

// The ids of the events under `source` in the Application log, oldest first.
inline std::vector<uint32_t> EventIds(platform::Platform& p, std::u16string_view source) {
  std::vector<uint32_t> ids;
  for (const auto& e : ReadLog(p, u"Application")) {
    if (e.source == source) ids.push_back(e.id);
  }
  return ids;
}

}  // namespace sentrel::hosttest

#endif  // SERVICE_HOST_HOST_TEST_SUPPORT_H_
