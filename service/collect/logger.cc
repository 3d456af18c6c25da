#include "service/collect/logger.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "platform/text.h"

namespace sentrel {
namespace {

constexpr uint32_t kSequentialForwards =
    platform::kEventLogSequentialRead | platform::kEventLogForwardsRead;
constexpr uint32_t kSeekForwards = platform::kEventLogSeekRead | platform::kEventLogForwardsRead;

// gethostname answers into a buffer of this many bytes.
constexpr size_t kHostNameBufferSize = 256;

// The Length of a record that RecordView refused, when it can still be trusted to step over the
// record: inside the bytes read, a multiple of 4 and repeated in the record's last 4 bytes.
// 0 when it cannot.
uint32_t SteppableLength(const uint8_t* record, uint32_t left) {
  if (left < kRecordHeaderSize) return 0;
  const uint32_t length = platform::ReadLe32(record);
  if (length < kRecordHeaderSize || length > left || length % 4 != 0) return 0;
  return platform::ReadLe32(record + length - 4) == length ? length : 0;
}

// The reading side of one pass over one open log: positioning, the record walk and the reads.
// nLastRecord in the configuration advances with every record passed.
class LogPass {
 public:
  LogPass(LogId log, platform::EventLogReader& reader, ServiceConfig& config,
          EventReporter& reporter, RecordHandler& handler, PassState& pass, StopSignal& stop,
          std::vector<uint8_t>& buffer, std::vector<uint8_t>& large_buffer)
      : log_(log),
        name_(LogName(log)),
        reader_(reader),
        config_(config),
        reporter_(reporter),
        handler_(handler),
        pass_(pass),
        stop_(stop),
        buffer_(buffer),
        large_buffer_(large_buffer) {}

  // Reads and walks until the end of the log, the pass's stop or the service stop.
  void Run() {
    platform::Result r = Position();
    while (r == platform::kSuccess && !Stopped()) {
      WalkChunk();
      if (Stopped()) break;
      r = ReadNext();
    }
  }

 private:
  bool Stopped() const { return pass_.stop || stop_.Requested(); }

  // Resumes after nLastRecord: a seek read at it (the record itself, processed by an earlier
  // pass, comes first and is skipped), or from the oldest record when nLastRecord is 0 or the
  // record no longer exists (the log was cleared or has wrapped).
  [[nodiscard]] platform::Result Position() {
    if (config_.last_record == 0) {
      skip_first_ = false;
      return ReadNext();
    }
    bool unreadable = false;
    platform::Result r = Read(kSeekForwards, config_.last_record, &unreadable);
    if (r == platform::kSuccess) {
      next_number_ = config_.last_record;
      return r;
    }
    if (unreadable) {
      // The record nLastRecord itself cannot be read; it was passed earlier, so go on after it.
      skip_first_ = false;
      next_number_ = config_.last_record + 1;
      seek_to_ = next_number_;
      return ReadNext();
    }
    if (config_.report_truncated_log != 0) {
      const std::u16string text = u"Couldn't read last record for " + std::u16string(name_) +
                                  u" log (state " + platform::Decimal(r) +
                                  u") - nLastRecord set to 0 to recover.";
      reporter_.ReportServiceEvent(kReportError, kEventText, text.c_str());
    }
    config_.last_record = 1;
    skip_first_ = false;  // every record from the oldest on is new
    r = ReadNext();
    if (r != platform::kSuccess && !next_number_) config_.last_record = 0;
    return r;
  }

  // The next chunk: sequential-forwards, or seek-forwards where a damaged record left the
  // position unknown. A record that cannot be read even with a buffer of its size is passed
  // over with an error event, and reading goes on after it.
  [[nodiscard]] platform::Result ReadNext() {
    for (;;) {
      const bool seek = seek_to_.has_value();
      const uint32_t number = seek ? *seek_to_ : 0;
      seek_to_.reset();
      bool unreadable = false;
      const platform::Result r =
          Read(seek ? kSeekForwards : kSequentialForwards, number, &unreadable);
      if (!unreadable) return r;
      const uint32_t passed = seek ? number : ExpectedNumber();
      if (!skip_first_) {
        Report(u"Record " + platform::Decimal(passed) + u" of the " + std::u16string(name_) +
               u" log could not be read (error " + platform::Decimal(r) +
               u") and was passed over.");
      }
      Passed(passed);
      seek_to_ = passed + 1;
      if (Stopped()) return r;
    }
  }

  // One read into the read buffer. When the next record alone is larger than the buffer, it is
  // read with a buffer of the size the log asks for; *unreadable tells that even that failed.
  [[nodiscard]] platform::Result Read(uint32_t flags, uint32_t number, bool* unreadable) {
    uint32_t read = 0, needed = 0;
    chunk_ = buffer_.data();
    chunk_size_ = 0;
    platform::Result r =
        reader_.Read(flags, number, buffer_.data(), Logger::kReadBufferSize, &read, &needed);
    if (r == platform::kErrorInsufficientBuffer && needed > Logger::kReadBufferSize) {
      large_buffer_.resize(needed);
      chunk_ = large_buffer_.data();
      r = reader_.Read(flags, number, large_buffer_.data(), needed, &read, &needed);
      *unreadable = r != platform::kSuccess;
    }
    if (r == platform::kSuccess) chunk_size_ = read;
    return r;
  }

