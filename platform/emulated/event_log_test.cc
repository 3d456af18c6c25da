#include "platform/emulated/event_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "platform/emulated/emulated_platform.h"
#include "platform/text.h"
#include "tests/support/child_process.h"
#include "tests/support/test_platform.h"

namespace platform::emulated {
namespace {

using testsupport::FakeClock;
using testsupport::TempComputer;

// One record laid out by hand after the documented EVENTLOGRECORD: source "Abc", computer "PC"
// (the SID then needs 2 bytes of padding to start on a 4-byte boundary), SID S-1-5-18, strings
// "x" and "yz", 3 bytes of data (3 bytes of padding), the length repeated at the end.
const std::vector<uint8_t> kHandRecord = {
    0x68, 0x00, 0x00, 0x00,  // Length = 104
    0x4C, 0x66, 0x4C, 0x65,  // Reserved = 0x654C664C
    0x07, 0x00, 0x00, 0x00,  // RecordNumber = 7
    0x86, 0x6A, 0xB6, 0x3E,  // TimeGenerated = 0x3EB66A86
    0x90, 0x6A, 0xB6, 0x3E,  // TimeWritten = 0x3EB66A90
    0x6F, 0x1B, 0x00, 0xC0,  // EventID = 0xC0001B6F
    0x01, 0x00,              // EventType = error
    0x02, 0x00,              // NumStrings = 2
    0x03, 0x00,              // EventCategory = 3
    0x00, 0x00,              // ReservedFlags
    0x00, 0x00, 0x00, 0x00,  // ClosingRecordNumber
    0x54, 0x00, 0x00, 0x00,  // StringOffset = 84
    0x0C, 0x00, 0x00, 0x00,  // UserSidLength = 12
    0x48, 0x00, 0x00, 0x00,  // UserSidOffset = 72
    0x03, 0x00, 0x00, 0x00,  // DataLength = 3
    0x5E, 0x00, 0x00, 0x00,  // DataOffset = 94
    // 56: SourceName "Abc"
    0x41, 0x00, 0x62, 0x00, 0x63, 0x00, 0x00, 0x00,
    // 64: Computername "PC", then padding to 72
    0x50, 0x00, 0x43, 0x00, 0x00, 0x00, 0x00, 0x00,
    // 72: UserSid S-1-5-18
    0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x12, 0x00, 0x00, 0x00,
    // 84: Strings "x", "yz"
    0x78, 0x00, 0x00, 0x00, 0x79, 0x00, 0x7A, 0x00, 0x00, 0x00,
    // 94: Data, then padding to 100
    0xDE, 0xAD, 0xBE, 0x00, 0x00, 0x00,
    // 100: Length again
    0x68, 0x00, 0x00, 0x00};

EventRecordFields HandRecordFields() {
  EventRecordFields f;
  f.time_generated = 0x3EB66A86;
  f.time_written = 0x3EB66A90;
  f.event_id = 0xC0001B6F;
  f.event_type = kEventError;
  f.category = 3;
  f.source = u"Abc";
  f.computer = u"PC";
  f.user_sid = *SidFromString("S-1-5-18");
  f.strings = {u"x", u"yz"};
  f.data = {0xDE, 0xAD, 0xBE};
  return f;
}

EventRecordFields Simple(uint32_t id, std::u16string text = u"text") {
  EventRecordFields f;
  f.event_id = id;
  f.source = u"Test";
  f.computer = u"SRV1";
  f.strings = {std::move(text)};
  return f;
}

uint32_t Number(const uint8_t* record) { return ReadLe32(record + 8); }

// The record numbers in one read's buffer, each checked to parse.
std::vector<uint32_t> Numbers(const std::vector<uint8_t>& buffer, uint32_t bytes) {
  std::vector<uint32_t> out;
  for (uint32_t at = 0; at < bytes;) {
    auto parsed = ParseEventRecord(buffer.data() + at, bytes - at);
    EXPECT_TRUE(parsed.has_value());
    if (!parsed) break;
    out.push_back(parsed->record_number);
    at += ReadLe32(buffer.data() + at);
  }
  return out;
}

class EventLogTest : public ::testing::Test {
 protected:
  EmulatedEventLog& log() { return computer_.platform().emulated_event_log(); }

  void AppendMany(std::u16string_view name, int count) {
    for (int i = 1; i <= count; ++i) {
      uint32_t n = 0;
      // Vary the size so that chunk boundaries fall in different places.
      ASSERT_EQ(log().Append(name, Simple(i, std::u16string(i % 7, u'a')), &n), kSuccess);
    }
  }

