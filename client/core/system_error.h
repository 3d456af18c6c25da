// The platform's own text of a result code, for message boxes that report a failure.
#ifndef CLIENT_CORE_SYSTEM_ERROR_H_
#define CLIENT_CORE_SYSTEM_ERROR_H_

#include <string>

#include "platform/platform.h"

namespace sentrel::client {

// The text of `code` from the system's message table (default language), without its line end,
// at most 500 characters; "Error N" when the system has no text for it.
std::u16string GetSystemErrorText(platform::Platform& platform, platform::Result code);

}  // namespace sentrel::client

#endif  // CLIENT_CORE_SYSTEM_ERROR_H_
