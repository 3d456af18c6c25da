// Reading RT_MESSAGETABLE resources out of PE files (DLL or EXE, PE32 and PE32+), the way a module
// loaded as a data file gives its messages to FormatMessageW.
#ifndef PLATFORM_EMULATED_PE_MESSAGE_TABLE_H_
#define PLATFORM_EMULATED_PE_MESSAGE_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/result.h"

namespace platform::emulated {

inline constexpr uint16_t kRtMessageTable = 11;
inline constexpr uint16_t kLangEnglishUs = 0x0409;
inline constexpr uint16_t kLangUserDefault = 0x0400;

// Code page 1252 to UTF-16: how the ANSI entries of a message table are read.
std::u16string Cp1252ToUtf16(std::span<const uint8_t> bytes);

// A whole file read into memory: a private copy, which no later change of the file can reach. A
// module stays loaded while another process may rewrite its file (Windows refuses that write; a
// mapping of the file would see it half done, or fault when the file shrinks).
class FileImage {
 public:
  // kErrorModNotFound when there is no such regular file or it cannot be read. An empty file
  // gives an empty image.
  [[nodiscard]] static Result Open(const std::string& host_path, FileImage* out);

  std::span<const uint8_t> bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// One message found in a table.
struct MessageText {
  std::u16string text;  // up to its terminating NUL, line ends as stored
  uint16_t language = 0;
};

// The message tables of one PE file, one per language. Holds views into the image it was parsed
// from: the bytes must outlive the table.
class PeMessageTable {
 public:
  // Finds the resource directory and the RT_MESSAGETABLE resource (name 1) of each language.
  // kErrorBadExeFormat when the bytes are no PE image, have no resource directory, or any
  // offset or size on the way points outside the file. A PE without message tables parses and
  // has no languages.
  [[nodiscard]] static Result Parse(std::span<const uint8_t> image, PeMessageTable* out);

  // The languages that have a message table, ascending.
  std::vector<uint16_t> Languages() const;

  // Looks up `message_id`. `language` 0 or 0x400 picks the module's default (English US when
  // present, else the first language); any other value must be present exactly.
  // Errors: kErrorResourceTypeNotFound (no message table at all), kErrorResourceLangNotFound,
  // kErrorMrMidNotFound, kErrorInvalidData (the table itself is damaged).
  [[nodiscard]] Result Find(uint32_t message_id, uint16_t language, MessageText* out) const;

 private:
  struct Table {
    uint16_t language;
    std::span<const uint8_t> data;  // MESSAGE_RESOURCE_DATA
  };

  std::vector<Table> tables_;  // ascending by language
};

// The bytes of the resource of `type` and `name` (its first language) in a PE image: a view
// into `image`. kErrorBadExeFormat when the bytes are no PE image or the way to the resource
// leaves the file; kErrorResourceTypeNotFound / kErrorResourceNameNotFound when the image has
// no such resource.
[[nodiscard]] Result FindPeResource(std::span<const uint8_t> image, uint16_t type, uint16_t name,
                                    std::span<const uint8_t>* data);

// Looks up `message_id` in one MESSAGE_RESOURCE_DATA blob.
[[nodiscard]] Result FindInMessageData(std::span<const uint8_t> data, uint32_t message_id,
                                       std::u16string* text);

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_PE_MESSAGE_TABLE_H_