  std::unique_ptr<EventLogReader> OpenLog(std::u16string_view name) {
    std::unique_ptr<EventLogReader> reader;
    EXPECT_EQ(log().Open(u"", name, &reader), kSuccess);
    return reader;
  }

  // Reads until the end with the given flags (the first read may seek), collecting numbers.
  std::vector<uint32_t> ReadAll(EventLogReader& reader, uint32_t first_flags, uint32_t from,
                                uint32_t buffer_size) {
    std::vector<uint32_t> numbers;
    std::vector<uint8_t> buffer(buffer_size);
    uint32_t flags = first_flags;
    for (;;) {
      uint32_t read = 0, needed = 0;
      Result r = reader.Read(flags, from, buffer.data(), buffer_size, &read, &needed);
      if (r == kErrorHandleEof) break;
      EXPECT_EQ(r, kSuccess);
      if (r != kSuccess) break;
      for (uint32_t n : Numbers(buffer, read)) numbers.push_back(n);
      flags =
          kEventLogSequentialRead |
          (first_flags & kEventLogBackwardsRead ? kEventLogBackwardsRead : kEventLogForwardsRead);
    }
    return numbers;
  }

  void SetMaxSize(std::u16string_view name, uint32_t size) {
    std::unique_ptr<RegKey> hklm, key;
    ASSERT_EQ(computer_.platform().registry().OpenRoot(RegRoot::kLocalMachine, &hklm), kSuccess);
    ASSERT_EQ(hklm->OpenKey(std::u16string(kEventLogKey) + u"\\" + std::u16string(name),
                            RegAccess::kReadWrite, &key),
              kSuccess);
    ASSERT_EQ(SetDword(*key, u"MaxSize", size), kSuccess);
  }

  uint32_t MaxSize(std::u16string_view name) {
    std::unique_ptr<RegKey> hklm, key;
    computer_.platform().registry().OpenRoot(RegRoot::kLocalMachine, &hklm);
    uint32_t size = 0;
    if (hklm->OpenKey(std::u16string(kEventLogKey) + u"\\" + std::u16string(name), RegAccess::kRead,
                      &key) != kSuccess ||
        QueryDword(*key, u"MaxSize", &size) != kSuccess) {
      ADD_FAILURE() << "no MaxSize";
    }
    return size;
  }

  // The log's records, each parsed, with the number the next one will get.
  std::vector<EventRecordFields> Contents(std::u16string_view name, uint32_t* next = nullptr) {
    LogSnapshot snapshot;
    EXPECT_EQ(log().Snapshot(name, &snapshot), kSuccess);
    std::vector<EventRecordFields> out;
    for (const auto& r : snapshot.records) out.push_back(*ParseEventRecord(r.data(), r.size()));
    if (next) *next = snapshot.next_number;
    return out;
  }

  TempComputer computer_;
};

std::vector<uint32_t> Range(uint32_t first, uint32_t last) {
  std::vector<uint32_t> out;
  if (first <= last) {
    for (uint32_t n = first; n <= last; ++n) out.push_back(n);
  } else {
    for (uint32_t n = first; n >= last; --n) out.push_back(n);
  }
  return out;
}

TEST_F(EventLogTest, StoresAndReturnsTheDocumentedLayout) {
  EventRecordFields f = HandRecordFields();
  uint32_t number = 0;
  // Six records before it, so that its number is 7 as in the hand-made layout.
  for (int i = 0; i < 6; ++i) ASSERT_EQ(log().Append(u"System", Simple(1), &number), kSuccess);
  ASSERT_EQ(log().Append(u"System", f, &number), kSuccess);
  EXPECT_EQ(number, 7u);

  auto reader = OpenLog(u"System");
  std::vector<uint8_t> buffer(200, 0xCC);
  uint32_t read = 0, needed = 0;
  ASSERT_EQ(reader->Read(kEventLogSeekRead | kEventLogForwardsRead, 7, buffer.data(), 200, &read,
                         &needed),
            kSuccess);
  ASSERT_EQ(read, kHandRecord.size());
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + read), kHandRecord);
  EXPECT_EQ(buffer[read], 0xCC) << "wrote past the records it reported";

  auto parsed = ParseEventRecord(kHandRecord.data(), kHandRecord.size());
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->source, u"Abc");
  EXPECT_EQ(parsed->computer, u"PC");
  EXPECT_EQ(SidToString(parsed->user_sid.data(), parsed->user_sid.size()), "S-1-5-18");
  EXPECT_EQ(parsed->strings, (std::vector<std::u16string>{u"x", u"yz"}));
  EXPECT_EQ(parsed->data, (std::vector<uint8_t>{0xDE, 0xAD, 0xBE}));
  EXPECT_EQ(parsed->event_id, 0xC0001B6Fu);
}

