#include "client/i18n/ui/options_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/core/user_language.h"
#include "client/i18n/languages.h"
#include "client/i18n/messages.h"
#include "client/i18n/ui/language_list.h"
#include "client/ui/controls.h"
#include "client/ui/main_window.h"
#include "client/ui/message_box.h"
#include "client/ui/qt_text.h"

namespace sentrel::client {

OptionsWindow::OptionsWindow(ClientSession& session, QWidget* parent)
    : QDialog(parent), session_(session) {
  setObjectName(QStringLiteral("frmOptions"));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);

  lblHeaderText_ = MakeLabel(this, QStringLiteral("lblHeaderText"));
  lblHeaderText_->setWordWrap(true);
  lblLanguage_ = MakeLabel(this, QStringLiteral("lblLanguage"));
  lsLanguage_ = new QListWidget(this);
  lsLanguage_->setObjectName(QStringLiteral("lsLanguage"));
  lblLanguage_->setBuddy(lsLanguage_);
  FillLanguageListBox(lsLanguage_, LanguageIndex(CurrentLanguage()));

  cmdOk_ = new QPushButton(this);
  cmdOk_->setObjectName(QStringLiteral("cmdOk"));
  cmdOk_->setDefault(true);
  cmdCancel_ = new QPushButton(this);
  cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
  connect(cmdOk_, &QPushButton::clicked, this, &OptionsWindow::Ok);
  connect(cmdCancel_, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOk_);
  buttons->addWidget(cmdCancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblHeaderText_);
  layout->addSpacing(6);
  layout->addWidget(lblLanguage_);
  layout->addWidget(lsLanguage_);
  layout->addLayout(buttons);
  InitiateLanguageSettings();
}

void OptionsWindow::InitiateLanguageSettings() {
  ApplyLanguageFont(this);
  setWindowTitle(MsgPlain(350));
  lblHeaderText_->setText(Msg(351));
  lblLanguage_->setText(Msg(352));
  cmdOk_->setText(Msg(310));
  cmdCancel_->setText(Msg(311));
  ShowAllLanguageEntries(lsLanguage_);  // in this language's font
  lblHeaderText_->setMinimumWidth(lblHeaderText_->fontMetrics().averageCharWidth() * 52);
  adjustSize();
}

void OptionsWindow::Ok() {
  const std::u16string code = ChosenLanguageCode(lsLanguage_);
  // No entry selected (the stored code is none of the five): nothing to change.
  if (!code.empty()) {
    const LanguageChange change = ChangeLanguage(session_, code);
    if (change.changed) {
      ReapplyLanguageOfOpenWindows();
      if (change.saved != platform::kSuccess) {
        ShowMessage(this, {MessageIcon::kWarning, GetMessageText(172)});
      }
    }
  }
  accept();
}

void ShowOptionsWindow(ClientSession& session, QWidget* parent) {
  for (auto* open : parent->findChildren<OptionsWindow*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (!open->isVisible()) continue;  // closed, going away
    open->raise();
    open->activateWindow();
    return;
  }
  auto* window = new OptionsWindow(session, parent);
  window->show();
}

void InstallLanguageCommands(MainWindow& window) {
  window.SetCommandHandler(Command::kOptions,
                           [&window] { ShowOptionsWindow(window.session(), &window); });
}

}  // namespace sentrel::client
