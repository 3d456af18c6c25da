// The files that ship beside the client program: the service program, whose version resource
// tells the installed version, and the manual.
#ifndef CLIENT_AUXILIARY_PROGRAM_FILES_H_
#define CLIENT_AUXILIARY_PROGRAM_FILES_H_

#include <optional>
#include <string>
#include <string_view>

#include "client/auxiliary/version.h"
#include "platform/platform.h"

namespace sentrel::client {

#ifdef _WIN32
inline constexpr char16_t kServiceProgramFile[] = u"vaskwell.exe";
#else
inline constexpr char16_t kServiceProgramFile[] = u"vaskwell";  // the host program's name
#endif

// The folder of the running client program with its separator at the end ("C:\Sentrel\", or
// "/opt/sentrel/bin/" for a host path).
platform::Result ClientFolder(platform::Platform& platform, std::u16string* folder);

// The product version of the service program beside the client; nullopt when there is none or it
// has no version resource.
std::optional<VersionTriple> ReadRunningVersion(platform::Platform& platform);

// The manual beside the client: <folder>manual\manual.htm (with the folder's separator).
std::u16string ManualPath(std::u16string_view folder);

}  // namespace sentrel::client

#endif  // CLIENT_AUXILIARY_PROGRAM_FILES_H_
