// The registry: keys and typed values, local or on another computer.
//
// Shaped after the Win32 registry functions. Names are compared without regard to case and keep
// the case they were created with. Every operation returns a Windows result code; a value or key
// that does not exist answers kErrorFileNotFound, a key the caller may not use kErrorAccessDenied.
//
// Blocking: calls on this computer's keys return at once, except that on the emulated computer a
// write waits while another process writes (up to 30 s). Connect to another computer, and every
// call on its keys, waits for the network (on Windows up to the remote call's time-out, tens of
// seconds). Threads: Registry may be called from any thread; an open key belongs to one thread at
// a time.
#ifndef PLATFORM_REGISTRY_H_
#define PLATFORM_REGISTRY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace platform {

enum class RegRoot { kLocalMachine, kCurrentUser };

// Value types, numbered as on Windows.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;

enum class RegAccess { kRead, kReadWrite };

// An open key. Destroying it closes it (RegCloseKey).
class RegKey {
 public:
  virtual ~RegKey() = default;

  // RegOpenKeyExW. An empty path opens the key itself again.
  [[nodiscard]] virtual Result OpenKey(std::u16string_view path, RegAccess access,
                                       std::unique_ptr<RegKey>* out) = 0;
  // RegCreateKeyExW: opens the key, creating it and every missing key on the path. Opened for
  // read and write. *created (when given) tells whether the last key was new.
  [[nodiscard]] virtual Result CreateKey(std::u16string_view path, std::unique_ptr<RegKey>* out,
                                         bool* created = nullptr) = 0;
  // RegDeleteKeyW: deletes one key below this one; kErrorAccessDenied when it has subkeys.
  [[nodiscard]] virtual Result DeleteKey(std::u16string_view path) = 0;

  // RegEnumKeyExW. `max_chars` is the caller's name buffer in characters, terminator included:
  // a longer name answers kErrorMoreData. Past the last subkey: kErrorNoMoreItems. Subkeys come
  // in the order Windows gives them: sorted by their upper-case names.
  [[nodiscard]] virtual Result EnumKey(uint32_t index, size_t max_chars, std::u16string* name) = 0;
  // RegEnumValueW, in the order the values were first set. Data as stored (UTF-16 for texts).
  [[nodiscard]] virtual Result EnumValue(uint32_t index, std::u16string* name, uint32_t* type,
                                         std::vector<uint8_t>* data) = 0;

  // RegQueryValueExW: the stored bytes. `data` may be null to ask for the size only. When *size
  // is smaller than the stored size the answer is kErrorMoreData and *size the size needed.
  [[nodiscard]] virtual Result QueryValue(std::u16string_view name, uint32_t* type, void* data,
                                          uint32_t* size) = 0;
  // RegQueryValueExA: the same, but REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ data are converted to
  // the computer's ANSI code page first, and sizes count those bytes (terminator included).
  [[nodiscard]] virtual Result QueryValueAnsi(std::u16string_view name, uint32_t* type, void* data,
                                              uint32_t* size) = 0;

  // RegSetValueExW: stores the bytes as given (texts as UTF-16 with their terminator).
  [[nodiscard]] virtual Result SetValue(std::u16string_view name, uint32_t type, const void* data,
                                        uint32_t size) = 0;
  // RegSetValueExA for texts: `text` is in the ANSI code page, stored as UTF-16.
  [[nodiscard]] virtual Result SetValueAnsi(std::u16string_view name, uint32_t type,
                                            std::string_view text) = 0;
  // RegDeleteValueW.
  [[nodiscard]] virtual Result DeleteValue(std::u16string_view name) = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;

  // One of the predefined keys of this computer.
  [[nodiscard]] virtual Result OpenRoot(RegRoot root, std::unique_ptr<RegKey>* out) = 0;
  // RegConnectRegistryW. An empty name, or this computer's own name (with or without leading
  // backslashes), is the local computer; any other name is a remote computer, and one that
  // cannot be reached answers kErrorBadNetpath.
  [[nodiscard]] virtual Result Connect(std::u16string_view computer, RegRoot root,
                                       std::unique_ptr<RegKey>* out) = 0;
};

// Convenience reads and writes on top of RegKey.
[[nodiscard]] Result SetDword(RegKey& key, std::u16string_view name, uint32_t value);
[[nodiscard]] Result SetString(RegKey& key, std::u16string_view name, std::u16string_view value,
                               uint32_t type = kRegSz);
// Reads a REG_DWORD (or any value of exactly 4 bytes).
[[nodiscard]] Result QueryDword(RegKey& key, std::u16string_view name, uint32_t* value);
// Reads a text value as UTF-16, up to its stored length, without its terminator.
[[nodiscard]] Result QueryString(RegKey& key, std::u16string_view name, std::u16string* value);
// RegDeleteTreeW on a named subkey: deletes the key at `path` below `parent` with all its
// subkeys and values, children first. Stops at the first failure and returns its code; what was
// deleted before it stays deleted, as on Windows.
[[nodiscard]] Result DeleteKeyTree(RegKey& parent, std::u16string_view path);

}  // namespace platform

#endif  // PLATFORM_REGISTRY_H_
