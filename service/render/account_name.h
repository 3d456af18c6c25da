// A user SID as the account text the event viewer shows: domain, a backslash, account name.
#ifndef SERVICE_RENDER_ACCOUNT_NAME_H_
#define SERVICE_RENDER_ACCOUNT_NAME_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/accounts.h"

namespace sentrel {

// GetAccountName: looks the SID up on the local computer (room for 256 characters each for name
// and domain) and answers "DOMAIN\name", at most 511 characters. When the look-up fails the
// answer is the SID in its string form (S-1-5-21-...), as the event viewer shows an unknown
// account.
std::u16string GetAccountName(platform::Accounts& accounts, const uint8_t* sid, size_t sid_size);

}  // namespace sentrel

#endif  // SERVICE_RENDER_ACCOUNT_NAME_H_
