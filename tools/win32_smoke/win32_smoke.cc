// Drives each part of the host platform against the real Windows API and prints one line per
// check. Run it on Windows or under Wine after a mingw-w64 build:
//
//   win32_smoke.exe                       all checks; exit 1 when one fails
//   win32_smoke.exe format DLL ID [TEXT]...
//                                         loads DLL as a data file and prints message ID formatted
//                                         with the TEXTs as inserts (for comparing message tables)
//
// Checks marked "info" only print what Windows answered: Wine implements some operations (the
// event log) as stubs, so their answers prove nothing there.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

using platform::kSuccess;
using platform::RegAccess;
using platform::RegKey;
using platform::Result;
using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

int failures = 0;

void Check(bool ok, const std::string& what, const std::string& detail) {
  std::printf("%s %s: %s\n", ok ? "ok  " : "FAIL", what.c_str(), detail.c_str());
  if (!ok) ++failures;
}

void Info(const std::string& what, const std::string& detail) {
  std::printf("info %s: %s\n", what.c_str(), detail.c_str());
}

std::string Code(Result r) { return "result " + std::to_string(r); }

// A scratch key under HKEY_CURRENT_USER, removed before and after the checks.
constexpr char16_t kScratch[] = u"Software\\Win32SmokeScratch";

// Missing already is as good as removed.
void RemoveScratch(RegKey& hkcu) {
  const Result r = platform::DeleteKeyTree(hkcu, kScratch);
  Check(r == kSuccess || r == platform::kErrorFileNotFound, "remove the scratch key", Code(r));
}

void CheckRegistryValues(platform::Platform& p, RegKey& key) {
  const std::u16string text = u"Wert \u00e4";
  Result r = platform::SetString(key, u"Name", text);
  uint32_t type = 0, size = 0;
  r = r ? r : key.QueryValue(u"name", &type, nullptr, &size);  // names ignore case
  Check(r == kSuccess && type == platform::kRegSz && size == (text.size() + 1) * 2,
        "REG_SZ size query", Code(r) + ", size " + std::to_string(size));
  char16_t small[2];
  size = sizeof small;
  r = key.QueryValue(u"Name", &type, small, &size);
  Check(r == platform::kErrorMoreData && size == (text.size() + 1) * 2, "too small buffer",
        Code(r) + ", size needed " + std::to_string(size));

  std::string narrow(64, '\0');
  size = static_cast<uint32_t>(narrow.size());
  r = key.QueryValueAnsi(u"Name", &type, narrow.data(), &size);
  const std::string expected = p.code_page().WideToAnsi(text) + '\0';
  Check(r == kSuccess && narrow.substr(0, size) == expected, "ANSI view of REG_SZ",
        Code(r) + ", " + std::to_string(size) + " bytes");

  r = key.SetValueAnsi(u"Narrow", platform::kRegSz, "abc");
  std::u16string back;
  r = r ? r : platform::QueryString(key, u"Narrow", &back);
  Check(r == kSuccess && back == u"abc", "RegSetValueExA", Code(r) + ", " + Utf16ToUtf8(back));

  uint32_t number = 0;
  r = platform::SetDword(key, u"Number", 0xDEADBEEF);
  r = r ? r : platform::QueryDword(key, u"Number", &number);
  Check(r == kSuccess && number == 0xDEADBEEF, "REG_DWORD", Code(r));

  std::u16string names;
  std::u16string name;
  std::vector<uint8_t> data;
  uint32_t index = 0;
  while ((r = key.EnumValue(index, &name, &type, &data)) == kSuccess) {
    names += (index++ ? u"," : u"") + name;
  }
  Check(r == platform::kErrorNoMoreItems && names == u"Name,Narrow,Number", "value enumeration",
        Utf16ToUtf8(names) + ", then " + Code(r));

  r = key.DeleteValue(u"NoSuchValue");
  Check(r == platform::kErrorFileNotFound, "delete missing value", Code(r));
}

