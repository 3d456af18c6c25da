// The message compiler on any .mc text: it never fails without a reason and a line of the file,
// and every message it accepts is found again, with its text, in the DLL it builds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/emulated/message_compiler.h"
#include "platform/emulated/pe_message_table.h"

namespace {

using namespace platform::emulated;

void Check(bool condition) {
  if (!condition) std::abort();
}

int LineCount(std::string_view bytes) {
  int lines = 1;
  for (char c : bytes) lines += c == '\n';
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view source(reinterpret_cast<const char*>(data), size);
  McDocument doc;
  McError error;
  if (!CompileMessageText(source, &doc, &error)) {
    Check(!error.message.empty());
    Check(error.line >= 1 && error.line <= LineCount(source) + 1);
    return 0;
  }
  const std::vector<uint8_t> dll = BuildMessageDll(doc);
  PeMessageTable table;
  Check(PeMessageTable::Parse(dll, &table) == platform::kSuccess);
  for (const McMessage& message : doc.messages) {
    Check(!message.texts.empty());
    for (const auto& [language, text] : message.texts) {
      MessageText found;
      Check(table.Find(message.id, language, &found) == platform::kSuccess);
      // A table entry ends at its first NUL, as Windows reads it.
      Check(found.text == std::u16string_view(text).substr(0, text.find(u'\0')));
    }
  }
  return 0;
}
