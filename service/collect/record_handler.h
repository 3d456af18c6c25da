// The seam between the logger loop, which reads the records, and the record processing, which
// filters, renders and delivers each one.
#ifndef SERVICE_COLLECT_RECORD_HANDLER_H_
#define SERVICE_COLLECT_RECORD_HANDLER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "service/base/record_view.h"
#include "service/base/stop_signal.h"
#include "service/config/log_id.h"

namespace sentrel {

// The state of one pass over one log: created cleared by the logger at the start of the pass and
// dropped at its end.
struct PassState {
  // Set by a fatal transport error: the pass ends after the current record, and progress up to
  // that record is written back.
  bool stop = false;
  bool mail_open = false;      // a mail is open on the mail server
  bool primary_ready = false;  // the primary syslog server can be sent to
  bool backup_ready = false;   // the backup syslog server can be sent to
  std::u16string text;         // the text of the current record
  bool to_syslog = false;      // routing of the current record
  bool to_mail = false;

  // Context the logger hands in for the pass.
  std::u16string_view host_name;  // the local computer's name, taken when the logger started
  // The service stop: every wait of the record processing (the pause after a record, network
  // waits) must give up as soon as it is requested. Never null during a pass.
  StopSignal* service_stop = nullptr;
};

class RecordHandler {
 public:
  virtual ~RecordHandler() = default;

  // One record that the pass has not processed before. `bytes_left` is how many bytes of the read
  // buffer lie from the record on (at least record.length()). Whatever happens here, the record
  // counts as processed afterwards.
  virtual void ProcessRecord(const RecordView& record, uint32_t bytes_left, LogId log,
                             std::u16string_view log_name, PassState& pass) = 0;
  // Called once at the end of every pass that opened its log, after the progress was written
  // back (or, when the service stop cut the pass off, instead of that): releases what the pass
  // set up for delivery.
  virtual void FinishPass(PassState& pass) = 0;
};

}  // namespace sentrel

#endif  // SERVICE_COLLECT_RECORD_HANDLER_H_
