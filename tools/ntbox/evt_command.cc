// ntbox evt write|query|clear|logs and ntbox eventcreate: the event logs of an emulated
// computer.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/event_record.h"
#include "platform/text.h"
#include "service/base/event_message.h"
#include "service/base/record_view.h"
#include "tools/ntbox/commands.h"
#include "tools/ntbox/evt_file_command.h"
#include "tools/ntbox/machine_arg.h"

namespace ntbox {
namespace {

using platform::EventRecordFields;
using platform::Result;
using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;
using platform::emulated::EmulatedPlatform;
using platform::emulated::kEventLogKey;

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
// What the service reads with; a larger record is read with a buffer of its own size.
constexpr uint32_t kReadChunk = 204800;

const char kEvtUsage[] =
    "usage: ntbox evt write LOG --source NAME --id N [--type TYPE] [--category N]\n"
    "                 [--computer NAME] [--time WHEN] [--time-written WHEN] [--sid SID]\n"
    "                 [--string TEXT]... [--data HEX]\n"
    "       ntbox evt query LOG [--format text|json] [--from N] [--backwards]\n"
    "       ntbox evt clear LOG\n"
    "       ntbox evt logs\n"
    "       ntbox evt import LOG FILE.evt [--keep-numbers] [--grow]\n"
    "       ntbox evt export LOG FILE.evt\n"
    "TYPE: success|error|warning|information|audit-success|audit-failure|N\n"
    "N: decimal or 0x hex (the event id is the full 32-bit number)\n"
    "WHEN: seconds since 1970-01-01 UTC, or YYYY-MM-DDTHH:MM:SS in the computer's local time;\n"
    "      --time-written defaults to --time, and both to now\n"
    "import appends the records of a classic event log file, all or none, with new numbers\n"
    "      (--keep-numbers: the file's own, into an empty log); --grow raises MaxSize when the\n"
    "      log could not hold them. export writes the log as a backup file.\n";

const char kEventCreateUsage[] =
    "usage: ntbox eventcreate [/L LOG] [/SO SOURCE] /T TYPE /ID N /D DESCRIPTION\n"
    "TYPE: ERROR|WARNING|INFORMATION|SUCCESSAUDIT|FAILUREAUDIT; N: 1 to 1000.\n"
    "LOG defaults to Application, SOURCE to EventCreate. A new source is registered in LOG.\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "ntbox: %s\n", message.c_str());
  return kExitError;
}

int UsageError(const std::string& message, const char* usage) {
  std::fprintf(stderr, "ntbox: %s\n%s", message.c_str(), usage);
  return kExitUsage;
}

// A number in decimal or 0x hex, at most `max`.
bool ParseNumber(const std::string& text, uint64_t max, uint64_t* value) {
  std::string digits = text;
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits = digits.substr(2);
    base = 16;
  }
  if (digits.empty() || digits.size() > 20) return false;
  uint64_t v = 0;
  for (char c : digits) {
    int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
            : base == 16 && std::isxdigit(static_cast<unsigned char>(c))
                ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                : -1;
    if (d < 0) return false;
    if (v > (max - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base)) return false;
    v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
  }
  *value = v;
  return true;
}

struct TypeName {
  const char* name;
  uint16_t type;
};
constexpr TypeName kTypeNames[] = {
    {"success", platform::kEventSuccess},
    {"error", platform::kEventError},
    {"warning", platform::kEventWarning},
    {"information", platform::kEventInformation},
    {"audit-success", platform::kEventAuditSuccess},
    {"audit-failure", platform::kEventAuditFailure},
};

bool ParseType(const std::string& text, uint16_t* type) {
  for (const auto& t : kTypeNames) {
    if (platform::AsciiLower(text) == t.name) {
      *type = t.type;
      return true;
    }
  }
  uint64_t v = 0;
  if (!ParseNumber(text, 0xFFFF, &v)) return false;
  *type = static_cast<uint16_t>(v);
  return true;
}

