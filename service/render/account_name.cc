#include "service/render/account_name.h"

#include "platform/code_page.h"
#include "platform/event_record.h"

namespace sentrel {

std::u16string GetAccountName(platform::Accounts& accounts, const uint8_t* sid, size_t sid_size) {
  constexpr size_t kNameChars = 256;
  constexpr size_t kMaxAccountText = 511;
  std::u16string name, domain;
  if (accounts.LookupSid(sid, sid_size, kNameChars, kNameChars, &name, &domain) ==
      platform::kSuccess) {
    std::u16string text = domain + u"\\" + name;
    if (text.size() > kMaxAccountText) text.resize(kMaxAccountText);
    return text;
  }
  return platform::Utf8ToUtf16(platform::SidToString(sid, sid_size));
}

platform::Result AccountCache::LookupSid(const uint8_t* sid, size_t sid_size, size_t name_chars,
                                         size_t domain_chars, std::u16string* name,
                                         std::u16string* domain) {
  std::string key = std::to_string(name_chars) + ':' + std::to_string(domain_chars) + ':';
  if (sid) key.append(reinterpret_cast<const char*>(sid), sid_size);
  auto it = answers_.find(key);
  if (it == answers_.end()) {
    Answer answer;
    answer.result =
        accounts_.LookupSid(sid, sid_size, name_chars, domain_chars, &answer.name, &answer.domain);
    if (answers_.size() >= kMaxAccounts) {
      if (answer.result == platform::kSuccess) {
        *name = std::move(answer.name);
        *domain = std::move(answer.domain);
      }
      return answer.result;
    }
    it = answers_.emplace(std::move(key), std::move(answer)).first;
  }
  if (it->second.result == platform::kSuccess) {
    *name = it->second.name;
    *domain = it->second.domain;
  }
  return it->second.result;
}

}  // namespace sentrel
