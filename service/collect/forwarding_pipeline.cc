#include "service/collect/forwarding_pipeline.h"

#include <utility>

#include "service/collect/smtp_mail_transport.h"

namespace sentrel {

ForwardingPipeline::ForwardingPipeline(platform::Platform& platform, EventReporter& reporter,
                                       StopSignal& stop, std::unique_ptr<MailTransport> mail)
    : stop_(stop),
      config_(platform),
      formatter_(platform),
      converter_(platform.debug()),
      sender_(platform.network(), platform.debug(), reporter),
      primary_(platform.network(), platform.debug(), [&stop] { return stop.Requested(); }),
      backup_(platform.network(), platform.debug(), [&stop] { return stop.Requested(); }),
      smtp_(platform.network(), platform.debug(), platform.code_page(), platform.clock(), stop),
      mail_(mail ? std::move(mail) : std::make_unique<SmtpMailTransport>(smtp_)),
      dispatcher_(DispatchParts{platform, config_, formatter_, converter_, sender_, primary_,
                                backup_, *mail_, reporter}),
      logger_(platform, config_, reporter, dispatcher_, stop) {}

void ForwardingPipeline::RunRounds(int rounds) {
  logger_.TakeHostName();
  for (int i = 0; i < rounds && !stop_.Requested(); ++i) logger_.RunPasses();
}

}  // namespace sentrel
