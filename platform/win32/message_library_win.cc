// Message libraries through LoadLibraryExW / FreeLibrary and FormatMessageW.

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/win32/last_error_win.h"
#include "platform/win32/wide_text_win.h"
#include "platform/win32/win32_parts.h"

namespace platform::win32 {
namespace {

// FormatMessageW writes at most 64K bytes.
constexpr size_t kMaxFormatChars = 32 * 1024;

// Inserts run from %1 to %99; a printf form with '*' width and precision reads two entries more.
constexpr size_t kPaddedArgs = 101;

class Win32MessageModule : public MessageModule {
 public:
  explicit Win32MessageModule(HMODULE module) : module_(module) {}
  ~Win32MessageModule() override { FreeLibrary(module_); }
  Win32MessageModule(const Win32MessageModule&) = delete;
  Win32MessageModule& operator=(const Win32MessageModule&) = delete;

  HMODULE handle() const { return module_; }

 private:
  HMODULE module_;
};

// What the entries past the caller's array point at. U+FFFF is a noncharacter, which no text
// holds, so a result that contains it used an insert the caller did not supply.
constexpr wchar_t kMissingInsert[] = L"\xFFFF";

// The argument array FormatMessageW reads. Windows cannot tell how long the caller's array is and
// reads any entry a template names, past the end too; so the caller's `arg_count` entries are
// copied and the array is padded up to the highest entry a template can name with pointers to
// kMissingInsert, which Format turns into kErrorInvalidParameter. (A numeric form such as %5!d!
// beyond the array prints the pointer instead; callers pass every insert the message needs.)
std::vector<DWORD_PTR> ArgumentArray(const uintptr_t* args, size_t arg_count) {
  std::vector<DWORD_PTR> array(std::max(arg_count, kPaddedArgs),
                               reinterpret_cast<DWORD_PTR>(kMissingInsert));
  if (args != nullptr) std::copy(args, args + arg_count, array.begin());
  return array;
}

// kErrorInvalidParameter when the text used a padding entry, as the interface promises for an
// insert beyond the caller's array.
Result CheckInserts(bool padded, std::u16string* out) {
  if (padded && out->find(static_cast<char16_t>(kMissingInsert[0])) != std::u16string::npos) {
    out->clear();
    return kErrorInvalidParameter;
  }
  return kSuccess;
}

class Win32MessageLibrary : public MessageLibrary {
 public:
  [[nodiscard]] Result Load(std::u16string_view path, uint32_t flags,
                            std::unique_ptr<MessageModule>* out) override {
    out->reset();
    HMODULE module = LoadLibraryExW(ToWide(path).c_str(), nullptr, flags);
    if (module == nullptr) return LastError();
    *out = std::make_unique<Win32MessageModule>(module);
    return kSuccess;
  }

  [[nodiscard]] Result Format(uint32_t flags, const MessageModule* module, uint32_t message_id,
                              uint32_t language, const uintptr_t* args, size_t arg_count,
                              size_t size, std::u16string* out) override {
    out->clear();
    // The interface has no source string to format from.
    if (flags & kFormatMessageFromString) return kErrorInvalidParameter;
    HMODULE source = nullptr;
    if (module != nullptr) {
      const auto* ours = dynamic_cast<const Win32MessageModule*>(module);
      if (ours == nullptr) return kErrorInvalidHandle;
      source = ours->handle();
    }
    std::vector<DWORD_PTR> array;
    DWORD api_flags = flags;
    if (!(flags & kFormatMessageIgnoreInserts)) {
      array = ArgumentArray(args, args != nullptr ? arg_count : 0);
      api_flags |= FORMAT_MESSAGE_ARGUMENT_ARRAY;
    }
    const bool padded = !array.empty() && (args == nullptr || arg_count < array.size());
    auto* arguments = array.empty() ? nullptr : reinterpret_cast<va_list*>(array.data());
    const DWORD limit = static_cast<DWORD>(std::min(size, kMaxFormatChars));

    SetLastError(ERROR_SUCCESS);
    if (flags & kFormatMessageAllocateBuffer) {
      wchar_t* allocated = nullptr;
      const DWORD n = FormatMessageW(api_flags, source, message_id, language,
                                     reinterpret_cast<LPWSTR>(&allocated), limit, arguments);
      if (n == 0 && GetLastError() != ERROR_SUCCESS) {
        if (allocated) LocalFree(allocated);
        return LastError();
      }
      if (allocated) {
        *out = FromWide(allocated, n);
        LocalFree(allocated);
      }
      return CheckInserts(padded, out);
    }
    std::vector<wchar_t> buffer(std::max<DWORD>(limit, 1));
    const DWORD n =
        FormatMessageW(api_flags, source, message_id, language, buffer.data(), limit, arguments);
    if (n == 0 && GetLastError() != ERROR_SUCCESS) return LastError();
    *out = FromWide(buffer.data(), n);
    return CheckInserts(padded, out);
  }
};

}  // namespace

std::unique_ptr<MessageLibrary> MakeMessageLibrary() {
  return std::make_unique<Win32MessageLibrary>();
}

}  // namespace platform::win32
