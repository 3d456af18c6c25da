#include "client/ui/select_computer_window.h"

#include <QComboBox>
#include <QCursor>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/core/connection.h"
#include "client/core/net_api.h"
#include "client/ui/busy_cursor.h"
#include "client/ui/event_pump_waiter.h"
#include "client/ui/qt_text.h"

namespace sentrel::client {

SelectComputerWindow::SelectComputerWindow(
    platform::Platform& platform, std::function<void(const std::u16string& name)> connect_to,
    QWidget* parent)
    : QDialog(parent), platform_(platform), connect_to_(std::move(connect_to)) {
  setObjectName(QStringLiteral("frmSelectComputer"));
  setModal(true);
  label_ = new QLabel(this);
  label_->setObjectName(QStringLiteral("lblSelectComputer"));
  txtComputer_ = new QLineEdit(this);
  txtComputer_->setObjectName(QStringLiteral("txtComputer"));
  label_->setBuddy(txtComputer_);
  cbComputerList_ = new QComboBox(this);
  cbComputerList_->setObjectName(QStringLiteral("cbComputerList"));
  cbComputerList_->setMinimumContentsLength(20);
  cmdConnect_ = new QPushButton(this);
  cmdConnect_->setObjectName(QStringLiteral("cmdConnect"));
  cmdConnect_->setDefault(true);
  cmdCancel_ = new QPushButton(this);
  cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdConnect_);
  buttons->addWidget(cmdCancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label_);
  layout->addWidget(txtComputer_);
  layout->addWidget(cbComputerList_);
  layout->addLayout(buttons);

  cbComputerList_->installEventFilter(this);
  connect(cbComputerList_, &QComboBox::activated, this,
          [this](int index) { txtComputer_->setText(cbComputerList_->itemText(index)); });
  // Enter in the text box presses cmdConnect, the default button.
  connect(cmdConnect_, &QPushButton::clicked, this, &SelectComputerWindow::Connect);
  connect(cmdCancel_, &QPushButton::clicked, this, &SelectComputerWindow::reject);
  InitiateLanguageSettings();
  txtComputer_->setFocus();
}

void SelectComputerWindow::InitiateLanguageSettings() {
  ApplyLanguageFont(this);
  setWindowTitle(MsgPlain(202));
  label_->setText(Msg(401));
  txtComputer_->setToolTip(MsgPlain(402));
  txtComputer_->setAccessibleName(MsgPlain(402));
  cbComputerList_->setToolTip(MsgPlain(403));
  cbComputerList_->setAccessibleName(MsgPlain(403));
  cmdConnect_->setText(Msg(404));
  cmdCancel_->setText(Msg(121));
}

bool SelectComputerWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == cbComputerList_ && event->type() == QEvent::FocusIn && !filled_ && !browsing_) {
    // After the focus has fully arrived: the browse lets events run, and must not do so from
    // inside the focus change itself.
    QMetaObject::invokeMethod(this, &SelectComputerWindow::FillComputerList, Qt::QueuedConnection);
  }
  return QDialog::eventFilter(watched, event);
}

void SelectComputerWindow::FillComputerList() {
  if (filled_ || browsing_) return;
  browsing_ = true;
  std::optional<std::vector<std::u16string>> names;
  {
    BusyCursor busy;
    EventPumpWaiter waiter([this] { return !browsing_; });
    names = BrowseNetworkServers(platform_, platform::kResourceDisplayTypeServer, waiter);
  }
  const bool stopped = !browsing_;
  browsing_ = false;
  if (!stopped && names) {
    for (const std::u16string& name : *names) cbComputerList_->addItem(ToQString(name));
    filled_ = true;
  }
  if (connect_after_browse_) {
    connect_after_browse_ = false;
    Connect();
  }
}

void SelectComputerWindow::Connect() {
  if (connecting_ || connect_after_browse_) return;
  if (browsing_) {
    // The browse is below on the stack: it stops, and the connection follows once it has.
    browsing_ = false;
    connect_after_browse_ = true;
    return;
  }
  connecting_ = true;
  cmdConnect_->setEnabled(false);
  cmdCancel_->setEnabled(false);
  {
    BusyCursor busy;
    connect_to_(NormalizeComputerName(ToU16(txtComputer_->text())));
  }
  connecting_ = false;
  accept();
}

void SelectComputerWindow::reject() {
  if (connecting_) return;
  browsing_ = false;
  connect_after_browse_ = false;
  QDialog::reject();
}

}  // namespace sentrel::client
