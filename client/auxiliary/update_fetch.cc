#include "client/auxiliary/update_fetch.h"

#include "client/i18n/messages.h"
#include "platform/text.h"

namespace sentrel::client {
namespace {

std::u16string HttpErrorText(platform::Result code) {
  switch (code) {
    case platform::kErrorHttpTimeout:
      return u"The update service did not answer in time";
    case platform::kErrorHttpInvalidUrl:
    case platform::kErrorHttpUnrecognizedScheme:
      return u"The address of the update service is not valid";
    case platform::kErrorHttpNameNotResolved:
      return u"The name of the update service could not be resolved";
    case platform::kErrorHttpCannotConnect:
      return u"No connection to the update service could be made";
    case platform::kErrorHttpConnectionError:
      return u"The connection to the update service was lost";
    case platform::kErrorHttpInvalidServerResponse:
      return u"The update service gave an answer that is not HTTP";
    case platform::kErrorHttpRedirectFailed:
      return u"The update service redirected the request to no usable address";
    case platform::kErrorHttpSecureFailure:
      return u"The secure connection to the update service failed";
    default:
      return u"The update service could not be reached";
  }
}

}  // namespace

UpdateFetch FetchUpdateDocument(platform::Http& http, std::u16string_view address,
                                uint32_t timeout_ms) {
  UpdateFetch fetch;
  platform::HttpResponse response;
  const platform::Result r = http.Get(address, timeout_ms, &response);
  if (r != platform::kSuccess) {
    fetch.error =
        HttpErrorText(r) + u" (error " + platform::Decimal(r) + u"): " + std::u16string(address);
    return fetch;
  }
  if (response.status != 200) {
    fetch.error = u"The update service answered with HTTP status " +
                  platform::Decimal(response.status) + u": " + std::u16string(address);
    return fetch;
  }
  fetch.loaded = true;
  fetch.document = std::move(response.body);
  return fetch;
}

UserMessage UpdateErrorMessage(std::u16string_view description) {
  return {MessageIcon::kCritical, GetMessageText(194) + u"\r\n" + std::u16string(description)};
}

std::u16string UnreadableDocumentText(std::u16string_view reason) {
  return u"The update document could not be read: " + std::u16string(reason);
}

}  // namespace sentrel::client