std::string TypeText(uint16_t type) {
  for (const auto& t : kTypeNames) {
    if (t.type == type) return t.name;
  }
  return std::to_string(type);
}

// Seconds since 1970, or a local time of the computer (the process works in the zone of the
// computer it opened). A local time that does not exist (a date like 02-30) is refused.
bool ParseTime(const std::string& text, uint32_t* seconds) {
  uint64_t v = 0;
  if (ParseNumber(text, 0xFFFFFFFF, &v) && text.find_first_of("xX") == std::string::npos) {
    *seconds = static_cast<uint32_t>(v);
    return true;
  }
  int year, month, day, hour, minute, second;
  char tail;
  if (text.size() != 19 || std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month,
                                       &day, &hour, &minute, &second, &tail) != 6) {
    return false;
  }
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1) || tm.tm_year != year - 1900 || tm.tm_mon != month - 1 ||
      tm.tm_mday != day || minute > 59 || second > 59 || t < 0 || t > 0xFFFFFFFFll) {
    return false;
  }
  *seconds = static_cast<uint32_t>(t);
  return true;
}

bool ParseHex(const std::string& text, std::vector<uint8_t>* bytes) {
  std::string digits;
  for (char c : text) {
    if (c == ' ' || c == ':') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    digits.push_back(c);
  }
  if (digits.size() % 2 != 0) return false;
  bytes->clear();
  for (size_t i = 0; i < digits.size(); i += 2) {
    bytes->push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return true;
}

std::string HexText(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

// Whether LOG is registered on the computer (names compared without regard to case).
bool LogExists(EmulatedPlatform& computer, const std::string& log) {
  if (log.empty() || log.find('\\') != std::string::npos) return false;
  std::unique_ptr<platform::RegKey> hklm, key;
  return computer.registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm) ==
             platform::kSuccess &&
         hklm->OpenKey(std::u16string(kEventLogKey) + u"\\" + Utf8ToUtf16(log),
                       platform::RegAccess::kRead, &key) == platform::kSuccess;
}

std::string NoSuchLog(const std::string& log) {
  return "no event log named '" + log + "' on this computer (HKLM\\" + Utf16ToUtf8(kEventLogKey) +
         "\\" + log + " does not exist)";
}

// ---- evt write ---------------------------------------------------------------------------

int EvtWrite(EmulatedPlatform& computer, const Args& args) {
  std::string log;
  EventRecordFields f;
  f.computer = computer.computer().NetBiosName();
  bool have_source = false, have_id = false, have_time = false, have_written = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) {
      if (!log.empty()) return UsageError("evt write: unexpected argument '" + a + "'", kEvtUsage);
      log = a;
      continue;
    }
    if (i + 1 >= args.size()) return UsageError("evt write: " + a + " needs a value", kEvtUsage);
    const std::string& v = args[++i];
    uint64_t n = 0;
    if (a == "--source") {
      f.source = Utf8ToUtf16(v);
      have_source = true;
    } else if (a == "--id") {
      if (!ParseNumber(v, 0xFFFFFFFF, &n)) {
        return UsageError("evt write: --id '" + v + "' is not a 32-bit number", kEvtUsage);
      }
      f.event_id = static_cast<uint32_t>(n);
      have_id = true;
    } else if (a == "--type") {
      if (!ParseType(v, &f.event_type)) {
        return UsageError("evt write: --type '" + v + "' is not an event type", kEvtUsage);
      }
    } else if (a == "--category") {
      if (!ParseNumber(v, 0xFFFF, &n)) {
        return UsageError("evt write: --category '" + v + "' is not a number 0..65535", kEvtUsage);
      }
      f.category = static_cast<uint16_t>(n);
    } else if (a == "--computer") {
      f.computer = Utf8ToUtf16(v);
    } else if (a == "--time" || a == "--time-written") {
      uint32_t t = 0;
      if (!ParseTime(v, &t)) {
        return UsageError("evt write: " + a + " '" + v +
                              "' is neither epoch seconds nor a local YYYY-MM-DDTHH:MM:SS",
                          kEvtUsage);
      }
      (a == "--time" ? f.time_generated : f.time_written) = t;
      (a == "--time" ? have_time : have_written) = true;
    } else if (a == "--sid") {
      auto sid = platform::SidFromString(v);
      if (!sid) return UsageError("evt write: --sid '" + v + "' is not a SID", kEvtUsage);
      f.user_sid = *sid;
    } else if (a == "--string") {
      f.strings.push_back(Utf8ToUtf16(v));
    } else if (a == "--data") {
      if (!ParseHex(v, &f.data)) {
        return UsageError("evt write: --data '" + v + "' is not an even number of hex digits",
                          kEvtUsage);
      }
    } else {
      return UsageError("evt write: unknown option '" + a + "'", kEvtUsage);
    }
  }
  if (log.empty()) return UsageError("evt write: the LOG is missing", kEvtUsage);
  if (!have_source) return UsageError("evt write: --source is missing", kEvtUsage);
  if (!have_id) return UsageError("evt write: --id is missing", kEvtUsage);
  if (f.strings.size() > 0xFFFF) return UsageError("evt write: too many --string", kEvtUsage);
  if (size_t i = 0;
      platform::emulated::CheckInsertionStrings(f.strings, &i) != platform::kSuccess) {
    return Fail("evt write: --string " + std::to_string(i + 1) + " has " +
                std::to_string(f.strings[i].size()) +
                " characters; an insertion string holds at most " +
                std::to_string(platform::emulated::kMaxInsertionStringChars) +
                " (ReportEvent refuses it with error 87)");
  }
  const uint32_t now = static_cast<uint32_t>(computer.clock().Now());
  if (!have_time) f.time_generated = now;
  if (!have_written) f.time_written = have_time ? f.time_generated : now;
  if (!LogExists(computer, log)) return Fail(NoSuchLog(log));

  uint32_t number = 0;
  const Result r = computer.emulated_event_log().Append(Utf8ToUtf16(log), f, &number);
  if (r == platform::kErrorLogFileFull) {
    return Fail("the record is larger than the log's MaxSize (" + log + ")");
  }
  if (r != platform::kSuccess) {
    return Fail("cannot write to the " + log + " log of " + computer.machine().dir() + " (error " +
                std::to_string(r) + ")");
  }
  std::printf("%u\n", number);
  return 0;
}

