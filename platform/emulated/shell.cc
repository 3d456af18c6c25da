#include "platform/emulated/shell.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "platform/code_page.h"
#include "platform/emulated/files.h"
#include "platform/text.h"

namespace platform::emulated {
namespace {

// The scheme of an address ("https" of "https://..."); empty for a path. A scheme has two
// characters at least, so "C:\x" is a path.
std::string SchemeOf(std::u16string_view target) {
  const size_t colon = target.find(u':');
  if (colon == std::u16string_view::npos || colon < 2) return {};
  for (size_t i = 0; i < colon; ++i) {
    const char16_t c = target[i];
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    const bool other = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
    if (!letter && !(i > 0 && other)) return {};
  }
  return AsciiLowerUtf8(target.substr(0, colon));
}

bool Registered(const std::string& scheme) {
  static const std::array<const char*, 5> kSchemes = {"http", "https", "ftp", "mailto", "file"};
  for (const char* s : kSchemes) {
    if (scheme == s) return true;
  }
  return false;
}

}  // namespace

uint32_t EmulatedShell::Open(std::u16string_view target) {
  if (target.empty()) return kShellErrorFileNotFound;
  const std::string scheme = SchemeOf(target);
  if (!scheme.empty()) {
    if (!Registered(scheme)) return kShellErrorNoAssociation;
  } else {
    const std::string host = machine_->HostPath(target);
    struct stat st;
    if (stat(host.c_str(), &st) != 0) {
      return MissingFileResult(host) == kErrorPathNotFound ? kShellErrorPathNotFound
                                                           : kShellErrorFileNotFound;
    }
  }
  // One write per line with O_APPEND: lines of several processes never mix.
  const std::string line = Utf16ToUtf8(target) + "\n";
  const int fd = open(machine_->HostPath(kShellOpenLog).c_str(),
                      O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return kShellErrorAccessDenied;
  const ssize_t n = write(fd, line.data(), line.size());
  close(fd);
  if (n != static_cast<ssize_t>(line.size())) return kShellErrorAccessDenied;
  return kShellOpenOk;
}

}  // namespace platform::emulated
