// Message libraries of the emulated computer: PE files with RT_MESSAGETABLE resources, read
// from the computer's directory, and FormatMessageW on their tables or on a built-in system table.
#ifndef PLATFORM_EMULATED_MESSAGE_LIBRARY_H_
#define PLATFORM_EMULATED_MESSAGE_LIBRARY_H_

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/message_library.h"

namespace platform::emulated {

// The English text of a Windows system error code, ending in CR LF as in the system's message
// table; empty when the built-in table does not have it.
std::u16string_view SystemMessageText(uint32_t code);

class EmulatedMessageLibrary : public platform::MessageLibrary {
 public:
  // Maps a path of the computer (C:\WINDOWS\system32\x.dll) to the host file that holds it; an
  // empty result means there is no such file.
  using PathMapper = std::function<std::string(std::u16string_view)>;

  explicit EmulatedMessageLibrary(PathMapper map_path);

  // Reads the file; when it does not exist kErrorFileNotFound with kLoadLibraryAsDatafile, else
  // kErrorModNotFound; kErrorBadExeFormat when it is no PE file with a resource directory.
  // Otherwise the flags change nothing: every module is read as data.
  [[nodiscard]] Result Load(std::u16string_view path, uint32_t flags,
                            std::unique_ptr<MessageModule>* out) override;

  // kFormatMessageFromString is not supported by this interface and gives
  // kErrorInvalidParameter. A module without message tables gives kErrorResourceTypeNotFound.
  [[nodiscard]] Result Format(uint32_t flags, const MessageModule* module, uint32_t message_id,
                              uint32_t language, const uintptr_t* args, size_t arg_count,
                              size_t size, std::u16string* out) override;

 private:
  PathMapper map_path_;
};

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_MESSAGE_LIBRARY_H_
