// A pass reads its configuration, the filter rules, the event sources' libraries and the services
// file anew, while the service keeps what it read in memory to render and send a record cheaply:
// whatever other processes change between two passes must reach the next pass.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/event_record.h"
#include "service/base/render_fixture.h"
#include "service/collect/forwarding_pipeline.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/test_platform.h"

namespace sentrel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testsupport::RunInChildProcess;

// Message text for a library whose one message, 7036, reads `text`.
std::string ServiceStateMessages(const std::string& text) {
  return "MessageId=7036\nLanguage=English\n" + text + "\n.\n";
}

class NullReporter : public EventReporter {
 public:
  void ReportServiceEvent(uint16_t, uint32_t, const char16_t* text, const char16_t*,
                          const char16_t*) override {
    ADD_FAILURE() << "unexpected event: " << platform::Utf16ToUtf8(text ? text : u"");
  }
};

class PassFreshnessTest : public ::testing::Test {
 protected:
  PassFreshnessTest() {
    auto& p = computer.platform();
    rendertest::InstallMessageDll(p, u"C:\\WINNT\\system32\\first.dll",
                                  ServiceStateMessages("The %1 service entered the %2 state."));
    rendertest::InstallMessageDll(p, u"C:\\WINNT\\system32\\second.dll",
                                  ServiceStateMessages("Service %1 is now %2."));
    rendertest::RegisterSource(p, u"System", u"Fresh Source", u"%SystemRoot%\\system32\\first.dll");
    const auto params = testsupport::MachineKey(p, kParametersKey);
    if (!params) return;  // MachineKey reported the failure
    EXPECT_EQ(platform::SetDword(*params, u"nPreventOverrunDelay", 0), 0u);
    EXPECT_EQ(platform::SetDword(*params, u"nRFC3164Mode", 1), 0u);
    EXPECT_EQ(params->SetValueAnsi(u"szTarget", platform::kRegSz, "127.0.0.1"), 0u);
    WriteServicesFile(first.port());
    pipeline.logger().TakeHostName();
  }

  // Port numbers written with five digits, so that every version of the file has one size.
  void WriteServicesFile(uint16_t port) {
    char line[64];
    std::snprintf(line, sizeof line, "syslog %05u/udp\r\n", static_cast<unsigned>(port));
    std::ofstream(computer.platform().emulated_network().ServicesFile(), std::ios::trunc) << line;
  }

  // One pass over the System log after writing records of these event ids.
  void Pass(std::vector<uint32_t> ids) {
    for (uint32_t id : ids) {
      platform::EventRecordFields f;
      f.time_generated = f.time_written = 1052140806;
      f.event_id = id;
      f.source = u"Fresh Source";
      f.computer = u"SRV1";
      f.strings = {u"Alerter", u"stopped"};
      uint32_t number = 0;
      ASSERT_EQ(computer.platform().emulated_event_log().Append(u"System", f, &number), 0u);
    }
    pipeline.logger().ProcessLog(LogId::kSystem);
  }

  // Runs ntbox on the test's computer as a process of its own; true when it succeeded.
  bool Ntbox(std::vector<std::string> args) {
    return 0 == RunInChildProcess([&] {
             setenv("NTBOX_MACHINE", computer.dir().c_str(), 1);
             std::vector<char*> argv{const_cast<char*>(NTBOX_PATH)};
             for (auto& a : args) argv.push_back(a.data());
             argv.push_back(nullptr);
             const int null = open("/dev/null", O_WRONLY);
             dup2(null, 1);
             execv(NTBOX_PATH, argv.data());
             return 127;
           });
  }
  bool RegAdd(const std::string& key, const std::string& name, const std::string& type,
              const std::string& data) {
    return Ntbox({"reg", "add", key, "/v", name, "/t", type, "/d", data, "/f"});
  }

  testsupport::TempComputer computer;
  using Receiver = testsupport::LoopbackSocket;
  Receiver first{SOCK_DGRAM};
  Receiver moved{SOCK_DGRAM};  // the port the services file names later
  Receiver elsewhere{SOCK_DGRAM, moved.port(), "127.0.0.2"};  // szTarget changed, same port
  NullReporter reporter;
  StopSignal stop;
  ForwardingPipeline pipeline{computer.platform(), reporter, stop};
  const std::string params_key = "HKLM\\" + platform::Utf16ToUtf8(kParametersKey);
};

TEST_F(PassFreshnessTest, ChangesFromOtherProcessesReachTheNextPass) {
  Pass({7036});
  EXPECT_THAT(first.Take(), ElementsAre(HasSubstr("\"The Alerter service entered the stopped")));

  // The source's library list.
  ASSERT_TRUE(RegAdd("HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\Fresh Source",
                     "EventMessageFile", "REG_EXPAND_SZ", "%SystemRoot%\\system32\\second.dll"));
  Pass({7036});
  EXPECT_THAT(first.Take(), ElementsAre(HasSubstr("\"Service Alerter is now stopped.\"")));

  // The library itself, rebuilt in place: the pass before loaded and released it.
  const std::string mc = computer.parent() + "/rewritten.mc";
  std::ofstream(mc) << ServiceStateMessages("Dienst %1 ist jetzt %2.");
  ASSERT_TRUE(Ntbox({"mc", mc, "-o",
                     computer.platform().machine().HostPath(u"C:\\WINNT\\system32\\second.dll")}));
  Pass({7036});
  EXPECT_THAT(first.Take(), ElementsAre(HasSubstr("\"Dienst Alerter ist jetzt stopped.\"")));

  // The services file, rewritten at once with text of the same size.
  ASSERT_EQ(0, RunInChildProcess([&] {
              WriteServicesFile(moved.port());
              return 0;
            }));
  Pass({7036});
  EXPECT_THAT(first.Take(), IsEmpty());
  EXPECT_THAT(moved.Take(), ElementsAre(HasSubstr("Dienst Alerter")));

  // The server.
  ASSERT_TRUE(RegAdd(params_key, "szTarget", "REG_SZ", "127.0.0.2"));
  Pass({7036});
  EXPECT_THAT(moved.Take(), IsEmpty());
  EXPECT_THAT(elsewhere.Take(), ElementsAre(HasSubstr("Dienst Alerter")));

  // A rule that drops event 7036, taken up because its stamp changed.
  const std::string log_key = params_key + "\\System";
  ASSERT_TRUE(RegAdd(log_key, "FR1EventID", "REG_DWORD", "7036"));
  ASSERT_TRUE(RegAdd(log_key, "FR1Action", "REG_DWORD", "0"));
  ASSERT_TRUE(RegAdd(log_key, "nFilterRules", "REG_DWORD", "1"));
  ASSERT_TRUE(RegAdd(log_key, "nFilterVersion", "REG_DWORD", "1"));
  Pass({7036, 7040});
  EXPECT_THAT(elsewhere.Take(), ElementsAre(HasSubstr("Fresh Source (7040)")));
}

}  // namespace
}  // namespace sentrel
