#include "client/core/service_control.h"

#include "client/core/registry.h"
#include "client/core/system_error.h"
#include "client/i18n/messages.h"

namespace sentrel::client {
namespace {

UserMessage ErrorWithSystemText(platform::Platform& platform, int message, Result code) {
  return {MessageIcon::kCritical,
          GetMessageText(message) + u"\r\n" + GetSystemErrorText(platform, code)};
}

}  // namespace

ServiceStateView ViewOfServiceState(const ServiceQuery& query, bool local) {
  ServiceStateView view;
  ServiceControls& c = view.controls;
  if (query.error == platform::kErrorServiceDoesNotExist) {
    c.install = true;
    return view;
  }
  c.uninstall = local;
  if (query.error == platform::kSuccess && query.state == platform::kServiceRunning) {
    c.stop = true;
    c.restart = true;
    return view;
  }
  c.start = true;
  if (query.error != platform::kSuccess || query.state != platform::kServiceStopped) {
    view.message =
        UserMessage{MessageIcon::kCritical, GetMessageText(186) + u" \r\n" + GetMessageText(187)};
  }
  return view;
}

std::u16string ServiceComputer(std::u16string_view target) {
  return IsLocalTarget(target) ? std::u16string() : std::u16string(target);
}

RefreshOutcome RefreshServiceState(platform::Platform& platform, std::u16string_view target,
                                   Waiter& waiter, const std::function<void(int polls)>& progress) {
  RefreshOutcome outcome;
  const std::u16string computer = ServiceComputer(target);
  do {
    if (!waiter.Wait(kServicePollIntervalMs)) {
      outcome.cancelled = true;
      break;
    }
    outcome.query = QueryNTServiceState(platform, computer, kServiceName);
    ++outcome.polls;
    if (progress) progress(outcome.polls);
  } while (outcome.query.pending() && outcome.polls < kServicePollLimit);
  if (outcome.cancelled) {
    // The commands still follow the service: one last look, without a box.
    outcome.query = QueryNTServiceState(platform, computer, kServiceName);
    outcome.view = ViewOfServiceState(outcome.query, IsLocalTarget(target));
    outcome.view.message.reset();
    return outcome;
  }
  outcome.view = ViewOfServiceState(outcome.query, IsLocalTarget(target));
  return outcome;
}

std::optional<UserMessage> StartFailureMessage(platform::Platform& platform, Result code) {
  if (code == platform::kSuccess) return std::nullopt;
  return ErrorWithSystemText(platform, 191, code);
}

std::optional<UserMessage> StopFailureMessage(platform::Platform& platform, Result code) {
  if (code == platform::kSuccess || code == platform::kErrorServiceNotActive) return std::nullopt;
  return ErrorWithSystemText(platform, 190, code);
}

}  // namespace sentrel::client
