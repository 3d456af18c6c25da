// What the update check makes of an offered version: its text and its colour, and whether the
// download link is offered.
#ifndef CLIENT_AUXILIARY_UPDATE_RULE_H_
#define CLIENT_AUXILIARY_UPDATE_RULE_H_

#include <cstdint>
#include <string>

#include "client/auxiliary/version.h"

namespace sentrel::client {

// The update document's content.
struct UpdateInfo {
  std::u16string product_sku;
  VersionTriple version;
  std::u16string info_url;  // the product's information and download page
  bool beta = false;
};

// Colours as the platform writes them: 0x00BBGGRR.
enum class VersionColour : uint32_t {
  kBlack = 0,
  kDarkRed = 128,
  kRed = 255,
};

struct UpdateVerdict {
  VersionColour colour = VersionColour::kBlack;
  bool download_enabled = false;
};

// A newer major version is red, a newer minor version of the same major dark red, both with the
// download link; anything else (the same, an older one, a newer build alone) black, without it.
UpdateVerdict JudgeOfferedVersion(const VersionTriple& running, const VersionTriple& offered);

// "Version: 5.4.166" in the current language.
std::u16string VersionLabel(const VersionTriple& version);
// The offered version's label, with " Beta" after a beta build.
std::u16string OfferedVersionLabel(const UpdateInfo& info);

}  // namespace sentrel::client

#endif  // CLIENT_AUXILIARY_UPDATE_RULE_H_
