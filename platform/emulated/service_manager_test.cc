#include "platform/emulated/service_manager.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "platform/emulated/sqlite_db.h"
#include "platform/registry.h"
#include "tests/support/test_platform.h"

namespace platform::emulated {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr char16_t kServices[] = u"SYSTEM\\CurrentControlSet\\Services\\";

std::u16string FakeServiceCommand(std::string_view name, std::string_view options = "") {
  std::string line = std::string("\"") + FAKE_SERVICE_PATH + "\" \"" + std::string(name) + "\"";
  if (!options.empty()) line += " " + std::string(options);
  return Utf8ToUtf16(line);
}

class ServiceManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(kSuccess,
              computer_.platform().service_manager().Open(u"", kScManagerAllAccess, &manager_));
  }

  // Kills what a failed test left running.
  void TearDown() override {
    for (const auto& name : started_) {
      const int64_t pid = RowPid(name);
      std::unique_ptr<ServiceHandle> service;
      ServiceStatus st;
      if (pid > 0 && manager_->Open(name, kServiceQueryStatus, &service) == kSuccess &&
          service->QueryStatus(&st) == kSuccess && st.current_state != kServiceStopped) {
        kill(static_cast<pid_t>(pid), SIGKILL);
      }
    }
  }

  std::unique_ptr<ServiceHandle> Create(const std::u16string& name, std::string_view options = "",
                                        uint32_t start_type = kServiceDemandStart) {
    std::unique_ptr<ServiceHandle> service;
    EXPECT_EQ(kSuccess,
              manager_->Create(name, u"", kServiceAllAccess, kServiceWin32OwnProcess, start_type,
                               kServiceErrorNormal, FakeServiceCommand(Utf16ToUtf8(name), options),
                               u"", &service));
    started_.push_back(name);
    return service;
  }

  int64_t RowPid(const std::u16string& name) {
    Database& db = computer_.platform().machine().db();
    Transaction t(db, Transaction::kRead);
    Statement s(db, "SELECT pid FROM svc_status WHERE name_upper = ?");
    return s.Bind(1, ServiceFileName(name)).Step() ? s.Int(0) : 0;
  }

  // Polls until the service reports `state`; answers the last status seen.
  static ServiceStatus WaitFor(ServiceHandle& service, uint32_t state, int timeout_ms = 30000) {
    ServiceStatus st;
    const auto deadline = steady_clock::now() + milliseconds(timeout_ms);
    while (service.QueryStatus(&st) == kSuccess && st.current_state != state &&
           steady_clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(10));
    }
    return st;
  }

  std::string ReadLog(const std::u16string& name) {
    std::ifstream in(computer_.dir() + "/services/" + ServiceFileName(name) + ".log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  bool KeyExists(const std::u16string& path) {
    std::unique_ptr<RegKey> hklm, key;
    EXPECT_EQ(kSuccess, computer_.platform().registry().OpenRoot(RegRoot::kLocalMachine, &hklm));
    return hklm->OpenKey(path, RegAccess::kRead, &key) == kSuccess;
  }

  testsupport::TempComputer computer_;
  std::unique_ptr<ServiceManagerHandle> manager_;
  std::vector<std::u16string> started_;
};

