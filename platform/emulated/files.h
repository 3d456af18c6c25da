// Files of an emulated computer: Windows paths map to host files (Machine::HostPath). A host
// program (ELF) keeps its version resource in the resource-only DLL beside it
// (version_resource.h).
#ifndef PLATFORM_EMULATED_FILES_H_
#define PLATFORM_EMULATED_FILES_H_

#include <memory>
#include <string>

#include "platform/emulated/machine.h"
#include "platform/files.h"

namespace platform::emulated {

// The answer for a host path that names nothing: kErrorPathNotFound when its folder is missing
// too, else kErrorFileNotFound (what opening a missing Windows path answers).
[[nodiscard]] Result MissingFileResult(const std::string& host_path);

class EmulatedFiles : public Files {
 public:
  explicit EmulatedFiles(std::shared_ptr<Machine> machine) : machine_(std::move(machine)) {}

  [[nodiscard]] Result FileExists(std::u16string_view path) override;
  [[nodiscard]] Result QueryFileVersion(std::u16string_view path, FixedFileInfo* info) override;

 private:
  std::shared_ptr<Machine> machine_;
};

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_FILES_H_
