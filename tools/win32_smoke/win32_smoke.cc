// Exercises each part of the host platform once and prints what it answered, one line per check.
// Exits 1 when a check that every Windows computer must pass fails (reading the registry, the
// computer name, the code page round trip), 0 otherwise.

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace {

using platform::kSuccess;
using platform::Result;
using platform::Utf16ToUtf8;

int failures = 0;

void Check(bool ok, const char* what, const std::string& detail) {
  std::printf("%s %s: %s\n", ok ? "ok  " : "FAIL", what, detail.c_str());
  if (!ok) ++failures;
}

void Info(const char* what, const std::string& detail) {
  std::printf("info %s: %s\n", what, detail.c_str());
}

void CheckRegistry(platform::Platform& p) {
  std::unique_ptr<platform::RegKey> hklm, key;
  p.registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm);
  Result r = hklm->OpenKey(u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                           platform::RegAccess::kRead, &key);
  Check(r == kSuccess, "open HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
        "result " + std::to_string(r));
  if (r != kSuccess) return;
  std::u16string version;
  r = platform::QueryString(*key, u"CurrentVersion", &version);
  Check(r == kSuccess, "CurrentVersion",
        Utf16ToUtf8(version) + " (result " + std::to_string(r) + ")");
  uint32_t size = 0, type = 0;
  r = key->QueryValue(u"NoSuchValueHere", &type, nullptr, &size);
  Check(r == platform::kErrorFileNotFound, "missing value", "result " + std::to_string(r));
  std::u16string first;
  r = hklm->OpenKey(u"SYSTEM\\CurrentControlSet\\Services\\EventLog", platform::RegAccess::kRead,
                    &key);
  if (r == kSuccess) r = key->EnumKey(0, 128, &first);
  Info("first event log", Utf16ToUtf8(first) + " (result " + std::to_string(r) + ")");
}

void CheckComputer(platform::Platform& p) {
  const std::u16string name = p.computer().NetBiosName();
  Check(!name.empty(), "computer name", Utf16ToUtf8(name));
  std::string host;
  const Result r = p.computer().HostName(&host);
  Check(r == kSuccess, "host name", host + " (result " + std::to_string(r) + ")");
  Info("version", std::to_string(p.computer().OsMajorVersion()) + "." +
                      std::to_string(p.computer().OsMinorVersion()));
  const std::u16string text = u"Gr\u00fc\u00dfe";
  const std::u16string back = p.code_page().AnsiToWide(p.code_page().WideToAnsi(text));
  Check(back == text || p.code_page().AnsiCodePage() != 1252, "code page round trip",
        "code page " + std::to_string(p.code_page().AnsiCodePage()) + ", " + Utf16ToUtf8(back));
}

void ShowTimeAndText(platform::Platform& p) {
  const platform::SystemTime t = p.clock().ToLocal(p.clock().Now());
  char when[64];
  std::snprintf(when, sizeof when, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  Info("local time", when);
  platform::TimeZoneInfo tz;
  const uint32_t id = p.clock().TimeZone(&tz);
  Info("time zone", "id " + std::to_string(id) + ", bias " + std::to_string(tz.bias) +
                        ", daylight bias " + std::to_string(tz.daylight_bias));
  Info("%SystemRoot%", Utf16ToUtf8(p.environment().ExpandEnvironmentStrings(u"%SystemRoot%")));
  std::u16string message;
  Result r = p.message_library().Format(platform::kFormatMessageFromSystem, nullptr,
                                        platform::kErrorFileNotFound, 0, nullptr, 0, 512, &message);
  Info("system message 2", Utf16ToUtf8(message) + "(result " + std::to_string(r) + ")");
  std::u16string name, domain;
  const auto sid = platform::SidFromString("S-1-5-18");
  r = p.accounts().LookupAccountSid(sid->data(), sid->size(), 256, 256, &name, &domain);
  Info("S-1-5-18",
       Utf16ToUtf8(domain) + "\\" + Utf16ToUtf8(name) + " (result " + std::to_string(r) + ")");
  p.debug().Write(u"win32_smoke: debug output line\n");
}

void ShowEventLog(platform::Platform& p) {
  std::unique_ptr<platform::EventLogReader> log;
  Result r = p.event_log().Open(u"", u"Application", &log);
  Info("open Application log", "result " + std::to_string(r));
  if (r != kSuccess) return;
  std::string buffer(4096, '\0');
  uint32_t read = 0, needed = 0;
  r = log->Read(platform::kEventLogSequentialRead | platform::kEventLogForwardsRead, 0,
                buffer.data(), static_cast<uint32_t>(buffer.size()), &read, &needed);
  Info("read Application log",
       "result " + std::to_string(r) + ", " + std::to_string(read) + " bytes");
}

}  // namespace

int main() {
  std::string error;
  auto p = platform::OpenHostPlatform(&error);
  Check(p != nullptr, "open host platform", error);
  if (!p) return 1;
  CheckRegistry(*p);
  CheckComputer(*p);
  ShowTimeAndText(*p);
  ShowEventLog(*p);
  std::printf("%d failure(s)\n", failures);
  return failures == 0 ? 0 : 1;
}
