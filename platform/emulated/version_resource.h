// Version resources (RT_VERSION): compiling the VERSIONINFO statement of a resource script
// (.rc) into the VS_VERSIONINFO layout, and reading the fixed part back out of it.
//
// A program of the emulated computer that is a host program (not a PE file) carries its version
// resource in a resource-only DLL beside it, named after it with ".rsrc.dll" appended
// (vaskwell -> vaskwell.rsrc.dll); the build writes it from the program's .rc with `ntbox rc`.
#ifndef PLATFORM_EMULATED_VERSION_RESOURCE_H_
#define PLATFORM_EMULATED_VERSION_RESOURCE_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/result.h"

namespace platform::emulated {

inline constexpr uint16_t kRtVersion = 16;
inline constexpr char kResourceCarrierSuffix[] = ".rsrc.dll";

struct VersionInfoScript {
  uint16_t resource_name = 1;  // the number before VERSIONINFO
  FixedFileInfo fixed;
  // BLOCK "StringFileInfo": one table per BLOCK "040904B0" (language and code page in hex).
  struct StringTable {
    std::u16string key;
    std::vector<std::pair<std::u16string, std::u16string>> values;
  };
  std::vector<StringTable> string_tables;
  // BLOCK "VarFileInfo" VALUE "Translation": language and code page pairs.
  std::vector<std::pair<uint16_t, uint16_t>> translations;
};

// Compiles the first VERSIONINFO statement of a resource script: the fixed statements
// (FILEVERSION, PRODUCTVERSION, FILEFLAGSMASK, FILEFLAGS, FILEOS, FILETYPE, FILESUBTYPE; numbers
// decimal or 0x hex, joined by |), the StringFileInfo and VarFileInfo blocks (BEGIN/END or
// braces). Lines starting with '#' and // comments are skipped. False with the line and reason
// of the first error.
bool CompileVersionInfo(std::string_view script, VersionInfoScript* out, int* error_line,
                        std::string* error);

// The VS_VERSIONINFO bytes of a compiled statement.
std::vector<uint8_t> BuildVersionResource(const VersionInfoScript& info);

// The language of the resource: the first translation's, else English (United States).
uint16_t VersionResourceLanguage(const VersionInfoScript& info);

// The fixed part of VS_VERSIONINFO bytes (VerQueryValueW of "\"). kErrorInvalidData when the
// bytes are not a version resource.
[[nodiscard]] Result ReadFixedFileInfo(std::span<const uint8_t> resource, FixedFileInfo* out);

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_VERSION_RESOURCE_H_
