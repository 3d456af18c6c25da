#include <cstring>

#include "platform/registry.h"

namespace platform {

[[nodiscard]] Result SetDword(RegKey& key, std::u16string_view name, uint32_t value) {
  return key.SetValue(name, kRegDword, &value, sizeof value);
}

[[nodiscard]] Result SetString(RegKey& key, std::u16string_view name, std::u16string_view value,
                               uint32_t type) {
  std::u16string data(value);
  return key.SetValue(name, type, data.c_str(),
                      static_cast<uint32_t>((data.size() + 1) * sizeof(char16_t)));
}

[[nodiscard]] Result QueryDword(RegKey& key, std::u16string_view name, uint32_t* value) {
  uint32_t v = 0;
  uint32_t size = sizeof v;
  uint32_t type = 0;
  Result r = key.QueryValue(name, &type, &v, &size);
  if (r != kSuccess) return r;
  if (size != sizeof v) return kErrorInvalidData;
  *value = v;
  return kSuccess;
}

[[nodiscard]] Result QueryString(RegKey& key, std::u16string_view name, std::u16string* value) {
  uint32_t type = 0;
  uint32_t size = 0;
  Result r = key.QueryValue(name, &type, nullptr, &size);
  if (r != kSuccess) return r;
  std::u16string text((size + 1) / 2, u'\0');
  r = key.QueryValue(name, &type, text.data(), &size);
  if (r != kSuccess) return r;
  text.resize(size / 2);
  const size_t nul = text.find(u'\0');
  if (nul != std::u16string::npos) text.resize(nul);
  *value = std::move(text);
  return kSuccess;
}

[[nodiscard]] Result DeleteKeyTree(RegKey& parent, std::u16string_view path) {
  std::unique_ptr<RegKey> key;
  Result r = parent.OpenKey(path, RegAccess::kReadWrite, &key);
  if (r != kSuccess) return r;
  // Always enumerate index 0: each deletion shifts the remaining subkeys down. The name buffer
  // is larger than any name a registry keeps, so no subkey is left behind for its length.
  std::u16string child;
  while ((r = key->EnumKey(0, 16384, &child)) == kSuccess) {
    r = DeleteKeyTree(*key, child);
    if (r != kSuccess) return r;
  }
  if (r != kErrorNoMoreItems) return r;
  key.reset();
  return parent.DeleteKey(path);
}

}  // namespace platform
