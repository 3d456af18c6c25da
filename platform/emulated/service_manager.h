// The service control manager of an emulated computer: the client side (EmulatedServiceManager,
// service_manager.cc) and the service side (EmulatedServiceDispatcher, service_dispatcher.cc).
//
// Services are registered under HKLM\SYSTEM\CurrentControlSet\Services\<name> as on Windows
// (Type, Start, ErrorControl, ImagePath, DisplayName, ObjectName; DeleteFlag while a deletion
// waits for the service to stop). Their reported status is a row of the computer's database, so
// any process reads it. Each service has three files in <computer>/services/, named by the
// upper-case service name:
//   .lock  an open file description that holds an OFD write lock for as long as the service's
//          process lives. StartService takes the lock, and the service's process inherits it, so
//          "the lock is held" means "the service's process is alive" from the start on; a
//          process that died reads as stopped.
//   .sock  the Unix domain socket on which the service's dispatcher takes controls (an abstract
//          socket named by a hash when the path is too long for sun_path).
//   .log   the service process's standard error.
// StartService runs ImagePath (a host path, or a path of the computer's drive C) in a new
// session, in the background, with NTBOX_MACHINE naming the computer and NTBOX_SERVICE_START
// naming the service; without that token the dispatcher fails at once with 1063.
#ifndef PLATFORM_EMULATED_SERVICE_MANAGER_H_
#define PLATFORM_EMULATED_SERVICE_MANAGER_H_

#include <memory>
#include <mutex>
#include <string>

#include "platform/code_page.h"
#include "platform/emulated/machine.h"
#include "platform/service_manager.h"

namespace platform::emulated {

class EmulatedServiceManager : public ServiceManager {
 public:
  // `code_page` must outlive the manager and its handles; `computer_name` is this computer's
  // NetBIOS name (other names open sibling computers).
  EmulatedServiceManager(std::shared_ptr<Machine> machine, CodePage& code_page,
                         std::u16string computer_name);
  [[nodiscard]] Result Open(std::u16string_view computer, uint32_t access,
                            std::unique_ptr<ServiceManagerHandle>* out) override;

 private:
  std::shared_ptr<Machine> machine_;
  CodePage& code_page_;
  std::u16string computer_name_;
};

class EmulatedServiceDispatcher : public ServiceDispatcher {
 public:
  EmulatedServiceDispatcher(std::shared_ptr<Machine> machine, CodePage& code_page);
  ~EmulatedServiceDispatcher() override;

  [[nodiscard]] Result StartDispatcher(std::u16string_view name, ServiceMainFunction main) override;
  [[nodiscard]] Result RegisterControlHandler(std::u16string_view name,
                                              ServiceControlHandler handler,
                                              ServiceStatusHandle* out) override;
  [[nodiscard]] Result SetStatus(ServiceStatusHandle handle, const ServiceStatus& status) override;

 private:
  // Answers one control request on an accepted connection.
  void ServeControl(int connection);
  [[nodiscard]] Result WriteStatusRow(const ServiceStatus& status);

  std::shared_ptr<Machine> machine_;
  CodePage& code_page_;
  std::mutex mutex_;
  bool dispatching_ = false;
  std::u16string name_;  // the service this process runs, while dispatching
  ServiceControlHandler handler_;
  bool registered_ = false;
  ServiceStatus status_;
};

// The upper-case name the files and the status row of a service are kept under.
std::string ServiceFileName(std::u16string_view service_name);

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_SERVICE_MANAGER_H_
