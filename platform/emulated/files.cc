#include "platform/emulated/files.h"

#include <sys/stat.h>

#include <span>
#include <string>

#include "platform/emulated/pe_message_table.h"
#include "platform/emulated/version_resource.h"

namespace platform::emulated {
namespace {

bool IsElf(std::span<const uint8_t> bytes) {
  return bytes.size() >= 4 && bytes[0] == 0x7f && bytes[1] == 'E' && bytes[2] == 'L' &&
         bytes[3] == 'F';
}

[[nodiscard]] Result VersionFrom(std::span<const uint8_t> image, FixedFileInfo* info) {
  std::span<const uint8_t> resource;
  const Result r = FindPeResource(image, kRtVersion, 1, &resource);
  if (r == kErrorResourceNameNotFound) return kErrorResourceTypeNotFound;
  if (r != kSuccess) return r;
  return ReadFixedFileInfo(resource, info) == kSuccess ? kSuccess : kErrorResourceTypeNotFound;
}

// FileExists for a path already mapped to the host.
[[nodiscard]] Result HostFileExists(const std::string& host) {
  struct stat st;
  if (stat(host.c_str(), &st) != 0) return MissingFileResult(host);
  return S_ISDIR(st.st_mode) ? kErrorFileNotFound : kSuccess;
}

}  // namespace

Result MissingFileResult(const std::string& host_path) {
  const size_t slash = host_path.find_last_of('/');
  struct stat st;
  if (slash != std::string::npos && slash > 0 &&
      (stat(host_path.substr(0, slash).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
    return kErrorPathNotFound;
  }
  return kErrorFileNotFound;
}

Result EmulatedFiles::FileExists(std::u16string_view path) {
  return HostFileExists(machine_->HostPath(path));
}

Result EmulatedFiles::QueryFileVersion(std::u16string_view path, FixedFileInfo* info) {
  const std::string host = machine_->HostPath(path);
  if (const Result r = HostFileExists(host); r != kSuccess) return r;
  FileImage file;
  if (FileImage::Open(host, &file) != kSuccess) return kErrorAccessDenied;
  if (!IsElf(file.bytes())) {
    // Windows answers a file that is no module as one without version data.
    const Result r = VersionFrom(file.bytes(), info);
    return r == kErrorBadExeFormat ? kErrorResourceDataNotFound : r;
  }
  // A host program: its resources are in the file beside it.
  FileImage carrier;
  if (FileImage::Open(host + kResourceCarrierSuffix, &carrier) != kSuccess) {
    return kErrorResourceTypeNotFound;
  }
  const Result r = VersionFrom(carrier.bytes(), info);
  return r == kErrorBadExeFormat ? kErrorResourceTypeNotFound : r;
}

}  // namespace platform::emulated
