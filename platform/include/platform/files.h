// Files of the computer: whether one exists, and the version resource of a program file.
//
// Blocking: reads the file system only, briefly. Any thread.
#ifndef PLATFORM_FILES_H_
#define PLATFORM_FILES_H_

#include <cstdint>
#include <string_view>

#include "platform/result.h"

namespace platform {

// VS_FIXEDFILEINFO, without its signature and structure version. Versions are two 32-bit halves:
// 5.4.0.166 is ms = 5 << 16 | 4, ls = 0 << 16 | 166.
struct FixedFileInfo {
  uint32_t file_version_ms = 0;
  uint32_t file_version_ls = 0;
  uint32_t product_version_ms = 0;
  uint32_t product_version_ls = 0;
  uint32_t file_flags_mask = 0;
  uint32_t file_flags = 0;
  uint32_t file_os = 0;
  uint32_t file_type = 0;
  uint32_t file_subtype = 0;
};

class Files {
 public:
  virtual ~Files() = default;

  // GetFileAttributesW: kSuccess when `path` (a path of this computer) names an existing file;
  // kErrorFileNotFound when there is none or it is a folder, kErrorPathNotFound when its folder
  // is missing.
  [[nodiscard]] virtual Result FileExists(std::u16string_view path) = 0;

  // GetFileVersionInfoSizeW, GetFileVersionInfoW and VerQueryValueW(L"\\"): the fixed part of
  // the file's version resource. kErrorFileNotFound / kErrorPathNotFound for a missing file,
  // kErrorResourceTypeNotFound when the module has no version resource,
  // kErrorResourceDataNotFound when the file is no module at all.
  [[nodiscard]] virtual Result QueryFileVersion(std::u16string_view path, FixedFileInfo* info) = 0;
};

}  // namespace platform

#endif  // PLATFORM_FILES_H_
