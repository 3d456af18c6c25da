// ServiceManager: the client side of the service control manager on a probe service that is
// created, queried, refused and deleted, but never started.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/service_manager.h"
#include "tests/contract/contract_target.h"

namespace contract {
namespace {

using platform::kSuccess;
using platform::Result;
using platform::ServiceHandle;
using platform::ServiceManagerHandle;

constexpr char16_t kProbe[] = u"SentrelContractProbe";
constexpr char16_t kProbePath[] = u"C:\\SentrelContract\\probe.exe -x";

class ServiceManagerContract : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(GetPlatform().service_manager().Open(u"", platform::kScManagerAllAccess, &manager_),
              kSuccess);
    RemoveProbe();
  }
  void TearDown() override {
    if (manager_) RemoveProbe();
  }

  // A probe left by an aborted run goes first.
  void RemoveProbe() {
    std::unique_ptr<ServiceHandle> left;
    if (manager_->Open(kProbe, platform::kDeleteAccess, &left) == kSuccess) {
      (void)left->Delete();
    }
  }

  Result Create(std::unique_ptr<ServiceHandle>* out) {
    return manager_->Create(kProbe, u"Sentrel Contract Probe", platform::kServiceAllAccess,
                            platform::kServiceWin32OwnProcess, platform::kServiceDemandStart,
                            platform::kServiceErrorNormal, kProbePath, u"", out);
  }

  std::unique_ptr<ServiceManagerHandle> manager_;
};

TEST_F(ServiceManagerContract, UnknownCreateQueryRefuseAndDelete) {
  std::unique_ptr<ServiceHandle> service, duplicate;
  EXPECT_EQ(manager_->Open(u"SentrelNoSuchService", platform::kServiceQueryStatus, &service),
            platform::kErrorServiceDoesNotExist);
  EXPECT_EQ(service, nullptr);
  ASSERT_EQ(Create(&service), kSuccess);
  EXPECT_EQ(Create(&duplicate), platform::kErrorServiceExists);

  platform::ServiceStatus status;
  ASSERT_EQ(service->QueryStatus(&status), kSuccess);
  EXPECT_EQ(status.current_state, platform::kServiceStopped);
  EXPECT_EQ(status.service_type, platform::kServiceWin32OwnProcess);

  platform::ServiceConfiguration config;
  ASSERT_EQ(service->QueryConfig(&config), kSuccess);
  EXPECT_EQ(config.service_type, platform::kServiceWin32OwnProcess);
  EXPECT_EQ(config.start_type, platform::kServiceDemandStart);
  EXPECT_EQ(config.error_control, platform::kServiceErrorNormal);
  EXPECT_EQ(config.binary_path_name, kProbePath);
  EXPECT_EQ(config.display_name, u"Sentrel Contract Probe");
  EXPECT_EQ(config.service_start_name, u"LocalSystem");

  // A stop for a service that is not running is refused with its status.
  status = {};
  EXPECT_EQ(service->Control(platform::kServiceControlStop, &status),
            platform::kErrorServiceNotActive);
  EXPECT_EQ(status.current_state, platform::kServiceStopped);

  // Names are compared without regard to case.
  std::unique_ptr<ServiceHandle> again;
  ASSERT_EQ(manager_->Open(u"sentrelcontractprobe", platform::kDeleteAccess, &again), kSuccess);
  EXPECT_EQ(again->Delete(), kSuccess);
  again.reset();
  service.reset();
  EXPECT_EQ(manager_->Open(kProbe, platform::kServiceQueryStatus, &again),
            platform::kErrorServiceDoesNotExist);
}

}  // namespace
}  // namespace contract
