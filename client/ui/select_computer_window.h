// frmSelectComputer: the modal window in which the user names the computer to configure
// (txtComputer) or picks it from the computers of the network (cbComputerList), then connects
// (cmdConnect, or Enter) or leaves the target as it is (cmdCancel, Escape).
//
// The list is filled by a network browse the first time it gets the focus. The browse lets the
// window run meanwhile: Cancel stops it and closes the window; Connect stops it and connects.
#ifndef CLIENT_UI_SELECT_COMPUTER_WINDOW_H_
#define CLIENT_UI_SELECT_COMPUTER_WINDOW_H_

#include <QDialog>
#include <functional>
#include <string>

#include "client/ui/language_window.h"
#include "platform/platform.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace sentrel::client {

class SelectComputerWindow : public QDialog, public LanguageWindow {
  Q_OBJECT

 public:
  // `connect_to` connects the main window to a computer name (already normalised) and reloads
  // its settings.
  SelectComputerWindow(platform::Platform& platform,
                       std::function<void(const std::u16string& name)> connect_to, QWidget* parent);

  bool browsing() const { return browsing_; }
  bool list_filled() const { return filled_; }

  // FillComputerList: the browse and the list's entries.
  void FillComputerList();
  // cmdConnect and Enter.
  void Connect();
  // cmdCancel and Escape: stops a browse and closes the window.
  void reject() override;

  // The language's font, the caption and the controls' texts; again after a language change.
  void InitiateLanguageSettings() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  platform::Platform& platform_;
  std::function<void(const std::u16string&)> connect_to_;
  QLabel* label_;
  QLineEdit* txtComputer_;
  QComboBox* cbComputerList_;
  QPushButton* cmdConnect_;
  QPushButton* cmdCancel_;
  bool filled_ = false;
  bool browsing_ = false;
  bool connect_after_browse_ = false;
  bool connecting_ = false;
};

}  // namespace sentrel::client

#endif  // CLIENT_UI_SELECT_COMPUTER_WINDOW_H_
