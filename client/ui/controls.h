// Making the main window's controls: each gets its objectName where it is made, labels get
// their input as buddy (so the input carries the label's name for screen readers and the label's
// mnemonic moves the focus to it), and drop-down lists get their entries with item data.
#ifndef CLIENT_UI_CONTROLS_H_
#define CLIENT_UI_CONTROLS_H_

#include <QString>
#include <functional>
#include <string>

#include "client/core/settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace sentrel::client {

QLabel* MakeLabel(QWidget* parent, const QString& name);
QLineEdit* MakeEdit(QWidget* parent, const QString& name, QLabel* label);
QCheckBox* MakeCheck(QWidget* parent, const QString& name);
QPushButton* MakeButton(QWidget* parent, const QString& name);
QGroupBox* MakeFrame(QWidget* parent, const QString& name);
// A list filled with the entries of `list` (texts of the current language, numbers as data).
QComboBox* MakeList(QWidget* parent, const QString& name, const ChoiceList& list, QLabel* label);

// Sets the texts of the entries again (after the language changed).
void ApplyListTexts(QComboBox* combo, const ChoiceList& list);
// Selects the entry of the record's choice without running the list's change handlers.
void ShowChoice(QComboBox* combo, const Choice& choice);
// Sets a box's text without running its change handlers; keeps the cursor when nothing changes.
void ShowText(QLineEdit* edit, const QString& text);
void ShowCheck(QCheckBox* box, bool ticked);

// Binds a control to a field of the settings record: every change of the control goes into the
// field at once; `after` (when given) runs after each change.
void BindFlag(QCheckBox* box, Flag* flag, std::function<void()> after = {});
void BindChoice(QComboBox* combo, Choice* choice, std::function<void()> after = {});
void BindText(QLineEdit* edit, std::u16string* text);

// Caption and tool tip from message numbers (no tool tip for -1).
void SetCaption(QLabel* label, int caption, int tip = -1);
void SetCaption(QCheckBox* box, int caption, int tip = -1);
void SetCaption(QPushButton* button, int caption, int tip = -1);
void SetCaption(QGroupBox* frame, int caption);
void SetTip(QWidget* widget, int tip);

}  // namespace sentrel::client

#endif  // CLIENT_UI_CONTROLS_H_
