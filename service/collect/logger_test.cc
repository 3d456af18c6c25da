#include "service/collect/logger.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "tests/support/test_platform.h"

namespace sentrel {
namespace {

using platform::RegKey;
using platform::Result;

// What the handler saw of one record.
struct Seen {
  std::u16string log;
  uint32_t number;
  std::vector<std::u16string> strings;
};

class RecordingHandler : public RecordHandler {
 public:
  void ProcessRecord(const RecordView& record, uint32_t bytes_left, LogId log,
                     std::u16string_view log_name, PassState& pass) override {
    EXPECT_GE(bytes_left, record.length());
    EXPECT_EQ(log_name, LogName(log));
    EXPECT_NE(pass.service_stop, nullptr);
    Seen s{std::u16string(log_name), record.record_number(), {}};
    for (auto text : record.strings()) s.strings.emplace_back(text);
    seen.push_back(std::move(s));
    if (on_record) on_record(record, pass);
  }
  void FinishPass(PassState& pass) override { finished.push_back(pass.stop); }

  std::vector<uint32_t> Numbers(std::u16string_view log) const {
    std::vector<uint32_t> out;
    for (const auto& s : seen) {
      if (s.log == log) out.push_back(s.number);
    }
    return out;
  }

  std::vector<Seen> seen;
  std::vector<bool> finished;  // one entry per finished pass: its stop flag
  std::function<void(const RecordView&, PassState&)> on_record;
};

class RecordingReporter : public EventReporter {
 public:
  void ReportServiceEvent(uint16_t type, uint32_t event_id, const char16_t* text1,
                          const char16_t* text2, const char16_t* text3) override {
    EXPECT_EQ(type, kReportError);
    EXPECT_EQ(event_id, kEventText);
    texts.emplace_back(text1 ? text1 : u"");
  }
  std::vector<std::u16string> texts;
};

// An event log in front of the emulated one: refuses to open chosen logs and damages chosen
// records in the bytes a read returns, as a corrupt log file would.
class DamagingEventLog : public platform::EventLog {
 public:
  using Damage = std::function<void(uint8_t* record, uint32_t number)>;

  explicit DamagingEventLog(platform::EventLog& base) : base_(base) {}

  Result Open(std::u16string_view server, std::u16string_view log,
              std::unique_ptr<platform::EventLogReader>* out) override {
    if (refuse.count(std::u16string(log))) return platform::kErrorAccessDenied;
    std::unique_ptr<platform::EventLogReader> reader;
    const Result r = base_.Open(server, log, &reader);
    if (r == platform::kSuccess) *out = std::make_unique<Reader>(std::move(reader), this);
    return r;
  }
  Result RegisterSource(std::u16string_view server, std::u16string_view source,
                        std::unique_ptr<platform::EventSource>* out) override {
    return base_.RegisterSource(server, source, out);
  }
  Result Clear(std::u16string_view server, std::u16string_view log) override {
    return base_.Clear(server, log);
  }

  std::set<std::u16string> refuse;
  Damage damage;
  uint32_t max_read = 0x7FFFF;  // larger reads fail as ReadEventLogW's do

 private:
  class Reader : public platform::EventLogReader {
   public:
    Reader(std::unique_ptr<platform::EventLogReader> base, DamagingEventLog* owner)
        : base_(std::move(base)), owner_(owner) {}
    Result Read(uint32_t flags, uint32_t number, void* buffer, uint32_t size, uint32_t* read,
                uint32_t* needed) override {
      if (size > owner_->max_read) return platform::kErrorInvalidParameter;
      const Result r = base_->Read(flags, number, buffer, size, read, needed);
      if (r != platform::kSuccess || !owner_->damage) return r;
      auto* bytes = static_cast<uint8_t*>(buffer);
      for (uint32_t at = 0; at < *read;) {
        const uint32_t length = platform::ReadLe32(bytes + at);
        owner_->damage(bytes + at, platform::ReadLe32(bytes + at + 8));
        at += length;
      }
      return r;
    }
    Result OldestRecord(uint32_t* n) override { return base_->OldestRecord(n); }
    Result NumberOfRecords(uint32_t* n) override { return base_->NumberOfRecords(n); }

