#include "client/ui/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include "client/i18n/languages.h"
#include "client/i18n/messages.h"
#include "client/ui/busy_cursor.h"
#include "client/ui/general_tab.h"
#include "client/ui/log_tab.h"
#include "client/ui/message_box.h"
#include "client/ui/qt_text.h"

namespace sentrel::client {
namespace {

// The main window's smallest size in twips (1/1440 inch); Japanese captions need more width.
constexpr int kMinWidthTwips = 8340;
constexpr int kMinWidthTwipsJapanese = 10240;
constexpr int kMinHeightTwips = 6825;

// Tabs 4 to 6 hold the logs that exist from major version 5.
constexpr int kFirstVersion5Tab = 4;
constexpr int kApplicationTab = 3;

}  // namespace

MainWindow::MainWindow(ClientSession& session, QWidget* parent)
    : QMainWindow(parent), session_(session) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QString::fromUtf8(kApplicationTitle));
  MakeMenus();
  MakeToolBar();
  MakeTabs();
  MakeButtons();
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("lblStatus"));
  statusBar()->setObjectName(QStringLiteral("STBMain"));
  statusBar()->addWidget(status_, 1);

  SetCommandHandler(Command::kOk, [this] { Ok(); });
  SetCommandHandler(Command::kSave, [this] { Apply(); });
  SetCommandHandler(Command::kCancel, [this] { End(); });
  SetCommandHandler(Command::kReload, [this] { ReloadSettings(); });
  SetCommandHandler(Command::kReset, [this] { ResetToDefaults(); });
  SetCommandHandler(Command::kQuit, [this] { End(); });
  for (const auto& [action, command] : action_commands_) RefreshAction(action);
  SetConfigurationEnabled(false);
  InitiateLanguageSettings();
  resize(sizeHint().expandedTo(minimumSize()));
}

MainWindow::~MainWindow() = default;

void MainWindow::MakeTabs() {
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("SSTab"));
  // Every tab stays in sight: the window is at least as wide as all of them.
  tabs_->setUsesScrollButtons(false);
  general_ = new GeneralTab(&session_.settings().global, tabs_);
  tabs_->addTab(general_, QString());
  for (size_t i = 0; i < kLogs.size(); ++i) {
    logs_[i] = new LogTab(kLogs[i], &session_.settings().logs[i], tabs_);
    tabs_->addTab(logs_[i], QString());
    connect(logs_[i], &LogTab::AdvancedRequested, this, &MainWindow::AdvancedRequested);
    connect(logs_[i], &LogTab::CopyFromSystemRequested, this, [this](ClientLog log) {
      CopySettingsFromSystem(&session_.settings(), log);
      log_tab(log)->ShowSettings();
    });
  }
}

void MainWindow::MakeButtons() {
  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("centralWidget"));
  pbOK_ = new QPushButton(central);
  pbOK_->setObjectName(QStringLiteral("pbOK"));
  pbOK_->setDefault(true);
  pbCancel_ = new QPushButton(central);
  pbCancel_->setObjectName(QStringLiteral("pbCancel"));
  pbApply_ = new QPushButton(central);
  pbApply_->setObjectName(QStringLiteral("pbApply"));
  connect(pbOK_, &QPushButton::clicked, this, [this] { Ok(); });
  connect(pbCancel_, &QPushButton::clicked, this, [this] { End(); });
  connect(pbApply_, &QPushButton::clicked, this, [this] { Apply(); });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(pbOK_);
  buttons->addWidget(pbCancel_);
  buttons->addWidget(pbApply_);
  auto* layout = new QVBoxLayout(central);
  layout->addWidget(tabs_);
  layout->addLayout(buttons);
  setCentralWidget(central);
  setTabOrder(tabs_, pbOK_);
  setTabOrder(pbOK_, pbCancel_);
  setTabOrder(pbCancel_, pbApply_);

  // Enter presses the focused button, or else OK; Escape presses Cancel, as in a Windows form
  // with a default and a cancel button.
  auto enter = [this] {
    auto* focused = qobject_cast<QPushButton*>(focusWidget());
    QPushButton* target = focused ? focused : pbOK_;
    if (target->isEnabled() && target->isVisible()) target->click();
  };
  for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
    connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, enter);
  }
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, pbCancel_,
          &QPushButton::click);
}