// ---- evt query ---------------------------------------------------------------------------

// The description the event viewer shows: the source's message library text with the
// record's insertion strings, or the fallback sentence; the same text the service forwards.
// `modules` keeps the libraries loaded from one record to the next.
std::optional<std::u16string> RecordDescription(EmulatedPlatform& computer,
                                                sentrel::ModuleCache& modules,
                                                const std::string& log,
                                                const EventRecordFields& record) {
  const std::vector<uint8_t> bytes = platform::BuildEventRecord(record);
  const auto view = sentrel::RecordView::Parse(bytes.data(), bytes.size());
  if (!view) return std::nullopt;
  constexpr size_t kDescriptionChars = 50001;
  return sentrel::ReadEventMessage(computer, modules, *view, platform::Utf8ToUtf16(log),
                                   kDescriptionChars);
}

std::string LocalTimeText(EmulatedPlatform& computer, uint32_t seconds) {
  const platform::SystemTime t = computer.clock().ToLocal(seconds);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

// A text as one token of a line: in double quotes, with backslash, quote and control
// characters escaped, so that every record stays on one line.
std::string Quoted(const std::u16string& text, bool json) {
  std::string out = "\"";
  for (char c : Utf16ToUtf8(text)) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20 || u == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, json ? "\\u%04x" : "\\x%02x", u);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string FormatRecord(EmulatedPlatform& computer, sentrel::ModuleCache& modules,
                         const std::string& log, const EventRecordFields& r, bool json) {
  const std::string sid = platform::SidToString(r.user_sid.data(), r.user_sid.size());
  char id_hex[16];
  std::snprintf(id_hex, sizeof id_hex, "0x%08X", r.event_id);
  std::string strings = "[";
  for (size_t i = 0; i < r.strings.size(); ++i) {
    if (i) strings += ",";
    strings += Quoted(r.strings[i], json);
  }
  strings += "]";
  const auto description = RecordDescription(computer, modules, log, r);
  std::string line;
  if (json) {
    line = "{\"number\":" + std::to_string(r.record_number) + ",\"time_generated\":\"" +
           LocalTimeText(computer, r.time_generated) +
           "\",\"time_generated_epoch\":" + std::to_string(r.time_generated) +
           ",\"time_written\":\"" + LocalTimeText(computer, r.time_written) +
           "\",\"time_written_epoch\":" + std::to_string(r.time_written) +
           ",\"event_id\":" + std::to_string(r.event_id) + ",\"event_id_hex\":\"" + id_hex +
           "\",\"type\":\"" + TypeText(r.event_type) +
           "\",\"type_code\":" + std::to_string(r.event_type) +
           ",\"category\":" + std::to_string(r.category) + ",\"source\":" + Quoted(r.source, true) +
           ",\"computer\":" + Quoted(r.computer, true) +
           ",\"sid\":" + (r.user_sid.empty() ? "null" : "\"" + sid + "\"") +
           ",\"strings\":" + strings + ",\"data\":\"" + HexText(r.data) + "\"";
    if (description) line += ",\"description\":" + Quoted(*description, true);
    line += "}";
  } else {
    line = "number=" + std::to_string(r.record_number) +
           " generated=" + LocalTimeText(computer, r.time_generated) +
           " generated_epoch=" + std::to_string(r.time_generated) +
           " written=" + LocalTimeText(computer, r.time_written) +
           " written_epoch=" + std::to_string(r.time_written) +
           " event_id=" + std::to_string(r.event_id) + " event_id_hex=" + id_hex +
           " type=" + TypeText(r.event_type) + " category=" + std::to_string(r.category) +
           " source=" + Quoted(r.source, false) + " computer=" + Quoted(r.computer, false) +
           " sid=" + sid + " strings=" + strings + " data=" + HexText(r.data);
    if (description) line += " description=" + Quoted(*description, false);
  }
  return line;
}

int EvtQuery(EmulatedPlatform& computer, const Args& args) {
  std::string log, format = "text";
  bool backwards = false, seek = false;
  uint32_t from = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--backwards") {
      backwards = true;
    } else if (a == "--format" || a == "--from") {
      if (i + 1 >= args.size()) {
        return UsageError("evt query: " + a + " needs a value", kEvtUsage);
      }
      const std::string& v = args[++i];
      uint64_t n = 0;
      if (a == "--format") {
        if (v != "text" && v != "json") {
          return UsageError("evt query: --format '" + v + "' is neither text nor json", kEvtUsage);
        }
        format = v;
      } else {
        if (!ParseNumber(v, 0xFFFFFFFF, &n)) {
          return UsageError("evt query: --from '" + v + "' is not a record number", kEvtUsage);
        }
        from = static_cast<uint32_t>(n);
        seek = true;
      }
    } else if (a.rfind("--", 0) == 0 || !log.empty()) {
      return UsageError("evt query: unexpected argument '" + a + "'", kEvtUsage);
    } else {
      log = a;
    }
  }
  if (log.empty()) return UsageError("evt query: the LOG is missing", kEvtUsage);
  if (!LogExists(computer, log)) return Fail(NoSuchLog(log));

  std::unique_ptr<platform::EventLogReader> reader;
  Result r = computer.event_log().Open(u"", Utf8ToUtf16(log), &reader);
  if (r != platform::kSuccess) {
    return Fail("cannot open the " + log + " log (error " + std::to_string(r) + ")");
  }
  const uint32_t direction =
      backwards ? platform::kEventLogBackwardsRead : platform::kEventLogForwardsRead;
  uint32_t flags =
      (seek ? platform::kEventLogSeekRead : platform::kEventLogSequentialRead) | direction;
  std::vector<uint8_t> buffer(kReadChunk);
  // The message libraries, loaded at their first record and kept for the whole query.
  sentrel::ModuleCache modules(computer.message_library());
  for (;;) {
    uint32_t read = 0, needed = 0;
    r = reader->Read(flags, from, buffer.data(), static_cast<uint32_t>(buffer.size()), &read,
                     &needed);
    if (r == platform::kErrorInsufficientBuffer && needed > buffer.size()) {
      buffer.resize(needed);
      continue;
    }
    if (r == platform::kErrorHandleEof) break;
    if (r == platform::kErrorInvalidParameter && seek) {
      return Fail("the " + log + " log holds no record number " + std::to_string(from));
    }
    if (r != platform::kSuccess) {
      return Fail("cannot read the " + log + " log (error " + std::to_string(r) + ")");
    }
    flags = platform::kEventLogSequentialRead | direction;
    for (uint32_t at = 0; at < read;) {
      auto record = platform::ParseEventRecord(buffer.data() + at, read - at);
      if (!record) {
        return Fail("a damaged record in the " + log + " log at byte " + std::to_string(at) +
                    " of a read");
      }
      std::printf("%s\n", FormatRecord(computer, modules, log, *record, format == "json").c_str());
      at += platform::ReadLe32(buffer.data() + at);
    }
  }
  return std::fflush(stdout) == 0 ? 0 : Fail("cannot write the output");
}

