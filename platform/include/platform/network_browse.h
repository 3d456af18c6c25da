// Browsing the network neighbourhood: WNetOpenEnumW / WNetEnumResourceW / WNetCloseEnum with
// the NETRESOURCEW fields.
//
// Blocking: every call may wait for the network (on Windows a browse of a large network can take
// seconds per call); the emulated computer answers at once. Each enumeration belongs to one
// thread at a time; different enumerations may be used from different threads.
#ifndef PLATFORM_NETWORK_BROWSE_H_
#define PLATFORM_NETWORK_BROWSE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/result.h"

namespace platform {

// Scopes (dwScope).
inline constexpr uint32_t kResourceConnected = 1;
inline constexpr uint32_t kResourceGlobalNet = 2;
inline constexpr uint32_t kResourceRemembered = 3;
inline constexpr uint32_t kResourceContext = 5;

// Resource types (dwType).
inline constexpr uint32_t kResourceTypeAny = 0;
inline constexpr uint32_t kResourceTypeDisk = 1;
inline constexpr uint32_t kResourceTypePrint = 2;

// Display types (dwDisplayType).
inline constexpr uint32_t kResourceDisplayTypeGeneric = 0;
inline constexpr uint32_t kResourceDisplayTypeDomain = 1;
inline constexpr uint32_t kResourceDisplayTypeServer = 2;
inline constexpr uint32_t kResourceDisplayTypeShare = 3;
inline constexpr uint32_t kResourceDisplayTypeFile = 4;
inline constexpr uint32_t kResourceDisplayTypeGroup = 5;
inline constexpr uint32_t kResourceDisplayTypeNetwork = 6;
inline constexpr uint32_t kResourceDisplayTypeRoot = 7;
inline constexpr uint32_t kResourceDisplayTypeShareAdmin = 8;
inline constexpr uint32_t kResourceDisplayTypeDirectory = 9;

// Usage bits (dwUsage).
inline constexpr uint32_t kResourceUsageConnectable = 0x1;
inline constexpr uint32_t kResourceUsageContainer = 0x2;
inline constexpr uint32_t kResourceUsageAll = 0x13;

// lpcCount asking for as many entries as fit.
inline constexpr uint32_t kNetEnumAllEntries = 0xFFFFFFFF;

inline constexpr Result kErrorNotContainer = 1207;
inline constexpr Result kErrorNoNetwork = 1222;

// NETRESOURCEW. Texts are empty where Windows gives a null pointer.
struct NetResource {
  uint32_t scope = 0;
  uint32_t type = 0;
  uint32_t display_type = 0;
  uint32_t usage = 0;
  std::u16string local_name;
  std::u16string remote_name;  // "\\SRV2" for a server, the workgroup's name for a workgroup
  std::u16string comment;
  std::u16string provider;
};

// An open enumeration (the HANDLE of WNetOpenEnumW). Destroying it closes it (WNetCloseEnum).
class NetEnumeration {
 public:
  virtual ~NetEnumeration() = default;

  // WNetEnumResourceW: the next entries, appended to *out. *count is the number of entries the
  // caller asks for (kNetEnumAllEntries: as many as fit) and receives the number read;
  // *buffer_size is the caller's buffer in bytes, sized as Windows sizes it (the NETRESOURCEW
  // records of a 64-bit process followed by their texts).
  //   kSuccess            entries were read; call again for more
  //   kErrorMoreData      not even the next entry fits: *buffer_size receives the size it needs
  //   kErrorNoMoreItems   the enumeration is complete
  // So a small buffer gives the entries in several chunks; a caller reads until
  // kErrorNoMoreItems.
  [[nodiscard]] virtual Result Next(uint32_t* count, uint32_t* buffer_size,
                                    std::vector<NetResource>* out) = 0;
};

class NetworkBrowser {
 public:
  virtual ~NetworkBrowser() = default;

  // WNetOpenEnumW. `container` null starts at the root of the network; otherwise it is an entry
  // an earlier enumeration gave whose usage has kResourceUsageContainer (kErrorNotContainer if
  // not). kErrorInvalidParameter for an unknown scope or type.
  [[nodiscard]] virtual Result OpenEnum(uint32_t scope, uint32_t type, uint32_t usage,
                                        const NetResource* container,
                                        std::unique_ptr<NetEnumeration>* out) = 0;
};

}  // namespace platform

#endif  // PLATFORM_NETWORK_BROWSE_H_
