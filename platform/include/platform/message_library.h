// Message libraries: modules loaded as data files (LoadLibraryExW / FreeLibrary) and message
// formatting from their message tables (FormatMessageW).
//
// Blocking: Load reads the file (maps it); Format works in memory. Threads: any thread; a loaded
// module is read-only and may be used by several threads at once.
#ifndef PLATFORM_MESSAGE_LIBRARY_H_
#define PLATFORM_MESSAGE_LIBRARY_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace platform {

// LoadLibraryExW flags.
inline constexpr uint32_t kDontResolveDllReferences = 0x00000001;
inline constexpr uint32_t kLoadLibraryAsDatafile = 0x00000002;

// FormatMessageW flags.
inline constexpr uint32_t kFormatMessageAllocateBuffer = 0x00000100;
inline constexpr uint32_t kFormatMessageIgnoreInserts = 0x00000200;
inline constexpr uint32_t kFormatMessageFromString = 0x00000400;
inline constexpr uint32_t kFormatMessageFromHmodule = 0x00000800;
inline constexpr uint32_t kFormatMessageFromSystem = 0x00001000;
inline constexpr uint32_t kFormatMessageArgumentArray = 0x00002000;
inline constexpr uint32_t kFormatMessageMaxWidthMask = 0x000000FF;

// A loaded module. Destroying it releases it (FreeLibrary).
class MessageModule {
 public:
  virtual ~MessageModule() = default;
};

class MessageLibrary {
 public:
  virtual ~MessageLibrary() = default;

  // LoadLibraryExW. `path` is a file path of the computer (environment variables already
  // expanded). When there is no such file: kErrorFileNotFound with kLoadLibraryAsDatafile (the
  // module is opened as a file), else kErrorModNotFound. kErrorBadExeFormat when it is no module.
  [[nodiscard]] virtual Result Load(std::u16string_view path, uint32_t flags,
                                    std::unique_ptr<MessageModule>* out) = 0;

  // FormatMessageW with kFormatMessageFromHmodule (module given) or kFormatMessageFromSystem
  // (module null: the system's message table). `args` is the argument array as Windows reads it
  // with kFormatMessageArgumentArray: each entry is a pointer to a NUL-terminated UTF-16 string
  // for %n and %n!s!, or an integer for the numeric printf forms. `arg_count` is how many entries
  // the array has; an insert beyond it fails with kErrorInvalidParameter instead of reading past
  // the array. `size` is nSize in characters: the output limit (terminator included, else
  // kErrorInsufficientBuffer), or a minimum with kFormatMessageAllocateBuffer. Errors:
  // kErrorMrMidNotFound (no such message), kErrorResourceLangNotFound (no such language).
  [[nodiscard]] virtual Result Format(uint32_t flags, const MessageModule* module,
                                      uint32_t message_id, uint32_t language, const uintptr_t* args,
                                      size_t arg_count, size_t size, std::u16string* out) = 0;
};

}  // namespace platform

#endif  // PLATFORM_MESSAGE_LIBRARY_H_
