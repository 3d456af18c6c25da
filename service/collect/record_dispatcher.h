// The processing of one record up to its delivery: the type mask, the filter rules' action, the
// text, the routing to mail and syslog, the set-up of the transports a pass needs, and pacing.
#ifndef SERVICE_COLLECT_RECORD_DISPATCHER_H_
#define SERVICE_COLLECT_RECORD_DISPATCHER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "service/base/event_reporter.h"
#include "service/collect/mail_transport.h"
#include "service/collect/record_handler.h"
#include "service/config/service_config.h"
#include "service/render/syslog_message.h"
#include "service/transport/charset_converter.h"
#include "service/transport/cwinsock.h"
#include "service/transport/smtp_client.h"
#include "service/transport/syslog_sender.h"

namespace sentrel {

// Sent in place of a record's text when building the text fails.
inline constexpr char16_t kInternalErrorText[] =
    u"Internal Error IERGER0047 - please contact Brinmoor product support "
    u"(support@brinmoor.example). One event is lost, but we try to report all following ones.";

// Output encodings besides the two Japanese ones: the computer's ANSI code page.
inline constexpr int kEncodingAnsi = 0;

// The parts a dispatcher works with; each must outlive it.
struct DispatchParts {
  platform::Platform& platform;
  ConfigStore& config;
  SyslogFormatter& formatter;
  sentrel::CharsetConverter& converter;
  SyslogSender& sender;
  CWinSock& primary;  // the primary server's TCP connection
  CWinSock& backup;   // the backup server's TCP connection
  MailTransport& mail;
  EventReporter& reporter;
};

// The service's record handler. Runs on the logger thread only.
class RecordDispatcher : public RecordHandler {
 public:
  explicit RecordDispatcher(const DispatchParts& parts);
  RecordDispatcher(const RecordDispatcher&) = delete;
  RecordDispatcher& operator=(const RecordDispatcher&) = delete;

  void ProcessRecord(const RecordView& record, uint32_t bytes_left, LogId log,
                     std::u16string_view log_name, PassState& pass) override;
  void FinishPass(PassState& pass) override;

  // Normalises `text` in place for a syslog line (see NormaliseSyslogText), encodes it in
  // `encoding` and sends it to `server` by `protocol` (0 UDP, 1 TCP; others send nothing) on
  // `connection`, which for TCP the caller connected for this message.
  void PrepareAndSendSyslog(std::u16string& text, std::string_view server, int32_t protocol,
                            CWinSock& connection, int encoding);

  // The bytes of `text` in an output encoding: 0 the ANSI code page, 51220 / 51932 the Japanese
  // encodings, anything else nothing.
  std::string EncodeOutput(std::u16string_view text, int encoding);

 private:
  // Steps after the rule action; exceptions from them end the record, not the pass.
  void Deliver(int32_t action, PassState& pass);
  void BuildText(const RecordView& record, std::u16string_view log_name, PassState& pass);
  void SetUpMail(PassState& pass);
  void SetUpSyslog(PassState& pass);
  void SendMail(PassState& pass);
  void Report(std::u16string_view text);
  void ReportCode(const char* format, int code);
  const MessageOptions& Options();

  DispatchParts parts_;
  // The message options, filled from the configuration anew for each record's text.
  MessageOptions options_;
  // Whether this pass started the socket library (and so must clean it up).
  bool library_started_ = false;
};

// Turns a record's text into one syslog line, in place: every character below 32 becomes a
// space; then, counting positions in the text from 0, a space followed by another space is
// dropped when its position is above 15 (the header's double space before a one-digit day
// stays, later runs of spaces shrink to one).
void NormaliseSyslogText(std::u16string& text);

// The mail text of a record's text: what follows the first ">" at or after its third character
// (the text without its priority part); the whole text when there is no such ">".
std::u16string_view MailText(std::u16string_view text);

}  // namespace sentrel

#endif  // SERVICE_COLLECT_RECORD_DISPATCHER_H_
