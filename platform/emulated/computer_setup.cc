#include "platform/emulated/computer_setup.h"

#include <cctype>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include <cstdio>

#include "platform/emulated/message_compiler.h"
#include "platform/emulated/sample_libraries.h"
#include "platform/emulated/system_parts.h"
#include "platform/text.h"

namespace platform::emulated {
namespace {

[[nodiscard]] Result SetText(RegKey& root, std::u16string_view path, std::u16string_view name,
                             std::u16string_view value, uint32_t type = kRegSz) {
  std::unique_ptr<RegKey> key;
  Result r = root.CreateKey(path, &key);
  if (r != kSuccess) return r;
  return SetString(*key, name, value, type);
}

// The file name Windows gives each standard log.
std::u16string LogFile(std::u16string_view log) {
  if (log == u"System") return u"SysEvent.Evt";
  if (log == u"Application") return u"AppEvent.Evt";
  if (log == u"Security") return u"SecEvent.Evt";
  if (log == u"DNS Server") return u"DnsEvent.Evt";
  if (log == u"Directory Service") return u"NTDS.Evt";
  return u"NtFrs.Evt";
}

[[nodiscard]] Result RegisterLog(RegKey& hklm, std::u16string_view log) {
  std::unique_ptr<RegKey> key;
  Result r = hklm.CreateKey(std::u16string(kEventLogKey) + u"\\" + std::u16string(log), &key);
  if (r != kSuccess) return r;
  r = SetString(*key, u"File", u"%SystemRoot%\\system32\\config\\" + LogFile(log), kRegExpandSz);
  if (r == kSuccess) r = SetDword(*key, u"MaxSize", 0x80000);
  if (r == kSuccess) r = SetDword(*key, u"Retention", 0);
  return r;
}

[[nodiscard]] Result RegisterSource(RegKey& hklm, std::u16string_view log,
                                    std::u16string_view source, std::u16string_view message_file) {
  std::unique_ptr<RegKey> key;
  Result r = hklm.CreateKey(
      std::u16string(kEventLogKey) + u"\\" + std::u16string(log) + u"\\" + std::u16string(source),
      &key);
  if (r != kSuccess) return r;
  if (!message_file.empty()) {
    r = SetString(*key, u"EventMessageFile", message_file, kRegExpandSz);
    if (r != kSuccess) return r;
  }
  return SetDword(*key, u"TypesSupported", 7);
}

// Writes one of the computer's network database files, with its directories.
bool WriteEtcFile(const std::string& path, const char* text) {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

constexpr char kDefaultHosts[] = "127.0.0.1       localhost\r\n";
constexpr char kDefaultServices[] =
    "smtp              25/tcp    mail                   #Simple Mail Transfer Protocol\r\n"
    "syslog           514/udp\r\n";

// Creates every directory of a host path below the computer's directory.
void MakeParents(const std::string& path) {
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
  }
}

// Compiles the sample message libraries into %SystemRoot%\system32.
bool WriteSampleLibraries(EmulatedPlatform& platform, std::string* error) {
  const std::u16string dir = platform.environment().Expand(u"%SystemRoot%\\system32\\");
  for (const auto& library : SampleLibraries()) {
    McDocument document;
    McError mc_error;
    if (!CompileMessageText(library.source, &document, &mc_error)) {
      *error =
          Utf16ToUtf8(library.file) + ":" + std::to_string(mc_error.line) + ": " + mc_error.message;
      return false;
    }
    const std::vector<uint8_t> dll = BuildMessageDll(document);
    const std::string path = platform.machine().HostPath(dir + library.file);
    MakeParents(path);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(dll.data(), 1, dll.size(), f) != dll.size()) {
      if (f) std::fclose(f);
      *error = path + ": cannot write the message library";
      return false;
    }
    std::fclose(f);
  }
  return true;
}

struct Sample {
  const char16_t* log;
  const char16_t* source;
  uint32_t id;
  uint16_t type;
  const char* sid;
  std::vector<std::u16string> strings;
};

}  // namespace

std::vector<std::u16string> StandardLogs(uint32_t major_version) {
  std::vector<std::u16string> logs = {u"Application", u"Security", u"System"};
  if (major_version >= 5) {
    logs.insert(logs.end(), {u"DNS Server", u"Directory Service", u"File Replication Service"});
  }
  return logs;
}

