#include "platform/emulated/system_parts.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "platform/code_page.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/emulated/registry.h"
#include "platform/event_record.h"

namespace platform::emulated {
namespace {

SystemTime FromTm(const std::tm& tm, uint16_t ms) {
  SystemTime t;
  t.year = static_cast<uint16_t>(tm.tm_year + 1900);
  t.month = static_cast<uint16_t>(tm.tm_mon + 1);
  t.day_of_week = static_cast<uint16_t>(tm.tm_wday);
  t.day = static_cast<uint16_t>(tm.tm_mday);
  t.hour = static_cast<uint16_t>(tm.tm_hour);
  t.minute = static_cast<uint16_t>(tm.tm_min);
  t.second = static_cast<uint16_t>(tm.tm_sec);
  t.milliseconds = ms;
  return t;
}

long OffsetAt(int year, int month) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month;
  tm.tm_mday = 1;
  tm.tm_hour = 12;
  tm.tm_isdst = -1;
  std::time_t t = std::mktime(&tm);
  std::tm local{};
  localtime_r(&t, &local);
  return local.tm_gmtoff;
}

struct WellKnown {
  const char* sid;
  const char16_t* domain;
  const char16_t* name;
};

constexpr WellKnown kWellKnown[] = {
    {"S-1-1-0", u"", u"Everyone"},
    {"S-1-2-0", u"", u"LOCAL"},
    {"S-1-3-0", u"", u"CREATOR OWNER"},
    {"S-1-5-2", u"NT AUTHORITY", u"NETWORK"},
    {"S-1-5-4", u"NT AUTHORITY", u"INTERACTIVE"},
    {"S-1-5-6", u"NT AUTHORITY", u"SERVICE"},
    {"S-1-5-7", u"NT AUTHORITY", u"ANONYMOUS LOGON"},
    {"S-1-5-11", u"NT AUTHORITY", u"Authenticated Users"},
    {"S-1-5-18", u"NT AUTHORITY", u"SYSTEM"},
    {"S-1-5-19", u"NT AUTHORITY", u"LOCAL SERVICE"},
    {"S-1-5-20", u"NT AUTHORITY", u"NETWORK SERVICE"},
    {"S-1-5-32-544", u"BUILTIN", u"Administrators"},
    {"S-1-5-32-545", u"BUILTIN", u"Users"},
    {"S-1-5-32-546", u"BUILTIN", u"Guests"},
    {"S-1-5-32-547", u"BUILTIN", u"Power Users"},
    {"S-1-5-32-551", u"BUILTIN", u"Backup Operators"},
};

}  // namespace

EmulatedClock::EmulatedClock(const std::string& time_zone) {
  if (!time_zone.empty()) {
    const std::string tz = ":" + time_zone;
    const char* current = std::getenv("TZ");
    if (!current || tz != current) setenv("TZ", tz.c_str(), 1);
  }
  tzset();
}

int64_t EmulatedClock::Now() { return static_cast<int64_t>(std::time(nullptr)); }

SystemTime EmulatedClock::LocalNow() {
  const auto now = std::chrono::system_clock::now();
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  std::time_t t = static_cast<std::time_t>(ms / 1000);
  std::tm tm{};
  localtime_r(&t, &tm);
  return FromTm(tm, static_cast<uint16_t>(ms % 1000));
}

SystemTime EmulatedClock::ToLocal(int64_t unix_seconds) {
  std::time_t t = static_cast<std::time_t>(unix_seconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  return FromTm(tm, 0);
}

uint32_t EmulatedClock::TimeZone(TimeZoneInfo* info) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  const int year = tm.tm_year + 1900;
  const long jan = OffsetAt(year, 0);
  const long jul = OffsetAt(year, 6);
  const long standard = jan < jul ? jan : jul;
  const long daylight = jan < jul ? jul : jan;
  info->bias = static_cast<int32_t>(-standard / 60);
  info->standard_bias = 0;
  info->daylight_bias = static_cast<int32_t>(-(daylight - standard) / 60);
  if (standard == daylight) return kTimeZoneIdUnknown;
  return tm.tm_isdst > 0 ? kTimeZoneIdDaylight : kTimeZoneIdStandard;
}

EmulatedDebugOutput::EmulatedDebugOutput() {
  const char* where = std::getenv("NTBOX_DEBUG");
  if (!where || !*where) return;
  if (std::string(where) == "stderr") {
    file_ = stderr;
  } else {
    file_ = std::fopen(where, "a");
    owned_ = file_ != nullptr;
  }
}

