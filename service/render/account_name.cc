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

}  // namespace sentrel
