#include "platform/emulated/http.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/loopback.h"
#include "tests/support/test_platform.h"

namespace platform::emulated {
namespace {

using LocalServer = testsupport::LoopbackHttpServer;

class HttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The hosts file names the update service's host: it is the local server.
    std::ofstream(computer_.platform().emulated_network().HostsFile(), std::ios::app)
        << "\n127.0.0.1   updates.brinmoor.example   # test\n";
  }
  Http& http() { return computer_.platform().http(); }
  static std::u16string Url(int port) {
    return Utf8ToUtf16("http://updates.brinmoor.example:" + std::to_string(port) + "/x");
  }
  testsupport::TempComputer computer_;
};

TEST_F(HttpTest, GetReachesAServerNamedInTheHostsFileAndFollowsRedirects) {
  LocalServer server([](const std::string& request) -> std::string {
    if (request.starts_with("GET /old ")) {
      return "HTTP/1.1 302 Found\r\nLocation: /CheckUpdate.asp?ProductSKU=Sentrel\r\n"
             "Content-Length: 0\r\nConnection: close\r\n\r\n";
    }
    return "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nX-Test:  two  words\r\n"
           "Content-Length: 30\r\nConnection: close\r\n\r\n<VersionMajor>5</VersionMajor>";
  });
  const std::string base = "http://UPDATES.brinmoor.example:" + std::to_string(server.port());
  HttpResponse response;
  ASSERT_EQ(kSuccess, http().Get(Utf8ToUtf16(base + "/old"), 10000, &response));
  EXPECT_EQ(200u, response.status);
  EXPECT_EQ("<VersionMajor>5</VersionMajor>", response.body);
  bool saw_type = false, saw_test = false;
  for (const auto& [name, value] : response.headers) {
    saw_type |= name == "Content-Type" && value == "text/xml";
    saw_test |= name == "X-Test" && value == "two  words";
    EXPECT_NE("Location", name) << "headers of the redirect were kept";
  }
  EXPECT_TRUE(saw_type);
  EXPECT_TRUE(saw_test);
  const std::vector<std::string> requests = server.requests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_TRUE(requests[1].starts_with("GET /CheckUpdate.asp?ProductSKU=Sentrel HTTP/1.1"));
  EXPECT_NE(std::string::npos, requests[1].find("Host: UPDATES.brinmoor.example:"));

  // A status that is no success is still an answer.
  LocalServer missing([](const std::string&) {
    return std::string("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  });
  ASSERT_EQ(kSuccess, http().Get(Url(missing.port()), 10000, &response));
  EXPECT_EQ(404u, response.status);
}

TEST_F(HttpTest, AddressesItCannotUseAndServersThatNeverAnswer) {
  HttpResponse response;
  EXPECT_EQ(kErrorHttpUnrecognizedScheme,
            http().Get(u"ftp://updates.brinmoor.example/", 1000, &response));
  EXPECT_EQ(kErrorHttpInvalidUrl, http().Get(u"not an address", 1000, &response));
  // Nothing listens on the port the server had.
  int port = 0;
  {
    LocalServer gone([](const std::string&) { return std::string(); });
    port = gone.port();
  }
  EXPECT_EQ(kErrorHttpCannotConnect, http().Get(Url(port), 5000, &response));

  LocalServer silent(nullptr);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(kErrorHttpTimeout, http().Get(Url(silent.port()), 300, &response));
  // Generous: the bound is 300 ms; only a wait far beyond it is a fault.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// Whether libcurl is mapped into this process.
bool CurlMapped() {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    if (line.find("/libcurl") != std::string::npos) return true;
  }
  return false;
}

TEST(HttpLibraryTest, LibcurlIsLoadedOnlyByTheFirstGetAndItsAbsenceIsAnError) {
  // A fresh process, so that no earlier test of this program has loaded the library.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        testsupport::TempComputer computer;
        HttpResponse response;
        const bool mapped_before = CurlMapped();
        const Result r = computer.platform().http().Get(u"ftp://example.invalid/", 1000, &response);
        std::exit(mapped_before                       ? 1
                  : r != kErrorHttpUnrecognizedScheme ? 2
                  : !CurlMapped()                     ? 3
                                                      : 0);
      },
      ::testing::ExitedWithCode(0), "");

  EmulatedHttp without([](std::string_view, uint32_t*) { return false; },
                       "libcurl-that-is-not-installed.so.4");
  HttpResponse response;
  EXPECT_EQ(kErrorModNotFound, without.Get(u"http://127.0.0.1:1/", 1000, &response));
  EXPECT_EQ(0u, response.status);
}

}  // namespace
}  // namespace platform::emulated
