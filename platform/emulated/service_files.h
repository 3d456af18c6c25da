// What the two sides of an emulated service control manager share: a service's files, its
// status row, its registry entry and the way start arguments travel. Internal to
// platform/emulated (service_manager.cc is the client side, service_dispatcher.cc the service
// side).
#ifndef PLATFORM_EMULATED_SERVICE_FILES_H_
#define PLATFORM_EMULATED_SERVICE_FILES_H_

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/machine.h"
#include "platform/registry.h"
#include "platform/service_manager.h"

namespace platform::emulated {

inline constexpr char16_t kServicesKey[] = u"SYSTEM\\CurrentControlSet\\Services";
// Environment variables a started service's process receives.
inline constexpr char kStartToken[] = "NTBOX_SERVICE_START";
inline constexpr char kLockFdVar[] = "NTBOX_SERVICE_LOCK_FD";
inline constexpr char kReadyFdVar[] = "NTBOX_SERVICE_READY_FD";
inline constexpr char kArgsVar[] = "NTBOX_SERVICE_ARGS";
// How long a start or a control waits for the service's process, as Windows does.
inline constexpr int kRequestTimeoutMs = 30000;
// The size of a control reply: the result code and the seven fields of the status record.
inline constexpr size_t kReplyWords = 8;

// The computer's directory as an absolute path (as given when it cannot be resolved).
std::string AbsoluteDir(const Machine& machine);

struct ServiceFiles {
  std::string dir;  // <computer>/services
  std::string lock;
  std::string log;
  sockaddr_un address{};
  socklen_t address_size = 0;
  bool abstract = false;
};

ServiceFiles FilesOf(const Machine& machine, std::u16string_view name);

flock WholeFileWriteLock();

// True while some process holds the service's lock, that is, while the service's process lives.
// Only tests the lock; it never takes it, so it cannot disturb a start.
bool ServiceProcessAlive(const ServiceFiles& f);

struct StatusRow {
  bool found = false;
  int64_t pid = 0;
  ServiceStatus status;
};

StatusRow ReadStatusRow(Machine& machine, const std::string& upper);
[[nodiscard]] Result WriteStatusRowOf(Machine& machine, const std::string& upper, int64_t pid,
                                      const ServiceStatus& st);
void DeleteStatusRow(Machine& machine, const std::string& upper);

// The key that holds the services' keys, writable; made when missing.
[[nodiscard]] Result OpenServicesKey(Registry& registry, std::unique_ptr<RegKey>* out);
// Opens the key of a registered service; a key without a Type value is no service.
[[nodiscard]] Result OpenServiceKey(Registry& registry, std::u16string_view name,
                                    std::unique_ptr<RegKey>* out);
uint32_t DwordOr(RegKey& key, std::u16string_view name, uint32_t fallback);
bool MarkedForDelete(RegKey& key);
// Removes a service marked for deletion once its process is gone.
void RemoveIfDeletedAndStopped(Machine& machine, Registry& registry, std::u16string_view name);

// Start arguments travel in one environment variable: each argument's UTF-8 bytes in hex,
// followed by a comma.
std::string EncodeArgs(const std::vector<std::u16string>& args);
std::vector<std::u16string> DecodeArgs(std::string_view text);

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_SERVICE_FILES_H_
