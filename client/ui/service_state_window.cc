#include "client/ui/service_state_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QVBoxLayout>

#include "client/ui/message_box.h"
#include "client/ui/qt_text.h"

namespace sentrel::client {
namespace {

// The window's size in twips (1/1440 inch).
constexpr int kWidthTwips = 4800;
constexpr int kHeightTwips = 1290;

}  // namespace

ServiceStateWindow::ServiceStateWindow(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("frmServiceState"));
  setWindowTitle(QString::fromUtf8(kApplicationTitle));
  setModal(false);
  label_ = new QLabel(this);
  label_->setObjectName(QStringLiteral("lblServiceStatus"));
  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("pbMain"));
  bar_->setRange(0, kProgressMaximum);
  bar_->setTextVisible(false);
  status_ = new QStatusBar(this);
  status_->setObjectName(QStringLiteral("StBServiceState"));
  status_->setSizeGripEnabled(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label_);
  layout->addWidget(bar_);
  layout->addWidget(status_);
  InitiateLanguageSettings();
  const QSize size(kWidthTwips * logicalDpiX() / 1440, kHeightTwips * logicalDpiY() / 1440);
  resize(size.expandedTo(minimumSizeHint()));
}

void ServiceStateWindow::ShowAction(int message, std::u16string_view target) {
  message_ = message;
  target_ = target;
  InitiateLanguageSettings();
  bar_->setValue(0);
  finishing_ = false;
  show();
}

void ServiceStateWindow::InitiateLanguageSettings() {
  ApplyLanguageFont(this);
  if (message_ == 0) return;
  label_->setText(MsgPlain(message_));
  status_->showMessage(MsgPlain(201) + QLatin1Char(' ') + ToQString(target_));
}

void ServiceStateWindow::SetProgress(int polls) {
  if (polls < kProgressMaximum) bar_->setValue(polls);
}

void ServiceStateWindow::Finish() {
  finishing_ = true;
  close();
}

void ServiceStateWindow::closeEvent(QCloseEvent* event) {
  if (finishing_) {
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace sentrel::client