TEST_F(ServiceManagerTest, CreateWritesTheServiceKeyAsWindowsDoes) {
  auto service = Create(u"Brinmoor Test", "", kServiceAutoStart);
  ASSERT_TRUE(service);
  std::unique_ptr<RegKey> hklm, key;
  ASSERT_EQ(kSuccess, computer_.platform().registry().OpenRoot(RegRoot::kLocalMachine, &hklm));
  ASSERT_EQ(kSuccess,
            hklm->OpenKey(std::u16string(kServices) + u"Brinmoor Test", RegAccess::kRead, &key));
  uint32_t type = 0, start = 0, error_control = 9;
  std::u16string image, display, object;
  ASSERT_EQ(kSuccess, QueryDword(*key, u"Type", &type));
  ASSERT_EQ(kSuccess, QueryDword(*key, u"Start", &start));
  ASSERT_EQ(kSuccess, QueryDword(*key, u"ErrorControl", &error_control));
  ASSERT_EQ(kSuccess, QueryString(*key, u"ImagePath", &image));
  ASSERT_EQ(kSuccess, QueryString(*key, u"DisplayName", &display));
  ASSERT_EQ(kSuccess, QueryString(*key, u"ObjectName", &object));
  EXPECT_EQ(kServiceWin32OwnProcess, type);
  EXPECT_EQ(kServiceAutoStart, start);
  EXPECT_EQ(kServiceErrorNormal, error_control);
  EXPECT_EQ(FakeServiceCommand("Brinmoor Test"), image);
  EXPECT_EQ(u"Brinmoor Test", display);
  EXPECT_EQ(u"LocalSystem", object);

  // Names compare without regard to case; a second create is refused.
  std::unique_ptr<ServiceHandle> again;
  EXPECT_EQ(kErrorServiceExists,
            manager_->Create(u"BRINMOOR TEST", u"", kServiceAllAccess, kServiceWin32OwnProcess,
                             kServiceDemandStart, kServiceErrorNormal, u"/bin/true", u"", &again));
  std::unique_ptr<ServiceHandle> opened;
  ASSERT_EQ(kSuccess, manager_->Open(u"brinmoor test", kServiceQueryConfig, &opened));
  ServiceConfiguration config;
  ASSERT_EQ(kSuccess, opened->QueryConfig(&config));
  EXPECT_EQ(kServiceAutoStart, config.start_type);
  EXPECT_EQ(u"LocalSystem", config.service_start_name);
  // The handle was opened for the configuration only.
  ServiceStatus st;
  EXPECT_EQ(kErrorAccessDenied, opened->QueryStatus(&st));
  EXPECT_EQ(kErrorAccessDenied, opened->Start({}));
  EXPECT_EQ(kErrorAccessDenied, opened->Delete());

  // A never started service reads as stopped; it cannot take a control.
  ASSERT_EQ(kSuccess, service->QueryStatus(&st));
  EXPECT_EQ(kServiceStopped, st.current_state);
  EXPECT_EQ(0u, st.win32_exit_code);
  EXPECT_EQ(kErrorServiceNotActive, service->Control(kServiceControlStop, &st));
}

TEST_F(ServiceManagerTest, UnknownNamesAndOtherComputers) {
  std::unique_ptr<ServiceHandle> service;
  EXPECT_EQ(kErrorServiceDoesNotExist, manager_->Open(u"No Such", kServiceAllAccess, &service));
  // A key under Services without a Type value (the event log's key) is no service.
  EXPECT_EQ(kErrorServiceDoesNotExist, manager_->Open(u"EventLog", kServiceAllAccess, &service));
  EXPECT_EQ(kErrorInvalidName, manager_->Open(u"a\\b", kServiceAllAccess, &service));

  std::unique_ptr<ServiceManagerHandle> remote;
  auto& scm = computer_.platform().service_manager();
  EXPECT_EQ(kErrorBadNetpath, scm.Open(u"\\\\NOWHERE", kScManagerAllAccess, &remote));
  EXPECT_EQ(kSuccess, scm.Open(u"\\\\srv1", kScManagerAllAccess, &remote));
  std::string error;
  ASSERT_TRUE(EmulatedPlatform::Create(computer_.parent() + "/SRV2",
                                       testsupport::TempComputer::DefaultOptions(), &error))
      << error;
  ASSERT_EQ(kSuccess, scm.Open(u"\\\\SRV2", kScManagerAllAccess, &remote));
  ASSERT_EQ(kSuccess,
            remote->Create(u"Far", u"", kServiceAllAccess, kServiceWin32OwnProcess,
                           kServiceDemandStart, kServiceErrorNormal, u"/bin/true", u"", &service));
  EXPECT_EQ(kErrorServiceDoesNotExist, manager_->Open(u"Far", kServiceAllAccess, &service));
}

