#include "platform/emulated/service_files.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/code_page.h"
#include "platform/emulated/registry.h"
#include "platform/emulated/service_manager.h"
#include "platform/emulated/spawn.h"
#include "platform/emulated/sqlite_db.h"

namespace platform::emulated {

std::string AbsoluteDir(const Machine& machine) {
  char* real = realpath(machine.dir().c_str(), nullptr);
  if (!real) return machine.dir();
  std::string dir = real;
  free(real);
  return dir;
}

namespace {

uint64_t Fnv1a(std::string_view text) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace

ServiceFiles FilesOf(const Machine& machine, std::u16string_view name) {
  ServiceFiles f;
  f.dir = AbsoluteDir(machine) + "/services";
  const std::string base = f.dir + "/" + ServiceFileName(name);
  f.lock = base + ".lock";
  f.log = base + ".log";
  const std::string socket_path = base + ".sock";
  f.address.sun_family = AF_UNIX;
  if (socket_path.size() < sizeof f.address.sun_path) {
    std::memcpy(f.address.sun_path, socket_path.c_str(), socket_path.size() + 1);
    f.address_size =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socket_path.size() + 1);
  } else {
    // Too long for a path: an abstract socket, named by a hash of the path.
    char name_buffer[64];
    const int n = std::snprintf(name_buffer, sizeof name_buffer, "ntbox-svc-%016llx",
                                static_cast<unsigned long long>(Fnv1a(socket_path)));
    f.address.sun_path[0] = '\0';
    std::memcpy(f.address.sun_path + 1, name_buffer, static_cast<size_t>(n));
    f.address_size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
    f.abstract = true;
  }
  return f;
}

flock WholeFileWriteLock() {
  flock lock{};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return lock;
}

// True while some process holds the service's lock, that is, while the service's process lives.
// Only tests the lock; it never takes it, so it cannot disturb a start.
bool ServiceProcessAlive(const ServiceFiles& f) {
  Fd fd(open(f.lock.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return false;
  flock lock = WholeFileWriteLock();
  if (fcntl(fd.get(), F_OFD_GETLK, &lock) != 0) return false;
  return lock.l_type != F_UNLCK;
}

StatusRow ReadStatusRow(Machine& machine, const std::string& upper) {
  StatusRow row;
  try {
    Transaction t(machine.db(), Transaction::kRead);
    Statement s(machine.db(),
                "SELECT pid, service_type, state, controls_accepted, exit_code, "
                "specific_exit_code, check_point, wait_hint FROM svc_status WHERE name_upper = ?");
    if (s.Bind(1, upper).Step()) {
      row.found = true;
      row.pid = s.Int(0);
      row.status.service_type = static_cast<uint32_t>(s.Int(1));
      row.status.current_state = static_cast<uint32_t>(s.Int(2));
      row.status.controls_accepted = static_cast<uint32_t>(s.Int(3));
      row.status.win32_exit_code = static_cast<uint32_t>(s.Int(4));
      row.status.service_specific_exit_code = static_cast<uint32_t>(s.Int(5));
      row.status.check_point = static_cast<uint32_t>(s.Int(6));
      row.status.wait_hint = static_cast<uint32_t>(s.Int(7));
    }
  } catch (const DbError&) {
  }
  return row;
}

[[nodiscard]] Result WriteStatusRowOf(Machine& machine, const std::string& upper, int64_t pid,
                                      const ServiceStatus& st) {
  try {
    Transaction t(machine.db(), Transaction::kWrite);
    Statement(machine.db(), "INSERT OR REPLACE INTO svc_status VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)")
        .Bind(1, upper)
        .Bind(2, pid)
        .Bind(3, st.service_type)
        .Bind(4, st.current_state)
        .Bind(5, st.controls_accepted)
        .Bind(6, st.win32_exit_code)
        .Bind(7, st.service_specific_exit_code)
        .Bind(8, st.check_point)
        .Bind(9, st.wait_hint)
        .Step();
    t.Commit();
    return kSuccess;
  } catch (const DbError&) {
    return kErrorInvalidData;
  }
}

void DeleteStatusRow(Machine& machine, const std::string& upper) {
  try {
    Transaction t(machine.db(), Transaction::kWrite);
    Statement(machine.db(), "DELETE FROM svc_status WHERE name_upper = ?").Bind(1, upper).Step();
    t.Commit();
  } catch (const DbError&) {
  }
}

// Opened before it is created: creating takes the computer's write lock even when the key is
// there, and every look-up of a service (a status query too) comes here.
[[nodiscard]] Result OpenServicesKey(Registry& registry, std::unique_ptr<RegKey>* out) {
  std::unique_ptr<RegKey> hklm;
  Result r = registry.OpenRoot(RegRoot::kLocalMachine, &hklm);
  if (r != kSuccess) return r;
  r = hklm->OpenKey(kServicesKey, RegAccess::kReadWrite, out);
  if (r != kErrorFileNotFound) return r;
  return hklm->CreateKey(kServicesKey, out);
}

// Opens the key of a registered service; a key without a Type value is no service.
[[nodiscard]] Result OpenServiceKey(Registry& registry, std::u16string_view name,
                                    std::unique_ptr<RegKey>* out) {
  std::unique_ptr<RegKey> services;
  Result r = OpenServicesKey(registry, &services);
  if (r != kSuccess) return r;
  r = services->OpenKey(name, RegAccess::kReadWrite, out);
  if (r == kErrorFileNotFound) return kErrorServiceDoesNotExist;
  if (r != kSuccess) return r;
  uint32_t type = 0;
  if (QueryDword(**out, u"Type", &type) != kSuccess) {
    out->reset();
    return kErrorServiceDoesNotExist;
  }
  return kSuccess;
}

uint32_t DwordOr(RegKey& key, std::u16string_view name, uint32_t fallback) {
  uint32_t v = fallback;
  return QueryDword(key, name, &v) == kSuccess ? v : fallback;
}

bool MarkedForDelete(RegKey& key) { return DwordOr(key, u"DeleteFlag", 0) != 0; }

// Removes a service marked for deletion once its process is gone.
void RemoveIfDeletedAndStopped(Machine& machine, Registry& registry, std::u16string_view name) {
  std::unique_ptr<RegKey> key;
  if (OpenServiceKey(registry, name, &key) != kSuccess || !MarkedForDelete(*key)) return;
  key.reset();
  if (ServiceProcessAlive(FilesOf(machine, name))) return;
  std::unique_ptr<RegKey> services;
  if (OpenServicesKey(registry, &services) != kSuccess) return;
  // A key that cannot go now stays marked; the next look at the service tries again.
  if (DeleteKeyTree(*services, name) != kSuccess) return;
  DeleteStatusRow(machine, ServiceFileName(name));
}

namespace {

std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

}  // namespace

// Start arguments travel in one environment variable: each argument's UTF-8 bytes in hex,
// followed by a comma.
std::string EncodeArgs(const std::vector<std::u16string>& args) {
  std::string out;
  for (const auto& a : args) out += Hex(Utf16ToUtf8(a)) + ",";
  return out;
}

std::vector<std::u16string> DecodeArgs(std::string_view text) {
  std::vector<std::u16string> args;
  std::string current;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ',') {
      args.push_back(Utf8ToUtf16(current));
      current.clear();
    } else if (i + 1 < text.size()) {
      current += static_cast<char>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16));
      ++i;
    }
  }
  return args;
}

std::string ServiceFileName(std::u16string_view service_name) {
  return Utf16ToUtf8(Upcase(service_name));
}

}  // namespace platform::emulated
