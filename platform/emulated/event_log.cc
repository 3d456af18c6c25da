#include "platform/emulated/event_log.h"

#include <cstring>

#include "platform/emulated/emulated_platform.h"
#include "platform/emulated/registry.h"
#include "platform/text.h"

namespace platform::emulated {
namespace {

// The largest buffer ReadEventLogW accepts.
constexpr uint32_t kMaxReadBuffer = 0x7FFFF;
// A log's size limit when its key has no MaxSize value.
constexpr uint32_t kDefaultMaxSize = 0x80000;
constexpr char16_t kApplicationLog[] = u"Application";

// The computer an operation addresses: its database and its HKEY_LOCAL_MACHINE.
struct Target {
  std::shared_ptr<Machine> machine;
  std::unique_ptr<RegKey> hklm;
};

std::u16string StripBackslashes(std::u16string_view server) {
  while (!server.empty() && server.front() == u'\\') server.remove_prefix(1);
  return std::u16string(server);
}

// An empty server name or this computer's own name is the local computer; any other name is the
// sibling computer of that name, and one that does not exist answers kErrorBadNetpath.
[[nodiscard]] Result ResolveTarget(std::u16string_view server,
                                   const std::shared_ptr<Machine>& local, Registry& registry,
                                   Computer& computer, Target* out) {
  const std::u16string name = StripBackslashes(server);
  if (name.empty() || Upcase(name) == Upcase(computer.NetBiosName())) {
    out->machine = local;
    return registry.OpenRoot(RegRoot::kLocalMachine, &out->hklm);
  }
  const std::string dir = local->SiblingDir(name);
  if (dir.empty()) return kErrorBadNetpath;
  std::string error;
  out->machine = Machine::Open(dir, &error);
  if (!out->machine) return kErrorBadNetpath;
  return registry.Connect(name, RegRoot::kLocalMachine, &out->hklm);
}

// The key of a log, SYSTEM\CurrentControlSet\Services\EventLog\<log>. A name with a backslash
// would reach a source's key below a log, so it names no log.
[[nodiscard]] Result OpenLogKey(RegKey& hklm, std::u16string_view log, std::unique_ptr<RegKey>* key,
                                RegAccess access = RegAccess::kRead) {
  if (log.empty() || log.find(u'\\') != std::u16string_view::npos) return kErrorFileNotFound;
  return hklm.OpenKey(std::u16string(kEventLogKey) + u"\\" + std::u16string(log), access, key);
}

uint32_t MaxSizeOf(RegKey& log_key) {
  uint32_t size = 0;
  if (QueryDword(log_key, u"MaxSize", &size) != kSuccess || size == 0) return kDefaultMaxSize;
  return size;
}

// The log whose key holds a subkey named `source`, else "Application".
std::u16string LogOfSource(RegKey& hklm, std::u16string_view source) {
  std::unique_ptr<RegKey> logs;
  if (source.find(u'\\') != std::u16string_view::npos ||
      hklm.OpenKey(kEventLogKey, RegAccess::kRead, &logs) != kSuccess) {
    return kApplicationLog;
  }
  std::u16string log;
  for (uint32_t i = 0; logs->EnumKey(i, 256, &log) == kSuccess; ++i) {
    std::unique_ptr<RegKey> source_key;
    if (logs->OpenKey(log + u"\\" + std::u16string(source), RegAccess::kRead, &source_key) ==
        kSuccess) {
      return log;
    }
  }
  return kApplicationLog;
}

// A stored record must be what BuildEventRecord made, or a reader stepping by Length would leave
// the buffer: Length equal to the stored size at both ends and the signature in place.
bool WellFormed(const uint8_t* data, size_t size) {
  if (size < sizeof(EventLogRecordHeader) || size % 4 != 0) return false;
  const uint32_t length = ReadLe32(data);
  const uint32_t signature = ReadLe32(data + 4);
  const uint32_t trailer = ReadLe32(data + size - 4);
  return length == size && trailer == size && signature == kEventLogSignature;
}

// A log's numbering and the bytes its records take, as kept in evt_log.
struct LogState {
  int64_t next = 1;
  int64_t total = 0;
};

// Reads the state of the log `log`, making its row when the log has none yet. Call inside a
// write transaction.
LogState OpenLogState(Database& db, const std::string& log) {
  LogState state;
  Statement s(db, "SELECT next_number, total_bytes FROM evt_log WHERE upper = ?");
  s.Bind(1, log);
  if (s.Step()) {
    state.next = s.Int(0);
    state.total = s.Int(1);
  } else {
    Statement insert(db, "INSERT INTO evt_log(upper, next_number, total_bytes) VALUES(?, 1, 0)");
    insert.Bind(1, log).Step();
  }
  return state;
}

void SaveLogState(Database& db, const std::string& log, const LogState& state) {
  Statement update(db, "UPDATE evt_log SET next_number = ?, total_bytes = ? WHERE upper = ?");
  update.Bind(1, state.next).Bind(2, state.total).Bind(3, log).Step();
}

void InsertRecord(Database& db, const std::string& log, int64_t number,
                  const std::vector<uint8_t>& record) {
  Statement insert(db, "INSERT INTO evt_record(log, number, data) VALUES(?, ?, ?)");
  insert.Bind(1, log).Bind(2, number).BindBlob(3, record.data(), record.size()).Step();
}

// Appends a record to the log `upper` (its upper-case name) of `machine`, making room by
// removing the oldest records when the log would grow past `max_size` bytes. One write
// transaction, so writers in several processes get distinct numbers and lose nothing.
[[nodiscard]] Result AppendRecord(Machine& machine, const std::u16string& upper, uint32_t max_size,
                                  EventRecordFields fields, uint32_t* number) {
  const std::string log = Utf16ToUtf8(upper);
  try {
    Database& db = machine.db();
    Transaction t(db, Transaction::kWrite);
    LogState state = OpenLogState(db, log);
    fields.record_number = static_cast<uint32_t>(state.next);
    const std::vector<uint8_t> record = BuildEventRecord(fields);
    if (record.size() > max_size) return kErrorLogFileFull;

    if (state.total + static_cast<int64_t>(record.size()) > max_size) {
      // Walk the oldest records until enough room is free, then drop them in one statement.
      const int64_t must_free = state.total + static_cast<int64_t>(record.size()) - max_size;
      int64_t freed = 0, last = 0;
      Statement s(db, "SELECT number, length(data) FROM evt_record WHERE log = ? ORDER BY number");
      s.Bind(1, log);
      while (freed < must_free && s.Step()) {
        last = s.Int(0);
        freed += s.Int(1);
      }
      Statement del(db, "DELETE FROM evt_record WHERE log = ? AND number <= ?");
      del.Bind(1, log).Bind(2, last).Step();
      state.total -= freed;
    }

    InsertRecord(db, log, state.next, record);
    state.next += 1;
    state.total += static_cast<int64_t>(record.size());
    SaveLogState(db, log, state);
    t.Commit();
    *number = fields.record_number;
    return kSuccess;
  } catch (const DbError&) {
    return kErrorEventlogFileCorrupt;
  }
}

class EmulatedEventLogReader : public EventLogReader {
 public:
  EmulatedEventLogReader(std::shared_ptr<Machine> machine, std::u16string upper)
      : machine_(std::move(machine)), log_(Utf16ToUtf8(upper)) {}