TEST_F(EventLogTest, SequentialReadsInChunksForwardsAndBackwards) {
  AppendMany(u"Application", 40);
  // A buffer of a few records: every record comes exactly once, in order, across chunks.
  auto forwards = OpenLog(u"Application");
  EXPECT_EQ(ReadAll(*forwards, kEventLogSequentialRead | kEventLogForwardsRead, 0, 300),
            Range(1, 40));
  // At the end the handle keeps answering the end of the log, until a new record arrives.
  std::vector<uint8_t> buffer(300);
  uint32_t read = 1, needed = 1;
  EXPECT_EQ(forwards->Read(kEventLogSequentialRead | kEventLogForwardsRead, 0, buffer.data(), 300,
                           &read, &needed),
            kErrorHandleEof);
  EXPECT_EQ(read, 0u);
  uint32_t n = 0;
  ASSERT_EQ(log().Append(u"Application", Simple(41), &n), kSuccess);
  EXPECT_EQ(ReadAll(*forwards, kEventLogSequentialRead | kEventLogForwardsRead, 0, 300),
            std::vector<uint32_t>{41});

  auto backwards = OpenLog(u"Application");
  EXPECT_EQ(ReadAll(*backwards, kEventLogSequentialRead | kEventLogBackwardsRead, 0, 300),
            Range(41, 1));
}

TEST_F(EventLogTest, SeekReadsStartAtTheRecordAndSequentialReadsGoOnFromThere) {
  AppendMany(u"System", 12);
  auto reader = OpenLog(u"System");
  EXPECT_EQ(ReadAll(*reader, kEventLogSeekRead | kEventLogForwardsRead, 5, 250), Range(5, 12));
  EXPECT_EQ(ReadAll(*reader, kEventLogSeekRead | kEventLogBackwardsRead, 5, 250), Range(5, 1));

  // A seek read that fills the buffer once, then sequential reads continue after it.
  std::vector<uint8_t> buffer(4096);
  uint32_t read = 0, needed = 0;
  ASSERT_EQ(reader->Read(kEventLogSeekRead | kEventLogForwardsRead, 11, buffer.data(), 4096, &read,
                         &needed),
            kSuccess);
  EXPECT_EQ(Numbers(buffer, read), (std::vector<uint32_t>{11, 12}));
  EXPECT_EQ(reader->Read(kEventLogSequentialRead | kEventLogForwardsRead, 0, buffer.data(), 4096,
                         &read, &needed),
            kErrorHandleEof);

  // Records that the log does not hold: never written, number 0, past the newest.
  for (uint32_t missing : {0u, 13u, 1000u}) {
    EXPECT_EQ(reader->Read(kEventLogSeekRead | kEventLogForwardsRead, missing, buffer.data(), 4096,
                           &read, &needed),
              kErrorInvalidParameter)
        << missing;
  }
}

TEST_F(EventLogTest, TooSmallBufferAnswersTheSizeOfTheNextRecord) {
  uint32_t n = 0;
  ASSERT_EQ(log().Append(u"System", Simple(1, std::u16string(100, u'z')), &n), kSuccess);
  ASSERT_EQ(log().Append(u"System", Simple(2), &n), kSuccess);
  auto reader = OpenLog(u"System");
  std::vector<uint8_t> buffer(1000);
  uint32_t read = 7, needed = 0;
  EXPECT_EQ(reader->Read(kEventLogSequentialRead | kEventLogForwardsRead, 0, buffer.data(), 100,
                         &read, &needed),
            kErrorInsufficientBuffer);
  EXPECT_EQ(read, 0u);
  const uint32_t first_length = needed;
  EXPECT_GT(first_length, 200u);
  // Exactly that size reads the record (and only it); the failed read did not move the handle.
  ASSERT_EQ(reader->Read(kEventLogSequentialRead | kEventLogForwardsRead, 0, buffer.data(),
                         first_length + 10, &read, &needed),
            kSuccess);
  EXPECT_EQ(read, first_length);
  EXPECT_EQ(Number(buffer.data()), 1u);
  EXPECT_EQ(reader->Read(kEventLogSequentialRead | kEventLogForwardsRead, 0, buffer.data(), 1000,
                         &read, &needed),
            kSuccess);
  EXPECT_EQ(Number(buffer.data()), 2u);
}