   private:
    std::unique_ptr<platform::EventLogReader> base_;
    DamagingEventLog* owner_;
  };

  platform::EventLog& base_;
};

// A registry in front of the emulated one that counts every change made through it.
class CountingRegistry : public platform::Registry {
 public:
  explicit CountingRegistry(platform::Registry& base) : base_(base) {}
  Result OpenRoot(platform::RegRoot root, std::unique_ptr<RegKey>* out) override {
    std::unique_ptr<RegKey> key;
    const Result r = base_.OpenRoot(root, &key);
    if (r == platform::kSuccess) *out = std::make_unique<Key>(std::move(key), &writes);
    return r;
  }
  Result Connect(std::u16string_view computer, platform::RegRoot root,
                 std::unique_ptr<RegKey>* out) override {
    return base_.Connect(computer, root, out);
  }
  int writes = 0;

 private:
  class Key : public RegKey {
   public:
    Key(std::unique_ptr<RegKey> base, int* writes) : base_(std::move(base)), writes_(writes) {}
    Result OpenKey(std::u16string_view path, platform::RegAccess access,
                   std::unique_ptr<RegKey>* out) override {
      return Wrap(base_->OpenKey(path, access, out), out);
    }
    Result CreateKey(std::u16string_view path, std::unique_ptr<RegKey>* out,
                     bool* created) override {
      bool is_new = false;
      const Result r = base_->CreateKey(path, out, &is_new);
      if (created) *created = is_new;
      *writes_ += is_new;
      return Wrap(r, out);
    }
    Result DeleteKey(std::u16string_view path) override {
      ++*writes_;
      return base_->DeleteKey(path);
    }
    Result EnumKey(uint32_t i, size_t max, std::u16string* name) override {
      return base_->EnumKey(i, max, name);
    }
    Result EnumValue(uint32_t i, std::u16string* name, uint32_t* type,
                     std::vector<uint8_t>* data) override {
      return base_->EnumValue(i, name, type, data);
    }
    Result QueryValue(std::u16string_view name, uint32_t* type, void* data,
                      uint32_t* size) override {
      return base_->QueryValue(name, type, data, size);
    }
    Result QueryValueAnsi(std::u16string_view name, uint32_t* type, void* data,
                          uint32_t* size) override {
      return base_->QueryValueAnsi(name, type, data, size);
    }
    Result SetValue(std::u16string_view name, uint32_t type, const void* data,
                    uint32_t size) override {
      ++*writes_;
      return base_->SetValue(name, type, data, size);
    }
    Result SetValueAnsi(std::u16string_view name, uint32_t type, std::string_view text) override {
      ++*writes_;
      return base_->SetValueAnsi(name, type, text);
    }
    Result DeleteValue(std::u16string_view name) override {
      ++*writes_;
      return base_->DeleteValue(name);
    }

   private:
    Result Wrap(Result r, std::unique_ptr<RegKey>* out) {
      if (r == platform::kSuccess) *out = std::make_unique<Key>(std::move(*out), writes_);
      return r;
    }
    std::unique_ptr<RegKey> base_;
    int* writes_;
  };
  platform::Registry& base_;
};

class LoggerTest : public ::testing::Test {
 protected:
  explicit LoggerTest(
      platform::emulated::ComputerOptions options = testsupport::TempComputer::DefaultOptions())
      : computer_(options) {
    overlay_.event_log_ = &event_log_;
    overlay_.registry_ = &registry_;
    overlay_.debug_ = &debug_;
    logger_.TakeHostName();
  }

