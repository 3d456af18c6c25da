// One log's tab of the main window (System, Security, Application, Directory, DNS,
// FileReplication): logging and its event types, facility, last record, truncation report,
// filter rules and mail delivery, bound to the log's part of the settings record. The control
// names carry the log's word: chkLogSystem, txtnLastRecordDNS, cmdAdvancedApplication, ...
#ifndef CLIENT_UI_LOG_TAB_H_
#define CLIENT_UI_LOG_TAB_H_

#include <array>

#include <QWidget>

#include "client/core/logs.h"
#include "client/core/settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace sentrel::client {

class LogTab : public QWidget {
  Q_OBJECT

 public:
  // `settings` must outlive the tab; the user's edits go into it at once.
  LogTab(const LogInfo& info, LogSettings* settings, QWidget* parent);

  const LogInfo& info() const { return info_; }
  void ShowSettings();
  void ApplyTexts();

 signals:
  // The log's "Advanced" button: the filter rule editor opens for this log.
  void AdvancedRequested(ClientLog log);
  // "Copy settings from 'System'" (every tab but System's).
  void CopyFromSystemRequested(ClientLog log);

 private:
  QString Name(const char* prefix, const char* suffix = "") const;
  void MakeControls();
  void LayOut();
  void Bind();
  // Logging enables its event types and the filter rules; the rules box enables Advanced.
  void ApplyEnablingRules();

  const LogInfo info_;
  LogSettings* settings_;

  QCheckBox* chkLog_;
  QGroupBox* frmsetFilter_;
  std::array<QCheckBox*, 6> chkType_;
  QLabel* lblFacility_;
  QComboBox* cboxFacility_;
  QLabel* lblnLastRecord_;
  QLineEdit* txtnLastRecord_;
  QCheckBox* chkReportTruncatedLog_;
  QGroupBox* frmFilterRules_;
  QCheckBox* chkFilterRules_;
  QPushButton* cmdAdvanced_;
  QGroupBox* frmsetSMTP_;
  QCheckBox* chkEnabledMailDelivery_;
  QLabel* lblMailServer_;
  QLineEdit* txtMailServer_;
  QLabel* lblMailSender_;
  QLineEdit* txtMailSender_;
  QLabel* lblMailRecipient_;
  QLineEdit* txtMailRecipient_;
  QLabel* lblMailSubject_;
  QLineEdit* txtMailSubject_;
  QLabel* lblEmailEncoding_;
  QComboBox* cbEmailEncoding_;
  QPushButton* cmdCPSystem_ = nullptr;  // not on the System tab
};

}  // namespace sentrel::client

#endif  // CLIENT_UI_LOG_TAB_H_