  [[nodiscard]] Result Read(uint32_t flags, uint32_t record_number, void* buffer, uint32_t size,
                            uint32_t* bytes_read, uint32_t* bytes_needed) override;
  [[nodiscard]] Result OldestRecord(uint32_t* number) override;
  [[nodiscard]] Result NumberOfRecords(uint32_t* count) override;

 private:
  [[nodiscard]] Result CopyRecords(Statement& s, uint8_t* out, uint32_t size, uint32_t* bytes_read,
                                   uint32_t* bytes_needed);

  std::shared_ptr<Machine> machine_;
  std::string log_;
  uint32_t last_ = 0;  // the number of the last record this handle returned
  bool read_any_ = false;
};

Result EmulatedEventLogReader::Read(uint32_t flags, uint32_t record_number, void* buffer,
                                    uint32_t size, uint32_t* bytes_read, uint32_t* bytes_needed) {
  *bytes_read = 0;
  *bytes_needed = 0;
  const bool sequential = flags & kEventLogSequentialRead;
  const bool seek = flags & kEventLogSeekRead;
  const bool backwards = flags & kEventLogBackwardsRead;
  if (sequential == seek || (backwards && (flags & kEventLogForwardsRead)) || !buffer ||
      size > kMaxReadBuffer) {
    return kErrorInvalidParameter;
  }
  try {
    Database& db = machine_->db();
    Transaction t(db, Transaction::kRead);
    if (seek) {
      Statement s(db, "SELECT 1 FROM evt_record WHERE log = ? AND number = ?");
      s.Bind(1, log_).Bind(2, record_number);
      if (!s.Step()) return kErrorInvalidParameter;
    }
    // Where this read starts: the seek target itself, or the record after the last one this
    // handle returned (the oldest or newest record on a handle's first read).
    const char* sql;
    int64_t from;
    if (backwards) {
      sql = "SELECT data FROM evt_record WHERE log = ? AND number <= ? ORDER BY number DESC";
      from = seek ? int64_t{record_number} : read_any_ ? int64_t{last_} - 1 : INT64_MAX;
    } else {
      sql = "SELECT data FROM evt_record WHERE log = ? AND number >= ? ORDER BY number";
      from = seek ? int64_t{record_number} : read_any_ ? int64_t{last_} + 1 : 0;
    }
    Statement s(db, sql);
    s.Bind(1, log_).Bind(2, from);
    return CopyRecords(s, static_cast<uint8_t*>(buffer), size, bytes_read, bytes_needed);
  } catch (const DbError&) {
    return kErrorEventlogFileCorrupt;
  }
}

// Copies whole records from the rows of `s` while they fit.
Result EmulatedEventLogReader::CopyRecords(Statement& s, uint8_t* out, uint32_t size,
                                           uint32_t* bytes_read, uint32_t* bytes_needed) {
  uint32_t used = 0;
  bool any = false;
  while (s.Step()) {
    const uint8_t* data = s.BlobData(0);
    const size_t length = s.BlobSize(0);
    if (!WellFormed(data, length)) return kErrorEventlogFileCorrupt;
    if (length > size - used) {
      if (any) break;
      *bytes_needed = static_cast<uint32_t>(length);
      return kErrorInsufficientBuffer;
    }
    std::memcpy(out + used, data, length);
    used += static_cast<uint32_t>(length);
    last_ = ReadLe32(data + 8);  // RecordNumber
    any = read_any_ = true;
  }
  if (!any) return kErrorHandleEof;
  *bytes_read = used;
  return kSuccess;
}

Result EmulatedEventLogReader::OldestRecord(uint32_t* number) {
  try {
    Database& db = machine_->db();
    Transaction t(db, Transaction::kRead);
    Statement s(db, "SELECT min(number) FROM evt_record WHERE log = ?");
    s.Bind(1, log_);
    *number = s.Step() && !s.IsNull(0) ? static_cast<uint32_t>(s.Int(0)) : 0;
    return kSuccess;
  } catch (const DbError&) {
    return kErrorEventlogFileCorrupt;
  }
}

Result EmulatedEventLogReader::NumberOfRecords(uint32_t* count) {
  try {
    Database& db = machine_->db();
    Transaction t(db, Transaction::kRead);
    Statement s(db, "SELECT count(*) FROM evt_record WHERE log = ?");
    s.Bind(1, log_);
    *count = s.Step() ? static_cast<uint32_t>(s.Int(0)) : 0;
    return kSuccess;
  } catch (const DbError&) {
    return kErrorEventlogFileCorrupt;
  }
}

class EmulatedEventSource : public EventSource {
 public:
  EmulatedEventSource(Target target, std::u16string log, std::u16string source, Computer& computer,
                      Clock& clock)
      : target_(std::move(target)),
        log_(std::move(log)),
        source_(std::move(source)),
        computer_(computer),
        clock_(clock) {}