TEST_F(ServiceManagerTest, StartRunsTheServiceAndStopReachesItsHandler) {
  auto service = Create(u"Lifecycle");
  ASSERT_EQ(kSuccess, service->Start({u"one", u"two words"}));
  ServiceStatus st = WaitFor(*service, kServiceRunning);
  ASSERT_EQ(kServiceRunning, st.current_state);
  EXPECT_EQ(kServiceAcceptStop, st.controls_accepted);
  EXPECT_EQ(kErrorServiceAlreadyRunning, service->Start({}));

  // A control runs the handler before the reply: the reply carries what the handler reported.
  ASSERT_EQ(kSuccess, service->Control(130, &st));
  EXPECT_EQ(130u, st.check_point);
  // Pause is not accepted by this service.
  EXPECT_EQ(kErrorInvalidServiceControl, service->Control(kServiceControlPause, &st));
  EXPECT_EQ(kErrorInvalidParameter, service->Control(kServiceControlShutdown, &st));

  ASSERT_EQ(kSuccess, service->Control(kServiceControlStop, &st));
  EXPECT_EQ(kServiceStopPending, st.current_state);
  // Another connection to the computer (as another process would have) sees it stop.
  auto other = computer_.Reopen();
  std::unique_ptr<ServiceManagerHandle> other_manager;
  ASSERT_EQ(kSuccess, other->service_manager().Open(u"", kScManagerConnect, &other_manager));
  std::unique_ptr<ServiceHandle> watched;
  ASSERT_EQ(kSuccess, other_manager->Open(u"LIFECYCLE", kServiceQueryStatus, &watched));
  st = WaitFor(*watched, kServiceStopped);
  EXPECT_EQ(kServiceStopped, st.current_state);
  EXPECT_EQ(0u, st.win32_exit_code);
  EXPECT_EQ(kErrorServiceNotActive, service->Control(kServiceControlStop, &st));

  // The entry routine got the service name and the start arguments; the log is its stderr.
  EXPECT_NE(std::string::npos, ReadLog(u"Lifecycle").find("args: Lifecycle one two words\n"));

  // It starts again after a stop.
  ASSERT_EQ(kSuccess, service->Start({}));
  EXPECT_EQ(kServiceRunning, WaitFor(*service, kServiceRunning).current_state);
  ASSERT_EQ(kSuccess, service->Control(kServiceControlStop, &st));
  EXPECT_EQ(kServiceStopped, WaitFor(*service, kServiceStopped).current_state);
}

TEST_F(ServiceManagerTest, AKilledServiceReadsAsStopped) {
  auto service = Create(u"Victim");
  ASSERT_EQ(kSuccess, service->Start({}));
  ASSERT_EQ(kServiceRunning, WaitFor(*service, kServiceRunning).current_state);
  const int64_t pid = RowPid(u"Victim");
  ASSERT_GT(pid, 0);
  ASSERT_EQ(0, kill(static_cast<pid_t>(pid), SIGKILL));
  ServiceStatus st = WaitFor(*service, kServiceStopped);
  EXPECT_EQ(kServiceStopped, st.current_state);
  EXPECT_EQ(kErrorProcessAborted, st.win32_exit_code);
  EXPECT_EQ(kErrorServiceNotActive, service->Control(kServiceControlStop, &st));
  // The lock died with it: the service starts again.
  ASSERT_EQ(kSuccess, service->Start({}));
  EXPECT_EQ(kServiceRunning, WaitFor(*service, kServiceRunning).current_state);
  ASSERT_EQ(kSuccess, service->Control(kServiceControlStop, &st));
  EXPECT_EQ(kServiceStopped, WaitFor(*service, kServiceStopped).current_state);
}

// A second dispatcher call while the first runs is refused and must leave the descriptors it was
// handed alone: they belong to the first call, so the service keeps running and keeps its lock.
TEST_F(ServiceManagerTest, ASecondDispatcherCallLeavesTheRunningOneIntact) {
  auto service = Create(u"Twice", "--dispatch-again");
  ASSERT_EQ(kSuccess, service->Start({}));
  ServiceStatus st = WaitFor(*service, kServiceRunning);
  ASSERT_EQ(kServiceRunning, st.current_state);
  EXPECT_NE(std::string::npos, ReadLog(u"Twice").find("again: 1056\n")) << ReadLog(u"Twice");
  // Still alive by its lock, so a start is refused rather than running a second instance.
  std::this_thread::sleep_for(milliseconds(200));
  ASSERT_EQ(kSuccess, service->QueryStatus(&st));
  EXPECT_EQ(kServiceRunning, st.current_state);
  EXPECT_EQ(kErrorServiceAlreadyRunning, service->Start({}));
  ASSERT_EQ(kSuccess, service->Control(kServiceControlStop, &st));
  st = WaitFor(*service, kServiceStopped);
  EXPECT_EQ(kServiceStopped, st.current_state);
  EXPECT_EQ(0u, st.win32_exit_code);
}

