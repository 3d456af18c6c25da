// The classic event logs: reading (OpenEventLogW / ReadEventLogW / CloseEventLog) and writing
// through an event source (RegisterEventSourceW / ReportEventW / DeregisterEventSource).
//
// Blocking: calls read or write the log's file and return then; on the emulated computer a call
// waits while another process writes (up to 30 s). Opening the log of another computer waits
// for the network. Threads: EventLog may be called from any thread; an open reader or source
// belongs to one thread at a time (a reader keeps its position for sequential reads).
#ifndef PLATFORM_EVENT_LOG_H_
#define PLATFORM_EVENT_LOG_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/event_record.h"
#include "platform/result.h"

namespace platform {

// ReadEventLogW flags.
inline constexpr uint32_t kEventLogSequentialRead = 0x0001;
inline constexpr uint32_t kEventLogSeekRead = 0x0002;
inline constexpr uint32_t kEventLogForwardsRead = 0x0004;
inline constexpr uint32_t kEventLogBackwardsRead = 0x0008;

// An open log. Destroying it closes it.
class EventLogReader {
 public:
  virtual ~EventLogReader() = default;

  // ReadEventLogW. Copies as many whole records as fit into `buffer` and sets *bytes_read.
  // A sequential read continues after the last record this handle returned (the first one
  // starts at the oldest record going forwards, at the newest going backwards); a seek read
  // starts at `record_number`. Answers kErrorHandleEof past the end, kErrorInsufficientBuffer
  // with *bytes_needed when the next record alone does not fit, and kErrorInvalidParameter for a
  // seek to a record that the log does not hold.
  [[nodiscard]] virtual Result Read(uint32_t flags, uint32_t record_number, void* buffer,
                                    uint32_t size, uint32_t* bytes_read,
                                    uint32_t* bytes_needed) = 0;
  // GetOldestEventLogRecord and GetNumberOfEventLogRecords.
  [[nodiscard]] virtual Result OldestRecord(uint32_t* number) = 0;
  [[nodiscard]] virtual Result NumberOfRecords(uint32_t* count) = 0;
};

// A registered event source. Destroying it deregisters it.
class EventSource {
 public:
  virtual ~EventSource() = default;

  // ReportEventW. The computer name and the time are filled in by the log.
  [[nodiscard]] virtual Result Report(uint16_t type, uint16_t category, uint32_t event_id,
                                      const std::vector<uint8_t>& user_sid,
                                      const std::vector<std::u16string>& strings,
                                      const std::vector<uint8_t>& data) = 0;
};

class EventLog {
 public:
  virtual ~EventLog() = default;

  // `server` empty = the local computer. A log exists when it has a subkey of
  // SYSTEM\CurrentControlSet\Services\EventLog.
  [[nodiscard]] virtual Result Open(std::u16string_view server, std::u16string_view log,
                                    std::unique_ptr<EventLogReader>* out) = 0;
  // Records reported through the source go to the log whose key holds a subkey of that source's
  // name, or to "Application" when none does.
  [[nodiscard]] virtual Result RegisterSource(std::u16string_view server,
                                              std::u16string_view source,
                                              std::unique_ptr<EventSource>* out) = 0;
  // ClearEventLogW.
  [[nodiscard]] virtual Result Clear(std::u16string_view server, std::u16string_view log) = 0;
};

}  // namespace platform

#endif  // PLATFORM_EVENT_LOG_H_
