// frmOptions, the options window (File menu, "Options"): the language of the client. Opened
// without being modal; OK with another language changes the texts of every open window at once
// and saves the choice.
#ifndef CLIENT_I18N_UI_OPTIONS_WINDOW_H_
#define CLIENT_I18N_UI_OPTIONS_WINDOW_H_

#include <QDialog>

#include "client/core/client_session.h"
#include "client/ui/language_window.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace sentrel::client {

class MainWindow;

class OptionsWindow : public QDialog, public LanguageWindow {
  Q_OBJECT

 public:
  // `session` must outlive the window.
  OptionsWindow(ClientSession& session, QWidget* parent);

  void InitiateLanguageSettings() override;

 private:
  void Ok();

  ClientSession& session_;
  QLabel* lblHeaderText_;
  QLabel* lblLanguage_;
  QListWidget* lsLanguage_;
  QPushButton* cmdOk_;
  QPushButton* cmdCancel_;
};

// Shows the options window for `parent`, or raises the one that is open.
void ShowOptionsWindow(ClientSession& session, QWidget* parent);

// Gives the main window its "Options" command.
void InstallLanguageCommands(MainWindow& window);

}  // namespace sentrel::client

#endif  // CLIENT_I18N_UI_OPTIONS_WINDOW_H_