  // Walks the records of the chunk in place and hands each to the handler, except the record
  // nLastRecord at the start of a resumed read.
  void WalkChunk() {
    uint32_t at = 0;
    while (at < chunk_size_ && !Stopped()) {
      const uint8_t* record = chunk_ + at;
      const uint32_t left = chunk_size_ - at;
      if (std::optional<RecordView> view = RecordView::Parse(record, left)) {
        if (!skip_first_) handler_.ProcessRecord(*view, left, log_, name_, pass_);
        Passed(view->record_number());
        at += view->length();
        continue;
      }
      // A damaged record. When its Length can be trusted, step over it; otherwise the records
      // behind it in this chunk cannot be found, so the next read seeks to the record after it.
      const uint32_t length = SteppableLength(record, left);
      const uint32_t number = length != 0   ? platform::ReadLe32(record + 8)
                              : skip_first_ ? config_.last_record
                                            : ExpectedNumber();
      if (!skip_first_) {
        Report(u"Record " + platform::Decimal(number) + u" of the " + std::u16string(name_) +
               u" log is damaged and was passed over.");
      }
      Passed(number);
      if (length == 0) {
        seek_to_ = number + 1;
        return;
      }
      at += length;
    }
  }

  // The record `number` counts as processed.
  void Passed(uint32_t number) {
    config_.last_record = number;
    next_number_ = number + 1;
    skip_first_ = false;
  }

  // The number of the record that comes next: the one after the last record passed, or, before
  // any, the log's oldest.
  uint32_t ExpectedNumber() {
    if (next_number_) return *next_number_;
    uint32_t oldest = 0;
    if (reader_.OldestRecord(&oldest) == platform::kSuccess && oldest != 0) return oldest;
    return config_.last_record + 1;
  }

  void Report(const std::u16string& text) {
    reporter_.ReportServiceEvent(kReportError, kEventText, text.c_str());
  }

  const LogId log_;
  const std::u16string_view name_;
  platform::EventLogReader& reader_;
  ServiceConfig& config_;
  EventReporter& reporter_;
  RecordHandler& handler_;
  PassState& pass_;
  StopSignal& stop_;
  std::vector<uint8_t>& buffer_;
  std::vector<uint8_t>& large_buffer_;

  const uint8_t* chunk_ = nullptr;
  uint32_t chunk_size_ = 0;
  bool skip_first_ = true;
  std::optional<uint32_t> next_number_;
  std::optional<uint32_t> seek_to_;
};

}  // namespace

std::u16string ReadHostName(platform::Platform& platform) {
  std::string name;
  if (platform.computer().HostName(&name) == platform::kSuccess && !name.empty()) {
    if (name.size() >= kHostNameBufferSize) name.resize(kHostNameBufferSize - 1);
    platform.debug().WriteAnsi(name + "\n");
    return platform.code_page().AnsiToWide(name);
  }
  std::u16string fallback = platform.computer().NetBiosName();
  platform.debug().Write(fallback + u"\n");
  return fallback;
}

Logger::Logger(platform::Platform& platform, ConfigStore& config, EventReporter& reporter,
               RecordHandler& handler, StopSignal& stop)
    : platform_(platform),
      config_(config),
      reporter_(reporter),
      handler_(handler),
      stop_(stop),
      buffer_(kReadBufferSize) {}

void Logger::Run() {
  TakeHostName();
  while (!stop_.Requested()) {
    RunPasses();
    // The load refuses a negative value; the built-in value before the first load is positive.
    const int32_t sleep_time = config_.config().sleep_time;
    if (!stop_.SleepFor(sleep_time > 0 ? static_cast<uint32_t>(sleep_time) : 0)) break;
  }
}

void Logger::ReportRejectedSleepTime() {
  const std::optional<uint32_t> rejected = config_.rejected_sleep_time();
  if (rejected && rejected != reported_sleep_time_) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(*rejected));
    const std::u16string text = u"nSleepTime " + platform::Decimal(*rejected) + u" (" +
                                platform::Widen(hex) + u") is out of range - the default of " +
                                platform::Decimal(kDefaultSleepTime) + u" ms is used instead.";
    reporter_.ReportServiceEvent(kReportError, kEventText, text.c_str());
  }
  reported_sleep_time_ = rejected;
}

void Logger::TakeHostName() { host_name_ = ReadHostName(platform_); }

void Logger::RunPasses() {
  std::unique_ptr<platform::RegKey> hklm, logs;
  if (platform_.registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm) !=
          platform::kSuccess ||
      hklm->OpenKey(kEventLogListKey, platform::RegAccess::kRead, &logs) != platform::kSuccess) {
    return;
  }
  std::u16string name;
  for (uint32_t index = 0; !stop_.Requested(); ++index) {
    const platform::Result r = logs->EnumKey(index, kLogNameBufferChars, &name);
    // A name too long for the buffer is no log the service reads: go on with the next one.
    if (r == platform::kErrorMoreData) continue;
    if (r != platform::kSuccess) break;
    if (std::optional<LogId> log = LogIdFromName(name)) ProcessLog(*log);
  }
}

void Logger::ProcessLog(LogId log) {
  if (!IsValidLogId(log)) return;
  const std::u16string_view name = LogName(log);
  PassState pass;
  pass.host_name = host_name_;
  pass.service_stop = &stop_;

  config_.LoadConfig(log);
  ReportRejectedSleepTime();
  std::unique_ptr<platform::EventLogReader> reader;
  if (platform_.event_log().Open(u"", name, &reader) != platform::kSuccess) {
    const std::u16string text = u"Could not open the " + std::u16string(name) + u" log!";
    reporter_.ReportServiceEvent(kReportError, kEventText, text.c_str());
    return;
  }
  LogPass(log, *reader, config_.config(), reporter_, handler_, pass, stop_, buffer_, large_buffer_)
      .Run();
  reader.reset();
  // A pass cut off by the service stop keeps no progress: its records go again after a start.
  if (!stop_.Requested()) config_.SaveProgress(log);
  handler_.FinishPass(pass);
  large_buffer_.clear();
  large_buffer_.shrink_to_fit();
}

}  // namespace sentrel