TEST_F(ServiceManagerTest, DispatcherOutsideTheManagerFailsAtOnce) {
  // In this process, which no manager started.
  const auto begin = steady_clock::now();
  bool ran = false;
  EXPECT_EQ(kErrorFailedServiceControllerConnect,
            computer_.platform().service_dispatcher().StartDispatcher(
                u"Anything", [&ran](const std::vector<std::u16string>&) { ran = true; }));
  EXPECT_FALSE(ran);
  // And the program run by hand, as an administrator would.
  const std::string command =
      "NTBOX_MACHINE='" + computer_.dir() + "' '" + FAKE_SERVICE_PATH + "' Anything 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(nullptr, pipe);
  char line[128] = {};
  ASSERT_NE(nullptr, fgets(line, sizeof line, pipe));
  const int status = pclose(pipe);
  EXPECT_STREQ("dispatcher: 1063\n", line);
  EXPECT_EQ(1, WEXITSTATUS(status));
  EXPECT_LT(steady_clock::now() - begin, std::chrono::seconds(3));
  ServiceStatusHandle handle = 0;
  EXPECT_EQ(kErrorFailedServiceControllerConnect,
            computer_.platform().service_dispatcher().RegisterControlHandler(
                u"Anything", [](uint32_t) {}, &handle));
}

TEST_F(ServiceManagerTest, StartFailures) {
  std::unique_ptr<ServiceHandle> missing, quitter, sleeper, disabled;
  ASSERT_EQ(kSuccess, manager_->Create(u"Missing", u"", kServiceAllAccess, kServiceWin32OwnProcess,
                                       kServiceDemandStart, kServiceErrorNormal,
                                       u"/no/such/program", u"", &missing));
  EXPECT_EQ(kErrorFileNotFound, missing->Start({}));
  ServiceStatus st;
  ASSERT_EQ(kSuccess, missing->QueryStatus(&st));
  EXPECT_EQ(kServiceStopped, st.current_state);

  // A program that ends without connecting.
  ASSERT_EQ(kSuccess, manager_->Create(u"Quitter", u"", kServiceAllAccess, kServiceWin32OwnProcess,
                                       kServiceDemandStart, kServiceErrorNormal, u"/bin/true", u"",
                                       &quitter));
  EXPECT_EQ(kErrorServiceRequestTimeout, quitter->Start({}));

  ASSERT_EQ(kSuccess,
            manager_->Create(u"Disabled", u"", kServiceAllAccess, kServiceWin32OwnProcess,
                             kServiceDisabled, kServiceErrorNormal, u"/bin/true", u"", &disabled));
  EXPECT_EQ(kErrorServiceDisabled, disabled->Start({}));

  EXPECT_EQ(
      kErrorInvalidParameter,
      manager_->Create(u"Driver", u"", kServiceAllAccess, kServiceKernelDriver, kServiceDemandStart,
                       kServiceErrorNormal, u"/bin/true", u"", &sleeper));
}

TEST_F(ServiceManagerTest, AServiceThatNeverConnectsCannotBeControlled) {
  auto service = Create(u"Sleeper", "--no-dispatcher");
  // The start waits for the dispatcher; this one never comes, so kill it from another thread
  // once the process is there (its lock is held) instead of waiting 30 s.
  std::thread killer([this] {
    const auto deadline = steady_clock::now() + std::chrono::seconds(10);
    std::unique_ptr<ServiceHandle> watch;
    ASSERT_EQ(kSuccess, manager_->Open(u"Sleeper", kServiceQueryStatus, &watch));
    ServiceStatus st;
    while (steady_clock::now() < deadline) {
      ASSERT_EQ(kSuccess, watch->QueryStatus(&st));
      if (st.current_state == kServiceStartPending && RowPid(u"Sleeper") > 0) break;
      std::this_thread::sleep_for(milliseconds(10));
    }
    // Still start pending: the process lives; a control cannot reach it yet.
    std::unique_ptr<ServiceHandle> control;
    ASSERT_EQ(kSuccess, manager_->Open(u"Sleeper", kServiceStop, &control));
    EXPECT_EQ(kErrorServiceCannotAcceptCtrl, control->Control(kServiceControlStop, &st));
    const int64_t pid = RowPid(u"Sleeper");
    EXPECT_GT(pid, 0);
    if (pid > 0) kill(static_cast<pid_t>(pid), SIGKILL);
  });
  EXPECT_EQ(kErrorServiceRequestTimeout, service->Start({}));
  killer.join();
  EXPECT_EQ(kServiceStopped, WaitFor(*service, kServiceStopped).current_state);
}