TEST_F(EventLogTest, RejectsInvalidFlagsAndBuffers) {
  AppendMany(u"System", 1);
  auto reader = OpenLog(u"System");
  std::vector<uint8_t> buffer(0x80000);
  uint32_t read = 0, needed = 0;
  for (uint32_t flags :
       {0u, kEventLogForwardsRead, kEventLogSeekRead | kEventLogSequentialRead,
        kEventLogSequentialRead | kEventLogForwardsRead | kEventLogBackwardsRead}) {
    EXPECT_EQ(reader->Read(flags, 1, buffer.data(), 1000, &read, &needed), kErrorInvalidParameter)
        << flags;
  }
  EXPECT_EQ(reader->Read(kEventLogSequentialRead | kEventLogForwardsRead, 0, nullptr, 1000, &read,
                         &needed),
            kErrorInvalidParameter);
  EXPECT_EQ(reader->Read(kEventLogSequentialRead | kEventLogForwardsRead, 0, buffer.data(), 0x80000,
                         &read, &needed),
            kErrorInvalidParameter);
  EXPECT_EQ(reader->Read(kEventLogSequentialRead | kEventLogForwardsRead, 0, buffer.data(), 0x7FFFF,
                         &read, &needed),
            kSuccess);
}

TEST_F(EventLogTest, ClearRestartsNumbering) {
  AppendMany(u"System", 5);
  AppendMany(u"Application", 2);
  ASSERT_EQ(log().Clear(u"", u"system"), kSuccess);

  auto reader = OpenLog(u"System");
  uint32_t oldest = 99, count = 99;
  EXPECT_EQ(reader->OldestRecord(&oldest), kSuccess);
  EXPECT_EQ(reader->NumberOfRecords(&count), kSuccess);
  EXPECT_EQ(oldest, 0u);
  EXPECT_EQ(count, 0u);
  std::vector<uint8_t> buffer(1000);
  uint32_t read = 0, needed = 0;
  EXPECT_EQ(reader->Read(kEventLogSequentialRead | kEventLogForwardsRead, 0, buffer.data(), 1000,
                         &read, &needed),
            kErrorHandleEof);
  EXPECT_EQ(reader->Read(kEventLogSeekRead | kEventLogForwardsRead, 3, buffer.data(), 1000, &read,
                         &needed),
            kErrorInvalidParameter);

  uint32_t n = 0;
  ASSERT_EQ(log().Append(u"System", Simple(9), &n), kSuccess);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(ReadAll(*OpenLog(u"System"), kEventLogSequentialRead | kEventLogForwardsRead, 0, 1000),
            std::vector<uint32_t>{1});
  // Other logs keep their records.
  EXPECT_EQ(
      ReadAll(*OpenLog(u"Application"), kEventLogSequentialRead | kEventLogForwardsRead, 0, 1000),
      Range(1, 2));
  EXPECT_EQ(log().Clear(u"", u"No Such Log"), kErrorFileNotFound);
}

TEST_F(EventLogTest, OldestRecordsGoWhenTheLogReachesMaxSize) {
  SetMaxSize(u"System", 2000);
  const size_t record_size = BuildEventRecord(Simple(1, u"0123456789")).size();
  for (uint32_t i = 1; i <= 50; ++i) {
    uint32_t n = 0;
    ASSERT_EQ(log().Append(u"System", Simple(i, u"0123456789"), &n), kSuccess);
    ASSERT_EQ(n, i);
  }
  auto reader = OpenLog(u"System");
  uint32_t oldest = 0, count = 0;
  ASSERT_EQ(reader->OldestRecord(&oldest), kSuccess);
  ASSERT_EQ(reader->NumberOfRecords(&count), kSuccess);
  // As many of the newest records as fit, and no more.
  EXPECT_EQ(count, 2000 / record_size);
  EXPECT_EQ(oldest, 50 - count + 1);
  EXPECT_EQ(ReadAll(*reader, kEventLogSequentialRead | kEventLogForwardsRead, 0, 0x10000),
            Range(oldest, 50));
  std::vector<uint8_t> buffer(1000);
  uint32_t read = 0, needed = 0;
  EXPECT_EQ(reader->Read(kEventLogSeekRead | kEventLogForwardsRead, oldest - 1, buffer.data(), 1000,
                         &read, &needed),
            kErrorInvalidParameter);

  // A record that cannot fit even in an empty log is refused and changes nothing.
  uint32_t n = 0;
  EXPECT_EQ(log().Append(u"System", Simple(1, std::u16string(1200, u'x')), &n), kErrorLogFileFull);
  uint32_t after = 0;
  ASSERT_EQ(reader->NumberOfRecords(&after), kSuccess);
  EXPECT_EQ(after, count);
  ASSERT_EQ(log().Append(u"System", Simple(51), &n), kSuccess);
  EXPECT_EQ(n, 51u);
}

