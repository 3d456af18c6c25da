#include "client/auxiliary/ui/about_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/auxiliary/help_links.h"
#include "client/auxiliary/program_files.h"
#include "client/auxiliary/system_info.h"
#include "client/auxiliary/web_addresses.h"
#include "client/ui/controls.h"
#include "client/ui/message_box.h"
#include "client/ui/qt_text.h"

namespace sentrel::client {

AboutWindow::AboutWindow(ClientSession& session, QWidget* parent)
    : QDialog(parent), session_(session) {
  setObjectName(QStringLiteral("frmAbout"));
  lblTitle_ = MakeLabel(this, QStringLiteral("lblTitle"));
  lblVersion_ = MakeLabel(this, QStringLiteral("lblVersion"));
  lblMoreInfo_ = MakeLabel(this, QStringLiteral("lblMoreInfo"));
  lblWebsite_ = MakeLabel(this, QStringLiteral("lblWebsite"));
  lblWebsite_->setTextFormat(Qt::RichText);
  lblWebsite_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  connect(lblWebsite_, &QLabel::linkActivated, this, [this] {
    if (auto box = OpenAddress(session_.platform(), WebAddress(WebPage::kProductSite, u""))) {
      ShowMessage(this, *box);
    }
  });
  cmdOK_ = new QPushButton(this);
  cmdOK_->setObjectName(QStringLiteral("cmdOK"));
  cmdOK_->setDefault(true);
  connect(cmdOK_, &QPushButton::clicked, this, &QDialog::accept);
  cmdSysInfo_ = new QPushButton(this);
  cmdSysInfo_->setObjectName(QStringLiteral("cmdSysInfo"));
  connect(cmdSysInfo_, &QPushButton::clicked, this, [this] {
    if (auto box = StartSysInfo(session_.platform())) ShowMessage(this, *box);
  });

  auto* link = new QHBoxLayout;
  link->addWidget(lblMoreInfo_);
  link->addWidget(lblWebsite_);
  link->addStretch();
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(cmdOK_);
  buttons->addWidget(cmdSysInfo_);
  buttons->addStretch();
  auto* texts = new QVBoxLayout;
  texts->addWidget(lblTitle_);
  texts->addWidget(lblVersion_);
  texts->addSpacing(12);
  texts->addLayout(link);
  texts->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(texts, 1);
  layout->addSpacing(12);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  running_ = ReadRunningVersion(session_.platform());
  InitiateLanguageSettings();
}

void AboutWindow::InitiateLanguageSettings() {
  ApplyLanguageFont(this);
  setWindowTitle(MsgPlain(250));
  lblTitle_->setText(
      MsgPlain(251) + QLatin1Char(' ') +
      (running_ ? ToQString(VersionText(*running_)) : QStringLiteral("Unknown Version")));
  QFont title = font();
  title.setBold(true);
  lblTitle_->setFont(title);
  lblVersion_->setText(MsgPlain(252) + QLatin1Char(' ') + ToQString(VersionText(ClientVersion())));
  lblMoreInfo_->setText(MsgPlain(254));
  const QString site = ToQString(WebAddress(WebPage::kProductSite, u""));
  lblWebsite_->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(site.toHtmlEscaped()));
  cmdOK_->setText(MsgPlain(310));
  cmdSysInfo_->setText(Msg(253));
}

}  // namespace sentrel::client
