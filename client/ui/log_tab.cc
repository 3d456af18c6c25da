#include "client/ui/log_tab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/core/service_defaults.h"
#include "client/ui/controls.h"
#include "client/ui/input_rules.h"
#include "client/ui/qt_text.h"

namespace sentrel::client {
namespace {

// The type boxes in the order of their bits (kEventTypeBits), with their name part and caption.
struct TypeBox {
  const char* name;
  int caption;
};
constexpr TypeBox kTypeBoxes[] = {{"Success", 27},     {"Error", 28},        {"Warning", 29},
                                  {"Information", 30}, {"AuditSuccess", 31}, {"AuditFailure", 32}};

}  // namespace

LogTab::LogTab(const LogInfo& info, LogSettings* settings, QWidget* parent)
    : QWidget(parent), info_(info), settings_(settings) {
  setObjectName(QStringLiteral("tab") + ToQString(info.word));
  MakeControls();
  LayOut();
  Bind();
  ApplyTexts();
}

QString LogTab::Name(const char* prefix, const char* suffix) const {
  return QString::fromLatin1(prefix) + ToQString(info_.word) + QString::fromLatin1(suffix);
}

void LogTab::MakeControls() {
  chkLog_ = MakeCheck(this, Name("chkLog"));
  frmsetFilter_ = MakeFrame(this, Name("frmsetFilter"));
  for (size_t i = 0; i < chkType_.size(); ++i) {
    chkType_[i] = MakeCheck(frmsetFilter_, Name("chk", kTypeBoxes[i].name));
  }
  lblFacility_ = MakeLabel(this, Name("lblFacility"));
  cboxFacility_ = MakeList(this, Name("cbox", "Facility"), FacilityList(), lblFacility_);
  lblnLastRecord_ = MakeLabel(this, Name("lblnLastRecord"));
  txtnLastRecord_ = MakeEdit(this, Name("txtnLastRecord"), lblnLastRecord_);
  txtnLastRecord_->setMaxLength(10);
  RestoreWhenNotNumeric(txtnLastRecord_,
                        [this] { return ToQString(settings_->last_record.shown); });
  chkReportTruncatedLog_ = MakeCheck(this, Name("chkReportTruncatedLog"));
  frmFilterRules_ = MakeFrame(this, Name("frmFilterRules"));
  chkFilterRules_ = MakeCheck(frmFilterRules_, Name("chk", "FilterRules"));
  cmdAdvanced_ = MakeButton(frmFilterRules_, Name("cmdAdvanced"));

  frmsetSMTP_ = MakeFrame(this, Name("frmsetSMTP"));
  QWidget* f = frmsetSMTP_;
  chkEnabledMailDelivery_ = MakeCheck(f, Name("chkEnabledMailDelivery"));
  lblMailServer_ = MakeLabel(f, Name("lblMailServer"));
  txtMailServer_ = MakeEdit(f, Name("txtMailServer"), lblMailServer_);
  txtMailServer_->setPlaceholderText(ToQString(kServiceDefaultSmtpServer));
  lblMailSender_ = MakeLabel(f, Name("lblMailSender"));
  txtMailSender_ = MakeEdit(f, Name("txtMailSender"), lblMailSender_);
  txtMailSender_->setPlaceholderText(ToQString(kServiceDefaultMailbox));
  lblMailRecipient_ = MakeLabel(f, Name("lblMailRecipient"));
  txtMailRecipient_ = MakeEdit(f, Name("txtMailRecipient"), lblMailRecipient_);
  txtMailRecipient_->setPlaceholderText(ToQString(kServiceDefaultMailbox));
  lblMailSubject_ = MakeLabel(f, Name("lblMailSubject"));
  txtMailSubject_ = MakeEdit(f, Name("txtMailSubject"), lblMailSubject_);
  lblEmailEncoding_ = MakeLabel(f, Name("lblEmailEncoding"));
  cbEmailEncoding_ = MakeList(f, Name("cbEmailEncoding"), EncodingList(), lblEmailEncoding_);
  if (info_.id != ClientLog::kSystem) cmdCPSystem_ = MakeButton(f, Name("cmdCPSystem"));
}

void LogTab::LayOut() {
  auto* types = new QGridLayout(frmsetFilter_);
  for (size_t i = 0; i < chkType_.size(); ++i) {
    types->addWidget(chkType_[i], static_cast<int>(i / 2), static_cast<int>(i % 2));
  }

  auto* numbers = new QGridLayout;
  numbers->addWidget(lblFacility_, 0, 0);
  numbers->addWidget(cboxFacility_, 0, 1);
  numbers->addWidget(lblnLastRecord_, 1, 0);
  numbers->addWidget(txtnLastRecord_, 1, 1);
  numbers->setColumnStretch(1, 1);

  auto* rules = new QHBoxLayout(frmFilterRules_);
  rules->addWidget(chkFilterRules_);
  rules->addStretch();
  rules->addWidget(cmdAdvanced_);

  auto* left = new QVBoxLayout;
  left->addWidget(chkLog_);
  left->addWidget(frmsetFilter_);
  left->addLayout(numbers);
  left->addWidget(chkReportTruncatedLog_);
  left->addWidget(frmFilterRules_);
  left->addStretch();

  auto* mail = new QGridLayout(frmsetSMTP_);
  mail->addWidget(chkEnabledMailDelivery_, 0, 0, 1, 2);
  const std::pair<QLabel*, QWidget*> rows[] = {{lblMailServer_, txtMailServer_},
                                               {lblMailSender_, txtMailSender_},
                                               {lblMailRecipient_, txtMailRecipient_},
                                               {lblMailSubject_, txtMailSubject_},
                                               {lblEmailEncoding_, cbEmailEncoding_}};
  int row = 1;
  for (const auto& [label, input] : rows) {
    mail->addWidget(label, row, 0);
    mail->addWidget(input, row++, 1);
  }
  if (cmdCPSystem_) mail->addWidget(cmdCPSystem_, row++, 0, 1, 2, Qt::AlignLeft);
  mail->setColumnStretch(1, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(frmsetSMTP_);
  right->addStretch();

  // The mail column gets the larger share: its boxes hold host names and mail addresses.
  auto* page = new QHBoxLayout(this);
  page->addLayout(left, 2);
  page->addLayout(right, 3);
}

void LogTab::Bind() {
  LogSettings* s = settings_;
  connect(chkLog_, &QCheckBox::toggled, this, [this](bool on) {
    settings_->types.SetLogging(on);
    for (size_t i = 0; i < chkType_.size(); ++i) {
      ShowCheck(chkType_[i], (settings_->types.bits & kEventTypeBits[i]) != 0);
    }
    ApplyEnablingRules();
  });
  for (size_t i = 0; i < chkType_.size(); ++i) {
    connect(chkType_[i], &QCheckBox::toggled, this, [s, i](bool on) {
      s->types.bits =
          on ? (s->types.bits | kEventTypeBits[i]) : (s->types.bits & ~kEventTypeBits[i]);
    });
  }
  BindChoice(cboxFacility_, &s->facility);
  // The box's text as it is now, not the signal's: a restored number (input_rules.h) arrives
  // before the change notice of the text it replaced.
  connect(txtnLastRecord_, &QLineEdit::textChanged, this,
          [this, s] { s->last_record.text = ToU16(txtnLastRecord_->text()); });
  BindFlag(chkReportTruncatedLog_, &s->report_truncated);
  connect(chkFilterRules_, &QCheckBox::toggled, this, [this](bool on) {
    settings_->filter_rules = on;
    ApplyEnablingRules();
  });
  connect(cmdAdvanced_, &QPushButton::clicked, this, [this] { emit AdvancedRequested(info_.id); });
  BindFlag(chkEnabledMailDelivery_, &s->mail_delivery);
  BindText(txtMailServer_, &s->smtp_server);
  BindText(txtMailSender_, &s->smtp_sender);
  BindText(txtMailRecipient_, &s->smtp_recipient);
  BindText(txtMailSubject_, &s->smtp_subject);
  BindChoice(cbEmailEncoding_, &s->mail_encoding);
  if (cmdCPSystem_) {
    connect(cmdCPSystem_, &QPushButton::clicked, this,
            [this] { emit CopyFromSystemRequested(info_.id); });
  }
}

void LogTab::ShowSettings() {
  const LogSettings& s = *settings_;
  ShowCheck(chkLog_, s.types.logging);
  for (size_t i = 0; i < chkType_.size(); ++i) {
    ShowCheck(chkType_[i], (s.types.bits & kEventTypeBits[i]) != 0);
  }
  ShowChoice(cboxFacility_, s.facility);
  ShowText(txtnLastRecord_, ToQString(s.last_record.text));
  ShowCheck(chkReportTruncatedLog_, s.report_truncated.ticked);
  ShowCheck(chkFilterRules_, s.filter_rules);
  ShowCheck(chkEnabledMailDelivery_, s.mail_delivery.ticked);
  ShowText(txtMailServer_, ToQString(s.smtp_server));
  ShowText(txtMailSender_, ToQString(s.smtp_sender));
  ShowText(txtMailRecipient_, ToQString(s.smtp_recipient));
  ShowText(txtMailSubject_, ToQString(s.smtp_subject));
  ShowChoice(cbEmailEncoding_, s.mail_encoding);
  ApplyEnablingRules();
}

void LogTab::ApplyEnablingRules() {
  // A disabled frame disables what lies in it: the type boxes, and the rules box with Advanced.
  const bool logging = settings_->types.logging;
  frmsetFilter_->setEnabled(logging);
  frmFilterRules_->setEnabled(logging);
  cmdAdvanced_->setEnabled(settings_->filter_rules);
}

void LogTab::ApplyTexts() {
  SetCaption(chkLog_, 21, info_.logging_tip_message);
  SetCaption(frmsetFilter_, 26);
  for (size_t i = 0; i < chkType_.size(); ++i) SetCaption(chkType_[i], kTypeBoxes[i].caption);
  SetCaption(lblFacility_, 22, 23);
  SetCaption(lblnLastRecord_, 24, 25);
  SetCaption(chkReportTruncatedLog_, 20, 46);
  SetCaption(frmFilterRules_, 33);
  SetCaption(chkFilterRules_, 34);
  SetCaption(cmdAdvanced_, 35);
  SetCaption(frmsetSMTP_, 36);
  SetCaption(chkEnabledMailDelivery_, 37);
  SetCaption(lblMailServer_, 38, 39);
  SetCaption(lblMailSender_, 40, 41);
  SetCaption(lblMailRecipient_, 42, 43);
  SetCaption(lblMailSubject_, 44, 45);
  SetCaption(lblEmailEncoding_, 10);
  if (cmdCPSystem_) SetCaption(cmdCPSystem_, 2001);
}

}  // namespace sentrel::client
