#include "client/ui/qt_text.h"

#include "client/i18n/messages.h"

namespace sentrel::client {

QString ToQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string ToU16(const QString& text) { return text.toStdU16String(); }

QString Msg(int number) { return ToQString(GetMessageText(number)); }

QString MsgPlain(int number) { return ToQString(StripMnemonic(GetMessageText(number))); }

}  // namespace sentrel::client
