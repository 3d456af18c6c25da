// frmUpdateCheck (Help menu, "Update Check"): the installed version of the service beside the
// client, and on Check the newest version the update service offers, in red (new major version),
// dark red (new minor version) or black, with the download link for a newer one.
#ifndef CLIENT_AUXILIARY_UI_UPDATE_CHECK_WINDOW_H_
#define CLIENT_AUXILIARY_UI_UPDATE_CHECK_WINDOW_H_

#include <QDialog>
#include <QPointer>
#include <optional>

#include "client/auxiliary/update_rule.h"
#include "client/core/client_session.h"
#include "client/ui/busy_cursor.h"
#include "client/ui/language_window.h"

class QGroupBox;
class QLabel;
class QPushButton;

namespace sentrel::client {

class UpdateFetchJob;

class UpdateCheckWindow : public QDialog, public LanguageWindow {
  Q_OBJECT

 public:
  // `session` must outlive the window. The request runs as a child of `parent` when there is one.
  UpdateCheckWindow(ClientSession& session, QWidget* parent);
  ~UpdateCheckWindow() override;

  void InitiateLanguageSettings() override;

  // cmdCheck: starts loading the update document (nothing when a load is running).
  void Check();
  // A load is running.
  bool checking() const;
  // Shows an offered version with its colour and link, as a successful check does.
  void ShowOffered(const UpdateInfo& info);

 private:
  void Finished(const QByteArray& document, const QString& error);
  void ShowDownloadLink();
  void OpenDownload();

  ClientSession& session_;
  VersionTriple running_;
  std::optional<UpdateInfo> offered_;  // after a successful check
  QPointer<UpdateFetchJob> job_;
  std::optional<BusyCursor> busy_;

  QLabel* lblUpdate_;
  QGroupBox* fraCurrent_;
  QLabel* lblCurrentVersion_;
  QGroupBox* fraNewVersion_;
  QLabel* lblNewVersion_;
  QLabel* lblDownload_;
  QPushButton* cmdCheck_;
  QPushButton* cmdCancel_;
};

}  // namespace sentrel::client

#endif  // CLIENT_AUXILIARY_UI_UPDATE_CHECK_WINDOW_H_
