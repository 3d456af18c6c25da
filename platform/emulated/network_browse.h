// The network neighbourhood of an emulated computer. The root of the network holds one
// workgroup, "WORKGROUP", which holds one server per computer of the network (the computer
// directories beside this one, this one included): remote name "\\NAME", display type server.
// A server holds no shares. Connected and remembered resources: none.
#ifndef PLATFORM_EMULATED_NETWORK_BROWSE_H_
#define PLATFORM_EMULATED_NETWORK_BROWSE_H_

#include <memory>

#include "platform/emulated/machine.h"
#include "platform/network_browse.h"

namespace platform::emulated {

inline constexpr char16_t kWorkgroupName[] = u"WORKGROUP";
inline constexpr char16_t kNetworkProvider[] = u"Microsoft Windows Network";

class EmulatedNetworkBrowser : public NetworkBrowser {
 public:
  explicit EmulatedNetworkBrowser(std::shared_ptr<Machine> machine)
      : machine_(std::move(machine)) {}

  [[nodiscard]] Result OpenEnum(uint32_t scope, uint32_t type, uint32_t usage,
                                const NetResource* container,
                                std::unique_ptr<NetEnumeration>* out) override;

 private:
  std::shared_ptr<Machine> machine_;
};

// The bytes one entry takes in a WNetEnumResourceW buffer of a 64-bit process: the
// NETRESOURCEW record and its non-empty texts with their terminators.
uint32_t NetResourceSize(const NetResource& resource);

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_NETWORK_BROWSE_H_
