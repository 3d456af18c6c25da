// The main window's About, Update Check, Manual and web page commands.
#ifndef CLIENT_AUXILIARY_UI_HELP_COMMANDS_H_
#define CLIENT_AUXILIARY_UI_HELP_COMMANDS_H_

namespace sentrel::client {

class MainWindow;

// Gives the main window the handlers of its Help menu and of the About and Update toolbar
// buttons. The windows open modally; a page that cannot be opened shows its box.
void InstallHelpCommands(MainWindow& window);

}  // namespace sentrel::client

#endif  // CLIENT_AUXILIARY_UI_HELP_COMMANDS_H_