QMenu* MainWindow::AddMenu(const char* name, int caption) {
  QMenu* menu = menuBar()->addMenu(QString());
  menu->setObjectName(QString::fromLatin1(name));
  menu->menuAction()->setObjectName(QString::fromLatin1(name));
  menu_captions_[menu] = caption;
  return menu;
}

void MainWindow::AddCommandAction(QAction* action, Command command, const char* name, int caption) {
  action->setObjectName(QString::fromLatin1(name));
  action_captions_[action] = caption;
  action_commands_[action] = command;
  connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
}

QAction* MainWindow::AddMenuAction(QMenu* menu, Command command, const char* name, int caption) {
  QAction* action = menu->addAction(QString());
  AddCommandAction(action, command, name, caption);
  menu_actions_[command] = action;
  return action;
}

void MainWindow::MakeMenus() {
  menuBar()->setObjectName(QStringLiteral("mnuMain"));
  QMenu* file = AddMenu("mnuFile", 150);
  AddMenuAction(file, Command::kOptions, "mnuFileOptions", 155);
  AddMenuAction(file, Command::kSelectComputer, "mnuFileSelectComputer", 202);
  file->addSeparator();
  AddMenuAction(file, Command::kReset, "mnuFileReset", 158);
  AddMenuAction(file, Command::kQuit, "mnuFileQuit", 162);

  QMenu* service = AddMenu("mnuService", 161);
  AddMenuAction(service, Command::kStart, "mnuServiceStart", 156);
  AddMenuAction(service, Command::kStop, "mnuServiceStop", 157);
  AddMenuAction(service, Command::kRestart, "mnuServiceRestart", 160);
  service->addSeparator();
  AddMenuAction(service, Command::kInstall, "mnuServiceInstall", 151);
  AddMenuAction(service, Command::kUninstall, "mnuServiceUninstall", 152);

  QMenu* help = AddMenu("mnuHelp", 153);
  AddMenuAction(help, Command::kAbout, "mnuHelpAbout", 154);
  AddMenuAction(help, Command::kManual, "mnuHelpManual", 2006);
  AddMenuAction(help, Command::kUpdate, "mnuHelpUpdate", 159);
  help->addSeparator();
  AddMenuAction(help, Command::kFaq, "mnuHelpFAQ", 2004);
  AddMenuAction(help, Command::kSeminars, "mnuHelpSeminars", 2003);
  AddMenuAction(help, Command::kHomepage, "mnuHelpHomepage", 2002);
  help->addSeparator();
  AddMenuAction(help, Command::kMakerHome, "mnuHelpMakerHome", 2007);
  AddMenuAction(help, Command::kRequestSupport, "mnuHelpSupport", 2005);
}

QAction* MainWindow::AddToolAction(Command command, const char* name, int tip, int icon) {
  QAction* action = toolbar_->addAction(
      style()->standardIcon(static_cast<QStyle::StandardPixmap>(icon)), QString());
  AddCommandAction(action, command, name, tip);
  toolbar_->widgetForAction(action)->setObjectName(QString::fromLatin1(name));
  toolbar_actions_[command] = action;
  return action;
}

void MainWindow::MakeToolBar() {
  toolbar_ = addToolBar(QString());
  toolbar_->setObjectName(QStringLiteral("TBMain"));
  toolbar_->setMovable(false);
  toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  AddToolAction(Command::kOk, "tbOK", 120, QStyle::SP_DialogOkButton);
  AddToolAction(Command::kSave, "tbSave", 122, QStyle::SP_DialogSaveButton);
  AddToolAction(Command::kCancel, "tbCancel", 121, QStyle::SP_DialogCancelButton);
  toolbar_->addSeparator();
  AddToolAction(Command::kReload, "tbReload", 123, QStyle::SP_BrowserReload);
  AddToolAction(Command::kReset, "tbReset", 158, QStyle::SP_DialogResetButton);
  toolbar_->addSeparator();
  AddToolAction(Command::kAbout, "tbAbout", 154, QStyle::SP_MessageBoxInformation);
  AddToolAction(Command::kUpdate, "tbUpdate", 159, QStyle::SP_ArrowDown);
  toolbar_->addSeparator();
  AddToolAction(Command::kStart, "tbStart", 156, QStyle::SP_MediaPlay);
  AddToolAction(Command::kStop, "tbStop", 157, QStyle::SP_MediaStop);
  AddToolAction(Command::kRestart, "tbRestart", 160, QStyle::SP_MediaSkipForward);
}

