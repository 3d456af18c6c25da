#include "client/ui/input_rules.h"

#include <QApplication>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace sentrel::client {

void AcceptDigitsOnly(QLineEdit* edit) {
  edit->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
  QObject::connect(edit, &QLineEdit::inputRejected, edit, [] { QApplication::beep(); });
}

void RestoreWhenNotNumeric(QLineEdit* edit, std::function<QString()> last_read) {
  QObject::connect(edit, &QLineEdit::textEdited, edit,
                   [edit, last_read = std::move(last_read)](const QString& text) {
                     for (QChar c : text) {
                       if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
                         edit->setText(last_read());
                         return;
                       }
                     }
                   });
}

}  // namespace sentrel::client