TEST_F(EventLogTest, SourcesReportToTheirLogWithComputerNameAndTime) {
  std::unique_ptr<RegKey> hklm, key;
  ASSERT_EQ(computer_.platform().registry().OpenRoot(RegRoot::kLocalMachine, &hklm), kSuccess);
  ASSERT_EQ(hklm->CreateKey(std::u16string(kEventLogKey) + u"\\System\\MyDriver", &key), kSuccess);

  FakeClock clock;
  clock.Set(1052140806);
  std::string error;
  auto machine = Machine::Open(computer_.dir(), &error);
  ASSERT_TRUE(machine) << error;
  EmulatedEventLog events(machine, computer_.platform().registry(), computer_.platform().computer(),
                          clock);

  std::unique_ptr<EventSource> driver, unknown;
  ASSERT_EQ(events.RegisterSource(u"", u"mydriver", &driver), kSuccess);
  ASSERT_EQ(events.RegisterSource(u"\\\\SRV1", u"Nobody", &unknown), kSuccess);
  const std::vector<uint8_t> sid = *SidFromString("S-1-5-32-544");
  ASSERT_EQ(driver->Report(kEventWarning, 2, 0x80000010, sid, {u"a", u"b"}, {1, 2, 3}), kSuccess);
  clock.Advance(5);
  ASSERT_EQ(unknown->Report(kEventInformation, 0, 7, {}, {}, {}), kSuccess);

  std::unique_ptr<EventLogReader> system, application;
  ASSERT_EQ(events.Open(u"", u"System", &system), kSuccess);
  ASSERT_EQ(events.Open(u"", u"Application", &application), kSuccess);
  std::vector<uint8_t> buffer(4096);
  uint32_t read = 0, needed = 0;
  ASSERT_EQ(system->Read(kEventLogSequentialRead | kEventLogForwardsRead, 0, buffer.data(), 4096,
                         &read, &needed),
            kSuccess);
  auto r = ParseEventRecord(buffer.data(), read);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->source, u"mydriver");
  EXPECT_EQ(r->computer, u"SRV1");
  EXPECT_EQ(r->time_generated, 1052140806u);
  EXPECT_EQ(r->time_written, 1052140806u);
  EXPECT_EQ(r->event_id, 0x80000010u);
  EXPECT_EQ(r->event_type, kEventWarning);
  EXPECT_EQ(r->category, 2);
  EXPECT_EQ(r->user_sid, sid);
  EXPECT_EQ(r->strings, (std::vector<std::u16string>{u"a", u"b"}));
  EXPECT_EQ(r->data, (std::vector<uint8_t>{1, 2, 3}));

  ASSERT_EQ(application->Read(kEventLogSequentialRead | kEventLogForwardsRead, 0, buffer.data(),
                              4096, &read, &needed),
            kSuccess);
  r = ParseEventRecord(buffer.data(), read);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->source, u"Nobody");
  EXPECT_EQ(r->time_generated, 1052140811u);
  EXPECT_EQ(Numbers(buffer, read).size(), 1u);

  // Another computer that is not on the network.
  std::unique_ptr<EventSource> remote;
  EXPECT_EQ(events.RegisterSource(u"\\\\NOWHERE", u"x", &remote), kErrorBadNetpath);
  std::unique_ptr<EventLogReader> remote_reader;
  EXPECT_EQ(events.Open(u"NOWHERE", u"System", &remote_reader), kErrorBadNetpath);
}

// ReportEventW refuses an insertion string of more than 31,839 characters; so do the emulated
// report and the tools' append, and neither writes anything then.
TEST_F(EventLogTest, AnInsertionStringLongerThanReportEventTakesIsRefused) {
  std::unique_ptr<EventSource> source;
  ASSERT_EQ(log().RegisterSource(u"", u"Tester", &source), kSuccess);
  const std::u16string longest(kMaxInsertionStringChars, u'x');
  const std::u16string too_long(kMaxInsertionStringChars + 1, u'x');
  EXPECT_EQ(source->Report(kEventInformation, 0, 1, {}, {u"a", too_long}, {}),
            kErrorInvalidParameter);
  EXPECT_EQ(source->Report(kEventInformation, 0, 1, {}, {longest, longest}, {}), kSuccess);

  EventRecordFields f = Simple(1);
  f.strings = {u"ok", u"ok", too_long};
  uint32_t n = 0;
  EXPECT_EQ(log().Append(u"System", f, &n), kErrorInvalidParameter);
  size_t index = 99;
  EXPECT_EQ(CheckInsertionStrings(f.strings, &index), kErrorInvalidParameter);
  EXPECT_EQ(index, 2u);
  f.strings = {longest};
  EXPECT_EQ(log().Append(u"System", f, &n), kSuccess);
  EXPECT_EQ(n, 1u);  // the refused append took no number

  std::unique_ptr<EventLogReader> application;
  ASSERT_EQ(log().Open(u"", u"Application", &application), kSuccess);
  uint32_t count = 0;
  ASSERT_EQ(application->NumberOfRecords(&count), kSuccess);
  EXPECT_EQ(count, 1u);
}

