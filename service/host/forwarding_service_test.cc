// The forwarding service on an emulated computer: installation with its event source and
// default configuration, removal, and the logger thread's start and stop under a recording
// dispatcher.
#include "service/host/forwarding_service.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "service/config/service_config.h"
#include "service/host/host_test_support.h"
#include "tests/support/test_platform.h"

namespace sentrel {
namespace {

using hosttest::CapturingProcess;
using hosttest::EventIds;
using hosttest::FakeDispatcher;

const char kNotice[] =
    "Brinmoor Sentrel has created/reset the registry key\n\n\n"
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Brinmoor Vaskwell\\Parameters\n\n\n"
    "and its subkeys with default parameters. Please use REGEDIT to customize.\n"
    "Note: the default syslog host is 127.0.0.1. Do not start\n"
    "the Vaskwell service before adjusting. Otherwise you need to\n"
    "reset the 'nLastRecord' parameters to 0 in order to get a\n"
    "complete log of all event log entries!\n\n"
    "Visit https://www.brinmoor.example/sentrel for product updates and support.\n";

platform::emulated::ComputerOptions Version(uint32_t major) {
  auto options = testsupport::TempComputer::DefaultOptions();
  options.major_version = major;
  return options;
}

class ForwardingServiceTest : public ::testing::Test {
 protected:
  explicit ForwardingServiceTest(uint32_t major = 5)
      : computer_(Version(major)), process_(computer_.platform().process()) {
    overlay_.process_ = &process_;
    overlay_.service_dispatcher_ = &dispatcher_;
    overlay_.debug_ = &debug_;
    service_ = std::make_unique<ForwardingService>(overlay_);
  }

  std::unique_ptr<platform::RegKey> Key(std::u16string_view path) {
    std::unique_ptr<platform::RegKey> root, key;
    if (computer_.platform().registry().OpenRoot(platform::RegRoot::kLocalMachine, &root) !=
            platform::kSuccess ||
        root->OpenKey(path, platform::RegAccess::kReadWrite, &key) != platform::kSuccess) {
      return nullptr;
    }
    return key;
  }
  std::vector<std::u16string> Subkeys(std::u16string_view path) {
    std::vector<std::u16string> names;
    auto key = Key(path);
    if (!key) return names;
    std::u16string name;
    for (uint32_t i = 0; key->EnumKey(i, 256, &name) == platform::kSuccess; ++i) {
      names.push_back(name);
    }
    return names;
  }
  uint32_t Dword(std::u16string_view path, std::u16string_view name) {
    uint32_t value = 0;
    auto key = Key(path);
    if (!key || platform::QueryDword(*key, name, &value) != platform::kSuccess) return 0xDEADBEEF;
    return value;
  }
  std::u16string Text(std::u16string_view path, std::u16string_view name) {
    std::u16string value;
    auto key = Key(path);
    if (!key || platform::QueryString(*key, name, &value) != platform::kSuccess)
      return u"<missing>";
    return value;
  }
  std::u16string Log(std::u16string_view log) {
    return std::u16string(kParametersKey) + u"\\" + std::u16string(log);
  }
  std::vector<uint32_t> Events() { return EventIds(computer_.platform(), kServiceName); }

