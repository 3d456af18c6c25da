#include "client/ruleeditor/window/frm_advanced.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>

#include "client/ui/qt_text.h"

namespace sentrel::client {
namespace {

// Event IDs and categories: digits only, at most 65535 (a record's fields are 16-bit, so a larger
// criterion could never match). Empty is allowed: no criterion.
class RuleNumberValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    if (input.isEmpty()) return Acceptable;
    const std::optional<uint32_t> value = RuleNumberValue(input.toStdU16String());
    if (input.front() == QLatin1Char('-') || !value || *value > kMaxRuleNumber) return Invalid;
    return Acceptable;
  }
};

void AcceptRuleNumbers(QLineEdit* edit) {
  // No length limit: a stored number of any size must show whole (the validator still refuses
  // typing one above 65535).
  edit->setValidator(new RuleNumberValidator(edit));
  QObject::connect(edit, &QLineEdit::inputRejected, edit, [] { QApplication::beep(); });
}

// Drops typed characters, so that a list's search by typing cannot choose an entry (in cbNumber
// that would move the rule); the arrow keys still work.
class NoTypingFilter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const QString text = static_cast<QKeyEvent*>(event)->text();
      if (!text.isEmpty() && text.front() >= QChar(32)) return true;
    }
    return QObject::eventFilter(watched, event);
  }
};

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

}  // namespace

std::u16string EventSourcesPath(ClientLog log) {
  return u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\" + std::u16string(InfoOf(log).key_name);
}

FrmAdvanced::FrmAdvanced(ClientSession& session, FilterRuleStore& store, ClientLog log,
                         QWidget* parent)
    : QDialog(parent), session_(session), store_(store), log_(log) {
  setObjectName(QStringLiteral("frmAdvanced"));
  CreateControls();
  InitiateLanguageSettings();
  LayOutControls();
  grid_.Load(store_.rules(log_));
  FillGrid();
  FillNumberList();
  for (const RuleListEntry& entry : EventTypeEntries()) {
    type_->addItem(ToQString(entry.text), ToQString(entry.code));
  }
  scroll_->setRange(0, 2);
  scroll_->setValue(1);
  EnableDetails(false);
  FillEventSources();
  delete_->setEnabled(false);
  ConnectControls();
}

void FrmAdvanced::CreateControls() {
  grid_widget_ = Named(new QTableWidget(0, 7, this), "MSFlexGridFR");
  grid_widget_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_widget_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_widget_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_widget_->setContextMenuPolicy(Qt::CustomContextMenu);
  grid_widget_->verticalHeader()->hide();
  grid_widget_->horizontalHeader()->setStretchLastSection(true);
  // Whole rows are selected, so highlighted header sections would turn every header bold.
  grid_widget_->horizontalHeader()->setHighlightSections(false);
  grid_widget_->setWordWrap(false);

  detail_frame_ = Named(new QGroupBox(this), "frmAdvDetail");
  source_label_ = Named(new QLabel(detail_frame_), "lblFREventSource");
  source_ = Named(new QComboBox(detail_frame_), "cbFREventSource");
  source_->setEditable(true);
  source_->setInsertPolicy(QComboBox::NoInsert);
  source_->lineEdit()->setMaxLength(static_cast<int>(kMaxRuleTextChars));
  id_label_ = Named(new QLabel(detail_frame_), "lblEventID");
  id_ = Named(new QLineEdit(detail_frame_), "txtEventID");
  AcceptRuleNumbers(id_);
  type_label_ = Named(new QLabel(detail_frame_), "lblEventType");
  type_ = Named(new QComboBox(detail_frame_), "cbEventType");
  type_->installEventFilter(new NoTypingFilter(type_));
  category_label_ = Named(new QLabel(detail_frame_), "lblEventCategory");
  category_ = Named(new QLineEdit(detail_frame_), "txtEventCategory");
  AcceptRuleNumbers(category_);
  user_label_ = Named(new QLabel(detail_frame_), "lblEventUser");
  user_ = Named(new QLineEdit(detail_frame_), "txtEventUser");
  user_->setMaxLength(static_cast<int>(kMaxRuleTextChars));
  source_label_->setBuddy(source_);
  id_label_->setBuddy(id_);
  type_label_->setBuddy(type_);
  category_label_->setBuddy(category_);
  user_label_->setBuddy(user_);

  action_frame_ = Named(new QGroupBox(this), "frmAdvAction");
  action_ = Named(new QComboBox(action_frame_), "cbAction");
  number_frame_ = Named(new QGroupBox(this), "frmNumber");
  number_ = Named(new QComboBox(number_frame_), "cbNumber");
  number_->installEventFilter(new NoTypingFilter(number_));
  scroll_ = Named(new QScrollBar(Qt::Vertical, number_frame_), "vscNumber");
  scroll_->setSingleStep(1);
  scroll_->setPageStep(1);

  ok_ = Named(new QPushButton(this), "cmdOK");
  cancel_ = Named(new QPushButton(this), "cmdCancel");
  reset_ = Named(new QPushButton(this), "cmdReset");
  // Enter must not confirm the whole rule set while the user types into a field.
  for (QPushButton* button : {ok_, cancel_, reset_}) button->setAutoDefault(false);

  edit_menu_ = Named(new QMenu(this), "mnuEdit");
  insert_ = Named(edit_menu_->addAction(QString()), "mnuInsertNew");
  delete_ = Named(edit_menu_->addAction(QString()), "mnuDeleteSelRule");
}

