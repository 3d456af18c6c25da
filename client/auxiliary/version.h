// Version numbers as the client shows and compares them: major, minor and build.
#ifndef CLIENT_AUXILIARY_VERSION_H_
#define CLIENT_AUXILIARY_VERSION_H_

#include <cstdint>
#include <string>

namespace sentrel::client {

struct VersionTriple {
  int32_t major = 0;
  int32_t minor = 0;
  int32_t build = 0;

  bool operator==(const VersionTriple&) const = default;
};

// The version of a program file's fixed version information (its two 32-bit halves): major and
// minor from the most significant half, the build from the low 16 bits of the least significant
// half, which is the fourth number file properties show (5.4.0.166 gives 5.4.166; the third
// number, unused by the product, is not folded into the build).
VersionTriple VersionFromFixedInfo(uint32_t version_ms, uint32_t version_ls);

// The client's own version: major, minor and revision (the build's fourth number).
VersionTriple ClientVersion();

// "5.4.166".
std::u16string VersionText(const VersionTriple& version);

}  // namespace sentrel::client

#endif  // CLIENT_AUXILIARY_VERSION_H_