  [[nodiscard]] Result Report(uint16_t type, uint16_t category, uint32_t event_id,
                              const std::vector<uint8_t>& user_sid,
                              const std::vector<std::u16string>& strings,
                              const std::vector<uint8_t>& data) override {
    if (strings.size() > 0xFFFF) return kErrorInvalidParameter;
    if (Result r = CheckInsertionStrings(strings); r != kSuccess) return r;
    EventRecordFields f;
    const int64_t now = clock_.Now();
    f.time_generated = f.time_written = static_cast<uint32_t>(now);
    f.event_id = event_id;
    f.event_type = type;
    f.category = category;
    f.source = source_;
    f.computer = computer_.NetBiosName();
    f.user_sid = user_sid;
    f.strings = strings;
    f.data = data;
    // The log's size limit is read at each report, so a changed MaxSize applies at once.
    std::unique_ptr<RegKey> log_key;
    const uint32_t max_size = OpenLogKey(*target_.hklm, log_, &log_key) == kSuccess
                                  ? MaxSizeOf(*log_key)
                                  : kDefaultMaxSize;
    uint32_t number = 0;
    return AppendRecord(*target_.machine, Upcase(log_), max_size, std::move(f), &number);
  }

 private:
  Target target_;
  std::u16string log_;
  std::u16string source_;
  Computer& computer_;
  Clock& clock_;
};

}  // namespace

Result CheckInsertionStrings(const std::vector<std::u16string>& strings, size_t* index) {
  for (size_t i = 0; i < strings.size(); ++i) {
    if (strings[i].size() > kMaxInsertionStringChars) {
      if (index) *index = i;
      return kErrorInvalidParameter;
    }
  }
  return kSuccess;
}

EmulatedEventLog::EmulatedEventLog(std::shared_ptr<Machine> machine, Registry& registry,
                                   Computer& computer, Clock& clock)
    : machine_(std::move(machine)), registry_(registry), computer_(computer), clock_(clock) {}

// A log that does not exist opens the Application log instead, as OpenEventLogW does.
Result EmulatedEventLog::Open(std::u16string_view server, std::u16string_view log,
                              std::unique_ptr<EventLogReader>* out) {
  Target target;
  Result r = ResolveTarget(server, machine_, registry_, computer_, &target);
  if (r != kSuccess) return r;
  std::unique_ptr<RegKey> key;
  r = OpenLogKey(*target.hklm, log, &key);
  std::u16string name(log);
  if (r == kErrorFileNotFound) {
    name = kApplicationLog;
    r = OpenLogKey(*target.hklm, name, &key);
  }
  if (r != kSuccess) return r;
  *out = std::make_unique<EmulatedEventLogReader>(target.machine, Upcase(name));
  return kSuccess;
}

Result EmulatedEventLog::RegisterSource(std::u16string_view server, std::u16string_view source,
                                        std::unique_ptr<EventSource>* out) {
  if (source.empty()) return kErrorInvalidParameter;
  Target target;
  Result r = ResolveTarget(server, machine_, registry_, computer_, &target);
  if (r != kSuccess) return r;
  std::u16string log = LogOfSource(*target.hklm, source);
  *out = std::make_unique<EmulatedEventSource>(std::move(target), std::move(log),
                                               std::u16string(source), computer_, clock_);
  return kSuccess;
}

// Unlike ClearEventLogW on a handle of a missing log (which is the Application log's handle),
// a missing log name answers kErrorFileNotFound here rather than clearing Application.
Result EmulatedEventLog::Clear(std::u16string_view server, std::u16string_view log) {
  Target target;
  Result r = ResolveTarget(server, machine_, registry_, computer_, &target);
  if (r != kSuccess) return r;
  std::unique_ptr<RegKey> key;
  r = OpenLogKey(*target.hklm, log, &key);
  if (r != kSuccess) return r;
  const std::string upper = Utf16ToUtf8(Upcase(log));
  try {
    Database& db = target.machine->db();
    Transaction t(db, Transaction::kWrite);
    Statement(db, "DELETE FROM evt_record WHERE log = ?").Bind(1, upper).Step();
    Statement(db, "DELETE FROM evt_log WHERE upper = ?").Bind(1, upper).Step();
    t.Commit();
    return kSuccess;
  } catch (const DbError&) {
    return kErrorEventlogFileCorrupt;
  }
}

Result EmulatedEventLog::Append(std::u16string_view log, const EventRecordFields& fields,
                                uint32_t* number) {
  if (Result r = CheckInsertionStrings(fields.strings); r != kSuccess) return r;
  std::unique_ptr<RegKey> hklm, key;
  Result r = registry_.OpenRoot(RegRoot::kLocalMachine, &hklm);
  if (r != kSuccess) return r;
  r = OpenLogKey(*hklm, log, &key);
  if (r != kSuccess) return r;
  return AppendRecord(*machine_, Upcase(log), MaxSizeOf(*key), fields, number);
}

namespace {

constexpr uint64_t kMaxSizeStep = 0x10000;
constexpr uint64_t kLargestMaxSize = 0xFFFF0000;

bool Rising(const std::vector<EventRecordFields>& records) {
  for (size_t i = 0; i < records.size(); ++i) {
    if (records[i].record_number == 0) return false;
    if (i > 0 && records[i].record_number <= records[i - 1].record_number) return false;
  }
  return true;
}

bool HasRecords(Database& db, const std::string& log) {
  Statement s(db, "SELECT 1 FROM evt_record WHERE log = ? LIMIT 1");
  s.Bind(1, log);
  return s.Step();
}

}  // namespace

Result EmulatedEventLog::Import(std::u16string_view log,
                                const std::vector<EventRecordFields>& records,
                                const ImportOptions& options, ImportOutcome* outcome) {
  *outcome = ImportOutcome{};
  std::unique_ptr<RegKey> hklm, key;
  Result r = registry_.OpenRoot(RegRoot::kLocalMachine, &hklm);
  if (r != kSuccess) return r;
  r = OpenLogKey(*hklm, log, &key, options.grow ? RegAccess::kReadWrite : RegAccess::kRead);
  if (r != kSuccess) return r;
  if (options.keep_numbers && !Rising(records)) return kErrorInvalidParameter;

  // The layout does not depend on the number, so each record is laid out once and numbered
  // in place.
  std::vector<std::vector<uint8_t>> laid_out;
  laid_out.reserve(records.size());
  uint64_t bytes = 0;
  for (const auto& f : records) {
    laid_out.push_back(BuildEventRecord(f));
    bytes += laid_out.back().size();
  }

  const std::string upper = Utf16ToUtf8(Upcase(log));
  try {
    Database& db = machine_->db();
    Transaction t(db, Transaction::kWrite);
    LogState state = OpenLogState(db, upper);
    if (options.keep_numbers && HasRecords(db, upper)) return kErrorAlreadyExists;
    if (!options.keep_numbers &&
        static_cast<uint64_t>(state.next) + records.size() > uint64_t{0xFFFFFFFF} + 1) {
      return kErrorInvalidParameter;
    }
    outcome->bytes_needed = static_cast<uint64_t>(state.total) + bytes;
    outcome->max_size = MaxSizeOf(*key);
    if (outcome->bytes_needed > outcome->max_size) {
      const uint64_t grown =
          (outcome->bytes_needed + kMaxSizeStep - 1) / kMaxSizeStep * kMaxSizeStep + kMaxSizeStep;
      if (!options.grow || grown > kLargestMaxSize) return kErrorLogFileFull;
      // Written inside this transaction: a failed import leaves MaxSize as it was.
      r = SetDword(*key, u"MaxSize", static_cast<uint32_t>(grown));
      if (r != kSuccess) return r;
      outcome->max_size = static_cast<uint32_t>(grown);
      outcome->grew = true;
    }
    for (size_t i = 0; i < laid_out.size(); ++i) {
      const uint32_t number =
          options.keep_numbers ? records[i].record_number : static_cast<uint32_t>(state.next + i);
      std::memcpy(laid_out[i].data() + 8, &number, 4);  // RecordNumber
      InsertRecord(db, upper, number, laid_out[i]);
      if (i == 0) outcome->first_number = number;
      outcome->last_number = number;
    }
    if (!records.empty()) {
      state.next = int64_t{outcome->last_number} + 1;
      state.total += static_cast<int64_t>(bytes);
      SaveLogState(db, upper, state);
    }
    t.Commit();
    return kSuccess;
  } catch (const DbError&) {
    return kErrorEventlogFileCorrupt;
  }
}

Result EmulatedEventLog::Snapshot(std::u16string_view log, LogSnapshot* out) {
  *out = LogSnapshot{};
  std::unique_ptr<RegKey> hklm, key;
  Result r = registry_.OpenRoot(RegRoot::kLocalMachine, &hklm);
  if (r != kSuccess) return r;
  r = OpenLogKey(*hklm, log, &key);
  if (r != kSuccess) return r;
  if (QueryDword(*key, u"Retention", &out->retention) != kSuccess) out->retention = 0;
  const std::string upper = Utf16ToUtf8(Upcase(log));
  try {
    Database& db = machine_->db();
    Transaction t(db, Transaction::kRead);
    Statement state(db, "SELECT next_number FROM evt_log WHERE upper = ?");
    state.Bind(1, upper);
    if (state.Step()) out->next_number = static_cast<uint32_t>(state.Int(0));
    Statement s(db, "SELECT data FROM evt_record WHERE log = ? ORDER BY number");
    s.Bind(1, upper);
    while (s.Step()) {
      if (!WellFormed(s.BlobData(0), s.BlobSize(0))) return kErrorEventlogFileCorrupt;
      out->records.push_back(s.Blob(0));
    }
    return kSuccess;
  } catch (const DbError&) {
    return kErrorEventlogFileCorrupt;
  }
}

}  // namespace platform::emulated