void FrmAdvanced::LayOutControls() {
  auto* details = new QGridLayout(detail_frame_);
  int row = 0;
  for (auto [label, field] : {std::pair<QLabel*, QWidget*>{source_label_, source_},
                              {id_label_, id_},
                              {type_label_, type_},
                              {category_label_, category_},
                              {user_label_, user_}}) {
    details->addWidget(label, row, 0);
    details->addWidget(field, row, 1);
    ++row;
  }
  details->setColumnStretch(1, 1);

  auto* action = new QVBoxLayout(action_frame_);
  action->addWidget(action_);
  auto* number = new QHBoxLayout(number_frame_);
  number->addWidget(number_, 1);
  scroll_->setFixedSize(scroll_->sizeHint().width(), number_->sizeHint().height() + 8);
  number->addWidget(scroll_);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  buttons->addWidget(reset_);
  auto* side = new QVBoxLayout;
  side->addWidget(action_frame_);
  side->addWidget(number_frame_);
  side->addStretch(1);
  side->addLayout(buttons);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(detail_frame_, 3);
  bottom->addLayout(side, 2);
  auto* main = new QVBoxLayout(this);
  main->addWidget(grid_widget_, 1);
  main->addLayout(bottom);
  resize(780, 520);
}

void FrmAdvanced::ConnectControls() {
  // A rule is shown when the user selects its row (a click, or the keyboard); the current cell
  // the grid sets by itself when it gets the focus selects nothing and shows nothing.
  connect(grid_widget_, &QTableWidget::itemSelectionChanged, this, [this] {
    const QList<QTableWidgetItem*> selected = grid_widget_->selectedItems();
    if (!selected.isEmpty()) OnRowChosen(selected.front()->row());
  });
  connect(grid_widget_, &QTableWidget::cellClicked, this, [this](int row) { OnRowChosen(row); });
  connect(grid_widget_, &QWidget::customContextMenuRequested, this, &FrmAdvanced::OnContextMenu);
  connect(insert_, &QAction::triggered, this, &FrmAdvanced::OnInsert);
  connect(delete_, &QAction::triggered, this, &FrmAdvanced::OnDelete);

  connect(action_, &QComboBox::activated, this, [this](int index) {
    EditField(RuleField::kAction, action_->itemData(index).toString());
  });
  connect(source_, &QComboBox::activated, this,
          [this](int index) { EditField(RuleField::kEventSource, source_->itemText(index)); });
  // Every change of the source text outside ShowRule, not only typed ones: the list completes a
  // typed name in place and may replace it by the registered name when the user leaves the box,
  // and the rule must hold the name the box shows.
  connect(source_->lineEdit(), &QLineEdit::textChanged, this,
          [this](const QString& text) { EditField(RuleField::kEventSource, text); });
  connect(id_, &QLineEdit::textEdited, this,
          [this](const QString& text) { EditField(RuleField::kEventID, text); });
  connect(type_, &QComboBox::activated, this, [this](int index) {
    EditField(RuleField::kEventType, type_->itemData(index).toString());
  });
  connect(category_, &QLineEdit::textEdited, this,
          [this](const QString& text) { EditField(RuleField::kEventCategory, text); });
  connect(user_, &QLineEdit::textEdited, this,
          [this](const QString& text) { EditField(RuleField::kUserName, text); });
  connect(number_, &QComboBox::activated, this, &FrmAdvanced::OnNumberChosen);
  connect(scroll_, &QScrollBar::valueChanged, this, &FrmAdvanced::OnScroll);

  connect(ok_, &QPushButton::clicked, this, &FrmAdvanced::OnOk);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(reset_, &QPushButton::clicked, this, &FrmAdvanced::OnReset);
}

