#include "client/core/system_error.h"

#include "client/core/registry.h"
#include "platform/text.h"

namespace sentrel::client {

std::u16string GetSystemErrorText(platform::Platform& platform, platform::Result code) {
  constexpr size_t kMaxChars = 500;
  std::u16string text;
  const platform::Result r = platform.message_library().Format(
      platform::kFormatMessageFromSystem | platform::kFormatMessageIgnoreInserts |
          platform::kFormatMessageAllocateBuffer,
      nullptr, code, 0, nullptr, 0, 0, &text);
  if (r != platform::kSuccess) return u"Error " + platform::Decimal(code);
  if (text.size() > kMaxChars) text.resize(kMaxChars);
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ')) {
    text.pop_back();
  }
  return text;
}

}  // namespace sentrel::client
