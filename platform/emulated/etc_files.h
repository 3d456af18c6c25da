// The hosts and services files of an emulated computer (%SystemRoot%\system32\drivers\etc), read
// as Windows reads its own: one entry per line, fields separated by blanks, '#' starts a comment.
// Pure functions over the file's text, so that the name resolution and the services database
// share one reading of the format.
#ifndef PLATFORM_EMULATED_ETC_FILES_H_
#define PLATFORM_EMULATED_ETC_FILES_H_

#include <cstdint>
#include <string_view>

namespace platform::emulated {

// hosts: "ADDRESS NAME [ALIAS...]". The IPv4 address (network byte order) of the first line whose
// address is a dotted quad and that lists `name` (compared without regard to case).
bool FindHostsEntry(std::string_view text, std::string_view name, uint32_t* address);

// services: "NAME PORT/PROTOCOL [ALIAS...]". The port (network byte order) of the first line that
// lists `service` as its name or an alias, for `protocol` (without regard to case; empty: any).
// Lines whose port is not a number from 1 to 65535 are passed over.
bool FindServicesEntry(std::string_view text, std::string_view service, std::string_view protocol,
                       uint16_t* port);

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_ETC_FILES_H_