void FrmAdvanced::InitiateLanguageSettings() {
  ApplyLanguageFont(this);
  setWindowTitle(Msg(300));
  detail_frame_->setTitle(Msg(301));
  source_label_->setText(Msg(302));
  id_label_->setText(Msg(303));
  type_label_->setText(Msg(304));
  category_label_->setText(Msg(305));
  user_label_->setText(Msg(316));
  action_frame_->setTitle(Msg(306));
  number_frame_->setTitle(Msg(309));
  ok_->setText(Msg(310));
  cancel_->setText(Msg(311));
  reset_->setText(Msg(312));
  edit_menu_->setTitle(Msg(313));
  insert_->setText(Msg(314));
  delete_->setText(Msg(315));
  action_->clear();
  for (const RuleListEntry& entry : ActionEntries()) {
    action_->addItem(Msg(entry.message), ToQString(entry.code));
  }
  InitiateGridCols();
  // Again while the window is open: the action names in the grid's tool tips, and the shown
  // rule's action in the refilled list (set by the window, so the rule is not edited).
  FillGrid();
  if (grid_.shown()) {
    showing_ = true;
    action_->setCurrentIndex(ActionIndexOf(grid_.row(grid_.current())[RuleField::kAction]));
    showing_ = false;
    SelectRow(grid_.current());
  }
}

void FrmAdvanced::InitiateGridCols() {
  grid_widget_->setHorizontalHeaderLabels(
      {Msg(309), Msg(306), Msg(302), Msg(303), Msg(304), Msg(305), Msg(316)});
  // Rows as high as one line of the window's font; each column as wide as its header (in the
  // window's language and font), the source names wider.
  grid_widget_->verticalHeader()->setDefaultSectionSize(grid_widget_->fontMetrics().height() + 8);
  QHeaderView* header = grid_widget_->horizontalHeader();
  for (int column = 0; column < grid_widget_->columnCount(); ++column) {
    const QString text = grid_widget_->horizontalHeaderItem(column)->text();
    int width = header->fontMetrics().horizontalAdvance(text) + 24;
    if (column == 2) width = std::max(width, 180);
    header->resizeSection(column, width);
  }
}

void FrmAdvanced::FillRow(int n) {
  const FilterRuleTexts& rule = grid_.row(n);
  auto set = [&](int column, const QString& text) {
    QTableWidgetItem* item = grid_widget_->item(n - 1, column);
    if (!item) {
      item = new QTableWidgetItem;
      grid_widget_->setItem(n - 1, column, item);
    }
    item->setText(text);
  };
  set(0, QString::number(n));
  for (size_t i = 0; i < kRuleFieldCount; ++i) {
    set(static_cast<int>(i) + 1, ToQString(rule[kRuleFields[i]]));
  }
  // The action column shows the code; its tool tip names the action.
  const std::u16string& action = rule[RuleField::kAction];
  const int entry = ActionIndexOf(action);
  grid_widget_->item(n - 1, 1)->setToolTip(
      ActionEntries()[static_cast<size_t>(entry)].code == action ? action_->itemText(entry)
                                                                 : QString());
}

void FrmAdvanced::FillGrid() {
  showing_ = true;
  grid_widget_->setRowCount(grid_.count());
  for (int n = 1; n <= grid_.count(); ++n) FillRow(n);
  showing_ = false;
}

