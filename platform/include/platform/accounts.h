// Accounts (LookupAccountSidW) and environment strings (ExpandEnvironmentStringsW).
//
// Blocking: LookupSid may ask a domain controller on Windows for the SID of a domain account
// (seconds when none answers); the emulated computer reads its own table. Expand returns at
// once. Threads: any thread.
#ifndef PLATFORM_ACCOUNTS_H_
#define PLATFORM_ACCOUNTS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace platform {

class Accounts {
 public:
  virtual ~Accounts() = default;

  // LookupAccountSidW on the local computer. `name_chars` and `domain_chars` are the caller's
  // buffers in characters, terminator included (kErrorInsufficientBuffer when one is too small).
  // kErrorNoneMapped for an unknown SID.
  [[nodiscard]] virtual Result LookupSid(const uint8_t* sid, size_t sid_size, size_t name_chars,
                                         size_t domain_chars, std::u16string* name,
                                         std::u16string* domain) = 0;
};

class Environment {
 public:
  virtual ~Environment() = default;

  // ExpandEnvironmentStringsW: %NAME% replaced by the variable's value; unknown names stay as
  // written. Returns the whole expansion; callers apply their own buffer limits to it.
  virtual std::u16string Expand(std::u16string_view text) = 0;
};

}  // namespace platform

#endif  // PLATFORM_ACCOUNTS_H_
