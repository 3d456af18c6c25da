// CFGVaskwell: the configuration client. Edits the service's configuration on the computer it
// runs on (on Linux the emulated computer that NTBOX_MACHINE names, else the default one).
#include <QApplication>
#include <QMessageBox>
#include <memory>
#include <string>

#include "client/core/client_session.h"
#include "client/ui/main_window.h"
#include "client/ui/message_box.h"
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
  session.LoadUserConfig();

  sentrel::client::MainWindow window(session);
  window.Load();
  if (window.ended()) return 0;
  window.show();
  return QApplication::exec();
}
