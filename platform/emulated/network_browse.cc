#include "platform/emulated/network_browse.h"

#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/text.h"

namespace platform::emulated {
namespace {

// sizeof(NETRESOURCEW) in a 64-bit process: four DWORDs and four pointers.
constexpr uint32_t kNetResourceRecordSize = 4 * 4 + 4 * 8;

// An enumeration over a list fixed when it was opened, handed out in buffer-sized chunks.
class ListEnumeration : public NetEnumeration {
 public:
  explicit ListEnumeration(std::vector<NetResource> entries) : entries_(std::move(entries)) {}

  [[nodiscard]] Result Next(uint32_t* count, uint32_t* buffer_size,
                            std::vector<NetResource>* out) override {
    if (count == nullptr || buffer_size == nullptr || out == nullptr) {
      return kErrorInvalidParameter;
    }
    if (next_ == entries_.size()) {
      *count = 0;
      return kErrorNoMoreItems;
    }
    const uint32_t first_size = NetResourceSize(entries_[next_]);
    if (*count == 0 || first_size > *buffer_size) {
      *buffer_size = first_size;
      *count = 0;
      return kErrorMoreData;
    }
    uint32_t used = 0, read = 0;
    while (next_ < entries_.size() && read < *count) {
      const uint32_t size = NetResourceSize(entries_[next_]);
      if (used + size > *buffer_size) break;
      used += size;
      out->push_back(entries_[next_++]);
      ++read;
    }
    *count = read;
    return kSuccess;
  }

 private:
  std::vector<NetResource> entries_;
  size_t next_ = 0;
};

// A container of the network as the provider lists it: the workgroup or one of its servers.
NetResource Container(uint32_t display_type, std::u16string remote_name) {
  NetResource r;
  r.scope = kResourceGlobalNet;
  r.type = kResourceTypeAny;
  r.display_type = display_type;
  r.usage = kResourceUsageContainer;
  r.remote_name = std::move(remote_name);
  r.provider = kNetworkProvider;
  return r;
}

// The computers of the network, as servers named \\NAME.
std::vector<NetResource> Servers(const Machine& machine) {
  std::vector<NetResource> servers;
  for (const std::string& name : machine.NetworkComputers()) {
    servers.push_back(Container(kResourceDisplayTypeServer, u"\\\\" + Utf8ToUtf16(name)));
  }
  return servers;
}

}  // namespace

uint32_t NetResourceSize(const NetResource& resource) {
  uint32_t size = kNetResourceRecordSize;
  for (const std::u16string* text :
       {&resource.local_name, &resource.remote_name, &resource.comment, &resource.provider}) {
    if (!text->empty()) size += static_cast<uint32_t>((text->size() + 1) * 2);
  }
  return size;
}

Result EmulatedNetworkBrowser::OpenEnum(uint32_t scope, uint32_t type, uint32_t usage,
                                        const NetResource* container,
                                        std::unique_ptr<NetEnumeration>* out) {
  if (type != kResourceTypeAny && type != kResourceTypeDisk && type != kResourceTypePrint) {
    return kErrorInvalidParameter;
  }
  std::vector<NetResource> entries;
  switch (scope) {
    case kResourceConnected:
    case kResourceRemembered:
      break;  // this computer keeps no drive connections
    case kResourceContext:
      entries = Servers(*machine_);
      break;
    case kResourceGlobalNet:
      if (container == nullptr) {
        entries.push_back(Container(kResourceDisplayTypeDomain, std::u16string(kWorkgroupName)));
      } else if (!(container->usage & kResourceUsageContainer)) {
        return kErrorNotContainer;
      } else if (EqualsIgnoringCase(container->remote_name, std::u16string_view(kWorkgroupName))) {
        entries = Servers(*machine_);
      } else if (!container->remote_name.starts_with(u"\\\\") ||
                 machine_->SiblingDir(container->remote_name).empty()) {
        return kErrorBadNetpath;
      }
      // A server's shares: none.
      break;
    default:
      return kErrorInvalidParameter;
  }
  *out = std::make_unique<ListEnumeration>(std::move(entries));
  return kSuccess;
}

}  // namespace platform::emulated
