#include "platform/emulated/network_browse.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/support/test_platform.h"

namespace platform::emulated {
namespace {

class NetworkBrowseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    // Two more computers, one of them under a second directory spelled in other case, and a
    // directory that holds no computer.
    for (const char* name : {"srv2", "WS3", "ws3"}) {
      ASSERT_NE(nullptr, Machine::Create(computer_.parent() + "/" + name, &error)) << error;
    }
    ASSERT_EQ(0, mkdir((computer_.parent() + "/notacomputer").c_str(), 0755));
  }

  NetworkBrowser& browser() { return computer_.platform().network_browser(); }

  // Every entry of an enumeration, read with a buffer of `buffer_size` bytes; *calls counts the
  // calls that gave entries.
  std::vector<NetResource> ReadAll(NetEnumeration& e, uint32_t buffer_size, int* calls) {
    std::vector<NetResource> all;
    *calls = 0;
    for (;;) {
      uint32_t count = kNetEnumAllEntries, size = buffer_size;
      const Result r = e.Next(&count, &size, &all);
      if (r == kErrorNoMoreItems) return all;
      EXPECT_EQ(kSuccess, r);
      if (r != kSuccess) return all;
      ++*calls;
    }
  }

  testsupport::TempComputer computer_;
};

TEST_F(NetworkBrowseTest, TheWorkgroupListsEveryComputerOnceAsAServer) {
  std::unique_ptr<NetEnumeration> root;
  ASSERT_EQ(kSuccess, browser().OpenEnum(kResourceGlobalNet, kResourceTypeAny, 0, nullptr, &root));
  int calls = 0;
  const std::vector<NetResource> top = ReadAll(*root, 16384, &calls);
  ASSERT_EQ(1u, top.size());
  EXPECT_EQ(u"WORKGROUP", top[0].remote_name);
  EXPECT_EQ(kResourceDisplayTypeDomain, top[0].display_type);
  EXPECT_TRUE(top[0].usage & kResourceUsageContainer);

  std::unique_ptr<NetEnumeration> group;
  ASSERT_EQ(kSuccess, browser().OpenEnum(kResourceGlobalNet, kResourceTypeAny, 0, &top[0], &group));
  const std::vector<NetResource> servers = ReadAll(*group, 16384, &calls);
  EXPECT_EQ(1, calls);
  std::vector<std::u16string> names;
  for (const NetResource& s : servers) {
    EXPECT_EQ(kResourceDisplayTypeServer, s.display_type);
    EXPECT_EQ(kResourceGlobalNet, s.scope);
    EXPECT_EQ(u"Microsoft Windows Network", s.provider);
    names.push_back(s.remote_name);
  }
  EXPECT_EQ((std::vector<std::u16string>{u"\\\\SRV1", u"\\\\SRV2", u"\\\\WS3"}), names);

  // A server holds no shares; it is a container all the same.
  std::unique_ptr<NetEnumeration> shares;
  ASSERT_EQ(kSuccess,
            browser().OpenEnum(kResourceGlobalNet, kResourceTypeAny, 0, &servers[1], &shares));
  EXPECT_TRUE(ReadAll(*shares, 16384, &calls).empty());
}

TEST_F(NetworkBrowseTest, ASmallBufferGivesTheEntriesInChunks) {
  NetResource group;
  group.usage = kResourceUsageContainer;
  group.remote_name = u"workgroup";
  std::unique_ptr<NetEnumeration> e;
  ASSERT_EQ(kSuccess, browser().OpenEnum(kResourceGlobalNet, kResourceTypeAny, 0, &group, &e));
  NetResource server;
  server.remote_name = u"\\\\SRV1";
  server.provider = u"Microsoft Windows Network";
  const uint32_t one = NetResourceSize(server);

  // Too small for even one entry: 234 and the size needed, and nothing is consumed.
  uint32_t count = kNetEnumAllEntries, size = one - 1;
  std::vector<NetResource> got;
  EXPECT_EQ(kErrorMoreData, e->Next(&count, &size, &got));
  EXPECT_EQ(one, size);
  EXPECT_TRUE(got.empty());

  int calls = 0;
  const std::vector<NetResource> all = ReadAll(*e, one + 10, &calls);
  EXPECT_EQ(3u, all.size());
  EXPECT_EQ(3, calls);

  // The count asked for also limits a chunk.
  std::unique_ptr<NetEnumeration> again;
  ASSERT_EQ(kSuccess, browser().OpenEnum(kResourceGlobalNet, kResourceTypeAny, 0, &group, &again));
  count = 2;
  size = 16384;
  got.clear();
  EXPECT_EQ(kSuccess, again->Next(&count, &size, &got));
  EXPECT_EQ(2u, count);
  EXPECT_EQ(2u, got.size());
}

// Unknown scopes and types, a share and the connections are in the platform contract tests.
TEST_F(NetworkBrowseTest, RefusesAServerNotThereOrUsedAsNoContainer) {
  std::unique_ptr<NetEnumeration> e;
  NetResource server;
  server.remote_name = u"\\\\SRV2";
  server.usage = kResourceUsageConnectable;
  EXPECT_EQ(kErrorNotContainer, browser().OpenEnum(kResourceGlobalNet, 0, 0, &server, &e));
  server.remote_name = u"\\\\NOTACOMPUTER";
  server.usage = kResourceUsageContainer;
  EXPECT_EQ(kErrorBadNetpath, browser().OpenEnum(kResourceGlobalNet, 0, 0, &server, &e));
}

}  // namespace
}  // namespace platform::emulated