void CheckRegistryKeys(RegKey& hkcu, RegKey& key) {
  std::unique_ptr<RegKey> sub;
  Result r = kSuccess;
  for (const char16_t* n : {u"b", u"A", u"c"}) {
    if (r == kSuccess) r = key.CreateKey(n, &sub);
  }
  Check(r == kSuccess, "create subkeys", Code(r));
  std::u16string order, name;
  uint32_t index = 0;
  while ((r = key.EnumKey(index++, 128, &name)) == kSuccess) order += name;
  Check(order == u"Abc" && r == platform::kErrorNoMoreItems, "subkey enumeration",
        Utf16ToUtf8(order) + ", then " + Code(r));
  r = key.EnumKey(0, 1, &name);
  Check(r == platform::kErrorMoreData, "subkey name longer than the buffer", Code(r));
  r = hkcu.DeleteKey(kScratch);
  Check(r == platform::kErrorAccessDenied, "delete key with subkeys", Code(r));
  r = key.OpenKey(u"NoSuchKey", RegAccess::kRead, &sub);
  Check(r == platform::kErrorFileNotFound, "open missing key", Code(r));
}

void CheckRegistry(platform::Platform& p) {
  std::unique_ptr<RegKey> hklm, hkcu, key;
  Result r = p.registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm);
  Check(r == kSuccess, "open HKEY_LOCAL_MACHINE", Code(r));
  r = p.registry().OpenRoot(platform::RegRoot::kCurrentUser, &hkcu);
  Check(r == kSuccess, "open HKEY_CURRENT_USER", Code(r));
  if (!hklm || !hkcu) return;
  r = hklm->OpenKey(u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", RegAccess::kRead, &key);
  std::u16string version;
  r = r ? r : platform::QueryString(*key, u"CurrentVersion", &version);
  Check(r == kSuccess, "HKLM CurrentVersion", Utf16ToUtf8(version) + ", " + Code(r));

  RemoveScratch(*hkcu);
  bool created = false;
  r = hkcu->CreateKey(kScratch, &key, &created);
  Check(r == kSuccess && created, "create key", Code(r));
  if (r != kSuccess) return;
  std::unique_ptr<RegKey> again;
  r = hkcu->CreateKey(kScratch, &again, &created);
  Check(r == kSuccess && !created, "create existing key", Code(r));
  CheckRegistryValues(p, *key);
  CheckRegistryKeys(*hkcu, *key);
  key.reset();
  again.reset();
  RemoveScratch(*hkcu);
  r = hkcu->OpenKey(kScratch, RegAccess::kRead, &key);
  Check(r == platform::kErrorFileNotFound, "scratch key removed", Code(r));

  std::unique_ptr<RegKey> remote;
  r = p.registry().Connect(u"\\\\" + p.computer().NetBiosName(), platform::RegRoot::kLocalMachine,
                           &remote);
  Info("connect to own name", Code(r));
}

void CheckComputerAndText(platform::Platform& p) {
  const std::u16string name = p.computer().NetBiosName();
  Check(!name.empty(), "computer name", Utf16ToUtf8(name));
  std::string host;
  Result r = p.computer().HostName(&host);
  Check(r == kSuccess && !host.empty(), "host name", host + ", " + Code(r));
  Info("version", std::to_string(p.computer().OsMajorVersion()) + "." +
                      std::to_string(p.computer().OsMinorVersion()));
  const uint32_t acp = p.code_page().AnsiCodePage();
  Check(acp != 0, "ANSI code page", std::to_string(acp));
  if (acp == 1252) {
    const std::string euro = p.code_page().WideToAnsi(u"\u20ac\u00fc");
    Check(euro == "\x80\xfc", "UTF-16 to 1252", std::to_string(euro.size()) + " bytes");
    Check(p.code_page().AnsiToWide("\x80\xfc") == u"\u20ac\u00fc", "1252 to UTF-16", "");
    const std::string omega = p.code_page().WideToAnsi(u"a\u03a9b");
    Check(omega == "a?b", "unmappable character becomes '?'", omega);
  }
}

