// The smaller parts of an emulated computer: its facts, clock, debug output, accounts and
// environment variables.
#ifndef PLATFORM_EMULATED_SYSTEM_PARTS_H_
#define PLATFORM_EMULATED_SYSTEM_PARTS_H_

#include <memory>
#include <mutex>
#include <string>

#include "platform/accounts.h"
#include "platform/clock.h"
#include "platform/computer.h"
#include "platform/debug_output.h"
#include "platform/emulated/machine.h"
#include "platform/registry.h"

namespace platform::emulated {

// Facts read from the computer's registry once, when the platform is opened.
class EmulatedComputer : public Computer {
 public:
  EmulatedComputer(std::u16string netbios_name, std::string host_name, uint32_t major,
                   uint32_t minor)
      : netbios_name_(std::move(netbios_name)),
        host_name_(std::move(host_name)),
        major_(major),
        minor_(minor) {}
  std::u16string NetBiosName() override { return netbios_name_; }
  [[nodiscard]] Result HostName(std::string* name) override {
    *name = host_name_;
    return kSuccess;
  }
  uint32_t OsMajorVersion() override { return major_; }
  uint32_t OsMinorVersion() override { return minor_; }

 private:
  std::u16string netbios_name_;
  std::string host_name_;
  uint32_t major_;
  uint32_t minor_;
};

// Local time by an IANA time zone. The C library keeps one zone per process (TZ), so a process
// works in the zone of the last computer it opened; programs run on one computer each.
class EmulatedClock : public Clock {
 public:
  explicit EmulatedClock(const std::string& time_zone);
  int64_t Now() override;
  SystemTime LocalNow() override;
  SystemTime ToLocal(int64_t unix_seconds) override;
  uint32_t TimeZone(TimeZoneInfo* info) override;
};

// Trace lines go where NTBOX_DEBUG says: "stderr", or a file path to append to; nowhere when it
// is unset (the usual case, since nobody watches a debugger here).
class EmulatedDebugOutput : public DebugOutput {
 public:
  EmulatedDebugOutput();
  ~EmulatedDebugOutput() override;
  bool Enabled() override { return file_ != nullptr; }
  void Write(std::u16string_view text) override;
  void WriteAnsi(std::string_view text) override;

 private:
  std::mutex mutex_;
  FILE* file_ = nullptr;
  bool owned_ = false;
};

// Well-known SIDs and the computer's own account table.
class EmulatedAccounts : public Accounts {
 public:
  explicit EmulatedAccounts(std::shared_ptr<Machine> machine) : machine_(std::move(machine)) {}
  [[nodiscard]] Result LookupSid(const uint8_t* sid, size_t sid_size, size_t name_chars,
                                 size_t domain_chars, std::u16string* name,
                                 std::u16string* domain) override;
  // Adds or replaces an account of the local table.
  [[nodiscard]] Result AddAccount(const std::string& sid, const std::string& domain,
                                  const std::string& name);

 private:
  std::shared_ptr<Machine> machine_;
};

// The system environment: SystemRoot and the other fixed variables, plus the values of the
// Session Manager\Environment key.
class EmulatedEnvironment : public Environment {
 public:
  EmulatedEnvironment(Registry& registry, std::u16string system_root, std::u16string computer);
  std::u16string Expand(std::u16string_view text) override;

 private:
  bool Lookup(std::u16string_view name, std::u16string* value);
  Registry& registry_;
  std::u16string system_root_;
  std::u16string computer_;
};

// The host's own time zone as an IANA name ("UTC" when it cannot be told).
std::string HostTimeZone();

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_SYSTEM_PARTS_H_
