// The description of an event record, rendered the way the event viewer renders it: the event
// source's message library (named in the registry) holds a template for the event identifier, and
// the record's insertion strings are put into it. Every call reads the registry afresh; the
// modules come from a ModuleCache, which keeps them loaded for the pass.
#ifndef SERVICE_BASE_EVENT_MESSAGE_H_
#define SERVICE_BASE_EVENT_MESSAGE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "service/base/module_cache.h"
#include "service/base/record_view.h"

namespace sentrel {

// The language the libraries are asked for: neutral language, default sublanguage (the user's
// default language).
inline constexpr uint32_t kLanguageUserDefault = 1024;
// Entries of the insertion-string table handed to the message template.
inline constexpr size_t kInsertionTableSize = 100;
// Data buffer, in bytes, for the EventMessageFile and ParameterMessageFile values.
inline constexpr uint32_t kLibraryValueBytes = 1024;
// Room, in characters with the terminator, for an expanded library list.
inline constexpr size_t kLibraryListChars = 1024;

// ReadEventMessage: the record's description, at most `size` - 1 characters (`size` counts the
// terminator of the caller's buffer, as FormatMessageW's nSize does). Tries the modules of the
// source's EventMessageFile list in order; the first one that formats the record's full 32-bit
// EventID gives the text (parameter references expanded, the trailing character the width flag
// leaves removed). Without such a module the text is BuildFallbackDescription's.
//
// A template that refers to an insertion string the record does not have (%3 with two strings)
// keeps that reference as it is written ("%3") instead of reading past the strings.
std::u16string ReadEventMessage(platform::Platform& platform, ModuleCache& modules,
                                const RecordView& record, std::u16string_view log, size_t size);
// The same with modules loaded for this call only.
std::u16string ReadEventMessage(platform::Platform& platform, const RecordView& record,
                                std::u16string_view log, size_t size);

// ReadMsgLib / ReadParamLib: the source's EventMessageFile / ParameterMessageFile list with its
// environment variables expanded; empty when the key or value is missing, the value does not fit
// 1024 bytes, or the expansion needs more than 1024 characters.
std::u16string ReadMsgLib(platform::Platform& platform, std::u16string_view source,
                          std::u16string_view log);
std::u16string ReadParamLib(platform::Platform& platform, std::u16string_view source,
                            std::u16string_view log);

// LoadParameterText: the text of parameter `number` from the first module of `list` that has
// it, as FormatMessageW gives it (line end included); nothing when no module does.
std::optional<std::u16string> LoadParameterText(ModuleCache& modules, std::u16string_view list,
                                                uint32_t number, uint32_t language);

// ExpandParameterStrings: replaces each parameter reference ("%%" and a decimal number) in
// `text` by the parameter's text without its last character; the character after the number is
// dropped with the reference. A reference that no parameter library resolves is kept as written,
// together with the character after it. When anything was replaced the result is cut to
// `size` - 1 characters; otherwise `text` is untouched.
void ExpandParameterStrings(platform::Platform& platform, ModuleCache& modules,
                            const RecordView& record, std::u16string_view log, std::u16string* text,
                            size_t size);

// BuildFallbackDescription: the sentence telling that the description could not be found, then
// each insertion string after one space; at most `size` - 1 characters.
std::u16string BuildFallbackDescription(const RecordView& record, size_t size);

}  // namespace sentrel

#endif  // SERVICE_BASE_EVENT_MESSAGE_H_