void CheckClock(platform::Platform& p) {
  const int64_t now = p.clock().Now();
  const platform::SystemTime a = p.clock().ToLocal(now);
  const platform::SystemTime b = p.clock().LocalNow();
  const int minutes_a = a.hour * 60 + a.minute, minutes_b = b.hour * 60 + b.minute;
  Check(a.year == b.year && a.day == b.day && std::abs(minutes_a - minutes_b) <= 1,
        "localtime of now equals GetLocalTime",
        std::to_string(a.hour) + ":" + std::to_string(a.minute) + " vs " + std::to_string(b.hour) +
            ":" + std::to_string(b.minute));
  platform::TimeZoneInfo tz;
  const uint32_t id = p.clock().TimeZone(&tz);
  Info("time zone", "id " + std::to_string(id) + ", bias " + std::to_string(tz.bias) +
                        ", daylight bias " + std::to_string(tz.daylight_bias));
  // 2021-01-15 and 2021-07-15, 12:00 UTC: the local hours show whether daylight time follows the
  // date, not today's bias.
  for (int64_t t : {int64_t{1610712000}, int64_t{1626350400}}) {
    const platform::SystemTime l = p.clock().ToLocal(t);
    Info("local time of " + std::to_string(t),
         std::to_string(l.year) + "-" + std::to_string(l.month) + "-" + std::to_string(l.day) +
             " " + std::to_string(l.hour) + ":" + std::to_string(l.minute));
  }
}

// Formats a message of this program's own message table (smoke_messages.mc), loaded as a data
// file through the platform as any other message library.
std::string FormatOwn(platform::Platform& p, uint32_t flags, uint32_t id, uint32_t language,
                      const std::vector<uintptr_t>& args, size_t size, Result* r) {
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::unique_ptr<platform::MessageModule> module;
  *r = p.message_library().Load(std::u16string(reinterpret_cast<const char16_t*>(self), n),
                                platform::kLoadLibraryAsDatafile, &module);
  if (*r != kSuccess) return "load failed";
  std::u16string out;
  *r = p.message_library().Format(flags | platform::kFormatMessageFromHmodule, module.get(), id,
                                  language, args.data(), args.size(), size, &out);
  return Utf16ToUtf8(out);
}

std::vector<uintptr_t> Pointers(const std::vector<std::u16string>& texts) {
  std::vector<uintptr_t> args;
  for (const auto& s : texts) args.push_back(reinterpret_cast<uintptr_t>(s.c_str()));
  return args;
}

void CheckMessages(platform::Platform& p) {
  const std::vector<std::u16string> three = {u"A:", u"DISK1", u"1234-5678"};
  Result r;
  std::string text = FormatOwn(p, 0, 1, 0, Pointers(three), 512, &r);
  Check(r == kSuccess && text == "Insert DISK1 (serial 1234-5678) into drive A:.\r\n",
        "message with inserts", text);
  const std::vector<std::u16string> one = {u"A:"};
  FormatOwn(p, 0, 1, 0, Pointers(one), 512, &r);
  Check(r == platform::kErrorInvalidParameter, "inserts beyond the array are refused", Code(r));
  text = FormatOwn(p, platform::kFormatMessageMaxWidthMask, 1, 0, Pointers(three), 512, &r);
  Check(r == kSuccess && text == "Insert DISK1 (serial 1234-5678) into drive A:. ",
        "width flag turns the line end into a space", text);
  text = FormatOwn(p, 0, 2, 0, {42, 255}, 512, &r);
  Check(r == kSuccess && text == "Count 42 hex ff.\r\n", "numeric inserts", text);
  FormatOwn(p, 0, 1, 0, Pointers(three), 10, &r);
  Check(r == platform::kErrorInsufficientBuffer, "output limit", Code(r));
  text = FormatOwn(p, platform::kFormatMessageAllocateBuffer, 1, 0, Pointers(three), 0, &r);
  Check(r == kSuccess && text.find("DISK1") != std::string::npos, "allocated buffer", text);
  FormatOwn(p, 0, 99, 0, {}, 512, &r);
  Check(r == platform::kErrorMrMidNotFound, "missing message", Code(r));
  FormatOwn(p, 0, 1, 0x407, Pointers(three), 512, &r);
  Check(r == platform::kErrorResourceLangNotFound, "missing language", Code(r));

  std::u16string out;
  r = p.message_library().Format(platform::kFormatMessageFromSystem, nullptr,
                                 platform::kErrorFileNotFound, 0, nullptr, 0, 512, &out);
  Check(r == kSuccess && !out.empty(), "system message 2", Utf16ToUtf8(out));
  std::unique_ptr<platform::MessageModule> module;
  r = p.message_library().Load(u"C:\\no\\such\\file.dll", platform::kLoadLibraryAsDatafile,
                               &module);
  Check(r != kSuccess && !module, "load missing module", Code(r));
}