// ---- evt clear, evt logs -----------------------------------------------------------------

int EvtClear(EmulatedPlatform& computer, const Args& args) {
  if (args.size() != 1 || args[0].rfind("--", 0) == 0) {
    return UsageError("evt clear: give exactly one LOG", kEvtUsage);
  }
  const std::string& log = args[0];
  if (!LogExists(computer, log)) return Fail(NoSuchLog(log));
  const Result r = computer.event_log().Clear(u"", Utf8ToUtf16(log));
  if (r != platform::kSuccess) {
    return Fail("cannot clear the " + log + " log (error " + std::to_string(r) + ")");
  }
  return 0;
}

// One line per log: its name and how many records it holds, tab-separated.
int EvtLogs(EmulatedPlatform& computer, const Args& args) {
  if (!args.empty()) return UsageError("evt logs: takes no arguments", kEvtUsage);
  std::unique_ptr<platform::RegKey> hklm, logs;
  if (computer.registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm) != platform::kSuccess ||
      hklm->OpenKey(kEventLogKey, platform::RegAccess::kRead, &logs) != platform::kSuccess) {
    return 0;  // a computer without any log
  }
  std::u16string name;
  for (uint32_t i = 0; logs->EnumKey(i, 256, &name) == platform::kSuccess; ++i) {
    std::unique_ptr<platform::EventLogReader> reader;
    uint32_t count = 0;
    const Result r = computer.event_log().Open(u"", name, &reader);
    if (r != platform::kSuccess || reader->NumberOfRecords(&count) != platform::kSuccess) {
      return Fail("cannot open the " + Utf16ToUtf8(name) + " log (error " + std::to_string(r) +
                  ")");
    }
    std::printf("%s\t%u\n", Utf16ToUtf8(name).c_str(), count);
  }
  return 0;
}

