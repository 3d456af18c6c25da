// The network browse: a tree where one server sits in two domains, and a cancelled browse.
#include "client/core/net_api.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_platform.h"

namespace sentrel::client {
namespace {

using platform::NetResource;
using platform::Result;

class CountingWaiter : public Waiter {
 public:
  explicit CountingWaiter(int cancel_at = 0) : cancel_at_(cancel_at) {}
  bool Wait(uint32_t) override { return cancel_at_ == 0 || ++waits_ < cancel_at_; }

 private:
  int cancel_at_;
  int waits_ = 0;
};

// A network of two domains: EAST holds \\A and \\B, WEST \\b (the same server) and \\C. Every
// enumeration hands out one entry per call, as a small buffer does.
class TwoDomains : public platform::NetworkBrowser {
 public:
  Result OpenEnum(uint32_t, uint32_t, uint32_t, const NetResource* container,
                  std::unique_ptr<platform::NetEnumeration>* out) override {
    const std::u16string key = container ? container->remote_name : u"";
    auto it = tree_.find(key);
    if (it == tree_.end()) return platform::kErrorBadNetpath;
    *out = std::make_unique<OneByOne>(it->second);
    return platform::kSuccess;
  }

 private:
  static NetResource Entry(std::u16string name, uint32_t display, bool container) {
    NetResource r;
    r.remote_name = std::move(name);
    r.display_type = display;
    r.usage = container ? platform::kResourceUsageContainer : platform::kResourceUsageConnectable;
    return r;
  }
  struct OneByOne : platform::NetEnumeration {
    explicit OneByOne(std::vector<NetResource> entries) : entries(std::move(entries)) {}
    Result Next(uint32_t* count, uint32_t* buffer_size, std::vector<NetResource>* out) override {
      if (next == entries.size()) return platform::kErrorNoMoreItems;
      if (*buffer_size < 100) {
        *buffer_size = 100;
        return platform::kErrorMoreData;
      }
      out->push_back(entries[next++]);
      *count = 1;
      return platform::kSuccess;
    }
    std::vector<NetResource> entries;
    size_t next = 0;
  };

  std::map<std::u16string, std::vector<NetResource>> tree_ = {
      {u"", {Entry(u"EAST", 1, true), Entry(u"WEST", 1, true)}},
      {u"EAST", {Entry(u"\\\\A", 2, true), Entry(u"\\\\B", 2, true)}},
      {u"WEST", {Entry(u"\\\\b", 2, true), Entry(u"\\\\C", 2, true)}},
      {u"\\\\A", {Entry(u"\\\\A\\share", 3, false)}},
  };
};

// The browse of the emulated network itself runs in the select computer window's test.
TEST(BrowseNetworkServersTest, WalksTheTreeBreadthFirstAndSkipsWhatCannotBeOpened) {
  testsupport::TempComputer computer;
  TwoDomains network;
  platform::OverlayPlatform overlay(computer.platform());
  overlay.network_browser_ = &network;
  CountingWaiter waiter;
  const auto servers = BrowseNetworkServers(overlay, platform::kResourceDisplayTypeServer, waiter);
  ASSERT_TRUE(servers);
  EXPECT_EQ(*servers, (std::vector<std::u16string>{u"\\\\A", u"\\\\B", u"\\\\C"}));
  const auto shares = BrowseNetworkServers(overlay, platform::kResourceDisplayTypeShare, waiter);
  ASSERT_TRUE(shares);
  EXPECT_EQ(*shares, (std::vector<std::u16string>{u"\\\\A\\share"}));

  CountingWaiter cancelling(/*cancel_at=*/2);
  EXPECT_FALSE(BrowseNetworkServers(overlay, platform::kResourceDisplayTypeServer, cancelling));
}

}  // namespace
}  // namespace sentrel::client
