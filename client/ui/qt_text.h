// Text at the window boundary: the core's UTF-16 strings become QString here and back, and
// message numbers become the texts of the current language.
#ifndef CLIENT_UI_QT_TEXT_H_
#define CLIENT_UI_QT_TEXT_H_

#include <QString>
#include <string>
#include <string_view>

namespace sentrel::client {

QString ToQString(std::u16string_view text);
std::u16string ToU16(const QString& text);

// The text of a message number in the current language, with its mnemonic mark (for captions).
QString Msg(int number);
// The same without the mark (for tool tips, accessible names and message boxes).
QString MsgPlain(int number);

}  // namespace sentrel::client

#endif  // CLIENT_UI_QT_TEXT_H_
