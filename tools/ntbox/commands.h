// The subcommands of ntbox. Each takes the arguments after its own name and returns the process
// exit code; errors go to standard error as "ntbox: ..." lines.
#ifndef TOOLS_NTBOX_COMMANDS_H_
#define TOOLS_NTBOX_COMMANDS_H_

#include <string>
#include <vector>

namespace ntbox {

using Args = std::vector<std::string>;

int RunInit(const Args& args);         // ntbox init [--name N] [--hostname H] [--version V] ...
int RunReg(const Args& args);          // ntbox reg query|add|delete|export|import ...
int RunEvt(const Args& args);          // ntbox evt write|query|clear ...
int RunEventCreate(const Args& args);  // ntbox eventcreate ... (Windows eventcreate.exe syntax)
int RunMc(const Args& args);           // ntbox mc FILE.mc -o FILE.dll
int RunRc(const Args& args);           // ntbox rc FILE.rc -o FILE.dll (VERSIONINFO)
int RunSc(const Args& args);           // ntbox sc query|start|stop|create|delete ...
int RunBoot(const Args& args);         // ntbox boot: starts the automatic services

}  // namespace ntbox

#endif  // TOOLS_NTBOX_COMMANDS_H_
