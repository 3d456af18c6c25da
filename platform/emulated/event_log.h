// The event logs of an emulated computer, kept in its database.
#ifndef PLATFORM_EMULATED_EVENT_LOG_H_
#define PLATFORM_EMULATED_EVENT_LOG_H_

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/computer.h"
#include "platform/emulated/machine.h"
#include "platform/event_log.h"
#include "platform/registry.h"

namespace platform::emulated {

class EmulatedEventLog : public EventLog {
 public:
  // The parts must outlive the event log and every reader and source it hands out. `registry`
  // tells which logs exist and which log a source belongs to; `computer` and `clock` fill in the
  // computer name and the time of reported events.
  EmulatedEventLog(std::shared_ptr<Machine> machine, Registry& registry, Computer& computer,
                   Clock& clock);

  Result Open(std::u16string_view server, std::u16string_view log,
              std::unique_ptr<EventLogReader>* out) override;
  Result RegisterSource(std::u16string_view server, std::u16string_view source,
                        std::unique_ptr<EventSource>* out) override;
  Result Clear(std::u16string_view server, std::u16string_view log) override;

  // Appends a record with every field as given (number and the trailing length are assigned
  // here), for tools and tests that write what ReportEvent cannot (another computer name, a
  // chosen time). Returns the record's number in *number.
  Result Append(std::u16string_view log, const EventRecordFields& fields, uint32_t* number);

 private:
  std::shared_ptr<Machine> machine_;
  Registry& registry_;
  Computer& computer_;
  Clock& clock_;
};

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_EVENT_LOG_H_
