#include "client/auxiliary/program_files.h"

namespace sentrel::client {
namespace {

char16_t SeparatorOf(std::u16string_view path) {
  return path.find(u'\\') != std::u16string_view::npos ? u'\\' : u'/';
}

}  // namespace

platform::Result ClientFolder(platform::Platform& platform, std::u16string* folder) {
  std::u16string program;
  const platform::Result r = platform.process().ProgramPath(&program);
  if (r != platform::kSuccess) return r;
  const size_t slash = program.find_last_of(u"\\/");
  *folder = slash == std::u16string::npos ? std::u16string() : program.substr(0, slash + 1);
  return platform::kSuccess;
}

std::optional<VersionTriple> ReadRunningVersion(platform::Platform& platform) {
  std::u16string folder;
  if (ClientFolder(platform, &folder) != platform::kSuccess) return std::nullopt;
  platform::FixedFileInfo info;
  if (platform.files().QueryFileVersion(folder + kServiceProgramFile, &info) !=
      platform::kSuccess) {
    return std::nullopt;
  }
  return VersionFromFixedInfo(info.product_version_ms, info.product_version_ls);
}

std::u16string ManualPath(std::u16string_view folder) {
  const char16_t separator = SeparatorOf(folder);
  return std::u16string(folder) + u"manual" + separator + u"manual.htm";
}

}  // namespace sentrel::client
