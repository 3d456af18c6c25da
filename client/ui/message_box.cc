#include "client/ui/message_box.h"

#include <QPushButton>

#include "client/ui/qt_text.h"

namespace sentrel::client {
namespace {

QMessageBox::Icon IconOf(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kNone:
      return QMessageBox::NoIcon;
    case MessageIcon::kInformation:
      return QMessageBox::Information;
    case MessageIcon::kWarning:
      return QMessageBox::Warning;
    case MessageIcon::kCritical:
      return QMessageBox::Critical;
    case MessageIcon::kQuestion:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const UserMessage& message,
                                            QMessageBox::StandardButtons buttons) {
  QString text = ToQString(message.text);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  auto box = std::make_unique<QMessageBox>(
      IconOf(message.icon), QString::fromUtf8(kApplicationTitle), text, buttons, parent);
  box->setObjectName(QStringLiteral("msgBox"));
  box->setTextFormat(Qt::PlainText);
  box->setWindowModality(Qt::ApplicationModal);
  if (buttons.testFlag(QMessageBox::Ok)) box->setDefaultButton(QMessageBox::Ok);
  if (buttons.testFlag(QMessageBox::Cancel)) box->setEscapeButton(QMessageBox::Cancel);
  // The buttons speak the client's language, as a Windows box speaks the system's.
  if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->setText(MsgPlain(310));
  if (QAbstractButton* cancel = box->button(QMessageBox::Cancel)) cancel->setText(MsgPlain(311));
  return box;
}

void ShowMessage(QWidget* parent, const UserMessage& message) {
  MakeMessageBox(parent, message)->exec();
}

bool AskOkCancel(QWidget* parent, const UserMessage& message) {
  return MakeMessageBox(parent, message, QMessageBox::Ok | QMessageBox::Cancel)->exec() ==
         QMessageBox::Ok;
}

}  // namespace sentrel::client
