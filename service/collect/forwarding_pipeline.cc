#include "service/collect/forwarding_pipeline.h"

#include <utility>

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
      mail_socket_(platform.network(), platform.debug(), [&stop] { return stop.Requested(); }),
      mail_(mail ? std::move(mail) : std::make_unique<UnavailableMailTransport>()),
      dispatcher_(DispatchParts{platform, config_, formatter_, converter_, sender_, primary_,
                                backup_, *mail_, reporter}),
      logger_(platform, config_, reporter, dispatcher_, stop) {}

void ForwardingPipeline::RunRounds(int rounds) {
  logger_.TakeHostName();
  for (int i = 0; i < rounds && !stop_.Requested(); ++i) logger_.RunPasses();
}

}  // namespace sentrel
