// The mail steps of the record processing on the SMTP client: the log's server, sender and
// recipient come from the configuration of the pass.
#ifndef SERVICE_COLLECT_SMTP_MAIL_TRANSPORT_H_
#define SERVICE_COLLECT_SMTP_MAIL_TRANSPORT_H_

#include <string_view>

#include "service/collect/mail_transport.h"
#include "service/transport/smtp_client.h"

namespace sentrel {

class SmtpMailTransport : public MailTransport {
 public:
  // `client` must outlive the transport.
  explicit SmtpMailTransport(SmtpClient& client) : client_(client) {}

  int OpenSmtpSession(const ServiceConfig& config, std::string_view subject) override {
    return client_.OpenSmtpSession(config.smtp_server, config.smtp_sender, config.smtp_recipient,
                                   subject);
  }
  void SendMailText(std::u16string_view text, int encoding) override {
    client_.SendMailText(text, encoding);
  }
  void CloseSmtpSession() override { client_.CloseSmtpSession(); }

 private:
  SmtpClient& client_;
};

}  // namespace sentrel

#endif  // SERVICE_COLLECT_SMTP_MAIL_TRANSPORT_H_
