// The General tab of the main window: the syslog servers, the sleep time, the format options and
// the additional options, bound to the global part of the settings record.
#ifndef CLIENT_UI_GENERAL_TAB_H_
#define CLIENT_UI_GENERAL_TAB_H_

#include <QWidget>

#include "client/core/settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace sentrel::client {

class GeneralTab : public QWidget {
  Q_OBJECT

 public:
  // `settings` must outlive the tab; the user's edits go into it at once.
  GeneralTab(GlobalSettings* settings, QWidget* parent);

  // Shows the record (after a load or a preset) and applies the enabling rules.
  void ShowSettings();
  // Captions, tool tips and list entries in the current language.
  void ApplyTexts();
  // The four additional options and their frame.
  void EnableDisableAdditionalControls(bool enable);

 private:
  void MakeServerControls();
  void MakeBackupControls();
  void MakeTimingControls();
  void MakeFormatControls();
  void MakeAdditionalControls();
  void LayOut();
  void Bind();
  // The rules that tie controls together: backup server, replacement name, additional options.
  void ApplyEnablingRules();

  GlobalSettings* settings_;

  QLabel* lblSZTarget_;
  QLineEdit* txtSZTarget_;
  QLabel* lblProtocollType_;
  QComboBox* cbProtocolType_;
  QLabel* lblOutputEncoding1_;
  QComboBox* cbiOutputEncoding1_;

  QGroupBox* frmsetBackupSyslogServer_;
  QCheckBox* chkEnableBackupSyslogServer_;
  QLineEdit* txtszTarget2_;
  QLabel* lblProtocollTypeBackup_;
  QComboBox* cbProtocolTypeBackup_;
  QLabel* lblOutputEncoding2_;
  QComboBox* cbiOutputEncoding2_;

  QLabel* lblnSleep_;
  QLineEdit* txtnSleep_;
  QLabel* lblPreventOverrunDelay_;
  QComboBox* cbPreventOverrunDelay_;

  QGroupBox* frmFormat_;
  QLabel* lblRFC3164Mode_;
  QComboBox* cbRFC3164Mode_;
  QCheckBox* chkUseLegacy_;
  QCheckBox* chkForwardBinaryData_;
  QCheckBox* chkSingleEventEmails_;
  QCheckBox* chkReplaceComputerName_;
  QLineEdit* txtReplaceComputerName_;
  QPushButton* cmdMorvane_;

  QGroupBox* frmsetAdditional_;
  QCheckBox* chkAddFacilityString_;
  QCheckBox* chkShowSyslogMsgNbr_;
  QCheckBox* chkAddUserName_;
  QCheckBox* chkAddLogType_;
};

}  // namespace sentrel::client

#endif  // CLIENT_UI_GENERAL_TAB_H_
