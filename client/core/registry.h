// The client's registry primitives (module Registry): every read and write of the configuration
// goes through them.
//
// Each operation records its result code as the last result and, when it fails, writes one trace
// line ending in CR LF to the debugger output. Reads never fail for the caller: a value that is
// missing, unreadable or too long gives the caller's default. Numbers are read into 4 bytes and
// texts through the registry's narrow (ANSI code page) view into a 256-byte buffer, exactly as
// the service reads them, so the client shows what the service would use.
//
// The first failed save since ClearSaveFailure is remembered with the value's name, so that a
// whole save can report the first value that did not reach the registry.
#ifndef CLIENT_CORE_REGISTRY_H_
#define CLIENT_CORE_REGISTRY_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace sentrel::client {

using platform::Result;

// A text read through the narrow view must fit this buffer with its terminator.
inline constexpr uint32_t kRegTextBufferSize = 256;

struct SaveFailure {
  std::u16string value;  // the value's name
  Result code = platform::kSuccess;
};

class Registry {
 public:
  explicit Registry(platform::Platform& platform);
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // A null key answers kErrorInvalidHandle (and gives the default).
  Result ReadRegString(platform::RegKey* key, std::u16string_view name, std::u16string* out,
                       std::u16string_view fallback);
  Result ReadRegDword(platform::RegKey* key, std::u16string_view name, int32_t* out,
                      int32_t fallback, bool* found = nullptr);

  // Writes the text as REG_SZ; an empty text deletes the value instead unless keep_empty.
  Result SaveRegString(platform::RegKey* key, std::u16string_view name, std::u16string_view text,
                       bool keep_empty);
  Result SaveRegDword(platform::RegKey* key, std::u16string_view name, uint32_t value);
  // A value that is already absent counts as deleted (kSuccess).
  Result DeleteRegValue(platform::RegKey* key, std::u16string_view name);

  // Texts read and written as UTF-16, for values the service reads that way (filter rule texts):
  // nothing outside the ANSI code page is lost. The read takes at most `max_bytes` (a longer
  // value gives the default) up to the stored length and the first zero. The save writes REG_SZ
  // with its terminator when that still fits `max_bytes`, else without it; an empty text deletes
  // the value unless keep_empty.
  Result ReadRegStringWide(platform::RegKey* key, std::u16string_view name, uint32_t max_bytes,
                           std::u16string* out, std::u16string_view fallback);
  Result SaveRegStringWide(platform::RegKey* key, std::u16string_view name,
                           std::u16string_view text, uint32_t max_bytes, bool keep_empty);

  // The names of the subkeys of `path` below HKEY_LOCAL_MACHINE of `computer` (empty or
  // "LOCALHOST": this computer, opened for reading; any other name: that computer's registry),
  // in enumeration order; nullopt when the key cannot be opened. A name longer than 255
  // characters is skipped.
  std::optional<std::vector<std::u16string>> EnumRegSubkeys(std::u16string_view computer,
                                                            std::u16string_view path);

  Result last_result() const { return last_result_; }
  void ClearSaveFailure() { save_failure_.reset(); }
  const std::optional<SaveFailure>& save_failure() const { return save_failure_; }

  // One line to the debugger output; CR LF is appended.
  void Trace(std::u16string_view line);

  platform::Platform& platform() { return platform_; }

 private:
  Result Record(Result result) { return last_result_ = result; }
  void NoteSaveFailure(std::u16string_view name, Result code);
  void TraceSaveFailure(std::u16string_view kind, std::u16string_view name, Result code);

  platform::Platform& platform_;
  Result last_result_ = platform::kSuccess;
  std::optional<SaveFailure> save_failure_;
};

// "LOCALHOST" (exactly, case-sensitive) and the empty name are the local computer.
bool IsLocalTarget(std::u16string_view computer);

// Decimal digits only, at most `max`; nullopt for anything else (empty, signs, blanks, more).
std::optional<uint32_t> ParseUnsigned(std::u16string_view text, uint32_t max);

}  // namespace sentrel::client

#endif  // CLIENT_CORE_REGISTRY_H_
