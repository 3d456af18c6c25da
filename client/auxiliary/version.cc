#include "client/auxiliary/version.h"

#include "platform/text.h"

namespace sentrel::client {

VersionTriple VersionFromFixedInfo(uint32_t version_ms, uint32_t version_ls) {
  return {static_cast<int32_t>(version_ms >> 16), static_cast<int32_t>(version_ms & 0xFFFF),
          static_cast<int32_t>(version_ls & 0xFFFF)};
}

VersionTriple ClientVersion() {
  return {SENTREL_VERSION_MAJOR, SENTREL_VERSION_MINOR, SENTREL_VERSION_REVISION};
}

std::u16string VersionText(const VersionTriple& version) {
  return platform::Decimal(version.major) + u"." + platform::Decimal(version.minor) + u"." +
         platform::Decimal(version.build);
}

}  // namespace sentrel::client
