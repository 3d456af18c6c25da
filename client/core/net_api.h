// Module NetApi: the computers of the network, found by walking the whole network tree (breadth
// first) through the platform's network enumeration.
#ifndef CLIENT_CORE_NET_API_H_
#define CLIENT_CORE_NET_API_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "client/core/waiter.h"
#include "platform/platform.h"

namespace sentrel::client {

// The remote names ("\\SRV2") of every network resource of `display_type`
// (platform::kResourceDisplayTypeServer for computers), in the order of the walk, each name once
// (compared without regard to case). Between all steps the waiter lets the window run; nullopt
// when it reports the browse cancelled. A container that cannot be opened or read is skipped.
std::optional<std::vector<std::u16string>> BrowseNetworkServers(platform::Platform& platform,
                                                                uint32_t display_type,
                                                                Waiter& waiter);

}  // namespace sentrel::client

#endif  // CLIENT_CORE_NET_API_H_
