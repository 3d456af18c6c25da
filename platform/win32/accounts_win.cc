// Accounts through LookupAccountSidW; environment strings through ExpandEnvironmentStringsW.

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/win32/sid_win.h"
#include "platform/win32/wide_text_win.h"
#include "platform/win32/win32_parts.h"

namespace platform::win32 {
namespace {

// Account and domain names are short; a caller's larger buffer is not needed in full.
constexpr size_t kMaxNameChars = 1024;

class Win32Accounts : public Accounts {
 public:
  [[nodiscard]] Result LookupSid(const uint8_t* sid, size_t sid_size, size_t name_chars,
                                 size_t domain_chars, std::u16string* name,
                                 std::u16string* domain) override {
    PSID checked = CheckedSid(sid, sid_size);
    if (checked == nullptr) return kErrorInvalidParameter;
    std::vector<wchar_t> name_buffer(std::clamp<size_t>(name_chars, 1, kMaxNameChars));
    std::vector<wchar_t> domain_buffer(std::clamp<size_t>(domain_chars, 1, kMaxNameChars));
    DWORD name_length = static_cast<DWORD>(std::min(name_chars, name_buffer.size()));
    DWORD domain_length = static_cast<DWORD>(std::min(domain_chars, domain_buffer.size()));
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, checked, name_buffer.data(), &name_length, domain_buffer.data(),
                           &domain_length, &use)) {
      return static_cast<Result>(GetLastError());
    }
    *name = FromWide(name_buffer.data(), name_length);
    *domain = FromWide(domain_buffer.data(), domain_length);
    return kSuccess;
  }
};

class Win32Environment : public Environment {
 public:
  // The text comes back unchanged when Windows cannot expand it (it takes at most 32K
  // characters).
  std::u16string Expand(std::u16string_view text) override {
    const std::wstring source = ToWide(text);
    std::vector<wchar_t> buffer(source.size() + 1);
    // A variable may change between the sizing and the filling call; try again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
      const DWORD capacity = static_cast<DWORD>(buffer.size());
      const DWORD needed = ExpandEnvironmentStringsW(source.c_str(), buffer.data(), capacity);
      if (needed == 0) break;
      if (needed <= capacity) return FromWide(buffer.data());
      buffer.assign(needed, L'\0');
    }
    return std::u16string(text);
  }
};

}  // namespace

std::unique_ptr<Accounts> MakeAccounts() { return std::make_unique<Win32Accounts>(); }
std::unique_ptr<Environment> MakeEnvironment() { return std::make_unique<Win32Environment>(); }

}  // namespace platform::win32
