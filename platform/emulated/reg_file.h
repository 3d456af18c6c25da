// Registry files (.reg) as the registry editor writes and reads them: "Windows Registry Editor
// Version 5.00" in UTF-16LE with a byte order mark and CR LF line ends, or the older "REGEDIT4".
//
// Pure functions: the parser turns the whole file into a RegFile (or one error with its line) and
// touches no registry, so a caller can refuse a bad file before writing anything; the writer
// turns a RegFile into the bytes of a file.
#ifndef PLATFORM_EMULATED_REG_FILE_H_
#define PLATFORM_EMULATED_REG_FILE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace platform::emulated {

struct RegFileValue {
  std::u16string name;  // empty: the key's default value ("@")
  bool remove = false;  // "name"=-
  uint32_t type = kRegSz;
  std::vector<uint8_t> data;  // as the registry stores it: texts in UTF-16LE with terminator
  int line = 0;               // where it starts in the file (parser only)
};

struct RegFileKey {
  RegRoot root = RegRoot::kLocalMachine;
  std::u16string path;  // below the root, components joined by '\'; empty: the root itself
  bool remove = false;  // [-KEY]: the key and everything below it
  std::vector<RegFileValue> values;
  int line = 0;
};

struct RegFile {
  std::vector<RegFileKey> keys;  // in file order
};

struct RegFileError {
  int line = 0;  // 0: the file as a whole (its encoding)
  std::string message;
};

// Converts text in the computer's ANSI code page to UTF-16 (REGEDIT4 files hold ANSI texts).
using AnsiDecoder = std::function<std::u16string(std::string_view)>;

// Splits "HKEY_LOCAL_MACHINE\A\B" (or HKLM, HKEY_CURRENT_USER, HKCU; any case) into its root and
// the path below it. False for any other root, and for empty or over-long key names.
bool SplitRootPath(std::u16string_view full, RegRoot* root, std::u16string* path);
// The full name of a root: "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER".
std::u16string RootName(RegRoot root);

// Parses a whole file. Texts: UTF-16LE with BOM, UTF-8 with or without BOM (REGEDIT4 files that
// are not UTF-8 are decoded with `ansi`). Answers false with the first error.
bool ParseRegFile(std::string_view bytes, const AnsiDecoder& ansi, RegFile* out,
                  RegFileError* error);

// The file regedit would write: UTF-16LE with BOM, CR LF, version 5.00 header, hex data wrapped
// with ",\" so that no line passes 80 columns.
std::string FormatRegFile(const RegFile& file);
// The same text as UTF-16 without BOM (for tests and for callers that write their own encoding).
std::u16string FormatRegText(const RegFile& file);

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_REG_FILE_H_
