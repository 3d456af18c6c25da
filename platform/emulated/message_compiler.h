// The message compiler: message text files (.mc) to message tables, a C header and a
// resource-only DLL that Windows loads as a data file.
#ifndef PLATFORM_EMULATED_MESSAGE_COMPILER_H_
#define PLATFORM_EMULATED_MESSAGE_COMPILER_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform::emulated {

struct McMessage {
  uint32_t id = 0;  // severity << 30 | customer bit | facility << 16 | code
  std::string symbolic_name;
  int line = 0;                              // where its MessageId statement is
  std::map<uint16_t, std::u16string> texts;  // by language id; lines end in CR LF
};

struct McDocument {
  std::vector<McMessage> messages;  // in the order of the file
  std::string header;               // the C header: ';' comments and #defines, UTF-8
};

struct McError {
  int line = 0;
  std::string message;
};

// The longest message text (its line ends included) a message table entry can hold: the entry's
// 16-bit length counts 4 header bytes and the UTF-16 text with its NUL, padded to 4 bytes.
inline constexpr size_t kMaxMessageTextChars = 32763;

// Compiles a message text file: UTF-8 (with or without BOM) or UTF-16LE with BOM.
// Keywords are compared without regard to case; the defaults are
// SeverityNames=(Success=0x0 Informational=0x1 Warning=0x2 Error=0x3),
// FacilityNames=(System=0x0FF Application=0xFFF), LanguageNames=(English=0x409:MSG00001).
// Severity and Facility carry over from the previous message (initially 0); MessageId without a
// value is the last code of its facility plus one, "+n" adds n. Each message text keeps its
// lines, each ended by CR LF, up to the line holding a single ".".
// A text longer than kMaxMessageTextChars is an error. Returns false with the line and reason
// of the first error.
bool CompileMessageText(std::string_view bytes, McDocument* out, McError* error);

// One MESSAGE_RESOURCE_DATA: Unicode entries, one block per run of consecutive ids.
std::vector<uint8_t> BuildMessageTableResource(const std::map<uint32_t, std::u16string>& messages);

// A resource-only PE32+ DLL (x64) with one RT_MESSAGETABLE resource (name 1) per language of
// the document.
std::vector<uint8_t> BuildMessageDll(const McDocument& document);

// A resource-only PE32+ DLL (x64) with one resource of `type` and `name` per language: the map
// gives each language's resource bytes.
std::vector<uint8_t> BuildResourceDll(uint16_t type, uint16_t name,
                                      const std::map<uint16_t, std::vector<uint8_t>>& resources);

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_MESSAGE_COMPILER_H_
