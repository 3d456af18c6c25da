// The mail steps of the record processing: open one mail, append record texts to it, end it.
// The SMTP client implements it; the dispatcher's tests record the calls.
#ifndef SERVICE_COLLECT_MAIL_TRANSPORT_H_
#define SERVICE_COLLECT_MAIL_TRANSPORT_H_

#include <string_view>

#include "service/config/service_config.h"

namespace sentrel {

class MailTransport {
 public:
  virtual ~MailTransport() = default;

  // OpenSmtpSession: connects to the log's mail server and sends everything up to the first
  // line of the body, with `subject` as the mail's subject. 1 on success, else a negative code.
  virtual int OpenSmtpSession(const ServiceConfig& config, std::string_view subject) = 0;
  // SendMailText: appends one record's text, converted to `encoding` (0 the ANSI code page,
  // 51220 ISO-2022-JP, 51932 EUC-JP), to the open mail.
  virtual void SendMailText(std::u16string_view text, int encoding) = 0;
  // CloseSmtpSession: ends the mail and the connection.
  virtual void CloseSmtpSession() = 0;
};

// A mail transport that has no server to talk to: every open fails as a connection failure does
// (-1), so a record routed to mail is reported and never dropped silently.
class UnavailableMailTransport : public MailTransport {
 public:
  int OpenSmtpSession(const ServiceConfig&, std::string_view) override { return -1; }
  void SendMailText(std::u16string_view, int) override {}
  void CloseSmtpSession() override {}
};

}  // namespace sentrel

#endif  // SERVICE_COLLECT_MAIL_TRANSPORT_H_
