// A user SID as the account text the event viewer shows: domain, a backslash, account name.
#ifndef SERVICE_RENDER_ACCOUNT_NAME_H_
#define SERVICE_RENDER_ACCOUNT_NAME_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "platform/accounts.h"

namespace sentrel {

// GetAccountName: looks the SID up on the local computer (room for 256 characters each for name
// and domain) and answers "DOMAIN\name", at most 511 characters. When the look-up fails the
// answer is the SID in its string form (S-1-5-21-...), as the event viewer shows an unknown
// account.
std::u16string GetAccountName(platform::Accounts& accounts, const uint8_t* sid, size_t sid_size);

// The account look-ups of one pass over a log: each SID is looked up once (LookupAccountSidW may
// ask a domain controller, which takes far longer than rendering a record) and its answer, a
// failure included, reused until Clear() at the end of the pass.
class AccountCache : public platform::Accounts {
 public:
  // Past this many SIDs in one pass, further SIDs are looked up each time.
  static constexpr size_t kMaxAccounts = 4096;

  // `accounts` must outlive the cache.
  explicit AccountCache(platform::Accounts& accounts) : accounts_(accounts) {}

  [[nodiscard]] platform::Result LookupSid(const uint8_t* sid, size_t sid_size, size_t name_chars,
                                           size_t domain_chars, std::u16string* name,
                                           std::u16string* domain) override;
  void Clear() { answers_.clear(); }
  size_t size() const { return answers_.size(); }

 private:
  struct Answer {
    platform::Result result;
    std::u16string name;
    std::u16string domain;
  };
  platform::Accounts& accounts_;
  // By the buffer sizes and the SID's bytes.
  std::unordered_map<std::string, Answer> answers_;
};

}  // namespace sentrel

#endif  // SERVICE_RENDER_ACCOUNT_NAME_H_
