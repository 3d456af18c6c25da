// Reading a source file and writing what was built from it, for the ntbox compilers (mc, rc).
#ifndef TOOLS_NTBOX_SOURCE_FILE_H_
#define TOOLS_NTBOX_SOURCE_FILE_H_

#include <cstddef>
#include <string>

namespace ntbox {

// The whole file `path` into *bytes; false when it cannot be opened or read.
bool ReadFile(const std::string& path, std::string* bytes);

// Writes `size` bytes to `path`, replacing what it held; false when any step fails.
bool WriteFile(const std::string& path, const void* data, size_t size);

}  // namespace ntbox

#endif  // TOOLS_NTBOX_SOURCE_FILE_H_
