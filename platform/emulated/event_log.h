// The event logs of an emulated computer, kept in its database.
#ifndef PLATFORM_EMULATED_EVENT_LOG_H_
#define PLATFORM_EMULATED_EVENT_LOG_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/computer.h"
#include "platform/emulated/machine.h"
#include "platform/event_log.h"
#include "platform/registry.h"

namespace platform::emulated {

// The longest insertion string ReportEventW accepts, in UTF-16 characters (terminator not
// counted); a longer one fails the whole report with kErrorInvalidParameter.
inline constexpr size_t kMaxInsertionStringChars = 31839;

// kSuccess when a record with these insertion strings can be reported; else
// kErrorInvalidParameter with the 0-based index of the first string that is too long in *index.
Result CheckInsertionStrings(const std::vector<std::u16string>& strings, size_t* index = nullptr);

struct ImportOptions {
  bool keep_numbers = false;  // keep the records' own numbers (the log must be empty)
  bool grow = false;          // raise the log's MaxSize when the records would not fit
};

struct ImportOutcome {
  uint32_t first_number = 0;  // the numbers the records got in the log (0 when none)
  uint32_t last_number = 0;
  uint64_t bytes_needed = 0;  // what the log's records take with the imported ones
  uint32_t max_size = 0;      // the log's MaxSize, after any raise
  bool grew = false;          // whether MaxSize was raised
};

// Everything a backup of a log needs, read at one moment.
struct LogSnapshot {
  std::vector<std::vector<uint8_t>> records;  // EVENTLOGRECORD bytes, oldest first
  uint32_t next_number = 1;                   // the number the next record will get
  uint32_t retention = 0;                     // the log's Retention value (0 when it has none)
};

class EmulatedEventLog : public EventLog {
 public:
  // The parts must outlive the event log and every reader and source it hands out. `registry`
  // tells which logs exist and which log a source belongs to; `computer` and `clock` fill in the
  // computer name and the time of reported events.
  EmulatedEventLog(std::shared_ptr<Machine> machine, Registry& registry, Computer& computer,
                   Clock& clock);

  [[nodiscard]] Result Open(std::u16string_view server, std::u16string_view log,
                            std::unique_ptr<EventLogReader>* out) override;
  [[nodiscard]] Result RegisterSource(std::u16string_view server, std::u16string_view source,
                                      std::unique_ptr<EventSource>* out) override;
  [[nodiscard]] Result Clear(std::u16string_view server, std::u16string_view log) override;

  // Appends a record with every field as given (number and the trailing length are assigned
  // here), for tools and tests that write what ReportEvent cannot (another computer name, a
  // chosen time). Returns the record's number in *number. Insertion strings are held to the
  // limit of ReportEvent (CheckInsertionStrings): Windows holds no longer ones.
  [[nodiscard]] Result Append(std::u16string_view log, const EventRecordFields& fields,
                              uint32_t* number);

  // Appends `records` in their order with every field as given, in one transaction: all of them
  // or, on any failure, none. Each gets the log's next number, or with keep_numbers its own
  // (then the log must hold no record: kErrorAlreadyExists; and the numbers must rise:
  // kErrorInvalidParameter). An import never makes the log drop a record: when the log's records
  // and the new ones would take more than MaxSize it answers kErrorLogFileFull, unless `grow`
  // raises MaxSize to the next multiple of 64 KB that holds them with 64 KB to spare.
  // *outcome is filled in on success and for kErrorLogFileFull.
  Result Import(std::u16string_view log, const std::vector<EventRecordFields>& records,
                const ImportOptions& options, ImportOutcome* outcome);

  // The log's records and next number, read in one transaction.
  Result Snapshot(std::u16string_view log, LogSnapshot* out);

 private:
  std::shared_ptr<Machine> machine_;
  Registry& registry_;
  Computer& computer_;
  Clock& clock_;
};

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_EVENT_LOG_H_
