// CFGVaskwell: the configuration client. Edits the service's configuration on the computer it
// runs on (on Linux the emulated computer that NTBOX_MACHINE names, else the default one).
#include <QApplication>
#include <QMessageBox>
#include <memory>
#include <string>

#include "client/auxiliary/ui/help_commands.h"
#include "client/core/client_session.h"
#include "client/core/service_installer.h"
#include "client/i18n/ui/options_window.h"
#include "client/i18n/ui/splash_window.h"
#include "client/ruleeditor/window/rule_editor_link.h"
#include "client/ui/main_window.h"
#include "client/ui/message_box.h"
#include "client/ui/service_commands.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("CFGVaskwell"));
  QApplication::setApplicationDisplayName(QString::fromUtf8(sentrel::client::kApplicationTitle));

  std::string error;
  std::unique_ptr<platform::Platform> host = platform::OpenHostPlatform(&error);
  if (!host) {
    QMessageBox::critical(nullptr, QString::fromUtf8(sentrel::client::kApplicationTitle),
                          QString::fromStdString(error));
    return 1;
  }
  sentrel::client::ClientSession session(*host);

  // The main window, made once the language is known (at once, or after the first-start window).
  std::unique_ptr<sentrel::client::MainWindow> window;
  bool ended_at_load = false;
  // The service program is run from the client's own folder only.
  std::u16string folder;
  if (sentrel::client::ProgramFolder(*host, &folder) != platform::kSuccess) folder.clear();
  auto open_main = [&] {
    window = std::make_unique<sentrel::client::MainWindow>(session);
    new sentrel::client::ServiceCommands(*window, folder);  // owned by the window
    sentrel::client::InstallLanguageCommands(*window);
    sentrel::client::InstallHelpCommands(*window);
    // Owned by the window; it must exist before Load, which reads the rules through it.
    new sentrel::client::RuleEditorLink(*window);
    window->Load();
    if (window->ended()) {
      ended_at_load = true;
      QApplication::quit();
      return;
    }
    window->show();
  };
  sentrel::client::StartClient(session, open_main);
  if (ended_at_load) return 0;
  const int code = QApplication::exec();
  window.reset();  // before the session and the platform it uses
  return code;
}