void FrmAdvanced::FillNumberList() {
  showing_ = true;
  number_->clear();
  for (int n = 1; n <= grid_.count(); ++n) number_->addItem(QString::number(n));
  showing_ = false;
}

void FrmAdvanced::FillEventSources() {
  const auto names =
      session_.registry().EnumRegSubkeys(session_.connection().target(), EventSourcesPath(log_));
  if (!names) return;
  for (const std::u16string& name : *names) source_->addItem(ToQString(name));
}

void FrmAdvanced::EnableDetails(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{source_, id_, type_, category_, user_, action_,
                                                    number_, scroll_}) {
    w->setEnabled(enabled);
  }
  if (enabled) return;
  // Disabled controls show no rule, so they cannot be taken for the values of a selected row.
  showing_ = true;
  source_->setEditText(QString());
  for (QLineEdit* edit : {id_, category_, user_}) edit->clear();
  for (QComboBox* list : {action_, type_, number_}) list->setCurrentIndex(-1);
  showing_ = false;
}

void FrmAdvanced::SelectRow(int n) {
  showing_ = true;
  if (n > 0) {
    grid_widget_->selectRow(n - 1);
  } else {
    grid_widget_->clearSelection();
    grid_widget_->setCurrentCell(-1, -1);
  }
  showing_ = false;
}

void FrmAdvanced::ShowNoRule() {
  SelectRow(0);
  EnableDetails(false);
  delete_->setEnabled(false);
}

void FrmAdvanced::ShowRule(int n) {
  if (!grid_.Show(n)) return;
  const FilterRuleTexts& rule = grid_.row(n);
  showing_ = true;
  action_->setCurrentIndex(ActionIndexOf(rule[RuleField::kAction]));
  source_->setEditText(ToQString(rule[RuleField::kEventSource]));
  id_->setText(ToQString(rule[RuleField::kEventID]));
  type_->setCurrentIndex(EventTypeIndexOf(rule[RuleField::kEventType]));
  category_->setText(ToQString(rule[RuleField::kEventCategory]));
  user_->setText(ToQString(rule[RuleField::kUserName]));
  number_->setCurrentIndex(n - 1);
  showing_ = false;
  EnableDetails(true);
  SelectRow(n);
  delete_->setEnabled(true);
}

void FrmAdvanced::EditField(RuleField field, const QString& text) {
  if (showing_ || !grid_.Edit(field, text.toStdU16String())) return;
  FillRow(grid_.current());
  SelectRow(grid_.current());
}

void FrmAdvanced::OnRowChosen(int row) {
  if (showing_ || row < 0) return;
  ShowRule(row + 1);
}

void FrmAdvanced::OnContextMenu(const QPoint& pos) {
  edit_menu_->popup(grid_widget_->viewport()->mapToGlobal(pos));
}

void FrmAdvanced::OnInsert() {
  grid_.Insert();
  FillGrid();
  FillNumberList();
  ShowNoRule();
}

void FrmAdvanced::OnDelete() {
  if (!grid_.DeleteShown()) return;
  FillGrid();
  FillNumberList();
  if (grid_.shown()) {
    ShowRule(grid_.current());
    return;
  }
  ShowNoRule();
}

void FrmAdvanced::OnNumberChosen(int index) {
  if (showing_ || !grid_.MoveShownTo(index + 1)) return;
  FillGrid();
  ShowRule(grid_.current());
}

void FrmAdvanced::OnScroll(int value) {
  if (showing_ || value == 1) return;
  scroll_->setEnabled(false);
  const bool moved = value == 0 ? grid_.MoveShownUp() : grid_.MoveShownDown();
  if (moved) {
    FillGrid();
    ShowRule(grid_.current());
  }
  showing_ = true;
  scroll_->setValue(1);
  showing_ = false;
  scroll_->setEnabled(grid_.shown());
}

void FrmAdvanced::OnOk() {
  store_.Confirm(log_, grid_.rules());
  accept();
}

void FrmAdvanced::OnReset() {
  grid_.Load(store_.rules(log_));
  InitiateGridCols();
  FillGrid();
  FillNumberList();
  ShowNoRule();
}

}  // namespace sentrel::client
