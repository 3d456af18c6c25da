#include "client/ui/controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "client/ui/qt_text.h"

namespace sentrel::client {
namespace {

QString ItemText(const ListItem& item) {
  return item.message >= 0 ? MsgPlain(item.message) : ToQString(item.text);
}

// Texts of the registry hold at most 255 characters.
constexpr int kMaxTextLength = 255;

}  // namespace

QLabel* MakeLabel(QWidget* parent, const QString& name) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  return label;
}

QLineEdit* MakeEdit(QWidget* parent, const QString& name, QLabel* label) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setMaxLength(kMaxTextLength);
  if (label) label->setBuddy(edit);
  return edit;
}

QCheckBox* MakeCheck(QWidget* parent, const QString& name) {
  auto* box = new QCheckBox(parent);
  box->setObjectName(name);
  return box;
}

QPushButton* MakeButton(QWidget* parent, const QString& name) {
  auto* button = new QPushButton(parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

QGroupBox* MakeFrame(QWidget* parent, const QString& name) {
  auto* frame = new QGroupBox(parent);
  frame->setObjectName(name);
  return frame;
}

QComboBox* MakeList(QWidget* parent, const QString& name, const ChoiceList& list, QLabel* label) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  // Long entries (the compatibility modes) must not widen the window: the list shows them whole
  // when it opens.
  combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  combo->setMinimumContentsLength(8);
  for (const ListItem& item : list.items) combo->addItem(ItemText(item), item.data);
  if (label) label->setBuddy(combo);
  return combo;
}

void ApplyListTexts(QComboBox* combo, const ChoiceList& list) {
  for (int i = 0; i < combo->count() && i < static_cast<int>(list.items.size()); ++i) {
    combo->setItemText(i, ItemText(list.items[static_cast<size_t>(i)]));
  }
}

void ShowChoice(QComboBox* combo, const Choice& choice) {
  const QSignalBlocker blocker(combo);
  combo->setCurrentIndex(choice.index);
}

void ShowText(QLineEdit* edit, const QString& text) {
  if (edit->text() == text) return;
  const QSignalBlocker blocker(edit);
  edit->setText(text);
}

void ShowCheck(QCheckBox* box, bool ticked) {
  const QSignalBlocker blocker(box);
  box->setChecked(ticked);
}

void BindFlag(QCheckBox* box, Flag* flag, std::function<void()> after) {
  QObject::connect(box, &QCheckBox::toggled, box, [flag, after](bool on) {
    flag->ticked = on;
    if (after) after();
  });
}

void BindChoice(QComboBox* combo, Choice* choice, std::function<void()> after) {
  QObject::connect(combo, &QComboBox::currentIndexChanged, combo, [choice, after](int index) {
    if (index >= 0) choice->index = index;
    if (after) after();
  });
}

void BindText(QLineEdit* edit, std::u16string* text) {
  QObject::connect(edit, &QLineEdit::textChanged, edit,
                   [text](const QString& value) { *text = ToU16(value); });
}

void SetTip(QWidget* widget, int tip) {
  if (tip >= 0) widget->setToolTip(MsgPlain(tip));
}

void SetCaption(QLabel* label, int caption, int tip) {
  label->setText(Msg(caption));
  SetTip(label, tip);
  if (label->buddy()) SetTip(label->buddy(), tip);
}

void SetCaption(QCheckBox* box, int caption, int tip) {
  box->setText(Msg(caption));
  SetTip(box, tip);
}

void SetCaption(QPushButton* button, int caption, int tip) {
  button->setText(Msg(caption));
  SetTip(button, tip);
}

void SetCaption(QGroupBox* frame, int caption) { frame->setTitle(Msg(caption)); }

}  // namespace sentrel::client