  // Appends a record with the given insertion strings; returns its number.
  uint32_t Append(std::u16string_view log, std::vector<std::u16string> strings = {u"text"}) {
    platform::EventRecordFields f;
    f.event_id = 7036;
    f.source = u"Test Source";
    f.computer = u"SRV1";
    f.time_generated = f.time_written = 1052140806;
    f.strings = std::move(strings);
    uint32_t number = 0;
    EXPECT_EQ(computer_.platform().emulated_event_log().Append(log, f, &number),
              platform::kSuccess);
    return number;
  }
  void AppendMany(std::u16string_view log, int n) {
    for (int i = 0; i < n; ++i) Append(log, {u"record " + std::u16string(1, u'a' + i % 26)});
  }

  std::unique_ptr<RegKey> Hklm() {
    std::unique_ptr<RegKey> hklm;
    EXPECT_EQ(computer_.platform().registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm),
              platform::kSuccess);
    return hklm;
  }
  std::unique_ptr<RegKey> LogConfigKey(std::u16string_view log) {
    std::unique_ptr<RegKey> key;
    EXPECT_EQ(Hklm()->CreateKey(std::u16string(kParametersKey) + u"\\" + std::u16string(log), &key),
              platform::kSuccess);
    return key;
  }
  void SetLogValue(std::u16string_view log, std::u16string_view name, uint32_t value) {
    EXPECT_EQ(0u, platform::SetDword(*LogConfigKey(log), name, value));
  }
  // nLastRecord of a log as stored; nothing when the value (or its key) does not exist.
  std::optional<uint32_t> StoredLastRecord(std::u16string_view log) {
    std::unique_ptr<RegKey> key;
    if (Hklm()->OpenKey(std::u16string(kParametersKey) + u"\\" + std::u16string(log),
                        platform::RegAccess::kRead, &key) != platform::kSuccess) {
      return std::nullopt;
    }
    uint32_t v = 0;
    if (platform::QueryDword(*key, u"nLastRecord", &v) != platform::kSuccess) return std::nullopt;
    return v;
  }
  void SetMaxSize(std::u16string_view log, uint32_t bytes) {
    std::unique_ptr<RegKey> key;
    ASSERT_EQ(Hklm()->OpenKey(std::u16string(kEventLogListKey) + u"\\" + std::u16string(log),
                              platform::RegAccess::kReadWrite, &key),
              platform::kSuccess);
    EXPECT_EQ(0u, platform::SetDword(*key, u"MaxSize", bytes));
  }