  testsupport::TempComputer computer_;
  CapturingProcess process_;
  FakeDispatcher dispatcher_;
  testsupport::CapturingDebugOutput debug_;
  platform::OverlayPlatform overlay_{computer_.platform()};
  std::unique_ptr<ForwardingService> service_;
};

TEST_F(ForwardingServiceTest, InstallRegistersServiceSourceAndDefaultsOverOtherValues) {
  // Values from an earlier life of the service: the installation resets them.
  std::unique_ptr<platform::RegKey> root, system;
  ASSERT_EQ(computer_.platform().registry().OpenRoot(platform::RegRoot::kLocalMachine, &root),
            platform::kSuccess);
  ASSERT_EQ(root->CreateKey(Log(u"System"), &system), platform::kSuccess);
  ASSERT_EQ(platform::SetDword(*system, u"nLastRecord", 42), platform::kSuccess);
  system.reset();
  std::unique_ptr<platform::RegKey> params;
  ASSERT_EQ(root->CreateKey(kParametersKey, &params), platform::kSuccess);
  ASSERT_EQ(platform::SetDword(*params, u"nSleepTime", 100), platform::kSuccess);
  ASSERT_EQ(platform::SetString(*params, u"szTarget", u"10.0.0.9"), platform::kSuccess);
  params.reset();

  EXPECT_TRUE(service_->ParseStandardArgs({"-I"}));
  EXPECT_EQ(process_.console, std::string(kNotice) + "Brinmoor Vaskwell installed.\n");

  std::u16string program;
  ASSERT_EQ(computer_.platform().process().ProgramPath(&program), platform::kSuccess);
  const std::u16string service_key = u"SYSTEM\\CurrentControlSet\\Services\\Brinmoor Vaskwell";
  EXPECT_EQ(Text(service_key, u"ImagePath"), program);
  EXPECT_EQ(Text(service_key, u"DisplayName"), u"Brinmoor Vaskwell");
  EXPECT_EQ(Dword(service_key, u"Type"), platform::kServiceWin32OwnProcess);
  EXPECT_EQ(Dword(service_key, u"Start"), platform::kServiceAutoStart);
  EXPECT_EQ(Dword(service_key, u"ErrorControl"), platform::kServiceErrorNormal);
  EXPECT_EQ(Text(service_key, u"ObjectName"), u"LocalSystem");

  const std::u16string source =
      u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Brinmoor Vaskwell";
  EXPECT_EQ(Dword(source, u"TypesSupported"), 7u);
  const std::u16string message_file = Text(source, u"EventMessageFile");
  EXPECT_EQ(message_file, program.substr(0, program.rfind(u'/') + 1) + u"vaskwell_messages.dll");
  EXPECT_TRUE(debug_.Contains("Try to install " + platform::Utf16ToUtf8(message_file) + ", len " +
                              std::to_string(message_file.size() + 1) + ".\n"));

  EXPECT_EQ(Subkeys(kParametersKey),
            (std::vector<std::u16string>{u"Application", u"Directory Service", u"DNS Server",
                                         u"File Replication Service", u"Security", u"System"}));
  EXPECT_EQ(Dword(Log(u"System"), u"nLastRecord"), 0u);
  EXPECT_EQ(Dword(kParametersKey, u"nSleepTime"), 5000u);
  EXPECT_EQ(Text(kParametersKey, u"szTarget"), u"127.0.0.1");

  auto log = hosttest::ReadLog(computer_.platform(), u"Application");
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().id, kEventInstalled);
  EXPECT_EQ(log.back().type, kReportInformation);
  EXPECT_EQ(log.back().strings, std::vector<std::u16string>{u"Brinmoor Vaskwell"});
}

TEST_F(ForwardingServiceTest, InstallTwiceAndRemoveTwice) {
  EXPECT_TRUE(service_->ParseStandardArgs({"-i"}));
  EXPECT_TRUE(service_->IsInstalled());
  process_.console.clear();
  EXPECT_TRUE(service_->ParseStandardArgs({"-i"}));
  EXPECT_EQ(process_.console, "Brinmoor Vaskwell is already installed.\n");

  process_.console.clear();
  EXPECT_TRUE(service_->ParseStandardArgs({"-U"}));
  std::u16string program;
  ASSERT_EQ(computer_.platform().process().ProgramPath(&program), platform::kSuccess);
  EXPECT_EQ(process_.console, "Brinmoor Vaskwell removed. (You must delete the file (" +
                                  platform::Utf16ToUtf8(program) + ") yourself.)\n");
  EXPECT_FALSE(service_->IsInstalled());
  process_.console.clear();
  EXPECT_TRUE(service_->ParseStandardArgs({"-u"}));
  EXPECT_EQ(process_.console, "Brinmoor Vaskwell is not installed.\n");
  EXPECT_EQ(Events(), (std::vector<uint32_t>{kEventInstalled, kEventRemoved}));

  // The event source and the configuration stay.
  EXPECT_EQ(Dword(u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Brinmoor Vaskwell",
                  u"TypesSupported"),
            7u);
}

TEST_F(ForwardingServiceTest, OnlyTheFirstArgumentCounts) {
  EXPECT_FALSE(service_->ParseStandardArgs({"/i", "-i"}));
  EXPECT_FALSE(service_->ParseStandardArgs({"-install"}));
  EXPECT_FALSE(service_->ParseStandardArgs({""}));
  EXPECT_TRUE(service_->ParseStandardArgs({"-H", "-i"}));
  EXPECT_FALSE(service_->IsInstalled());
}

class ForwardingServiceNt4Test : public ForwardingServiceTest {
 protected:
  ForwardingServiceNt4Test() : ForwardingServiceTest(4) {}
};

TEST_F(ForwardingServiceNt4Test, AVersion4ComputerGetsThreeLogSubkeys) {
  service_->CreateDefaultConfiguration();
  EXPECT_EQ(Subkeys(kParametersKey),
            (std::vector<std::u16string>{u"Application", u"Security", u"System"}));
  EXPECT_EQ(process_.console, kNotice);
}

TEST_F(ForwardingServiceTest, TheLoggerRunsAtLowestPriorityAndTheStopDoesNotWaitForIt) {
  // Three records that the logger counts as processed without sending them anywhere.
  std::unique_ptr<platform::RegKey> root, system;
  ASSERT_EQ(computer_.platform().registry().OpenRoot(platform::RegRoot::kLocalMachine, &root),
            platform::kSuccess);
  ASSERT_EQ(root->CreateKey(Log(u"System"), &system), platform::kSuccess);
  ASSERT_EQ(platform::SetDword(*system, u"nFilterEventType", 0), platform::kSuccess);
  platform::EventRecordFields f;
  f.source = u"Disk";
  uint32_t number = 0;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(computer_.platform().emulated_event_log().Append(u"System", f, &number),
              platform::kSuccess);
  }