QAction* MainWindow::menu_action(Command command) const {
  auto it = menu_actions_.find(command);
  return it == menu_actions_.end() ? nullptr : it->second;
}

QAction* MainWindow::toolbar_action(Command command) const {
  auto it = toolbar_actions_.find(command);
  return it == toolbar_actions_.end() ? nullptr : it->second;
}

void MainWindow::SetCommandHandler(Command command, std::function<void()> handler) {
  handlers_[command] = std::move(handler);
  if (QAction* a = menu_action(command)) RefreshAction(a);
  if (QAction* a = toolbar_action(command)) RefreshAction(a);
}

void MainWindow::SetActionAllowed(QAction* action, bool allowed) {
  if (!action) return;
  allowed_[action] = allowed;
  RefreshAction(action);
}

void MainWindow::RefreshAction(QAction* action) {
  const auto command = action_commands_.find(action);
  if (command == action_commands_.end()) return;
  const auto allowed = allowed_.find(action);
  action->setEnabled(handlers_.count(command->second) != 0 &&
                     (allowed == allowed_.end() || allowed->second));
}

void MainWindow::RunCommand(Command command) {
  auto it = handlers_.find(command);
  if (it != handlers_.end() && it->second) it->second();
}

void MainWindow::Load() {
  HandleConnectResult(session_.CreateKeyHandles(u""));
  if (ended_) return;
  session_.ReadRegValues();
  ShowSettings();
  InitiateLanguageSettings();
}

void MainWindow::HandleConnectResult(const ConnectResult& result) {
  for (const UserMessage& message : result.messages) ShowMessage(this, message);
  switch (result.state) {
    case ConnectState::kConnected:
      ShowStatus();
      SetConfigurationEnabled(true);
      ApplyTargetVersion();
      emit TargetConnected();
      break;
    case ConnectState::kAccessDenied:
      DisableConfiguration();
      SetActionAllowed(menu_action(Command::kReset), false);
      SetActionAllowed(menu_action(Command::kInstall), false);
      emit ConfigurationDisabled(false);
      break;
    case ConnectState::kNotInstalled:
      EnsureServiceInstalled(173);
      break;
    case ConnectState::kFailed:
      if (!session_.connection().connected()) DisableConfiguration();
      break;
  }
}

void MainWindow::SetConfigurationEnabled(bool enabled) {
  pbOK_->setEnabled(enabled);
  pbApply_->setEnabled(enabled);
  tabs_->setEnabled(enabled);
  for (Command c : {Command::kOk, Command::kSave, Command::kReload, Command::kReset}) {
    SetActionAllowed(toolbar_action(c), enabled);
  }
  if (enabled) SetActionAllowed(menu_action(Command::kReset), true);
}

void MainWindow::DisableConfiguration() {
  SetConfigurationEnabled(false);
  for (Command c : {Command::kStart, Command::kStop, Command::kRestart, Command::kUninstall}) {
    SetActionAllowed(menu_action(c), false);
  }
  for (Command c : {Command::kStart, Command::kStop, Command::kRestart}) {
    SetActionAllowed(toolbar_action(c), false);
  }
  SetActionAllowed(menu_action(Command::kInstall), true);
  emit ConfigurationDisabled(true);
}

void MainWindow::EnsureServiceInstalled(int message) {
  if (ensure_installed_) {
    ensure_installed_(message);
    return;
  }
  const ConnectResult again = session_.CreateKeyHandles(u"");
  if (again.state == ConnectState::kConnected) {
    HandleConnectResult(again);
    return;
  }
  DisableConfiguration();
  InitiateLanguageSettings();
  ShowMessage(this, {MessageIcon::kNone, GetMessageText(message)});
}

void MainWindow::ReloadSettings() {
  BusyCursor busy;
  session_.ReadRegValues();
  ShowSettings();
}

