// Input rules of number boxes.
#ifndef CLIENT_UI_INPUT_RULES_H_
#define CLIENT_UI_INPUT_RULES_H_

#include <functional>

#include <QString>

class QLineEdit;

namespace sentrel::client {

// The box takes only the digits 0 to 9: any other key (or pasted text with anything else) is
// dropped with a beep; backspace and the other editing keys work as usual.
void AcceptDigitsOnly(QLineEdit* edit);

// Whenever the user's edit leaves text that is not a number (anything but digits; an empty box
// is left to the save's check), the box gets back the text `last_read` gives.
void RestoreWhenNotNumeric(QLineEdit* edit, std::function<QString()> last_read);

}  // namespace sentrel::client

#endif  // CLIENT_UI_INPUT_RULES_H_