  std::thread service_thread([this] { service_->ServiceMain({kServiceName}); });
  ASSERT_TRUE(dispatcher_.WaitFor(platform::kServiceRunning));
  EXPECT_TRUE(service_->logger_started());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Dword(Log(u"System"), u"nLastRecord") != 3 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(Dword(Log(u"System"), u"nLastRecord"), 3u);
  EXPECT_EQ(process_.lowest_priority(), 1);
  EXPECT_EQ(process_.idle_class_calls, 1);

  dispatcher_.Control(platform::kServiceControlStop);
  service_thread.join();
  EXPECT_EQ(dispatcher_.states().back(), platform::kServiceStopped);
  // Destroying the service joins the logger, which has seen the stop.
  service_.reset();

  auto log = hosttest::ReadLog(computer_.platform(), u"Application");
  std::vector<std::pair<uint32_t, std::u16string>> lifecycle;
  for (const auto& e : log) {
    if (e.source == kServiceName) {
      lifecycle.emplace_back(e.id, e.strings.empty() ? u"" : e.strings[0]);
    }
  }
  EXPECT_EQ(lifecycle,
            (std::vector<std::pair<uint32_t, std::u16string>>{{kEventText, kLoggerStarted},
                                                              {kEventStarted, u""},
                                                              {kEventText, kLoggerStopped},
                                                              {kEventStopped, u""}}));
}

// A process that takes its time to enter the idle class: the window in which a logger that
// began at once could use up the reporting allowance before the start events are written.
class SlowIdleClassProcess : public CapturingProcess {
 public:
  using CapturingProcess::CapturingProcess;
  platform::Result SetProcessIdleClass() override {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return CapturingProcess::SetProcessIdleClass();
  }
};

TEST_F(ForwardingServiceTest, TheStartEventsComeBeforeTheLoggersFirstReport) {
  // Every pass reports I1002 at once (a TCP target that is no address and so never connects)
  // and the next pass follows without a pause: a flood of reports from the first moment.
  std::unique_ptr<platform::RegKey> root, params;
  ASSERT_EQ(computer_.platform().registry().OpenRoot(platform::RegRoot::kLocalMachine, &root),
            platform::kSuccess);
  ASSERT_EQ(root->CreateKey(kParametersKey, &params), platform::kSuccess);
  ASSERT_EQ(platform::SetDword(*params, u"nSleepTime", 0), platform::kSuccess);
  ASSERT_EQ(platform::SetDword(*params, u"nProtoType", 1), platform::kSuccess);
  ASSERT_EQ(platform::SetString(*params, u"szTarget", u"3com-server"), platform::kSuccess);
  platform::EventRecordFields f;
  f.source = u"Disk";
  uint32_t number = 0;
  for (int i = 0; i < 12; ++i) {
    ASSERT_EQ(computer_.platform().emulated_event_log().Append(u"System", f, &number),
              platform::kSuccess);
  }
  SlowIdleClassProcess slow(computer_.platform().process());
  overlay_.process_ = &slow;

  std::thread service_thread([this] { service_->ServiceMain({kServiceName}); });
  ASSERT_TRUE(dispatcher_.WaitFor(platform::kServiceRunning));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (Events().size() < 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  dispatcher_.Control(platform::kServiceControlStop);
  service_thread.join();
  service_.reset();

  auto log = hosttest::ReadLog(computer_.platform(), u"Application");
  std::vector<std::pair<uint32_t, std::u16string>> own;
  for (const auto& e : log) {
    if (e.source == kServiceName) own.emplace_back(e.id, e.strings.empty() ? u"" : e.strings[0]);
  }
  ASSERT_GE(own.size(), 3u);
  EXPECT_EQ(own[0], (std::pair<uint32_t, std::u16string>{kEventText, kLoggerStarted}));
  EXPECT_EQ(own[1], (std::pair<uint32_t, std::u16string>{kEventStarted, u""}));
  EXPECT_NE(own[2].second.find(u"Error I1002"), std::u16string::npos);
}

TEST_F(ForwardingServiceTest, AStopWithoutALoggerSaysItCouldNotBeStopped) {
  service_->OnStop();
  auto log = hosttest::ReadLog(computer_.platform(), u"Application");
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().type, kReportError);
  EXPECT_EQ(log.back().strings, std::vector<std::u16string>{kLoggerNotStopped});
}

}  // namespace
}  // namespace sentrel
