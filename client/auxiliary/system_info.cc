#include "client/auxiliary/system_info.h"

#include <memory>
#include <vector>

#include "client/i18n/messages.h"
#include "platform/text.h"

namespace sentrel::client {
namespace {

std::u16string TextOf(const std::vector<uint8_t>& bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = platform::ReadLe16(&bytes[2 * i]);
  }
  const size_t end = text.find(u'\0');  // the terminator (or the first of a multi-string)
  if (end != std::u16string::npos) text.resize(end);
  return text;
}

std::u16string HexOf(const std::vector<uint8_t>& bytes) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string hex;
  for (uint8_t b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

}  // namespace

std::optional<std::u16string> GetKeyValue(platform::Platform& platform, std::u16string_view key,
                                          std::u16string_view value) {
  std::unique_ptr<platform::RegKey> root, opened;
  if (platform.registry().OpenRoot(platform::RegRoot::kLocalMachine, &root) != platform::kSuccess ||
      root->OpenKey(key, platform::RegAccess::kRead, &opened) != platform::kSuccess) {
    return std::nullopt;
  }
  uint32_t type = 0, size = 0;
  if (opened->QueryValue(value, &type, nullptr, &size) != platform::kSuccess) return std::nullopt;
  std::vector<uint8_t> bytes(size);
  if (size > 0 && opened->QueryValue(value, &type, bytes.data(), &size) != platform::kSuccess) {
    return std::nullopt;
  }
  bytes.resize(size);
  switch (type) {
    case platform::kRegSz:
    case platform::kRegExpandSz:
    case platform::kRegMultiSz:
      return TextOf(bytes);
    case platform::kRegDword:
      if (bytes.size() == 4) return platform::Decimal(platform::ReadLe32(bytes.data()));
      return HexOf(bytes);
    default:
      return HexOf(bytes);
  }
}

std::optional<std::u16string> FindSystemInformation(platform::Platform& platform) {
  if (auto path = GetKeyValue(platform, kMsInfoKey, u"PATH"); path && !path->empty()) {
    return path;
  }
  auto folder = GetKeyValue(platform, kSharedToolsLocationKey, u"MSINFO");
  if (!folder || folder->empty()) return std::nullopt;
  const std::u16string program = *folder + u"\\MSINFO32.EXE";
  if (platform.files().FileExists(program) != platform::kSuccess) return std::nullopt;
  return program;
}

std::optional<UserMessage> StartSysInfo(platform::Platform& platform) {
  const auto program = FindSystemInformation(platform);
  if (program &&
      platform.process().StartProcess(u"\"" + *program + u"\"", nullptr) == platform::kSuccess) {
    return std::nullopt;
  }
  return UserMessage{MessageIcon::kInformation, GetMessageText(179)};
}

}  // namespace sentrel::client
