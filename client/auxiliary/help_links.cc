#include "client/auxiliary/help_links.h"

#include <string>

#include "client/auxiliary/program_files.h"
#include "client/i18n/messages.h"
#include "platform/text.h"

namespace sentrel::client {
namespace {

UserMessage OpenError(uint32_t result, std::u16string_view what) {
  return {MessageIcon::kCritical,
          u"Error " + platform::Decimal(result) + u" " + std::u16string(what)};
}

}  // namespace

std::optional<UserMessage> OpenAddress(platform::Platform& platform, std::u16string_view address) {
  const uint32_t result = platform.shell().Open(address);
  if (platform::ShellOpenSucceeded(result)) return std::nullopt;
  return OpenError(result, u"opening " + std::u16string(address));
}

std::optional<UserMessage> OpenWebPage(platform::Platform& platform, WebPage page) {
  return OpenAddress(platform, WebAddress(page, CurrentLanguage()));
}

std::optional<UserMessage> OpenDownloadPage(platform::Platform& platform,
                                            std::u16string_view address) {
  const uint32_t result = platform.shell().Open(address);
  if (platform::ShellOpenSucceeded(result)) return std::nullopt;
  return OpenError(result, u"opening the more Information Website");
}

std::optional<UserMessage> OpenManual(platform::Platform& platform) {
  std::u16string folder;
  // Without its own path the client looks in the current folder, as a relative path would.
  if (ClientFolder(platform, &folder) != platform::kSuccess) folder.clear();
  const std::u16string path = ManualPath(folder);
  const uint32_t result = platform.shell().Open(path);
  if (platform::ShellOpenSucceeded(result)) return std::nullopt;
  if (result == platform::kShellErrorOom &&
      platform.process().StartProcess(u"explorer \"" + path + u"\"", nullptr) ==
          platform::kSuccess) {
    return std::nullopt;
  }
  return OpenError(result, u"opening the Manual");
}

}  // namespace sentrel::client