[[nodiscard]] Result WriteComputerFacts(Registry& registry, const ComputerOptions& o) {
  std::unique_ptr<RegKey> hklm;
  if (const Result r = registry.OpenRoot(RegRoot::kLocalMachine, &hklm); r != kSuccess) return r;
  const std::u16string name = Utf8ToUtf16(AsciiUpper(o.name));
  const std::u16string host =
      Utf8ToUtf16(o.hostname.empty() ? platform::AsciiLower(o.name) : o.hostname);
  const std::u16string version =
      Utf8ToUtf16(std::to_string(o.major_version) + "." + std::to_string(o.minor_version));
  const std::u16string zone = Utf8ToUtf16(o.time_zone.empty() ? HostTimeZone() : o.time_zone);
  Result r = SetText(*hklm, kComputerNameKey, u"ComputerName", name);
  if (r == kSuccess) r = SetText(*hklm, kTcpipParametersKey, u"Hostname", host);
  if (r == kSuccess) r = SetText(*hklm, kCurrentVersionKey, u"CurrentVersion", version);
  if (r == kSuccess) {
    r = SetText(*hklm, kCodePageKey, u"ACP", Utf8ToUtf16(std::to_string(o.acp)));
  }
  if (r == kSuccess) r = SetText(*hklm, kTimeZoneKey, u"TimeZoneKeyName", zone);
  if (r == kSuccess) {
    r = SetText(*hklm, kEnvironmentKey, u"TEMP", u"%SystemRoot%\\TEMP", kRegExpandSz);
  }
  return r;
}

bool SetUpComputer(EmulatedPlatform& platform, const ComputerOptions& options, std::string* error) {
  std::unique_ptr<RegKey> hklm;
  if (platform.registry().OpenRoot(RegRoot::kLocalMachine, &hklm) != kSuccess) {
    *error = platform.machine().dir() + ": cannot open the registry";
    return false;
  }
  for (const auto& log : StandardLogs(options.major_version)) {
    if (RegisterLog(*hklm, log) != kSuccess) {
      *error = platform.machine().dir() + ": cannot register the log " + Utf16ToUtf8(log);
      return false;
    }
  }
  // Local accounts of the computer: the built-in administrator and guest.
  auto& accounts = static_cast<EmulatedAccounts&>(platform.accounts());
  const std::string domain = AsciiUpper(options.name);
  const std::string machine_sid = "S-1-5-21-1004336348-1177238915-682003330";
  if (accounts.AddAccount(machine_sid + "-500", domain, "Administrator") != kSuccess ||
      accounts.AddAccount(machine_sid + "-501", domain, "Guest") != kSuccess) {
    *error = platform.machine().dir() + ": cannot write the local accounts";
    return false;
  }
  if (!WriteEtcFile(platform.emulated_network().HostsFile(), kDefaultHosts) ||
      !WriteEtcFile(platform.emulated_network().ServicesFile(), kDefaultServices)) {
    *error = platform.machine().dir() + ": cannot write the hosts and services files";
    return false;
  }
  if (!options.seed) return true;

  if (!WriteSampleLibraries(platform, error)) return false;
  const std::u16string netevent = u"%SystemRoot%\\system32\\netevent.dll";
  Result r = RegisterSource(*hklm, u"System", u"Service Control Manager", netevent);
  std::unique_ptr<RegKey> scm;
  if (r == kSuccess) {
    r = hklm->OpenKey(std::u16string(kEventLogKey) + u"\\System\\Service Control Manager",
                      RegAccess::kReadWrite, &scm);
  }
  if (r == kSuccess) {
    r = SetString(*scm, u"ParameterMessageFile", u"%SystemRoot%\\system32\\kernel32.dll",
                  kRegExpandSz);
  }
  if (r == kSuccess) r = RegisterSource(*hklm, u"System", u"EventLog", netevent);
  if (r == kSuccess) {
    r = RegisterSource(*hklm, u"Application", u"Userenv", u"%SystemRoot%\\system32\\userenv.dll");
  }
  if (r == kSuccess) {
    r = RegisterSource(*hklm, u"Security", u"Security", u"%SystemRoot%\\system32\\msaudite.dll");
  }
  if (r != kSuccess) {
    *error = platform.machine().dir() + ": cannot register the sample sources";
    return false;
  }

  const std::vector<Sample> samples = {
      {u"System", u"EventLog", 0x80001775, kEventInformation, nullptr, {}},
      {u"System",
       u"Service Control Manager",
       0x40001B7C,
       kEventInformation,
       nullptr,
       {u"Alerter", u"stopped"}},
      {u"System",
       u"Service Control Manager",
       0xC0001B6F,
       kEventError,
       nullptr,
       {u"Messenger", u"%%1058"}},
      {u"Application", u"Userenv", 0x800005ED, kEventWarning, "S-1-5-18", {u"Administrator"}},
      {u"Security", u"Security", 528, kEventAuditSuccess, "S-1-5-18", {u"SYSTEM", u"NT AUTHORITY"}},
  };
  auto& log = platform.emulated_event_log();
  const int64_t now = platform.clock().Now();
  for (const auto& s : samples) {
    EventRecordFields f;
    f.time_generated = f.time_written = static_cast<uint32_t>(now);
    f.event_id = s.id;
    f.event_type = s.type;
    f.source = s.source;
    f.computer = platform.computer().NetBiosName();
    if (s.sid) f.user_sid = *SidFromString(s.sid);
    f.strings = s.strings;
    uint32_t number = 0;
    if (log.Append(s.log, f, &number) != kSuccess) {
      *error = platform.machine().dir() + ": cannot write the sample records";
      return false;
    }
  }
  return true;
}

}  // namespace platform::emulated