EmulatedDebugOutput::~EmulatedDebugOutput() {
  if (owned_) std::fclose(file_);
}

void EmulatedDebugOutput::Write(std::u16string_view text) { WriteAnsi(Utf16ToUtf8(text)); }

void EmulatedDebugOutput::WriteAnsi(std::string_view text) {
  if (!file_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  std::fwrite(text.data(), 1, text.size(), file_);
  std::fflush(file_);
}

Result EmulatedAccounts::LookupSid(const uint8_t* sid, size_t sid_size, size_t name_chars,
                                   size_t domain_chars, std::u16string* name,
                                   std::u16string* domain) {
  const std::string text = SidToString(sid, sid_size);
  if (text.empty()) return kErrorInvalidParameter;
  std::u16string n, d;
  bool found = false;
  for (const auto& w : kWellKnown) {
    if (text == w.sid) {
      n = w.name;
      d = w.domain;
      found = true;
      break;
    }
  }
  if (!found) {
    try {
      Transaction t(machine_->db(), Transaction::kRead);
      Statement s(machine_->db(), "SELECT domain, name FROM account WHERE sid = ?");
      if (s.Bind(1, text).Step()) {
        d = Utf8ToUtf16(s.Text(0));
        n = Utf8ToUtf16(s.Text(1));
        found = true;
      }
    } catch (const DbError&) {
      return kErrorInvalidData;
    }
  }
  if (!found) return kErrorNoneMapped;
  if (n.size() + 1 > name_chars || d.size() + 1 > domain_chars) return kErrorInsufficientBuffer;
  *name = std::move(n);
  *domain = std::move(d);
  return kSuccess;
}

Result EmulatedAccounts::AddAccount(const std::string& sid, const std::string& domain,
                                    const std::string& name) {
  if (!SidFromString(sid)) return kErrorInvalidParameter;
  try {
    Transaction t(machine_->db(), Transaction::kWrite);
    Statement(machine_->db(), "INSERT OR REPLACE INTO account VALUES(?, ?, ?)")
        .Bind(1, sid)
        .Bind(2, domain)
        .Bind(3, name)
        .Step();
    t.Commit();
    return kSuccess;
  } catch (const DbError&) {
    return kErrorInvalidData;
  }
}

EmulatedEnvironment::EmulatedEnvironment(Registry& registry, std::u16string system_root,
                                         std::u16string computer)
    : registry_(registry), system_root_(std::move(system_root)), computer_(std::move(computer)) {}

bool EmulatedEnvironment::Lookup(std::u16string_view name, std::u16string* value) {
  const std::u16string upper = Upcase(name);
  if (upper == u"SYSTEMROOT" || upper == u"WINDIR") {
    *value = system_root_;
    return true;
  }
  if (upper == u"SYSTEMDRIVE") {
    *value = system_root_.substr(0, 2);
    return true;
  }
  if (upper == u"COMPUTERNAME") {
    *value = computer_;
    return true;
  }
  std::unique_ptr<RegKey> hklm, env;
  if (registry_.OpenRoot(RegRoot::kLocalMachine, &hklm) != kSuccess ||
      hklm->OpenKey(kEnvironmentKey, RegAccess::kRead, &env) != kSuccess)
    return false;
  return QueryString(*env, name, value) == kSuccess;
}

std::u16string EmulatedEnvironment::Expand(std::u16string_view text) {
  std::u16string out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t open = text.find(u'%', pos);
    if (open == std::u16string_view::npos) break;
    const size_t close = text.find(u'%', open + 1);
    if (close == std::u16string_view::npos) break;
    out.append(text.substr(pos, open - pos));
    std::u16string value;
    if (close > open + 1 && Lookup(text.substr(open + 1, close - open - 1), &value)) {
      out += value;
      pos = close + 1;
    } else {
      // Unknown names stay as written; the closing '%' may open the next name.
      out.append(text.substr(open, close - open));
      pos = close;
    }
  }
  out.append(text.substr(pos));
  return out;
}

std::string HostTimeZone() {
  if (const char* tz = std::getenv("TZ"); tz && *tz) return tz[0] == ':' ? tz + 1 : tz;
  std::ifstream f("/etc/timezone");
  std::string name;
  if (f && std::getline(f, name) && !name.empty()) return name;
  char buf[512];
  ssize_t n = readlink("/etc/localtime", buf, sizeof buf - 1);
  if (n > 0) {
    std::string link(buf, static_cast<size_t>(n));
    const size_t at = link.find("zoneinfo/");
    if (at != std::string::npos) return link.substr(at + 9);
  }
  return "UTC";
}

}  // namespace platform::emulated
