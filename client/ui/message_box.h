// The client's message boxes: modal, titled with the application title, the icon the core asks
// for, plain text (line breaks kept), Enter on the default and Escape on the cancel button.
#ifndef CLIENT_UI_MESSAGE_BOX_H_
#define CLIENT_UI_MESSAGE_BOX_H_

#include <QMessageBox>
#include <memory>

#include "client/core/user_message.h"

class QWidget;

namespace sentrel::client {

// The title of every window and message box of the client.
inline constexpr char kApplicationTitle[] = "Sentrel Client";

// A box for `message` with the given buttons (the first is the default, Cancel the escape
// button), not yet shown. The screenshots use it to show exactly what the client shows.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const UserMessage& message,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// Shows the box modally and waits for it.
void ShowMessage(QWidget* parent, const UserMessage& message);
// An OK/Cancel question; true for OK.
bool AskOkCancel(QWidget* parent, const UserMessage& message);

}  // namespace sentrel::client

#endif  // CLIENT_UI_MESSAGE_BOX_H_
