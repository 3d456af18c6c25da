// Loading the update document from the update service: one HTTP GET with a time-out, and the
// texts of the box a failed check shows.
#ifndef CLIENT_AUXILIARY_UPDATE_FETCH_H_
#define CLIENT_AUXILIARY_UPDATE_FETCH_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "client/core/user_message.h"
#include "platform/platform.h"

namespace sentrel::client {

// How long the whole request may take.
inline constexpr uint32_t kUpdateTimeoutMs = 15000;

struct UpdateFetch {
  bool loaded = false;
  std::string document;  // the answer's body, when loaded
  std::u16string error;  // what went wrong, when not
};

// GETs the document. Only an answer with status 200 counts as loaded. Blocks for up to
// `timeout_ms`; safe on any thread (it touches nothing but `http`).
UpdateFetch FetchUpdateDocument(platform::Http& http, std::u16string_view address,
                                uint32_t timeout_ms = kUpdateTimeoutMs);

// The box of a failed check: message 194, a line break, and the description (for a document that
// arrived but cannot be read, the parser's reason is part of it).
UserMessage UpdateErrorMessage(std::u16string_view description);
// The description of a document that the parser refused, with its reason.
std::u16string UnreadableDocumentText(std::u16string_view reason);

}  // namespace sentrel::client

#endif  // CLIENT_AUXILIARY_UPDATE_FETCH_H_
