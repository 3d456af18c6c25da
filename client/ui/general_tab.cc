#include "client/ui/general_tab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/core/service_defaults.h"
#include "client/ui/controls.h"
#include "client/ui/input_rules.h"
#include "client/ui/qt_text.h"

namespace sentrel::client {

GeneralTab::GeneralTab(GlobalSettings* settings, QWidget* parent)
    : QWidget(parent), settings_(settings) {
  setObjectName(QStringLiteral("tabGeneral"));
  // Made in reading order, which is also the order of the focus chain.
  MakeServerControls();
  MakeBackupControls();
  MakeTimingControls();
  MakeFormatControls();
  MakeAdditionalControls();
  LayOut();
  Bind();
  ApplyTexts();
}

void GeneralTab::MakeServerControls() {
  lblSZTarget_ = MakeLabel(this, QStringLiteral("lblSZTarget"));
  txtSZTarget_ = MakeEdit(this, QStringLiteral("txtSZTarget"), lblSZTarget_);
  lblProtocollType_ = MakeLabel(this, QStringLiteral("lblProtocollType"));
  cbProtocolType_ =
      MakeList(this, QStringLiteral("cbProtocolType"), ProtocolList(), lblProtocollType_);
  lblOutputEncoding1_ = MakeLabel(this, QStringLiteral("lblOutputEncoding1"));
  cbiOutputEncoding1_ =
      MakeList(this, QStringLiteral("cbiOutputEncoding1"), EncodingList(), lblOutputEncoding1_);
}

void GeneralTab::MakeBackupControls() {
  frmsetBackupSyslogServer_ = MakeFrame(this, QStringLiteral("frmsetBackupSyslogServer"));
  QWidget* f = frmsetBackupSyslogServer_;
  chkEnableBackupSyslogServer_ = MakeCheck(f, QStringLiteral("chkEnableBackupSyslogServer"));
  txtszTarget2_ = MakeEdit(f, QStringLiteral("txtszTarget2"), nullptr);
  lblProtocollTypeBackup_ = MakeLabel(f, QStringLiteral("lblProtocollTypeBackup"));
  cbProtocolTypeBackup_ =
      MakeList(f, QStringLiteral("cbProtocolTypeBackup"), ProtocolList(), lblProtocollTypeBackup_);
  lblOutputEncoding2_ = MakeLabel(f, QStringLiteral("lblOutputEncoding2"));
  cbiOutputEncoding2_ =
      MakeList(f, QStringLiteral("cbiOutputEncoding2"), EncodingList(), lblOutputEncoding2_);
}

void GeneralTab::MakeTimingControls() {
  lblnSleep_ = MakeLabel(this, QStringLiteral("lblnSleep"));
  txtnSleep_ = MakeEdit(this, QStringLiteral("txtnSleep"), lblnSleep_);
  txtnSleep_->setMaxLength(10);
  AcceptDigitsOnly(txtnSleep_);
  lblPreventOverrunDelay_ = MakeLabel(this, QStringLiteral("lblPreventOverrunDelay"));
  cbPreventOverrunDelay_ = MakeList(this, QStringLiteral("cbPreventOverrunDelay"),
                                    OverrunDelayList(), lblPreventOverrunDelay_);
}

void GeneralTab::MakeFormatControls() {
  frmFormat_ = MakeFrame(this, QStringLiteral("frmFormat"));
  QWidget* f = frmFormat_;
  lblRFC3164Mode_ = MakeLabel(f, QStringLiteral("lblRFC3164Mode"));
  cbRFC3164Mode_ = MakeList(f, QStringLiteral("cbRFC3164Mode"), ModeList(), lblRFC3164Mode_);
  chkUseLegacy_ = MakeCheck(f, QStringLiteral("chkUseLegacy"));
  chkForwardBinaryData_ = MakeCheck(f, QStringLiteral("chkForwardBinaryData"));
  chkSingleEventEmails_ = MakeCheck(f, QStringLiteral("chkSingleEventEmails"));
  chkReplaceComputerName_ = MakeCheck(f, QStringLiteral("chkReplaceComputerName"));
  txtReplaceComputerName_ = MakeEdit(f, QStringLiteral("txtReplaceComputerName"), nullptr);
  txtReplaceComputerName_->setPlaceholderText(ToQString(kServiceDefaultReplacementName));
  cmdMorvane_ = MakeButton(f, QStringLiteral("cmdMorvane"));
}

void GeneralTab::MakeAdditionalControls() {
  frmsetAdditional_ = MakeFrame(this, QStringLiteral("frmsetAdditional"));
  QWidget* f = frmsetAdditional_;
  chkAddFacilityString_ = MakeCheck(f, QStringLiteral("chkAddFacilityString"));
  chkShowSyslogMsgNbr_ = MakeCheck(f, QStringLiteral("chkShowSyslogMsgNbr"));
  chkAddUserName_ = MakeCheck(f, QStringLiteral("chkAddUserName"));
  chkAddLogType_ = MakeCheck(f, QStringLiteral("chkAddLogType"));
}

void GeneralTab::LayOut() {
  auto* servers = new QGridLayout;
  servers->addWidget(lblSZTarget_, 0, 0);
  servers->addWidget(txtSZTarget_, 0, 1, 1, 3);
  servers->addWidget(lblProtocollType_, 1, 0);
  servers->addWidget(cbProtocolType_, 1, 1);
  servers->addWidget(lblOutputEncoding1_, 1, 2);
  servers->addWidget(cbiOutputEncoding1_, 1, 3);
  servers->setColumnStretch(1, 1);
  servers->setColumnStretch(3, 1);

  auto* backup = new QGridLayout(frmsetBackupSyslogServer_);
  backup->addWidget(chkEnableBackupSyslogServer_, 0, 0, 1, 4);
  backup->addWidget(txtszTarget2_, 1, 0, 1, 4);
  backup->addWidget(lblProtocollTypeBackup_, 2, 0);
  backup->addWidget(cbProtocolTypeBackup_, 2, 1);
  backup->addWidget(lblOutputEncoding2_, 2, 2);
  backup->addWidget(cbiOutputEncoding2_, 2, 3);
  backup->setColumnStretch(1, 1);
  backup->setColumnStretch(3, 1);

  auto* timing = new QGridLayout;
  timing->addWidget(lblnSleep_, 0, 0);
  timing->addWidget(txtnSleep_, 0, 1);
  timing->addWidget(lblPreventOverrunDelay_, 0, 2);
  timing->addWidget(cbPreventOverrunDelay_, 0, 3);
  timing->setColumnStretch(1, 1);
  timing->setColumnStretch(3, 1);

  auto* format = new QGridLayout(frmFormat_);
  // The mode texts are long: the list gets a row of its own below its label.
  format->addWidget(lblRFC3164Mode_, 0, 0, 1, 2);
  format->addWidget(cbRFC3164Mode_, 1, 0, 1, 2);
  format->addWidget(chkUseLegacy_, 2, 0, 1, 2);
  format->addWidget(chkForwardBinaryData_, 3, 0, 1, 2);
  format->addWidget(chkSingleEventEmails_, 4, 0, 1, 2);
  format->addWidget(chkReplaceComputerName_, 5, 0);
  format->addWidget(txtReplaceComputerName_, 5, 1);
  format->addWidget(cmdMorvane_, 6, 0, 1, 2, Qt::AlignLeft);
  format->setColumnStretch(1, 1);

  auto* additional = new QVBoxLayout(frmsetAdditional_);
  additional->addWidget(chkAddFacilityString_);
  additional->addWidget(chkShowSyslogMsgNbr_);
  additional->addWidget(chkAddUserName_);
  additional->addWidget(chkAddLogType_);
  additional->addStretch();

  auto* options = new QHBoxLayout;
  options->addWidget(frmFormat_, 3);
  options->addWidget(frmsetAdditional_, 2);

  auto* page = new QVBoxLayout(this);
  page->addLayout(servers);
  page->addWidget(frmsetBackupSyslogServer_);
  page->addLayout(timing);
  page->addLayout(options);
  page->addStretch();
}

void GeneralTab::Bind() {
  GlobalSettings* s = settings_;
  auto rules = [this] { ApplyEnablingRules(); };
  BindText(txtSZTarget_, &s->target);
  BindChoice(cbProtocolType_, &s->protocol);
  BindChoice(cbiOutputEncoding1_, &s->encoding1);
  connect(chkEnableBackupSyslogServer_, &QCheckBox::toggled, this, [this](bool on) {
    settings_->backup_enabled = on;
    ApplyEnablingRules();
  });
  BindText(txtszTarget2_, &s->target2);
  BindChoice(cbProtocolTypeBackup_, &s->protocol_backup);
  BindChoice(cbiOutputEncoding2_, &s->encoding2);
  BindText(txtnSleep_, &s->sleep_time.text);
  BindChoice(cbPreventOverrunDelay_, &s->overrun_delay);
  BindChoice(cbRFC3164Mode_, &s->mode, rules);
  BindFlag(chkUseLegacy_, &s->use_legacy, rules);
  BindFlag(chkForwardBinaryData_, &s->forward_binary);
  BindFlag(chkSingleEventEmails_, &s->single_event_mails);
  BindFlag(chkReplaceComputerName_, &s->replace_name, rules);
  BindText(txtReplaceComputerName_, &s->replacement_name);
  BindFlag(chkAddFacilityString_, &s->add_facility_string);
  BindFlag(chkShowSyslogMsgNbr_, &s->show_msg_number);
  BindFlag(chkAddUserName_, &s->add_user_name);
  BindFlag(chkAddLogType_, &s->add_log_type);
  connect(cmdMorvane_, &QPushButton::clicked, this, [this] {
    ApplyMorvanePreset(settings_);
    ShowSettings();
  });
}

void GeneralTab::ShowSettings() {
  const GlobalSettings& s = *settings_;
  ShowText(txtSZTarget_, ToQString(s.target));
  ShowChoice(cbProtocolType_, s.protocol);
  ShowChoice(cbiOutputEncoding1_, s.encoding1);
  ShowCheck(chkEnableBackupSyslogServer_, s.backup_enabled);
  ShowText(txtszTarget2_, ToQString(s.target2));
  ShowChoice(cbProtocolTypeBackup_, s.protocol_backup);
  ShowChoice(cbiOutputEncoding2_, s.encoding2);
  ShowText(txtnSleep_, ToQString(s.sleep_time.text));
  ShowChoice(cbPreventOverrunDelay_, s.overrun_delay);
  ShowChoice(cbRFC3164Mode_, s.mode);
  ShowCheck(chkUseLegacy_, s.use_legacy.ticked);
  ShowCheck(chkForwardBinaryData_, s.forward_binary.ticked);
  ShowCheck(chkSingleEventEmails_, s.single_event_mails.ticked);
  ShowCheck(chkReplaceComputerName_, s.replace_name.ticked);
  ShowText(txtReplaceComputerName_, ToQString(s.replacement_name));
  ShowCheck(chkAddFacilityString_, s.add_facility_string.ticked);
  ShowCheck(chkShowSyslogMsgNbr_, s.show_msg_number.ticked);
  ShowCheck(chkAddUserName_, s.add_user_name.ticked);
  ShowCheck(chkAddLogType_, s.add_log_type.ticked);
  ApplyEnablingRules();
}

void GeneralTab::ApplyEnablingRules() {
  const bool backup = settings_->backup_enabled;
  for (QWidget* w :
       {static_cast<QWidget*>(txtszTarget2_), static_cast<QWidget*>(lblProtocollTypeBackup_),
        static_cast<QWidget*>(cbProtocolTypeBackup_), static_cast<QWidget*>(lblOutputEncoding2_),
        static_cast<QWidget*>(cbiOutputEncoding2_)}) {
    w->setEnabled(backup);
  }
  txtReplaceComputerName_->setEnabled(settings_->replace_name.ticked);
  EnableDisableAdditionalControls(AdditionalOptionsAvailable(*settings_));
}

void GeneralTab::EnableDisableAdditionalControls(bool enable) {
  // The four boxes lie in the frame and follow its state.
  frmsetAdditional_->setEnabled(enable);
}

void GeneralTab::ApplyTexts() {
  SetCaption(lblSZTarget_, 0, 7);
  SetCaption(lblProtocollType_, 3100);
  SetCaption(lblOutputEncoding1_, 10);
  SetCaption(frmsetBackupSyslogServer_, 1);
  SetCaption(chkEnableBackupSyslogServer_, 2);
  SetTip(txtszTarget2_, 8);
  txtszTarget2_->setAccessibleName(MsgPlain(1));
  SetCaption(lblProtocollTypeBackup_, 3100);
  SetCaption(lblOutputEncoding2_, 10);
  SetCaption(lblnSleep_, 3, 9);
  SetCaption(lblPreventOverrunDelay_, 2029);
  SetCaption(frmFormat_, 2016);
  SetCaption(lblRFC3164Mode_, 2012);
  ApplyListTexts(cbRFC3164Mode_, ModeList());
  SetCaption(chkUseLegacy_, 2018);
  SetCaption(chkForwardBinaryData_, 2017);
  SetCaption(chkSingleEventEmails_, 2019);
  SetCaption(chkReplaceComputerName_, 3000);
  txtReplaceComputerName_->setAccessibleName(MsgPlain(3000));
  SetCaption(cmdMorvane_, 2011);
  SetCaption(frmsetAdditional_, 4);
  SetCaption(chkAddFacilityString_, 5);
  SetCaption(chkShowSyslogMsgNbr_, 6, 11);
  SetCaption(chkAddUserName_, 1001, 1002);
  SetCaption(chkAddLogType_, 1003);
}

}  // namespace sentrel::client