TEST_F(ServiceManagerTest, DeleteWaitsForARunningServiceToStop) {
  auto service = Create(u"Doomed", "--stop-delay-ms 200");
  ASSERT_EQ(kSuccess, service->Start({}));
  ASSERT_EQ(kServiceRunning, WaitFor(*service, kServiceRunning).current_state);
  std::unique_ptr<RegKey> hklm, parameters;
  ASSERT_EQ(kSuccess, computer_.platform().registry().OpenRoot(RegRoot::kLocalMachine, &hklm));
  ASSERT_EQ(kSuccess,
            hklm->CreateKey(std::u16string(kServices) + u"Doomed\\Parameters", &parameters));
  parameters.reset();

  ASSERT_EQ(kSuccess, service->Delete());
  EXPECT_EQ(kErrorServiceMarkedForDelete, service->Delete());
  EXPECT_TRUE(KeyExists(std::u16string(kServices) + u"Doomed"));
  std::unique_ptr<ServiceHandle> again;
  EXPECT_EQ(kErrorServiceMarkedForDelete,
            manager_->Create(u"Doomed", u"", kServiceAllAccess, kServiceWin32OwnProcess,
                             kServiceDemandStart, kServiceErrorNormal, u"/bin/true", u"", &again));
  ServiceStatus st;
  ASSERT_EQ(kSuccess, service->Control(kServiceControlStop, &st));
  EXPECT_EQ(kServiceStopped, WaitFor(*service, kServiceStopped).current_state);
  // The key goes with its subkeys once the process is gone.
  const auto deadline = steady_clock::now() + std::chrono::seconds(30);
  while (KeyExists(std::u16string(kServices) + u"Doomed") && steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_FALSE(KeyExists(std::u16string(kServices) + u"Doomed"));
  EXPECT_EQ(kErrorServiceDoesNotExist, manager_->Open(u"Doomed", kServiceAllAccess, &again));
}

TEST_F(ServiceManagerTest, DeleteOfAStoppedServiceRemovesItAtOnce) {
  auto service = Create(u"Idle");
  std::unique_ptr<RegKey> hklm, parameters;
  ASSERT_EQ(kSuccess, computer_.platform().registry().OpenRoot(RegRoot::kLocalMachine, &hklm));
  ASSERT_EQ(kSuccess,
            hklm->CreateKey(std::u16string(kServices) + u"Idle\\Parameters\\Deeper", &parameters));
  parameters.reset();
  ASSERT_EQ(kSuccess, service->Delete());
  EXPECT_FALSE(KeyExists(std::u16string(kServices) + u"Idle"));
  std::unique_ptr<ServiceHandle> again;
  EXPECT_EQ(kErrorServiceDoesNotExist, manager_->Open(u"Idle", kServiceAllAccess, &again));
  // The name is free again.
  Create(u"Idle");
}

TEST_F(ServiceManagerTest, LookingAtAServiceDoesNotWaitForAWriter) {
  Create(u"Quiet");
  // Another process is writing to the computer: it holds the database's write lock.
  Database writer(Machine::DatabasePath(computer_.platform().machine().dir()), false);
  writer.Exec("BEGIN IMMEDIATE");
  auto look = std::async(std::launch::async, [this] {
    std::unique_ptr<ServiceHandle> service;
    ServiceStatus st;
    ServiceConfiguration config;
    Result r = manager_->Open(u"Quiet", kServiceQueryStatus | kServiceQueryConfig, &service);
    if (r == kSuccess) r = service->QueryStatus(&st);
    if (r == kSuccess) r = service->QueryConfig(&config);
    return r == kSuccess && st.current_state == kServiceStopped;
  });
  const bool answered = look.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  writer.Exec("ROLLBACK");
  EXPECT_TRUE(answered) << "a status query waited for another process's write";
  EXPECT_TRUE(look.get());
}

}  // namespace
}  // namespace platform::emulated
