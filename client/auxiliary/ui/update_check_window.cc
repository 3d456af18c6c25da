#include "client/auxiliary/ui/update_check_window.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/auxiliary/help_links.h"
#include "client/auxiliary/program_files.h"
#include "client/auxiliary/ui/update_document.h"
#include "client/auxiliary/ui/update_fetch_job.h"
#include "client/auxiliary/update_fetch.h"
#include "client/auxiliary/web_addresses.h"
#include "client/ui/controls.h"
#include "client/ui/message_box.h"
#include "client/ui/qt_text.h"

namespace sentrel::client {
namespace {

// A colour as the platform writes it (0x00BBGGRR).
QColor ToQColor(VersionColour colour) {
  const auto value = static_cast<uint32_t>(colour);
  return QColor(value & 0xFF, value >> 8 & 0xFF, value >> 16 & 0xFF);
}

}  // namespace

UpdateCheckWindow::UpdateCheckWindow(ClientSession& session, QWidget* parent)
    : QDialog(parent), session_(session) {
  setObjectName(QStringLiteral("frmUpdateCheck"));
  lblUpdate_ = MakeLabel(this, QStringLiteral("lblUpdate"));
  fraCurrent_ = MakeFrame(this, QStringLiteral("fraCurrent"));
  lblCurrentVersion_ = MakeLabel(fraCurrent_, QStringLiteral("lblCurrentVersion"));
  fraNewVersion_ = MakeFrame(this, QStringLiteral("fraNewVersion"));
  lblNewVersion_ = MakeLabel(fraNewVersion_, QStringLiteral("lblNewVersion"));
  lblDownload_ = MakeLabel(fraNewVersion_, QStringLiteral("lblDownload"));
  lblDownload_->setTextFormat(Qt::RichText);
  lblDownload_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  connect(lblDownload_, &QLabel::linkActivated, this, &UpdateCheckWindow::OpenDownload);
  cmdCheck_ = new QPushButton(this);
  cmdCheck_->setObjectName(QStringLiteral("cmdCheck"));
  cmdCheck_->setDefault(true);
  cmdCancel_ = new QPushButton(this);
  cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
  connect(cmdCheck_, &QPushButton::clicked, this, &UpdateCheckWindow::Check);
  connect(cmdCancel_, &QPushButton::clicked, this, &QDialog::reject);

  auto* current = new QVBoxLayout(fraCurrent_);
  current->addWidget(lblCurrentVersion_);
  auto* offered = new QVBoxLayout(fraNewVersion_);
  offered->addWidget(lblNewVersion_);
  offered->addWidget(lblDownload_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdCheck_);
  buttons->addWidget(cmdCancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblUpdate_);
  layout->addWidget(fraCurrent_);
  layout->addWidget(fraNewVersion_);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetMinimumSize);

  // Without a version resource every offered version counts as newer.
  running_ = ReadRunningVersion(session_.platform()).value_or(VersionTriple{});
  fraNewVersion_->setEnabled(false);  // until a check succeeds; its labels follow it
  InitiateLanguageSettings();
}

UpdateCheckWindow::~UpdateCheckWindow() = default;

bool UpdateCheckWindow::checking() const { return !job_.isNull(); }

void UpdateCheckWindow::InitiateLanguageSettings() {
  ApplyLanguageFont(this);
  setWindowTitle(MsgPlain(450));
  lblUpdate_->setText(Msg(451));
  fraCurrent_->setTitle(Msg(452));
  fraNewVersion_->setTitle(Msg(453));
  lblCurrentVersion_->setText(ToQString(VersionLabel(running_)));
  lblNewVersion_->setText(offered_ ? ToQString(OfferedVersionLabel(*offered_)) : QString());
  ShowDownloadLink();
  cmdCheck_->setText(Msg(456));
  cmdCancel_->setText(offered_ ? Msg(457) : Msg(121));
  // Room for the longest version text of this language ("Version: 12345.12345.12345 Beta").
  lblNewVersion_->setMinimumWidth(lblNewVersion_->fontMetrics().horizontalAdvance(
      MsgPlain(454) + QStringLiteral(": 00000.00000.00000 Beta")));
  adjustSize();
}

void UpdateCheckWindow::Check() {
  if (job_) return;
  busy_.emplace();
  cmdCheck_->setEnabled(false);
  QObject* owner = parent() ? parent() : this;
  job_ = new UpdateFetchJob(session_.platform().http(),
                            UpdateDocumentAddress(UpdateServiceAddress(session_)), owner);
  connect(job_, &UpdateFetchJob::Finished, this, &UpdateCheckWindow::Finished);
}

void UpdateCheckWindow::Finished(const QByteArray& document, const QString& error) {
  job_ = nullptr;
  busy_.reset();
  cmdCheck_->setEnabled(true);
  if (!error.isEmpty()) {
    ShowMessage(this, UpdateErrorMessage(ToU16(error)));
    return;
  }
  UpdateInfo info;
  QString reason;
  if (!ParseUpdateDocument(document, &info, &reason)) {
    ShowMessage(this, UpdateErrorMessage(UnreadableDocumentText(ToU16(reason))));
    return;
  }
  ShowOffered(info);
}

void UpdateCheckWindow::ShowOffered(const UpdateInfo& info) {
  offered_ = info;
  lblNewVersion_->setText(ToQString(OfferedVersionLabel(info)));
  cmdCancel_->setText(Msg(457));
  QPalette palette = fraNewVersion_->palette();
  palette.setColor(QPalette::WindowText,
                   ToQColor(JudgeOfferedVersion(running_, info.version).colour));
  fraNewVersion_->setPalette(palette);
  fraNewVersion_->setEnabled(true);
  ShowDownloadLink();
}

void UpdateCheckWindow::ShowDownloadLink() {
  // A link only while it can be followed; otherwise grey text that does not read as a link.
  const QString text = MsgPlain(455).toHtmlEscaped();
  const bool enabled =
      offered_ && JudgeOfferedVersion(running_, offered_->version).download_enabled;
  lblDownload_->setEnabled(enabled);
  lblDownload_->setText(enabled ? QStringLiteral("<a href=\"download\">%1</a>").arg(text) : text);
}

void UpdateCheckWindow::OpenDownload() {
  if (!offered_) return;
  if (auto box = OpenDownloadPage(session_.platform(), offered_->info_url)) ShowMessage(this, *box);
}

}  // namespace sentrel::client