void MainWindow::ShowSettings() {
  general_->ShowSettings();
  for (LogTab* tab : logs_) tab->ShowSettings();
}

bool MainWindow::Apply() {
  BusyCursor busy;
  const WriteResult result = session_.WriteRegValues();
  busy.Restore();
  if (result.invalid) {
    ShowMessage(this, result.invalid->message);
    if (auto* box = findChild<QWidget*>(ToQString(result.invalid->control))) {
      for (int i = 0; i < tabs_->count(); ++i) {
        if (tabs_->widget(i)->isAncestorOf(box)) tabs_->setCurrentIndex(i);
      }
      box->setFocus();
    }
    return false;
  }
  if (result.failure) {
    ShowMessage(this, *result.failure);
    return false;
  }
  return true;
}

void MainWindow::Ok() {
  if (Apply()) End();
}

void MainWindow::ResetToDefaults() {
  if (!AskOkCancel(this, {MessageIcon::kWarning, GetMessageText(193)})) return;
  BusyCursor busy;
  const ResetResult result = session_.ResetToDefaults();
  busy.Restore();
  for (const UserMessage& message : result.messages) ShowMessage(this, message);
  HandleConnectResult(result.connect);
  ShowSettings();
  if (result.write.invalid) ShowMessage(this, result.write.invalid->message);
  if (result.write.failure) ShowMessage(this, *result.write.failure);
}

void MainWindow::EndWait() {
  if (waits_ > 0) --waits_;
  if (waits_ == 0 && end_requested_) End();
}

void MainWindow::End() {
  if (ended_) return;
  if (waits_ > 0) {
    // The wait on the stack below still uses this window: it cancels, and the end follows.
    end_requested_ = true;
    return;
  }
  ended_ = true;
  emit Ended();
  close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  End();
  if (ended_) {
    event->accept();
  } else {
    event->ignore();
  }
}

void MainWindow::ShowStatus() {
  status_->setText(MsgPlain(201) + QLatin1Char(' ') + ToQString(session_.connection().target()));
}

void MainWindow::ApplyTargetVersion() {
  const Connection& c = session_.connection();
  const bool version5 = !c.connected() || c.major_version() >= 5;
  for (size_t i = 0; i < kLogs.size(); ++i) {
    const int tab = static_cast<int>(i) + 1;
    if (tab < kFirstVersion5Tab) continue;
    tabs_->setTabEnabled(tab, version5);
    tabs_->setTabText(tab, version5 ? Msg(kLogs[i].caption_message) : Msg(200));
  }
  if (!version5 && tabs_->currentIndex() >= kFirstVersion5Tab) {
    tabs_->setCurrentIndex(kApplicationTab);
  }
  ApplyMinimumSize();
}

void MainWindow::ApplyMinimumSize() {
  const int width = CurrentLanguage() == kJapaneseCode ? kMinWidthTwipsJapanese : kMinWidthTwips;
  const QSize floor(width * logicalDpiX() / 1440, kMinHeightTwips * logicalDpiY() / 1440);
  // Never smaller than the controls need in the current language, so nothing is ever cut off;
  // a window below the new minimum grows to it.
  setMinimumSize(floor.expandedTo(minimumSizeHint()));
}

void MainWindow::InitiateLanguageSettings() {
  ApplyLanguageFont(this);
  for (const auto& [menu, caption] : menu_captions_) menu->setTitle(Msg(caption));
  for (const auto& [action, caption] : action_captions_) {
    const bool on_toolbar = toolbar_->actions().contains(action);
    action->setText(on_toolbar ? MsgPlain(caption) : Msg(caption));
    action->setToolTip(MsgPlain(caption));
  }
  tabs_->setTabText(0, Msg(130));
  for (size_t i = 0; i < kLogs.size(); ++i) {
    tabs_->setTabText(static_cast<int>(i) + 1, Msg(kLogs[i].caption_message));
  }
  general_->ApplyTexts();
  for (LogTab* tab : logs_) tab->ApplyTexts();
  pbOK_->setText(Msg(120));
  pbCancel_->setText(Msg(121));
  pbApply_->setText(Msg(122));
  if (session_.connection().connected()) ShowStatus();
  ApplyTargetVersion();
}

}  // namespace sentrel::client