void CheckAccounts(platform::Platform& p) {
  std::u16string name, domain;
  const auto system = platform::SidFromString("S-1-5-18");
  Result r = p.accounts().LookupSid(system->data(), system->size(), 256, 256, &name, &domain);
  Check(r == kSuccess && name == u"SYSTEM", "S-1-5-18",
        Utf16ToUtf8(domain) + "\\" + Utf16ToUtf8(name) + ", " + Code(r));
  r = p.accounts().LookupSid(system->data(), system->size(), 3, 256, &name, &domain);
  Check(r == platform::kErrorInsufficientBuffer, "name buffer too small", Code(r));
  r = p.accounts().LookupSid(system->data(), 6, 256, 256, &name, &domain);
  Check(r == platform::kErrorInvalidParameter, "truncated SID", Code(r));
  const auto unknown = platform::SidFromString("S-1-5-21-1-2-3-4242");
  r = p.accounts().LookupSid(unknown->data(), unknown->size(), 256, 256, &name, &domain);
  Check(r == platform::kErrorNoneMapped, "unknown SID", Code(r));

  const std::u16string root = p.environment().Expand(u"%SystemRoot%\\x");
  Check(root.size() > 2 && root.find(u'%') == std::u16string::npos, "%SystemRoot%",
        Utf16ToUtf8(root));
  const std::u16string kept = p.environment().Expand(u"%NO_SUCH_VARIABLE_Q%");
  Check(kept == u"%NO_SUCH_VARIABLE_Q%", "unknown variable stays", Utf16ToUtf8(kept));
}

void ShowEventLog(platform::Platform& p) {
  std::unique_ptr<platform::EventSource> source;
  Result r = p.event_log().RegisterSource(u"", u"Win32Smoke", &source);
  if (r == kSuccess) {
    r = source->Report(platform::kEventInformation, 0, 1, {}, {u"one", u"two"}, {1, 2, 3});
  }
  Info("report an event", Code(r));
  std::unique_ptr<platform::EventLogReader> log;
  r = p.event_log().Open(u"", u"Application", &log);
  Info("open Application log", Code(r));
  if (r != kSuccess) return;
  std::vector<uint8_t> buffer(4096);
  uint32_t read = 0, needed = 0;
  r = log->Read(platform::kEventLogSequentialRead | platform::kEventLogForwardsRead, 0,
                buffer.data(), static_cast<uint32_t>(buffer.size()), &read, &needed);
  Info("read Application log", Code(r) + ", " + std::to_string(read) + " bytes");
  if (r == kSuccess) {
    const auto record = platform::ParseEventRecord(buffer.data(), read);
    Check(record.has_value(), "first record parses", "");
  }
  p.debug().Write(u"win32_smoke: debug output line\n");
}

// win32_smoke format DLL ID [TEXT]...
int FormatFromModule(platform::Platform& p, int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: win32_smoke format DLL ID [TEXT]...\n", stderr);
    return 2;
  }
  std::unique_ptr<platform::MessageModule> module;
  Result r =
      p.message_library().Load(Utf8ToUtf16(argv[2]), platform::kLoadLibraryAsDatafile, &module);
  if (r != kSuccess) {
    std::printf("load: %s\n", Code(r).c_str());
    return 1;
  }
  std::vector<std::u16string> inserts;
  for (int i = 4; i < argc; ++i) inserts.push_back(Utf8ToUtf16(argv[i]));
  std::vector<uintptr_t> args;
  for (const auto& s : inserts) args.push_back(reinterpret_cast<uintptr_t>(s.c_str()));
  std::u16string out;
  r = p.message_library().Format(platform::kFormatMessageFromHmodule, module.get(),
                                 static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 0)), 0,
                                 args.data(), args.size(), 4096, &out);
  std::printf("%s\n[%s]\n", Code(r).c_str(), Utf16ToUtf8(out).c_str());
  return r == kSuccess ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  auto p = platform::OpenHostPlatform(&error);
  if (!p) {
    std::fprintf(stderr, "win32_smoke: %s\n", error.c_str());
    return 1;
  }
  if (argc > 1 && std::string(argv[1]) == "format") return FormatFromModule(*p, argc, argv);
  CheckRegistry(*p);
  CheckComputerAndText(*p);
  CheckClock(*p);
  CheckMessages(*p);
  CheckAccounts(*p);
  ShowEventLog(*p);
  std::printf("%d failure(s)\n", failures);
  return failures == 0 ? 0 : 1;
}
