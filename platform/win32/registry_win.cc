// The registry through RegOpenKeyExW and the rest of the Win32 registry functions.

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/win32/wide_text_win.h"
#include "platform/win32/win32_parts.h"

namespace platform::win32 {
namespace {

HKEY RootHandle(RegRoot root) {
  return root == RegRoot::kLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// An open key. Keys this process opened are closed with RegCloseKey when it goes; the
// predefined local roots are not ours to close.
class Win32RegKey : public RegKey {
 public:
  Win32RegKey(HKEY key, bool owned, CodePage& code_page)
      : key_(key), owned_(owned), code_page_(code_page) {}
  ~Win32RegKey() override {
    if (owned_) RegCloseKey(key_);
  }
  Win32RegKey(const Win32RegKey&) = delete;
  Win32RegKey& operator=(const Win32RegKey&) = delete;

  [[nodiscard]] Result OpenKey(std::u16string_view path, RegAccess access,
                               std::unique_ptr<RegKey>* out) override {
    const REGSAM sam = access == RegAccess::kRead ? KEY_READ : KEY_READ | KEY_WRITE;
    HKEY opened = nullptr;
    const LONG r = RegOpenKeyExW(key_, ToWide(path).c_str(), 0, sam, &opened);
    if (r != ERROR_SUCCESS) return static_cast<Result>(r);
    *out = std::make_unique<Win32RegKey>(opened, true, code_page_);
    return kSuccess;
  }

  [[nodiscard]] Result CreateKey(std::u16string_view path, std::unique_ptr<RegKey>* out,
                                 bool* created) override {
    HKEY opened = nullptr;
    DWORD disposition = 0;
    const LONG r = RegCreateKeyExW(key_, ToWide(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_READ | KEY_WRITE, nullptr, &opened, &disposition);
    if (r != ERROR_SUCCESS) return static_cast<Result>(r);
    *out = std::make_unique<Win32RegKey>(opened, true, code_page_);
    if (created) *created = disposition == REG_CREATED_NEW_KEY;
    return kSuccess;
  }

  [[nodiscard]] Result DeleteKey(std::u16string_view path) override {
    return static_cast<Result>(RegDeleteKeyW(key_, ToWide(path).c_str()));
  }

  [[nodiscard]] Result EnumKey(uint32_t index, size_t max_chars, std::u16string* name) override {
    // Key names have at most 255 characters, so a bigger buffer is never needed.
    std::vector<wchar_t> buffer(std::clamp<size_t>(max_chars, 1, 256));
    DWORD length = static_cast<DWORD>(std::min<size_t>(max_chars, buffer.size()));
    const LONG r =
        RegEnumKeyExW(key_, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (r != ERROR_SUCCESS) return static_cast<Result>(r);
    *name = FromWide(buffer.data(), length);
    return kSuccess;
  }

  [[nodiscard]] Result EnumValue(uint32_t index, std::u16string* name, uint32_t* type,
                                 std::vector<uint8_t>* data) override {
    // Size the buffers by the key's longest name and value; retry if a writer grew them between
    // the two calls.
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD max_name = 0, max_data = 0;
      LONG r = RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                &max_name, &max_data, nullptr, nullptr);
      if (r != ERROR_SUCCESS) return static_cast<Result>(r);
      std::vector<wchar_t> name_buffer(max_name + 1);
      std::vector<uint8_t> bytes(std::max<DWORD>(max_data, 1));
      DWORD name_length = static_cast<DWORD>(name_buffer.size());
      DWORD data_size = max_data;
      DWORD value_type = 0;
      r = RegEnumValueW(key_, index, name_buffer.data(), &name_length, nullptr, &value_type,
                        bytes.data(), &data_size);
      if (r == ERROR_MORE_DATA) continue;
      if (r != ERROR_SUCCESS) return static_cast<Result>(r);
      *name = FromWide(name_buffer.data(), name_length);
      if (type) *type = value_type;
      bytes.resize(data_size);
      *data = std::move(bytes);
      return kSuccess;
    }
    return kErrorMoreData;
  }

  [[nodiscard]] Result QueryValue(std::u16string_view name, uint32_t* type, void* data,
                                  uint32_t* size) override {
    DWORD value_type = 0;
    DWORD value_size = size ? *size : 0;
    const LONG r = RegQueryValueExW(key_, ToWide(name).c_str(), nullptr, &value_type,
                                    static_cast<BYTE*>(data), size ? &value_size : nullptr);
    if (type) *type = value_type;
    if (size) *size = value_size;
    return static_cast<Result>(r);
  }

  // Windows converts text values with the system's ANSI code page. The sizes are those Windows
  // reports: a size-only query (`data` null) of a text value may answer the larger UTF-16 size.
  [[nodiscard]] Result QueryValueAnsi(std::u16string_view name, uint32_t* type, void* data,
                                      uint32_t* size) override {
    DWORD value_type = 0;
    DWORD value_size = size ? *size : 0;
    const LONG r = RegQueryValueExA(key_, code_page_.WideToAnsi(name).c_str(), nullptr, &value_type,
                                    static_cast<BYTE*>(data), size ? &value_size : nullptr);
    if (type) *type = value_type;
    if (size) *size = value_size;
    return static_cast<Result>(r);
  }

  [[nodiscard]] Result SetValue(std::u16string_view name, uint32_t type, const void* data,
                                uint32_t size) override {
    return static_cast<Result>(
        RegSetValueExW(key_, ToWide(name).c_str(), 0, type, static_cast<const BYTE*>(data), size));
  }

  // `text` is stored with one terminating NUL; a REG_MULTI_SZ caller includes the NULs between
  // its strings and the extra final one itself.
  [[nodiscard]] Result SetValueAnsi(std::u16string_view name, uint32_t type,
                                    std::string_view text) override {
    const std::string bytes(text);  // c_str() supplies the terminator
    return static_cast<Result>(RegSetValueExA(key_, code_page_.WideToAnsi(name).c_str(), 0, type,
                                              reinterpret_cast<const BYTE*>(bytes.c_str()),
                                              static_cast<DWORD>(bytes.size() + 1)));
  }

  [[nodiscard]] Result DeleteValue(std::u16string_view name) override {
    return static_cast<Result>(RegDeleteValueW(key_, ToWide(name).c_str()));
  }

 private:
  HKEY key_;
  bool owned_;
  CodePage& code_page_;
};

class Win32Registry : public Registry {
 public:
  explicit Win32Registry(CodePage& code_page) : code_page_(code_page) {}

  [[nodiscard]] Result OpenRoot(RegRoot root, std::unique_ptr<RegKey>* out) override {
    *out = std::make_unique<Win32RegKey>(RootHandle(root), false, code_page_);
    return kSuccess;
  }

  // RegConnectRegistryW itself treats this computer's own name as the local computer, and
  // answers ERROR_BAD_NETPATH for a computer it cannot reach. Remote keys are ours to close.
  [[nodiscard]] Result Connect(std::u16string_view computer, RegRoot root,
                               std::unique_ptr<RegKey>* out) override {
    std::u16string name(computer);
    name.erase(0, std::min(name.find_first_not_of(u'\\'), name.size()));
    if (name.empty()) return OpenRoot(root, out);
    const std::wstring unc = L"\\\\" + ToWide(name);
    HKEY remote = nullptr;
    const LONG r = RegConnectRegistryW(unc.c_str(), RootHandle(root), &remote);
    if (r != ERROR_SUCCESS) return static_cast<Result>(r);
    *out = std::make_unique<Win32RegKey>(remote, true, code_page_);
    return kSuccess;
  }

 private:
  CodePage& code_page_;
};

}  // namespace

std::unique_ptr<Registry> MakeRegistry(CodePage& code_page) {
  return std::make_unique<Win32Registry>(code_page);
}

}  // namespace platform::win32