TEST_F(EventLogTest, OpeningAMissingLogOpensApplication) {
  uint32_t n = 0;
  ASSERT_EQ(log().Append(u"Application", Simple(1), &n), kSuccess);
  ASSERT_EQ(log().Append(u"System", Simple(2), &n), kSuccess);
  ASSERT_EQ(log().Append(u"System", Simple(3), &n), kSuccess);
  uint32_t count = 0;
  ASSERT_EQ(OpenLog(u"No Such Log")->NumberOfRecords(&count), kSuccess);
  EXPECT_EQ(count, 1u);
  // A source's key below a log is not a log.
  ASSERT_EQ(OpenLog(u"System\\EventLog")->NumberOfRecords(&count), kSuccess);
  EXPECT_EQ(count, 1u);
  ASSERT_EQ(OpenLog(u"sYSTEM")->NumberOfRecords(&count), kSuccess);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(log().Append(u"No Such Log", Simple(1), &n), kErrorFileNotFound);
}

TEST_F(EventLogTest, AnotherComputerIsTheSiblingDirectoryOfThatName) {
  ComputerOptions options = TempComputer::DefaultOptions();
  options.name = "SRV2";
  std::string error;
  auto srv2 = EmulatedPlatform::Create(computer_.parent() + "/SRV2", options, &error);
  ASSERT_TRUE(srv2) << error;
  uint32_t n = 0;
  ASSERT_EQ(srv2->emulated_event_log().Append(u"System", Simple(1), &n), kSuccess);

  std::unique_ptr<EventLogReader> remote;
  ASSERT_EQ(log().Open(u"\\\\srv2", u"System", &remote), kSuccess);
  uint32_t count = 0;
  ASSERT_EQ(remote->NumberOfRecords(&count), kSuccess);
  EXPECT_EQ(count, 1u);

  // A report sent to SRV2 lands there and names the computer that reported it.
  std::unique_ptr<EventSource> source;
  ASSERT_EQ(log().RegisterSource(u"SRV2", u"Remote Reporter", &source), kSuccess);
  ASSERT_EQ(source->Report(kEventError, 0, 1, {}, {}, {}), kSuccess);
  std::unique_ptr<EventLogReader> app;
  ASSERT_EQ(srv2->event_log().Open(u"", u"Application", &app), kSuccess);
  std::vector<uint8_t> buffer(1000);
  uint32_t read = 0, needed = 0;
  ASSERT_EQ(app->Read(kEventLogSequentialRead | kEventLogForwardsRead, 0, buffer.data(), 1000,
                      &read, &needed),
            kSuccess);
  auto r = ParseEventRecord(buffer.data(), read);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->source, u"Remote Reporter");
  EXPECT_EQ(r->computer, u"SRV1");
  ASSERT_EQ(OpenLog(u"Application")->NumberOfRecords(&count), kSuccess);
  EXPECT_EQ(count, 0u) << "the report also landed on the local computer";
}

TEST_F(EventLogTest, ADamagedStoredRecordIsReportedNotCopied) {
  AppendMany(u"System", 2);
  {
    Database& db = computer_.platform().machine().db();
    Transaction t(db, Transaction::kWrite);
    std::vector<uint8_t> bad = kHandRecord;
    bad[0] = 0xFF;  // Length no longer matches the stored size
    Statement(db, "UPDATE evt_record SET data = ? WHERE log = 'SYSTEM' AND number = 2")
        .BindBlob(1, bad.data(), bad.size())
        .Step();
    t.Commit();
  }
  auto reader = OpenLog(u"System");
  std::vector<uint8_t> buffer(4096);
  uint32_t read = 0, needed = 0;
  EXPECT_EQ(reader->Read(kEventLogSeekRead | kEventLogForwardsRead, 2, buffer.data(), 4096, &read,
                         &needed),
            kErrorEventlogFileCorrupt);
}

