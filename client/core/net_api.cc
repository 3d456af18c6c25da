#include "client/core/net_api.h"

#include <memory>

#include "platform/text.h"

namespace sentrel::client {
namespace {

using platform::NetResource;

// The size of one chunk read from an enumeration; an entry that needs more gets a larger buffer.
constexpr uint32_t kChunkBytes = 16 * 1024;

// Reads every entry of an open enumeration into *list. False when the browse was cancelled.
bool ReadAll(platform::NetEnumeration& enumeration, Waiter& waiter,
             std::vector<NetResource>* list) {
  uint32_t buffer_size = kChunkBytes;
  for (;;) {
    if (!waiter.Wait(0)) return false;
    uint32_t count = platform::kNetEnumAllEntries;
    const platform::Result r = enumeration.Next(&count, &buffer_size, list);
    if (r == platform::kSuccess) continue;
    // buffer_size now holds what the next entry needs.
    if (r == platform::kErrorMoreData) continue;
    return true;  // kErrorNoMoreItems, or a failure that ends this container
  }
}

// Opens an enumeration of `container` (null: the whole network) and appends its entries.
bool Enumerate(platform::NetworkBrowser& browser, const NetResource* container, Waiter& waiter,
               std::vector<NetResource>* list) {
  std::unique_ptr<platform::NetEnumeration> enumeration;
  if (browser.OpenEnum(platform::kResourceGlobalNet, platform::kResourceTypeAny, 0, container,
                       &enumeration) != platform::kSuccess) {
    return waiter.Wait(0);
  }
  return ReadAll(*enumeration, waiter, list);
}

}  // namespace

std::optional<std::vector<std::u16string>> BrowseNetworkServers(platform::Platform& platform,
                                                                uint32_t display_type,
                                                                Waiter& waiter) {
  platform::NetworkBrowser& browser = platform.network_browser();
  std::vector<NetResource> list;
  if (!Enumerate(browser, nullptr, waiter, &list)) return std::nullopt;
  // The list grows while it is walked: every container's entries go to its end.
  for (size_t i = 0; i < list.size(); ++i) {
    if (!(list[i].usage & platform::kResourceUsageContainer)) continue;
    const NetResource container = list[i];
    if (!Enumerate(browser, &container, waiter, &list)) return std::nullopt;
  }
  std::vector<std::u16string> names;
  for (const NetResource& entry : list) {
    if (entry.display_type != display_type || entry.remote_name.empty()) continue;
    bool seen = false;
    for (const std::u16string& name : names) {
      seen = seen || platform::EqualsIgnoringCase(name, entry.remote_name);
    }
    if (!seen) names.push_back(entry.remote_name);
  }
  return names;
}

}  // namespace sentrel::client
