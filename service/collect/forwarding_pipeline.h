// Everything the logger thread of the service needs, assembled for one platform: the
// configuration, the message formatter, the transports with their three socket wrappers, the
// record dispatcher and the logger. The service host creates one and runs it on the logger thread.
#ifndef SERVICE_COLLECT_FORWARDING_PIPELINE_H_
#define SERVICE_COLLECT_FORWARDING_PIPELINE_H_

#include <memory>

#include "platform/platform.h"
#include "service/base/event_reporter.h"
#include "service/base/stop_signal.h"
#include "service/collect/logger.h"
#include "service/collect/mail_transport.h"
#include "service/collect/record_dispatcher.h"
#include "service/config/service_config.h"
#include "service/render/syslog_message.h"
#include "service/transport/charset_converter.h"
#include "service/transport/cwinsock.h"
#include "service/transport/smtp_client.h"
#include "service/transport/syslog_sender.h"

namespace sentrel {

class ForwardingPipeline {
 public:
  // `platform`, `reporter` and `stop` must outlive the pipeline. `stop` also ends every network
  // wait of the socket wrappers and of the mail dialogue. Mail goes through the SMTP client
  // unless `mail` is given (tests).
  ForwardingPipeline(platform::Platform& platform, EventReporter& reporter, StopSignal& stop,
                     std::unique_ptr<MailTransport> mail = nullptr);
  ForwardingPipeline(const ForwardingPipeline&) = delete;
  ForwardingPipeline& operator=(const ForwardingPipeline&) = delete;

  // The logger thread's routine: passes over the logs until the stop is requested.
  void Run() { logger_.Run(); }
  // Takes the host name and runs `rounds` rounds over the logs without sleeping in between
  // (for tools and tests that want a pass to happen now). Stops early at the stop.
  void RunRounds(int rounds);

  ConfigStore& config() { return config_; }
  Logger& logger() { return logger_; }
  RecordDispatcher& dispatcher() { return dispatcher_; }
  // The mail client, with the socket wrapper of the SMTP connection.
  SmtpClient& smtp() { return smtp_; }

 private:
  StopSignal& stop_;
  ConfigStore config_;
  SyslogFormatter formatter_;
  sentrel::CharsetConverter converter_;
  SyslogSender sender_;
  CWinSock primary_;
  CWinSock backup_;
  SmtpClient smtp_;
  std::unique_ptr<MailTransport> mail_;
  RecordDispatcher dispatcher_;
  Logger logger_;
};

}  // namespace sentrel

#endif  // SERVICE_COLLECT_FORWARDING_PIPELINE_H_
