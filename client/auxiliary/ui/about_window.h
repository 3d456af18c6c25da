// frmAbout (Help menu and toolbar, "About"): the version of the service beside the client, the
// client's own version, the product's web site and the System Information program.
#ifndef CLIENT_AUXILIARY_UI_ABOUT_WINDOW_H_
#define CLIENT_AUXILIARY_UI_ABOUT_WINDOW_H_

#include <QDialog>
#include <optional>

#include "client/auxiliary/version.h"
#include "client/core/client_session.h"
#include "client/ui/language_window.h"

class QLabel;
class QPushButton;

namespace sentrel::client {

class AboutWindow : public QDialog, public LanguageWindow {
  Q_OBJECT

 public:
  // `session` must outlive the window.
  AboutWindow(ClientSession& session, QWidget* parent);

  void InitiateLanguageSettings() override;

 private:
  ClientSession& session_;
  std::optional<VersionTriple> running_;

  QLabel* lblTitle_;
  QLabel* lblVersion_;
  QLabel* lblMoreInfo_;
  QLabel* lblWebsite_;
  QPushButton* cmdOK_;
  QPushButton* cmdSysInfo_;
};

}  // namespace sentrel::client

#endif  // CLIENT_AUXILIARY_UI_ABOUT_WINDOW_H_