  testsupport::TempComputer computer_;
  DamagingEventLog event_log_{computer_.platform().event_log()};
  CountingRegistry registry_{computer_.platform().registry()};
  testsupport::CapturingDebugOutput debug_;
  platform::OverlayPlatform overlay_{computer_.platform()};
  ConfigStore config_{overlay_};
  RecordingReporter reporter_;
  RecordingHandler handler_;
  StopSignal stop_;
  Logger logger_{overlay_, config_, reporter_, handler_, stop_};
};

using Numbers = std::vector<uint32_t>;

TEST_F(LoggerTest, FirstPassForwardsEveryLogFromItsOldestRecordAndNextPassResumes) {
  AppendMany(u"System", 3);
  AppendMany(u"Application", 2);
  AppendMany(u"File Replication Service", 1);
  logger_.RunPasses();

  // Every present log gets one pass, in the platform's (alphabetical) order.
  ASSERT_EQ(handler_.seen.size(), 6u);
  EXPECT_EQ(handler_.seen[0].log, u"Application");
  EXPECT_EQ(handler_.seen[2].log, u"File Replication Service");
  EXPECT_EQ(handler_.seen[3].log, u"System");
  EXPECT_EQ(handler_.seen[3].strings, std::vector<std::u16string>{u"record a"});
  EXPECT_EQ(handler_.Numbers(u"System"), (Numbers{1, 2, 3}));
  EXPECT_EQ(handler_.finished.size(), 6u);
  EXPECT_EQ(StoredLastRecord(u"System"), 3u);
  EXPECT_EQ(StoredLastRecord(u"Application"), 2u);
  EXPECT_EQ(StoredLastRecord(u"Security"), std::nullopt);  // empty log: nothing written
  EXPECT_TRUE(reporter_.texts.empty());

  handler_.seen.clear();
  AppendMany(u"System", 2);
  logger_.RunPasses();
  EXPECT_EQ(handler_.Numbers(u"System"), (Numbers{4, 5}));
  EXPECT_EQ(handler_.seen.size(), 2u);
  EXPECT_EQ(StoredLastRecord(u"System"), 5u);
}

TEST_F(LoggerTest, APassWithNothingNewWritesNothing) {
  AppendMany(u"System", 4);
  logger_.RunPasses();
  ASSERT_EQ(StoredLastRecord(u"System"), 4u);
  handler_.seen.clear();
  registry_.writes = 0;
  logger_.RunPasses();
  EXPECT_TRUE(handler_.seen.empty());
  EXPECT_EQ(registry_.writes, 0);
}

TEST_F(LoggerTest, ClearedLogIsForwardedFromItsOldestRecordWithOrWithoutReport) {
  for (bool report : {true, false}) {
    SCOPED_TRACE(report ? "with report" : "without report");
    ASSERT_EQ(computer_.platform().event_log().Clear(u"", u"System"), platform::kSuccess);
    AppendMany(u"System", 5);
    SetLogValue(u"System", u"nLastRecord", 0);
    SetLogValue(u"System", u"bReportTruncatedLog", report ? 1 : 0);
    logger_.ProcessLog(LogId::kSystem);
    ASSERT_EQ(StoredLastRecord(u"System"), 5u);

    ASSERT_EQ(computer_.platform().event_log().Clear(u"", u"System"), platform::kSuccess);
    AppendMany(u"System", 2);
    handler_.seen.clear();
    reporter_.texts.clear();
    logger_.ProcessLog(LogId::kSystem);
    EXPECT_EQ(handler_.Numbers(u"System"), (Numbers{1, 2}));
    EXPECT_EQ(StoredLastRecord(u"System"), 2u);
    if (report) {
      EXPECT_EQ(reporter_.texts,
                std::vector<std::u16string>{u"Couldn't read last record for System log (state 87) "
                                            u"- nLastRecord set to 0 to recover."});
    } else {
      EXPECT_TRUE(reporter_.texts.empty());
    }
  }
}

TEST_F(LoggerTest, WrappedLogIsForwardedFromItsOldestRecord) {
  AppendMany(u"Application", 2);
  logger_.ProcessLog(LogId::kApplication);
  ASSERT_EQ(StoredLastRecord(u"Application"), 2u);
  // The log keeps only its newest records: 1 and 2 are overwritten by 3 to 12.
  SetMaxSize(u"Application", 700);
  AppendMany(u"Application", 10);
  uint32_t oldest = 0;
  std::unique_ptr<platform::EventLogReader> reader;
  ASSERT_EQ(computer_.platform().event_log().Open(u"", u"Application", &reader),
            platform::kSuccess);
  ASSERT_EQ(reader->OldestRecord(&oldest), platform::kSuccess);
  ASSERT_GT(oldest, 3u);

  handler_.seen.clear();
  logger_.ProcessLog(LogId::kApplication);
  Numbers expected;
  for (uint32_t n = oldest; n <= 12; ++n) expected.push_back(n);
  EXPECT_EQ(handler_.Numbers(u"Application"), expected);
  EXPECT_EQ(StoredLastRecord(u"Application"), 12u);
  ASSERT_EQ(reporter_.texts.size(), 1u);
  EXPECT_NE(reporter_.texts[0].find(u"Application log (state 87)"), std::u16string::npos);
}

TEST_F(LoggerTest, ALogThatCannotBeOpenedIsReportedAndKeepsItsProgress) {
  AppendMany(u"Security", 2);
  SetLogValue(u"Security", u"nLastRecord", 1);
  event_log_.refuse.insert(u"Security");
  logger_.ProcessLog(LogId::kSecurity);
  EXPECT_TRUE(handler_.seen.empty());
  EXPECT_TRUE(handler_.finished.empty());
  EXPECT_EQ(reporter_.texts, std::vector<std::u16string>{u"Could not open the Security log!"});
  EXPECT_EQ(StoredLastRecord(u"Security"), 1u);
}

TEST_F(LoggerTest, AFatalTransportErrorEndsThePassAfterTheCurrentRecord) {
  AppendMany(u"System", 4);
  handler_.on_record = [](const RecordView& record, PassState& pass) {
    if (record.record_number() == 2) pass.stop = true;
  };
  logger_.ProcessLog(LogId::kSystem);
  EXPECT_EQ(handler_.Numbers(u"System"), (Numbers{1, 2}));
  EXPECT_EQ(StoredLastRecord(u"System"), 2u);
  EXPECT_EQ(handler_.finished, std::vector<bool>{true});

  handler_.on_record = nullptr;
  handler_.seen.clear();
  logger_.ProcessLog(LogId::kSystem);
  EXPECT_EQ(handler_.Numbers(u"System"), (Numbers{3, 4}));
}

TEST_F(LoggerTest, APassCutOffByTheServiceStopWritesNoProgress) {
  AppendMany(u"Application", 2);
  AppendMany(u"System", 1);
  logger_.ProcessLog(LogId::kApplication);
  AppendMany(u"Application", 3);
  handler_.seen.clear();
  handler_.finished.clear();
  handler_.on_record = [this](const RecordView& record, PassState&) {
    if (record.record_number() == 4) stop_.Request();
  };
  logger_.RunPasses();
  EXPECT_EQ(handler_.Numbers(u"Application"), (Numbers{3, 4}));
  EXPECT_EQ(StoredLastRecord(u"Application"), 2u);
  EXPECT_EQ(handler_.finished.size(), 1u);           // the transports are still released
  EXPECT_TRUE(handler_.Numbers(u"System").empty());  // no further log is started
}

TEST_F(LoggerTest, RunEndsAtOnceWhenStoppedDuringTheSleep) {
  AppendMany(u"Application", 1);
  std::thread thread([this] { logger_.Run(); });  // default nSleepTime: 60 s
  for (int i = 0; i < 500 && handler_.finished.size() < 6; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  stop_.Request();
  thread.join();
  EXPECT_EQ(handler_.Numbers(u"Application"), Numbers{1});
  EXPECT_EQ(StoredLastRecord(u"Application"), 1u);
}

TEST_F(LoggerTest, ANegativeSleepTimeSleepsTheDefaultAndIsReportedOnce) {
  std::unique_ptr<RegKey> params;
  ASSERT_EQ(Hklm()->CreateKey(kParametersKey, &params), platform::kSuccess);
  ASSERT_EQ(platform::SetDword(*params, u"nSleepTime", 0x80000000u), platform::kSuccess);
  std::thread thread([this] { logger_.Run(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  stop_.Request();
  thread.join();
  // One round over the six logs, then the 60 s default pause, not a busy loop.
  EXPECT_EQ(handler_.finished.size(), 6u);
  const std::vector<std::u16string> once{
      u"nSleepTime 2147483648 (0x80000000) is out of range - the default of 60000 ms is used "
      u"instead."};
  EXPECT_EQ(reporter_.texts, once);
  logger_.ProcessLog(LogId::kSystem);
  EXPECT_EQ(reporter_.texts, once);

  // (The stop is requested: further loads go through ProcessLog.) Another bad value is reported
  // again; so is the same one after a good value in between.
  ASSERT_EQ(platform::SetDword(*params, u"nSleepTime", 0xFFFFFFFFu), platform::kSuccess);
  logger_.ProcessLog(LogId::kSystem);
  ASSERT_EQ(platform::SetDword(*params, u"nSleepTime", 100), platform::kSuccess);
  logger_.ProcessLog(LogId::kSystem);
  ASSERT_EQ(platform::SetDword(*params, u"nSleepTime", 0xFFFFFFFFu), platform::kSuccess);
  logger_.ProcessLog(LogId::kSystem);
  ASSERT_EQ(reporter_.texts.size(), 3u);
  EXPECT_EQ(reporter_.texts[1], reporter_.texts[2]);
  EXPECT_NE(reporter_.texts[1].find(u"4294967295 (0xFFFFFFFF)"), std::u16string::npos);
}

// The list's subkey names are read into a buffer of 128 characters; a longer name that sorts
// before "System" must not end the enumeration there.
TEST_F(LoggerTest, ALogNameTooLongForTheNameBufferIsPassedOver) {
  std::unique_ptr<RegKey> list, odd;
  ASSERT_EQ(Hklm()->OpenKey(kEventLogListKey, platform::RegAccess::kReadWrite, &list),
            platform::kSuccess);
  ASSERT_EQ(list->CreateKey(std::u16string(128, u'Q'), &odd), platform::kSuccess);
  ASSERT_EQ(list->CreateKey(std::u16string(255, u'R'), &odd), platform::kSuccess);
  AppendMany(u"System", 2);
  logger_.RunPasses();
  EXPECT_EQ(handler_.Numbers(u"System"), (Numbers{1, 2}));
  EXPECT_EQ(handler_.finished.size(), 6u);
  EXPECT_TRUE(reporter_.texts.empty());
}

TEST_F(LoggerTest, HostNameIsTakenAndTraced) {
  EXPECT_EQ(logger_.host_name(), u"srv1");
  EXPECT_TRUE(debug_.Contains("srv1"));
}

TEST_F(LoggerTest, ARecordLargerThanTheReadBufferIsForwardedAndTheLogGoesOn) {
  SetMaxSize(u"System", 4 * 1024 * 1024);
  Append(u"System");
  std::vector<std::u16string> huge;
  for (int i = 0; i < 30; ++i) huge.push_back(std::u16string(5000, char16_t(u'A' + i)));
  const uint32_t huge_number = Append(u"System", huge);  // about 300 KB
  Append(u"System");
  logger_.ProcessLog(LogId::kSystem);
  EXPECT_EQ(handler_.Numbers(u"System"), (Numbers{1, 2, 3}));
  ASSERT_EQ(handler_.seen.size(), 3u);
  EXPECT_EQ(handler_.seen[1].strings, huge);
  EXPECT_EQ(StoredLastRecord(u"System"), 3u);

  // Resuming at the huge record (the seek read has to read it again) works as well.
  SetLogValue(u"System", u"nLastRecord", huge_number);
  handler_.seen.clear();
  logger_.ProcessLog(LogId::kSystem);
  EXPECT_EQ(handler_.Numbers(u"System"), Numbers{3});
  EXPECT_TRUE(reporter_.texts.empty());
}

TEST_F(LoggerTest, ARecordTooLargeForAnyReadIsPassedOverWithAReport) {
  SetMaxSize(u"System", 4 * 1024 * 1024);
  event_log_.max_read = 250000;
  Append(u"System");
  Append(u"System", std::vector<std::u16string>(5, std::u16string(30000, u'x')));
  Append(u"System");
  logger_.ProcessLog(LogId::kSystem);
  EXPECT_EQ(handler_.Numbers(u"System"), (Numbers{1, 3}));
  EXPECT_EQ(reporter_.texts,
            std::vector<std::u16string>{
                u"Record 2 of the System log could not be read (error 87) and was passed over."});
  EXPECT_EQ(StoredLastRecord(u"System"), 3u);
}

TEST_F(LoggerTest, ADamagedRecordIsPassedOverWithAReport) {
  AppendMany(u"System", 5);
  // An insertion string offset that points far outside the record; its Length is still sound.
  event_log_.damage = [](uint8_t* record, uint32_t number) {
    if (number == 3) {
      const uint32_t offset = 0x7FFFFFF0;
      std::memcpy(record + 36, &offset, 4);
    }
  };
  logger_.ProcessLog(LogId::kSystem);
  EXPECT_EQ(handler_.Numbers(u"System"), (Numbers{1, 2, 4, 5}));
  EXPECT_EQ(reporter_.texts, std::vector<std::u16string>{
                                 u"Record 3 of the System log is damaged and was passed over."});
  EXPECT_EQ(StoredLastRecord(u"System"), 5u);
}

TEST_F(LoggerTest, ARecordWithAnUnusableLengthIsPassedOverAndReadingGoesOnAfterIt) {
  AppendMany(u"System", 5);
  event_log_.damage = [](uint8_t* record, uint32_t number) {
    if (number == 3 || number == 5) {
      const uint32_t length = 0xFFFFFF00;
      std::memcpy(record, &length, 4);
    }
  };
  logger_.ProcessLog(LogId::kSystem);
  EXPECT_EQ(handler_.Numbers(u"System"), (Numbers{1, 2, 4}));
  EXPECT_EQ(reporter_.texts, (std::vector<std::u16string>{
                                 u"Record 3 of the System log is damaged and was passed over.",
                                 u"Record 5 of the System log is damaged and was passed over."}));
  EXPECT_EQ(StoredLastRecord(u"System"), 5u);

  // The next pass starts at the damaged record 5, passes it over silently and finds record 6.
  Append(u"System");
  handler_.seen.clear();
  reporter_.texts.clear();
  logger_.ProcessLog(LogId::kSystem);
  EXPECT_EQ(handler_.Numbers(u"System"), Numbers{6});
  EXPECT_TRUE(reporter_.texts.empty());
  EXPECT_EQ(StoredLastRecord(u"System"), 6u);
}

TEST_F(LoggerTest, DamageInTheOldestRecordOfAFirstPass) {
  AppendMany(u"Application", 3);
  event_log_.damage = [](uint8_t* record, uint32_t number) {
    if (number == 1) std::memset(record, 0xEE, 8);
  };
  logger_.ProcessLog(LogId::kApplication);
  EXPECT_EQ(handler_.Numbers(u"Application"), (Numbers{2, 3}));
  EXPECT_EQ(reporter_.texts,
            std::vector<std::u16string>{
                u"Record 1 of the Application log is damaged and was passed over."});
}

class OldComputerLoggerTest : public LoggerTest {
 protected:
  static platform::emulated::ComputerOptions Nt4() {
    auto options = testsupport::TempComputer::DefaultOptions();
    options.major_version = 4;
    return options;
  }
  OldComputerLoggerTest() : LoggerTest(Nt4()) {}
};

TEST_F(OldComputerLoggerTest, MissingLogsAreNeverMetAndANameInOtherCaseIsPassedOver) {
  // The System log's key is renamed "system": its records are not read.
  auto hklm = Hklm();
  std::unique_ptr<RegKey> list;
  ASSERT_EQ(hklm->OpenKey(kEventLogListKey, platform::RegAccess::kReadWrite, &list),
            platform::kSuccess);
  ASSERT_EQ(list->DeleteKey(u"System"), platform::kSuccess);
  std::unique_ptr<RegKey> lower;
  ASSERT_EQ(list->CreateKey(u"system", &lower), platform::kSuccess);
  AppendMany(u"system", 2);
  AppendMany(u"Security", 1);

  logger_.RunPasses();
  EXPECT_EQ(handler_.finished.size(), 2u);  // Application and Security only
  EXPECT_TRUE(handler_.Numbers(u"System").empty());
  EXPECT_EQ(handler_.Numbers(u"Security"), Numbers{1});
  EXPECT_TRUE(reporter_.texts.empty());
  EXPECT_EQ(StoredLastRecord(u"DNS Server"), std::nullopt);
}

}  // namespace
}  // namespace sentrel
