// Files through GetFileAttributesW and the version functions (GetFileVersionInfoSizeW,
// GetFileVersionInfoW, VerQueryValueW).

#include <windows.h>
#include <winver.h>

#include <vector>

#include "platform/win32/last_error_win.h"
#include "platform/win32/wide_text_win.h"
#include "platform/win32/win32_parts.h"

namespace platform::win32 {
namespace {

class Win32Files : public Files {
 public:
  [[nodiscard]] Result FileExists(std::u16string_view path) override {
    const std::wstring name = ToWide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? kErrorFileNotFound : kSuccess;
  }

  [[nodiscard]] Result QueryFileVersion(std::u16string_view path, FixedFileInfo* info) override {
    const std::wstring name = ToWide(path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &ignored);
    if (size == 0) return LastError();
    std::vector<uint8_t> data(size);
    if (!GetFileVersionInfoW(name.c_str(), 0, size, data.data())) return LastError();
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
      return kErrorResourceTypeNotFound;
    }
    info->file_version_ms = fixed->dwFileVersionMS;
    info->file_version_ls = fixed->dwFileVersionLS;
    info->product_version_ms = fixed->dwProductVersionMS;
    info->product_version_ls = fixed->dwProductVersionLS;
    info->file_flags_mask = fixed->dwFileFlagsMask;
    info->file_flags = fixed->dwFileFlags;
    info->file_os = fixed->dwFileOS;
    info->file_type = fixed->dwFileType;
    info->file_subtype = fixed->dwFileSubtype;
    return kSuccess;
  }
};

}  // namespace

std::unique_ptr<Files> MakeFiles() { return std::make_unique<Win32Files>(); }

}  // namespace platform::win32
