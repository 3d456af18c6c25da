// ntbox evt import and ntbox evt export: classic .evt files in and out of an emulated computer's
// event logs.
#ifndef TOOLS_NTBOX_EVT_FILE_COMMAND_H_
#define TOOLS_NTBOX_EVT_FILE_COMMAND_H_

#include "platform/emulated/emulated_platform.h"
#include "tools/ntbox/commands.h"

namespace ntbox {

extern const char kEvtFileUsage[];

// ntbox evt import LOG FILE.evt [--keep-numbers] [--grow]: appends the file's records to LOG,
// all or none.
int EvtImport(platform::emulated::EmulatedPlatform& computer, const Args& args);
// ntbox evt export LOG FILE.evt: writes LOG as a backup file.
int EvtExport(platform::emulated::EmulatedPlatform& computer, const Args& args);

}  // namespace ntbox

#endif  // TOOLS_NTBOX_EVT_FILE_COMMAND_H_
