// The Help menu's pages and the manual, opened with the shell's "open" verb. A failure becomes
// the box the user sees; success gives no box.
#ifndef CLIENT_AUXILIARY_HELP_LINKS_H_
#define CLIENT_AUXILIARY_HELP_LINKS_H_

#include <optional>
#include <string_view>

#include "client/auxiliary/web_addresses.h"
#include "client/core/user_message.h"
#include "platform/platform.h"

namespace sentrel::client {

// Opens an address; a shell result of 32 or less gives the critical box
// "Error " + result + " opening " + the address.
std::optional<UserMessage> OpenAddress(platform::Platform& platform, std::u16string_view address);
// Opens a page of the web site in the current language.
std::optional<UserMessage> OpenWebPage(platform::Platform& platform, WebPage page);
// The update check's download link: "Error " + result + " opening the more Information Website".
std::optional<UserMessage> OpenDownloadPage(platform::Platform& platform,
                                            std::u16string_view address);

// Opens the manual beside the client. When the shell answers 8 (out of memory), "explorer" with
// the manual's path is run instead; any other result of 32 or less (or explorer that does not
// start) gives "Error " + result + " opening the Manual".
std::optional<UserMessage> OpenManual(platform::Platform& platform);

}  // namespace sentrel::client

#endif  // CLIENT_AUXILIARY_HELP_LINKS_H_
