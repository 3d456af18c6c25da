// A message box the core asks the windows to show: its icon and its whole text, already in the
// current language. The core never shows a window itself.
#ifndef CLIENT_CORE_USER_MESSAGE_H_
#define CLIENT_CORE_USER_MESSAGE_H_

#include <string>

namespace sentrel::client {

enum class MessageIcon { kNone, kInformation, kWarning, kCritical, kQuestion };

struct UserMessage {
  MessageIcon icon = MessageIcon::kNone;
  std::u16string text;
};

}  // namespace sentrel::client

#endif  // CLIENT_CORE_USER_MESSAGE_H_
