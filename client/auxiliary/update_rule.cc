#include "client/auxiliary/update_rule.h"

#include "client/i18n/messages.h"

namespace sentrel::client {

UpdateVerdict JudgeOfferedVersion(const VersionTriple& running, const VersionTriple& offered) {
  if (offered.major > running.major) return {VersionColour::kRed, true};
  if (offered.major == running.major && offered.minor > running.minor) {
    return {VersionColour::kDarkRed, true};
  }
  return {VersionColour::kBlack, false};
}

std::u16string VersionLabel(const VersionTriple& version) {
  return GetMessageText(454) + u": " + VersionText(version);
}

std::u16string OfferedVersionLabel(const UpdateInfo& info) {
  return VersionLabel(info.version) + (info.beta ? u" Beta" : u"");
}

}  // namespace sentrel::client
