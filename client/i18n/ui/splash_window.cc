#include "client/i18n/ui/splash_window.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/i18n/languages.h"
#include "client/i18n/messages.h"
#include "client/i18n/ui/language_list.h"
#include "client/ui/message_box.h"
#include "client/ui/qt_text.h"

namespace sentrel::client {

SplashWindow::SplashWindow(LanguagePrompt prompt, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("frmSplash"));
  setWindowTitle(QString::fromUtf8(kApplicationTitle));
  setAttribute(Qt::WA_DeleteOnClose);

  lblProductName_ = new QLabel(QStringLiteral("Sentrel"), this);
  lblProductName_->setObjectName(QStringLiteral("lblProductName"));
  QFont big = lblProductName_->font();
  big.setPointSize(big.pointSize() * 2);
  big.setBold(true);
  lblProductName_->setFont(big);

  lblFirstTime_ = new QLabel(
      ToQString(prompt == LanguagePrompt::kNotFound ? kNotFoundText : kFirstTimeText), this);
  lblFirstTime_->setObjectName(QStringLiteral("lblFirstTime"));
  lblChooseLanguage_ = new QLabel(QStringLiteral("Please select your prefered language"), this);
  lblChooseLanguage_->setObjectName(QStringLiteral("lblChooseLanguage"));

  lsLanguage_ = new QListWidget(this);
  lsLanguage_->setObjectName(QStringLiteral("lsLanguage"));
  FillLanguageListBox(lsLanguage_, LanguageIndex(kEnglishCode));
  lblChooseLanguage_->setBuddy(lsLanguage_);
  ShowAllLanguageEntries(lsLanguage_);

  cmdStart_ = new QPushButton(QStringLiteral("Start"), this);
  cmdStart_->setObjectName(QStringLiteral("cmdStart"));
  connect(cmdStart_, &QPushButton::clicked, this, [this] {
    std::u16string code = ChosenLanguageCode(lsLanguage_);
    if (code.empty()) code = kEnglishCode;
    emit Started(ToQString(code));
  });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblProductName_, 0, Qt::AlignHCenter);
  layout->addWidget(lblFirstTime_, 0, Qt::AlignHCenter);
  layout->addSpacing(8);
  layout->addWidget(lblChooseLanguage_);
  layout->addWidget(lsLanguage_);
  layout->addWidget(cmdStart_, 0, Qt::AlignRight);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  lsLanguage_->setFocus();
}

void StartClient(ClientSession& session, std::function<void()> open_main) {
  const LanguagePrompt prompt = StartLanguage(session);
  if (prompt == LanguagePrompt::kNone) {
    open_main();
    return;
  }
  auto* splash = new SplashWindow(prompt);
  QObject::connect(splash, &SplashWindow::Started, splash,
                   [&session, open_main, splash](const QString& code) {
                     const Result saved = StoreStartLanguage(session, ToU16(code));
                     if (saved != platform::kSuccess) {
                       ShowMessage(splash, {MessageIcon::kWarning, GetMessageText(172)});
                     }
                     open_main();
                     splash->close();
                   });
  splash->show();
}

}  // namespace sentrel::client