// ---- eventcreate -------------------------------------------------------------------------

struct EventCreateType {
  const char* name;
  uint16_t type;
};
constexpr EventCreateType kEventCreateTypes[] = {
    {"ERROR", platform::kEventError},
    {"WARNING", platform::kEventWarning},
    {"INFORMATION", platform::kEventInformation},
    {"SUCCESSAUDIT", platform::kEventAuditSuccess},
    {"FAILUREAUDIT", platform::kEventAuditFailure},
};

// The log whose key holds the source's key, or empty when no log does.
std::u16string SourceLog(platform::RegKey& logs, const std::u16string& source,
                         std::unique_ptr<platform::RegKey>* source_key) {
  std::u16string log;
  for (uint32_t i = 0; logs.EnumKey(i, 256, &log) == platform::kSuccess; ++i) {
    if (logs.OpenKey(log + u"\\" + source, platform::RegAccess::kRead, source_key) ==
        platform::kSuccess) {
      return log;
    }
  }
  return {};
}

// Registers `source` in `log` as eventcreate.exe does, or checks that an existing source is one
// that eventcreate made (marked CustomSource) and belongs to `log`. Without /L an existing source
// writes to its own log, which *log then names.
int PrepareSource(EmulatedPlatform& computer, std::string* log, const std::string& source,
                  bool log_given) {
  std::unique_ptr<platform::RegKey> hklm, logs, key;
  if (computer.registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm) != platform::kSuccess ||
      hklm->OpenKey(kEventLogKey, platform::RegAccess::kReadWrite, &logs) != platform::kSuccess) {
    return Fail("eventcreate: HKLM\\" + Utf16ToUtf8(kEventLogKey) + " cannot be opened");
  }
  const std::u16string wide_source = Utf8ToUtf16(source);
  const std::u16string existing = SourceLog(*logs, wide_source, &key);
  if (!existing.empty()) {
    if (log_given && !platform::EqualsIgnoringCase(Utf16ToUtf8(existing), *log)) {
      return Fail("eventcreate: the source '" + source + "' already exists in the '" +
                  Utf16ToUtf8(existing) + "' log; a source cannot be in two logs");
    }
    uint32_t custom = 0;
    if (platform::QueryDword(*key, u"CustomSource", &custom) != platform::kSuccess || !custom) {
      return Fail("eventcreate: the source '" + source +
                  "' belongs to an installed program; /SO is for custom sources only");
    }
    *log = Utf16ToUtf8(existing);
    return 0;
  }
  std::unique_ptr<platform::RegKey> created;
  Result r = logs->CreateKey(Utf8ToUtf16(*log) + u"\\" + wide_source, &created);
  if (r == platform::kSuccess) {
    r = platform::SetString(*created, u"EventMessageFile",
                            u"%SystemRoot%\\system32\\EventCreate.exe", platform::kRegExpandSz);
  }
  if (r == platform::kSuccess) r = platform::SetDword(*created, u"TypesSupported", 7);
  if (r == platform::kSuccess) r = platform::SetDword(*created, u"CustomSource", 1);
  if (r != platform::kSuccess) {
    return Fail("eventcreate: cannot register the source '" + source + "' (error " +
                std::to_string(r) + ")");
  }
  return 0;
}

}  // namespace

