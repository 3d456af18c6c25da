#include "client/core/registry.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "platform/text.h"

namespace sentrel::client {
namespace {

using platform::RegKey;

std::u16string CodeText(Result code) { return platform::Decimal(code); }

}  // namespace

bool IsLocalTarget(std::u16string_view computer) {
  return computer.empty() || computer == u"LOCALHOST";
}

std::optional<uint32_t> ParseUnsigned(std::u16string_view text, uint32_t max) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - u'0');
    if (value > max) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

Registry::Registry(platform::Platform& platform) : platform_(platform) {}

void Registry::Trace(std::u16string_view line) {
  std::u16string text(line);
  text += u"\r\n";
  platform_.debug().Write(text);
}

void Registry::NoteSaveFailure(std::u16string_view name, Result code) {
  if (!save_failure_) save_failure_ = SaveFailure{std::u16string(name), code};
}

void Registry::TraceSaveFailure(std::u16string_view kind, std::u16string_view name, Result code) {
  Trace(u"Error - Could not save " + std::u16string(kind) + u" " + std::u16string(name) +
        u" in Registry - code : " + CodeText(code));
  NoteSaveFailure(name, code);
}

Result Registry::ReadRegString(RegKey* key, std::u16string_view name, std::u16string* out,
                               std::u16string_view fallback) {
  char buffer[kRegTextBufferSize];
  uint32_t size = sizeof buffer;
  uint32_t type = 0;
  const Result r =
      Record(key ? key->QueryValueAnsi(name, &type, buffer, &size) : platform::kErrorInvalidHandle);
  if (r != platform::kSuccess) {
    *out = std::u16string(fallback);
    Trace(u"Warning - STRING " + std::u16string(name) +
          u" in Registry does not exists (Using default) - code : " + CodeText(r));
    return r;
  }
  size = std::min<uint32_t>(size, sizeof buffer);
  *out = platform_.code_page().AnsiToWide(std::string_view(buffer, ::strnlen(buffer, size)));
  return r;
}

Result Registry::ReadRegDword(RegKey* key, std::u16string_view name, int32_t* out, int32_t fallback,
                              bool* found) {
  // Any value of up to 4 bytes is taken zero-extended, a wider one counts as missing.
  uint32_t value = 0;
  uint32_t size = sizeof value;
  uint32_t type = 0;
  const Result r =
      Record(key ? key->QueryValue(name, &type, &value, &size) : platform::kErrorInvalidHandle);
  if (found) *found = r == platform::kSuccess;
  if (r != platform::kSuccess) {
    *out = fallback;
    Trace(u"Warning - DWORD " + std::u16string(name) +
          u" in Registry does not exists (Using default) - code : " + CodeText(r));
    return r;
  }
  *out = static_cast<int32_t>(value);
  return r;
}

Result Registry::SaveRegString(RegKey* key, std::u16string_view name, std::u16string_view text,
                               bool keep_empty) {
  if (text.empty() && !keep_empty) return DeleteRegValue(key, name);
  const Result r =
      Record(key ? key->SetValueAnsi(name, platform::kRegSz, platform_.code_page().WideToAnsi(text))
                 : platform::kErrorInvalidHandle);
  if (r != platform::kSuccess) TraceSaveFailure(u"STRING", name, r);
  return r;
}

Result Registry::SaveRegDword(RegKey* key, std::u16string_view name, uint32_t value) {
  const Result r =
      Record(key ? platform::SetDword(*key, name, value) : platform::kErrorInvalidHandle);
  if (r != platform::kSuccess) TraceSaveFailure(u"DWORD", name, r);
  return r;
}

Result Registry::ReadRegStringWide(RegKey* key, std::u16string_view name, uint32_t max_bytes,
                                   std::u16string* out, std::u16string_view fallback) {
  std::u16string buffer(max_bytes / sizeof(char16_t), u'\0');
  uint32_t size = max_bytes;
  uint32_t type = 0;
  const Result r = Record(key ? key->QueryValue(name, &type, buffer.data(), &size)
                              : platform::kErrorInvalidHandle);
  if (r != platform::kSuccess) {
    *out = std::u16string(fallback);
    Trace(u"Warning - STRING " + std::u16string(name) +
          u" in Registry does not exists (Using default) - code : " + CodeText(r));
    return r;
  }
  buffer.resize(std::min<size_t>(size / sizeof(char16_t), buffer.size()));
  *out = buffer.substr(0, buffer.find(u'\0'));
  return r;
}

Result Registry::SaveRegStringWide(RegKey* key, std::u16string_view name, std::u16string_view text,
                                   uint32_t max_bytes, bool keep_empty) {
  if (text.empty() && !keep_empty) return DeleteRegValue(key, name);
  std::u16string data(text);
  if ((data.size() + 1) * sizeof(char16_t) <= max_bytes) data.push_back(u'\0');
  const uint32_t bytes = static_cast<uint32_t>(data.size() * sizeof(char16_t));
  const Result r = Record(key ? key->SetValue(name, platform::kRegSz, data.data(), bytes)
                              : platform::kErrorInvalidHandle);
  if (r != platform::kSuccess) TraceSaveFailure(u"STRING", name, r);
  return r;
}

Result Registry::DeleteRegValue(RegKey* key, std::u16string_view name) {
  Result r = key ? key->DeleteValue(name) : platform::kErrorInvalidHandle;
  if (r == platform::kErrorFileNotFound) r = platform::kSuccess;
  Record(r);
  if (r != platform::kSuccess) {
    Trace(u"Error - Could not delete VALUE " + std::u16string(name) + u" in Registry - code : " +
          CodeText(r));
    NoteSaveFailure(name, r);
  }
  return r;
}

std::optional<std::vector<std::u16string>> Registry::EnumRegSubkeys(std::u16string_view computer,
                                                                    std::u16string_view path) {
  std::unique_ptr<RegKey> root;
  const bool local = IsLocalTarget(computer);
  Result r = local
                 ? platform_.registry().OpenRoot(platform::RegRoot::kLocalMachine, &root)
                 : platform_.registry().Connect(computer, platform::RegRoot::kLocalMachine, &root);
  std::unique_ptr<RegKey> key;
  if (r == platform::kSuccess) {
    r = root->OpenKey(path, local ? platform::RegAccess::kRead : platform::RegAccess::kReadWrite,
                      &key);
  }
  Record(r);
  if (r != platform::kSuccess) {
    Trace(u"Error - Could not open " + std::u16string(path) + u" in Registry - code : " +
          CodeText(r));
    return std::nullopt;
  }
  std::vector<std::u16string> names;
  std::u16string name;
  for (uint32_t index = 0;; ++index) {
    r = key->EnumKey(index, kRegTextBufferSize, &name);
    if (r == platform::kErrorMoreData) continue;
    if (r != platform::kSuccess) break;
    names.push_back(name);
  }
  Record(r == platform::kErrorNoMoreItems ? platform::kSuccess : r);
  return names;
}

}  // namespace sentrel::client
