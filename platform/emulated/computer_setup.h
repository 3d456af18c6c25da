// What a new emulated computer holds: its facts in the registry, the standard event logs, and
// (when asked) the standard event sources with sample records.
#ifndef PLATFORM_EMULATED_COMPUTER_SETUP_H_
#define PLATFORM_EMULATED_COMPUTER_SETUP_H_

#include <string>
#include <vector>

#include "platform/emulated/emulated_platform.h"

namespace platform::emulated {

// Writes the facts of `options` where Windows keeps them. Runs before the platform's parts are
// built, on a bare registry.
[[nodiscard]] Result WriteComputerFacts(Registry& registry, const ComputerOptions& options);

// Registers the standard logs (System, Application, Security; from version 5 on also DNS Server,
// Directory Service and File Replication Service) and, with options.seed, the common sources,
// their message libraries and some sample records.
bool SetUpComputer(EmulatedPlatform& platform, const ComputerOptions& options, std::string* error);

// The logs a computer of this major version has.
std::vector<std::u16string> StandardLogs(uint32_t major_version);

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_COMPUTER_SETUP_H_
