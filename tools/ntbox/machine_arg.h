// The computer an ntbox subcommand works on: the directory named by NTBOX_MACHINE, else the
// default computer, which is created on first use.
#ifndef TOOLS_NTBOX_MACHINE_ARG_H_
#define TOOLS_NTBOX_MACHINE_ARG_H_

#include <memory>
#include <string>

#include "platform/emulated/emulated_platform.h"

namespace ntbox {

// Opens the computer. A missing computer named by NTBOX_MACHINE is an error (it is not
// created); the default computer is created with the standard logs and sample records when its
// directory holds none yet. On failure answers null with a message naming the directory or file.
std::unique_ptr<platform::emulated::EmulatedPlatform> OpenComputer(std::string* error);

}  // namespace ntbox

#endif  // TOOLS_NTBOX_MACHINE_ARG_H_
