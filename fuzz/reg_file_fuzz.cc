// The .reg file reader on any bytes: it never fails other than with an error and a line inside
// the file, and whatever it accepts, written back with the writer, reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/emulated/reg_file.h"

namespace {

using platform::emulated::ParseRegFile;
using platform::emulated::RegFile;
using platform::emulated::RegFileError;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Code page 1252 is not needed to find faults: bytes above 0x7F become U+0080 to U+00FF.
std::u16string Latin1(std::string_view bytes) {
  std::u16string text;
  for (char c : bytes) text.push_back(static_cast<unsigned char>(c));
  return text;
}

int LineCount(std::string_view bytes) {
  int lines = 1;
  for (char c : bytes) lines += c == '\n' || c == '\r';
  return lines;
}

bool SameFile(const RegFile& a, const RegFile& b) {
  if (a.keys.size() != b.keys.size()) return false;
  for (size_t k = 0; k < a.keys.size(); ++k) {
    const auto& x = a.keys[k];
    const auto& y = b.keys[k];
    if (x.root != y.root || x.path != y.path || x.remove != y.remove ||
        x.values.size() != y.values.size()) {
      return false;
    }
    for (size_t v = 0; v < x.values.size(); ++v) {
      const auto& p = x.values[v];
      const auto& q = y.values[v];
      if (p.name != q.name || p.remove != q.remove) return false;
      if (!p.remove && (p.type != q.type || p.data != q.data)) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  RegFile file;
  RegFileError error;
  if (!ParseRegFile(bytes, Latin1, &file, &error)) {
    Check(!error.message.empty());
    // A line of the file (UTF-16 counts each byte pair once, so the byte count bounds it).
    Check(error.line >= 0 && error.line <= LineCount(bytes));
    return 0;
  }
  const std::string written = platform::emulated::FormatRegFile(file);
  RegFile again;
  RegFileError again_error;
  Check(ParseRegFile(written, Latin1, &again, &again_error));
  Check(SameFile(file, again));
  return 0;
}