TEST_F(EventLogTest, ImportAppendsEveryFieldAsGivenUnderTheLogsNextNumbers) {
  AppendMany(u"System", 2);
  std::vector<EventRecordFields> records = {HandRecordFields(), Simple(9)};
  records[0].record_number = 500;
  records[0].reserved_flags = 0x67;
  records[0].closing_record_number = 852069;
  records[1].record_number = 501;
  ImportOutcome outcome;
  ASSERT_EQ(log().Import(u"system", records, {}, &outcome), kSuccess);
  EXPECT_EQ(outcome.first_number, 3u);
  EXPECT_EQ(outcome.last_number, 4u);
  EXPECT_FALSE(outcome.grew);

  uint32_t next = 0;
  const std::vector<EventRecordFields> stored = Contents(u"System", &next);
  ASSERT_EQ(stored.size(), 4u);
  EXPECT_EQ(next, 5u);
  records[0].record_number = 3;
  records[1].record_number = 4;
  EXPECT_EQ(BuildEventRecord(stored[2]), BuildEventRecord(records[0]));
  EXPECT_EQ(BuildEventRecord(stored[3]), BuildEventRecord(records[1]));
  uint32_t n = 0;
  ASSERT_EQ(log().Append(u"System", Simple(10), &n), kSuccess);
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(log().Import(u"No Such Log", records, {}, &outcome), kErrorFileNotFound);
}

TEST_F(EventLogTest, ImportKeepsTheFileNumbersOnlyInAnEmptyLog) {
  std::vector<EventRecordFields> records = {Simple(1), Simple(2)};
  records[0].record_number = 1392;
  records[1].record_number = 1393;
  ImportOptions keep;
  keep.keep_numbers = true;
  ImportOutcome outcome;
  ASSERT_EQ(log().Import(u"System", records, keep, &outcome), kSuccess);
  EXPECT_EQ(outcome.first_number, 1392u);
  uint32_t n = 0;
  ASSERT_EQ(log().Append(u"System", Simple(3), &n), kSuccess);
  EXPECT_EQ(n, 1394u);
  EXPECT_EQ(ReadAll(*OpenLog(u"System"), kEventLogSeekRead | kEventLogForwardsRead, 1393, 1000),
            Range(1393, 1394));

  EXPECT_EQ(log().Import(u"System", records, keep, &outcome), kErrorAlreadyExists);
  std::swap(records[0], records[1]);
  EXPECT_EQ(log().Import(u"Application", records, keep, &outcome), kErrorInvalidParameter);
  EXPECT_EQ(Contents(u"System").size(), 3u);
  EXPECT_TRUE(Contents(u"Application").empty());
}

TEST_F(EventLogTest, AnImportThatWouldDropRecordsIsRefusedUnlessMaxSizeGrows) {
  SetMaxSize(u"System", 0x10000);
  AppendMany(u"System", 3);
  std::vector<EventRecordFields> records;
  for (uint32_t i = 0; i < 100; ++i) records.push_back(Simple(i, std::u16string(480, u'x')));
  uint64_t bytes = 0;
  for (const auto& r : records) bytes += BuildEventRecord(r).size();
  uint64_t existing = 0;
  for (const auto& r : Contents(u"System")) existing += BuildEventRecord(r).size();
  ASSERT_GT(bytes, 0x10000u);

  ImportOutcome outcome;
  ASSERT_EQ(log().Import(u"System", records, {}, &outcome), kErrorLogFileFull);
  EXPECT_EQ(outcome.bytes_needed, existing + bytes);
  EXPECT_EQ(outcome.max_size, 0x10000u);
  EXPECT_EQ(Contents(u"System").size(), 3u);
  EXPECT_EQ(MaxSize(u"System"), 0x10000u);

  ImportOptions grow;
  grow.grow = true;
  ASSERT_EQ(log().Import(u"System", records, grow, &outcome), kSuccess);
  EXPECT_TRUE(outcome.grew);
  const uint64_t want = (existing + bytes + 0xFFFF) / 0x10000 * 0x10000 + 0x10000;
  EXPECT_EQ(outcome.max_size, want);
  EXPECT_EQ(MaxSize(u"System"), want);
  uint32_t next = 0;
  const auto stored = Contents(u"System", &next);
  ASSERT_EQ(stored.size(), 103u);  // the log's own three records stay
  EXPECT_EQ(stored.front().record_number, 1u);
  EXPECT_EQ(next, 104u);
}

