// The logger loop: the service's only worker. For ever, it walks the event logs present on the
// computer, hands every record newer than the last one processed to the record processing,
// remembers its progress per log in the registry, and sleeps for the poll interval.
#ifndef SERVICE_COLLECT_LOGGER_H_
#define SERVICE_COLLECT_LOGGER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "service/base/event_reporter.h"
#include "service/base/stop_signal.h"
#include "service/collect/record_handler.h"
#include "service/config/log_id.h"
#include "service/config/service_config.h"

namespace sentrel {

// The local computer's name (gethostname, at most 255 bytes, converted with the computer's code
// page); the NetBIOS name when the look-up fails. Writes the name to the debugger output.
std::u16string ReadHostName(platform::Platform& platform);

class Logger {
 public:
  // Records are read in chunks of this many bytes and processed in place.
  static constexpr uint32_t kReadBufferSize = 204800;
  // Subkey names of the event log list are read into a buffer of this many characters; a
  // longer name names none of the six logs and is passed over.
  static constexpr size_t kLogNameBufferChars = 128;

  // Every part must outlive the logger. `stop` is the service stop: the loop, every pass and
  // every wait give up as soon as it is requested, and a pass that sees it writes no progress.
  Logger(platform::Platform& platform, ConfigStore& config, EventReporter& reporter,
         RecordHandler& handler, StopSignal& stop);
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  // The thread routine: takes the host name, then runs rounds over the logs, sleeping
  // nSleepTime milliseconds after each, until the stop is requested.
  void Run();
  // Reads the host name into host_name() (Run does this first).
  void TakeHostName();
  // One round: every log in the platform's list SYSTEM\CurrentControlSet\Services\EventLog whose
  // name is exactly one of the six log names gets a pass, in the list's order.
  void RunPasses();
  // One pass over one log: loads its configuration, resumes after nLastRecord (or from the
  // oldest record when that record is gone), hands each new record to the handler, writes the
  // progress back at the end and lets the handler release its transports.
  void ProcessLog(LogId log);

  const std::u16string& host_name() const { return host_name_; }

 private:
  // Reports an nSleepTime that the last load refused, once for as long as it stays the same.
  void ReportRejectedSleepTime();

  platform::Platform& platform_;
  ConfigStore& config_;
  EventReporter& reporter_;
  RecordHandler& handler_;
  StopSignal& stop_;
  std::u16string host_name_;
  std::vector<uint8_t> buffer_;        // the read buffer, kReadBufferSize bytes
  std::vector<uint8_t> large_buffer_;  // for a record larger than the read buffer
  std::optional<uint32_t> reported_sleep_time_;
};

}  // namespace sentrel

#endif  // SERVICE_COLLECT_LOGGER_H_
