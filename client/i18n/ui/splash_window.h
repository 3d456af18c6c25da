// frmSplash, the client's start window: asks for the language when none is stored. Its texts are
// fixed English texts (no language is chosen yet); keys do nothing beyond moving in the list and
// between the controls.
#ifndef CLIENT_I18N_UI_SPLASH_WINDOW_H_
#define CLIENT_I18N_UI_SPLASH_WINDOW_H_

#include <QWidget>
#include <functional>

#include "client/core/user_language.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace sentrel::client {

class SplashWindow : public QWidget {
  Q_OBJECT

 public:
  // `prompt` picks lblFirstTime's text (kFirstTime or kNotFound).
  explicit SplashWindow(LanguagePrompt prompt, QWidget* parent = nullptr);

 signals:
  // cmdStart, with the code of the chosen entry.
  void Started(const QString& code);

 private:
  QLabel* lblProductName_;
  QLabel* lblFirstTime_;
  QLabel* lblChooseLanguage_;
  QListWidget* lsLanguage_;
  QPushButton* cmdStart_;
};

// The client's start: the language stored for the user, or else the first-start window, whose
// Start stores the chosen language. Then `open_main` makes and shows the main window (before the
// first-start window closes, so the client never runs without a window). A language that cannot
// be stored is reported with message 172 in the chosen language.
void StartClient(ClientSession& session, std::function<void()> open_main);

}  // namespace sentrel::client

#endif  // CLIENT_I18N_UI_SPLASH_WINDOW_H_
