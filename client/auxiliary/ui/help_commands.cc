#include "client/auxiliary/ui/help_commands.h"

#include "client/auxiliary/help_links.h"
#include "client/auxiliary/ui/about_window.h"
#include "client/auxiliary/ui/update_check_window.h"
#include "client/ui/main_window.h"
#include "client/ui/message_box.h"

namespace sentrel::client {
namespace {

void ShowIfAny(MainWindow& window, const std::optional<UserMessage>& box) {
  if (box) ShowMessage(&window, *box);
}

}  // namespace

void InstallHelpCommands(MainWindow& window) {
  window.SetCommandHandler(Command::kAbout, [&window] {
    AboutWindow about(window.session(), &window);
    about.exec();
  });
  window.SetCommandHandler(Command::kUpdate, [&window] {
    UpdateCheckWindow check(window.session(), &window);
    check.exec();
  });
  window.SetCommandHandler(
      Command::kManual, [&window] { ShowIfAny(window, OpenManual(window.session().platform())); });
  const std::pair<Command, WebPage> pages[] = {
      {Command::kFaq, WebPage::kFaq},
      {Command::kSeminars, WebPage::kSeminars},
      {Command::kHomepage, WebPage::kHomepage},
      {Command::kMakerHome, WebPage::kMakerHome},
      {Command::kRequestSupport, WebPage::kRequestSupport},
  };
  for (const auto& [command, page] : pages) {
    window.SetCommandHandler(command, [&window, page = page] {
      ShowIfAny(window, OpenWebPage(window.session().platform(), page));
    });
  }
}

}  // namespace sentrel::client
