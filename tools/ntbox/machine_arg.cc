#include "tools/ntbox/machine_arg.h"

#include <unistd.h>

#include <cstdlib>

namespace ntbox {

using platform::emulated::EmulatedPlatform;
using platform::emulated::Machine;

std::unique_ptr<EmulatedPlatform> OpenComputer(std::string* error) {
  const char* named = std::getenv("NTBOX_MACHINE");
  if (named && *named) return EmulatedPlatform::Open(named, error);

  const std::string dir = platform::emulated::DefaultMachineDir();
  // Only a directory without a database is created; a damaged database is reported, never
  // replaced.
  if (access(Machine::DatabasePath(dir).c_str(), F_OK) == 0) {
    return EmulatedPlatform::Open(dir, error);
  }
  if (auto p = EmulatedPlatform::Create(dir, platform::emulated::ComputerOptions{}, error)) {
    return p;
  }
  // Another process may have created it at the same moment.
  std::string open_error;
  if (auto p = EmulatedPlatform::Open(dir, &open_error)) return p;
  return nullptr;
}

}  // namespace ntbox
