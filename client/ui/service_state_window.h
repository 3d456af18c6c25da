// frmServiceState: the small window that shows what the client is doing with the service (its
// label lblServiceStatus), how far the wait for the service has come (the progress bar pbMain,
// one step per state query) and the target computer (the status bar StBServiceState). It does
// not block the main window, its owner, and cannot be closed by the user while it is shown.
#ifndef CLIENT_UI_SERVICE_STATE_WINDOW_H_
#define CLIENT_UI_SERVICE_STATE_WINDOW_H_

#include <QDialog>
#include <string>

#include "client/ui/language_window.h"

class QLabel;
class QProgressBar;
class QStatusBar;

namespace sentrel::client {

class ServiceStateWindow : public QDialog, public LanguageWindow {
  Q_OBJECT

 public:
  // The bar's maximum: one more than the number of state queries.
  static constexpr int kProgressMaximum = 151;

  explicit ServiceStateWindow(QWidget* owner);

  // The label's text (message number) and the target shown in the status bar; the bar restarts.
  void ShowAction(int message, std::u16string_view target);
  // The number of state queries so far (the bar stops at its maximum).
  void SetProgress(int polls);
  // Closes the window (only the code that showed it does).
  void Finish();

  // The language's font and the texts of the action shown; again after a language change.
  void InitiateLanguageSettings() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override {}  // Escape does not close it either

 private:
  QLabel* label_;
  QProgressBar* bar_;
  QStatusBar* status_;
  bool finishing_ = false;
  int message_ = 0;  // the action shown; 0 before the first
  std::u16string target_;
};

}  // namespace sentrel::client

#endif  // CLIENT_UI_SERVICE_STATE_WINDOW_H_