TEST_F(EventLogTest, ASnapshotCarriesTheLogsRetention) {
  std::unique_ptr<RegKey> hklm, key;
  ASSERT_EQ(computer_.platform().registry().OpenRoot(RegRoot::kLocalMachine, &hklm), kSuccess);
  ASSERT_EQ(hklm->OpenKey(std::u16string(kEventLogKey) + u"\\System", RegAccess::kReadWrite, &key),
            kSuccess);
  ASSERT_EQ(SetDword(*key, u"Retention", 604800), kSuccess);
  LogSnapshot snapshot;
  ASSERT_EQ(log().Snapshot(u"System", &snapshot), kSuccess);
  EXPECT_EQ(snapshot.retention, 604800u);
  // A log without the value keeps its records for no set time.
  ASSERT_EQ(key->DeleteValue(u"Retention"), kSuccess);
  ASSERT_EQ(log().Snapshot(u"System", &snapshot), kSuccess);
  EXPECT_EQ(snapshot.retention, 0u);
}

TEST(EventRecordParseTest, RejectsRecordsWhoseFieldsPointOutside) {
  ASSERT_TRUE(ParseEventRecord(kHandRecord.data(), kHandRecord.size()));
  auto with = [](size_t at, uint32_t value) {
    std::vector<uint8_t> r = kHandRecord;
    std::memcpy(r.data() + at, &value, 4);
    return r;
  };
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> damaged = {
      {"Length past the buffer", with(0, 108)},
      {"Length shorter than the fixed part", with(0, 40)},
      {"StringOffset past the end", with(36, 200)},
      {"UserSidLength past the end", with(40, 40)},
      {"UserSidOffset wrapping around", with(44, 0xFFFFFFF8)},
      {"DataLength past the end", with(48, 20)},
      {"DataOffset wrapping around", with(52, 0xFFFFFFFF)},
      {"more strings than stored",
       [] {
         std::vector<uint8_t> r = kHandRecord;
         r[26] = 9;  // NumStrings
         return r;
       }()},
      {"source name without terminator",
       [] {
         std::vector<uint8_t> r = kHandRecord;
         std::memset(r.data() + 56, 0x41, 44);
         return r;
       }()},
  };
  for (const auto& [what, bytes] : damaged) {
    EXPECT_FALSE(ParseEventRecord(bytes.data(), bytes.size())) << what;
  }
  EXPECT_FALSE(ParseEventRecord(kHandRecord.data(), 55)) << "shorter than the fixed part";
  EXPECT_FALSE(ParseEventRecord(kHandRecord.data(), 100)) << "cut before its end";
}

TEST(EventLogConcurrencyTest, TwoProcessesWritingAtOnceLoseNothing) {
  TempComputer computer;
  const std::string dir = computer.dir();
  auto writer = [&dir](const char16_t* source) {
    std::string error;
    auto p = EmulatedPlatform::Open(dir, &error);
    if (!p) return 3;
    for (int i = 0; i < 500; ++i) {
      EventRecordFields f = Simple(static_cast<uint32_t>(i));
      f.source = source;
      uint32_t n = 0;
      if (p->emulated_event_log().Append(u"Application", f, &n) != kSuccess) return 4;
    }
    return 0;
  };
  const pid_t a = testsupport::StartChildProcess([&] { return writer(u"A"); });
  const pid_t b = testsupport::StartChildProcess([&] { return writer(u"B"); });
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  for (pid_t child : {a, b}) EXPECT_EQ(testsupport::WaitForChildProcess(child), 0);

  std::unique_ptr<EventLogReader> reader;
  ASSERT_EQ(computer.platform().event_log().Open(u"", u"Application", &reader), kSuccess);
  std::set<uint32_t> numbers;
  std::map<std::u16string, std::set<uint32_t>> ids;
  std::vector<uint8_t> buffer(204800);
  for (;;) {
    uint32_t read = 0, needed = 0;
    Result r = reader->Read(kEventLogSequentialRead | kEventLogForwardsRead, 0, buffer.data(),
                            204800, &read, &needed);
    if (r == kErrorHandleEof) break;
    ASSERT_EQ(r, kSuccess);
    for (uint32_t at = 0; at < read;) {
      auto record = ParseEventRecord(buffer.data() + at, read - at);
      ASSERT_TRUE(record);
      numbers.insert(record->record_number);
      ids[record->source].insert(record->event_id);
      at += ReadLe32(buffer.data() + at);
    }
  }
  EXPECT_EQ(numbers.size(), 1000u);
  EXPECT_EQ(*numbers.begin(), 1u);
  EXPECT_EQ(*numbers.rbegin(), 1000u);
  EXPECT_EQ(ids[u"A"].size(), 500u);
  EXPECT_EQ(ids[u"B"].size(), 500u);
}

}  // namespace
}  // namespace platform::emulated
