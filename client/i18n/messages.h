// The client's texts by message number, in the current language (module Messages).
//
// The current language is one process-wide code ("EN", "DE", "JP", "ES", "FR"; compared
// case-sensitively), set at start from the user's settings and changed by the options window.
// Every caption, tool tip, list entry and message box text is looked up here when a window
// applies its texts, so a window shows the language that was current at that moment.
#ifndef CLIENT_I18N_MESSAGES_H_
#define CLIENT_I18N_MESSAGES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client/i18n/message_table.h"

namespace sentrel::client {

// The text of `number` in the current language: the table of that language when the program
// has one, else the English table. A number the table lacks gives "***MESSAGE_MISSING***" and
// the number in decimal, never an error.
std::u16string GetMessageText(int32_t number);
// The same lookup in a given language.
std::u16string GetMessageTextIn(std::u16string_view language, int32_t number);
// The text of `number` in one table (null: no table); the missing-message text when it has none.
std::u16string LookupMessage(const MessageTable* table, int32_t number);

void SetCurrentLanguage(std::u16string_view code);
std::u16string CurrentLanguage();

// Replaces %1, %2, ... in a message text by the arguments (a message of this program's own that
// names a value and a limit, for example). Other percent signs stay as they are.
std::u16string FormatMessageArgs(std::u16string_view text, const std::vector<std::u16string>& args);

// A caption without its mnemonic marks: "&Apply" -> "Apply", "&&" -> "&", "OK(&O)" -> "OK".
std::u16string StripMnemonic(std::u16string_view caption);

}  // namespace sentrel::client

#endif  // CLIENT_I18N_MESSAGES_H_
