// Fuzzes the message-table reader and the FormatMessageW engine: the input is read as a PE file,
// and every message found (or the input itself, as UTF-16) is formatted with a few insert
// strings and a null entry (every entry must be a string or null: a numeric entry read by an
// s-form would be a caller's bug, as on Windows) under each width mode.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/emulated/format_message.h"
#include "platform/emulated/message_compiler.h"
#include "platform/emulated/pe_message_table.h"
#include "platform/message_library.h"

namespace {

using namespace platform;
using namespace platform::emulated;

void FormatAllWays(std::u16string_view pattern) {
  static const char16_t* const kStrings[] = {u"one", u"%1 two%n", u""};
  const uintptr_t args[] = {reinterpret_cast<uintptr_t>(kStrings[0]),
                            reinterpret_cast<uintptr_t>(kStrings[1]),
                            reinterpret_cast<uintptr_t>(kStrings[2]), 0};
  for (uint32_t flags : {0u, kFormatMessageMaxWidthMask, 7u, kFormatMessageIgnoreInserts}) {
    std::u16string out;
    // Only a crash or a sanitizer report is a finding; the result code is free to be anything.
    static_cast<void>(FormatMessageTemplate(pattern, flags, args, 4, &out));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PeMessageTable table;
  if (PeMessageTable::Parse({data, size}, &table) == kSuccess) {
    for (uint16_t language : table.Languages()) {
      for (uint32_t id : {0u, 1u, 2u, 100u, 7036u, 0x41011b7cu, 0xc0000001u}) {
        MessageText text;
        if (table.Find(id, language, &text) == kSuccess) FormatAllWays(text.text);
      }
    }
  }
  std::u16string pattern;
  for (size_t i = 0; i + 1 < size; i += 2)
    pattern.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  FormatAllWays(pattern);
  // The message compiler on the same bytes as .mc source; what it accepts must read back.
  McDocument doc;
  McError error;
  if (CompileMessageText({reinterpret_cast<const char*>(data), size}, &doc, &error)) {
    const std::vector<uint8_t> dll = BuildMessageDll(doc);
    PeMessageTable own;
    if (PeMessageTable::Parse(dll, &own) != kSuccess) __builtin_trap();
  }
  return 0;
}
