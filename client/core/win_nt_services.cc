#include "client/core/win_nt_services.h"

#include <memory>
#include <vector>

namespace sentrel::client {
namespace {

using platform::ServiceHandle;
using platform::ServiceManagerHandle;

// Opens the manager of `computer` with full access and the service with `access`.
Result OpenService(platform::Platform& platform, std::u16string_view computer,
                   std::u16string_view service, uint32_t access,
                   std::unique_ptr<ServiceHandle>* out) {
  std::unique_ptr<ServiceManagerHandle> manager;
  Result r = platform.service_manager().Open(computer, platform::kScManagerAllAccess, &manager);
  if (r != platform::kSuccess) return r;
  return manager->Open(service, access, out);
}

}  // namespace

Result StartNTService(platform::Platform& platform, std::u16string_view computer,
                      std::u16string_view service) {
  std::unique_ptr<ServiceHandle> handle;
  Result r = OpenService(platform, computer, service, platform::kServiceStart, &handle);
  if (r != platform::kSuccess) return r;
  return handle->Start({});
}

Result StopNTService(platform::Platform& platform, std::u16string_view computer,
                     std::u16string_view service) {
  std::unique_ptr<ServiceHandle> handle;
  Result r = OpenService(platform, computer, service, platform::kServiceStop, &handle);
  if (r != platform::kSuccess) return r;
  platform::ServiceStatus status;
  return handle->Control(platform::kServiceControlStop, &status);
}

ServiceQuery QueryNTServiceState(platform::Platform& platform, std::u16string_view computer,
                                 std::u16string_view service) {
  std::unique_ptr<ServiceHandle> handle;
  ServiceQuery query;
  query.error = OpenService(platform, computer, service, platform::kServiceQueryStatus, &handle);
  if (query.error != platform::kSuccess) return query;
  platform::ServiceStatus status;
  query.error = handle->QueryStatus(&status);
  if (query.error == platform::kSuccess) query.state = status.current_state;
  return query;
}

}  // namespace sentrel::client