int RunEvt(const Args& args) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fputs(kEvtUsage, args.empty() ? stderr : stdout);
    return args.empty() ? kExitUsage : 0;
  }
  const std::string& verb = args[0];
  if (verb != "write" && verb != "query" && verb != "clear" && verb != "logs" && verb != "import" &&
      verb != "export") {
    return UsageError("evt: unknown subcommand '" + verb + "'", kEvtUsage);
  }
  std::string error;
  auto computer = OpenComputer(&error);
  if (!computer) return Fail(error);
  const Args rest(args.begin() + 1, args.end());
  if (verb == "write") return EvtWrite(*computer, rest);
  if (verb == "query") return EvtQuery(*computer, rest);
  if (verb == "clear") return EvtClear(*computer, rest);
  if (verb == "import") return EvtImport(*computer, rest);
  if (verb == "export") return EvtExport(*computer, rest);
  return EvtLogs(*computer, rest);
}

int RunEventCreate(const Args& args) {
  std::string log, source, type_text, id_text, description;
  bool have_description = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string sw = platform::AsciiUpper(args[i]);
    if (sw == "/?" || sw == "-?") {
      std::fputs(kEventCreateUsage, stdout);
      return 0;
    }
    if (sw == "/S" || sw == "/U" || sw == "/P" || sw == "-S" || sw == "-U" || sw == "-P") {
      return UsageError("eventcreate: " + args[i] + ": only the local computer is supported",
                        kEventCreateUsage);
    }
    std::string* target = sw == "/L" || sw == "-L"     ? &log
                          : sw == "/SO" || sw == "-SO" ? &source
                          : sw == "/T" || sw == "-T"   ? &type_text
                          : sw == "/ID" || sw == "-ID" ? &id_text
                          : sw == "/D" || sw == "-D"   ? &description
                                                       : nullptr;
    if (!target) {
      return UsageError("eventcreate: invalid argument '" + args[i] + "'", kEventCreateUsage);
    }
    if (i + 1 >= args.size()) {
      return UsageError("eventcreate: " + args[i] + " needs a value", kEventCreateUsage);
    }
    *target = args[++i];
    if (target == &description) have_description = true;
  }
  uint16_t type = 0;
  bool type_ok = false;
  for (const auto& t : kEventCreateTypes) {
    if (platform::EqualsIgnoringCase(type_text, t.name)) {
      type = t.type;
      type_ok = true;
    }
  }
  if (type_text.empty()) return UsageError("eventcreate: /T is missing", kEventCreateUsage);
  if (!type_ok) {
    return UsageError("eventcreate: /T '" + type_text + "' is not a valid type", kEventCreateUsage);
  }
  uint64_t id = 0;
  if (id_text.empty()) return UsageError("eventcreate: /ID is missing", kEventCreateUsage);
  if (!ParseNumber(id_text, 1000, &id) || id < 1 ||
      id_text.find_first_of("xX") != std::string::npos) {
    return UsageError("eventcreate: /ID '" + id_text + "' must be a number from 1 to 1000",
                      kEventCreateUsage);
  }
  if (!have_description) return UsageError("eventcreate: /D is missing", kEventCreateUsage);
  const bool log_given = !log.empty();
  if (!log_given) log = "Application";
  if (source.empty()) source = "EventCreate";
  if (source.find('\\') != std::string::npos) {
    return Fail("eventcreate: a source name cannot contain a backslash");
  }

  std::string error;
  auto computer = OpenComputer(&error);
  if (!computer) return Fail(error);
  if (!LogExists(*computer, log)) return Fail(NoSuchLog(log));
  if (log_given && platform::EqualsIgnoringCase(log, "SECURITY")) {
    return Fail("eventcreate: custom events cannot be written to the Security log");
  }
  if (int rc = PrepareSource(*computer, &log, source, log_given)) return rc;
  if (platform::EqualsIgnoringCase(log, "SECURITY")) {
    return Fail("eventcreate: custom events cannot be written to the Security log");
  }

  std::unique_ptr<platform::EventSource> handle;
  Result r = computer->event_log().RegisterSource(u"", Utf8ToUtf16(source), &handle);
  if (r == platform::kSuccess) {
    r = handle->Report(type, 0, static_cast<uint32_t>(id), {}, {Utf8ToUtf16(description)}, {});
  }
  if (r == platform::kErrorInvalidParameter &&
      platform::emulated::CheckInsertionStrings({Utf8ToUtf16(description)}) != platform::kSuccess) {
    return Fail("eventcreate: the description holds more than " +
                std::to_string(platform::emulated::kMaxInsertionStringChars) +
                " characters (error 87)");
  }
  if (r != platform::kSuccess) {
    return Fail("eventcreate: cannot write the event (error " + std::to_string(r) + ")");
  }
  std::printf("SUCCESS: A '%s' type event is created in the '%s' log with '%s' as the source.\n",
              platform::AsciiUpper(type_text).c_str(), log.c_str(), source.c_str());
  return 0;
}

}  // namespace ntbox
