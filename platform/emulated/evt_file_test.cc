#include "platform/emulated/evt_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "platform/text.h"

namespace platform::emulated {
namespace {

std::vector<uint8_t> ReadTestFile(const char* name) {
  const auto path = std::filesystem::path(__FILE__).parent_path() / "testdata" / "evt" / name;
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// ---- the System log of a real computer ----------------------------------------------------

class RealLogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    bytes_ = new std::vector<uint8_t>(ReadTestFile("SysEvent.Evt"));
    file_ = new EvtFile;
    EvtFileError error;
    ASSERT_TRUE(ReadEvtFile(bytes_->data(), bytes_->size(), file_, &error))
        << error.offset << ": " << error.message;
  }
  static void TearDownTestSuite() {
    delete bytes_;
    delete file_;
  }
  const EventRecordFields& Record(uint32_t number) {
    return file_->records.at(number - file_->records.front().record_number);
  }
  uint32_t OffsetOf(uint32_t number) {
    return file_->offsets.at(number - file_->records.front().record_number);
  }

  static std::vector<uint8_t>* bytes_;
  static EvtFile* file_;
};
std::vector<uint8_t>* RealLogTest::bytes_ = nullptr;
EvtFile* RealLogTest::file_ = nullptr;

TEST_F(RealLogTest, TheEndOfFileRecordWinsOverTheDirtyHeader) {
  ASSERT_EQ(bytes_->size(), 2031616u);
  EXPECT_EQ(file_->header.Flags, kEvtFlagDirty | kEvtFlagWrapped | kEvtFlagArchiveSet);
  EXPECT_EQ(file_->header.CurrentRecordNumber, 7430u);
  EXPECT_EQ(file_->eof.CurrentRecordNumber, 7455u);
  EXPECT_EQ(file_->eof.OldestRecordNumber, 1392u);
  EXPECT_TRUE(file_->HeaderStale());
  EXPECT_TRUE(file_->wrapped);
  ASSERT_EQ(file_->records.size(), 6063u);
  EXPECT_EQ(file_->records.front().record_number, 1392u);
  EXPECT_EQ(file_->records.back().record_number, 7454u);
  // The header was last written when record 7430 was still to come: it stands where the header
  // put the end, and the 25 records from there on exist only for a reader of the end record.
  EXPECT_EQ(OffsetOf(7430), file_->header.EndOffset);
}

TEST_F(RealLogTest, FirstAndLastRecordsAsStored) {
  const EventRecordFields& first = Record(1392);
  EXPECT_EQ(OffsetOf(1392), 0x1E0130u);
  EXPECT_EQ(first.source, u"LSASRV");
  EXPECT_EQ(first.computer, u"WKS-WINXP32BIT");
  EXPECT_EQ(first.event_id, 0x8000A001u);
  EXPECT_EQ(first.event_type, kEventWarning);
  EXPECT_EQ(first.category, 3);
  EXPECT_EQ(first.time_generated, 1311748907u);
  ASSERT_EQ(first.strings.size(), 2u);
  EXPECT_EQ(first.strings[0], u"cifs/CONTROLLER");
  EXPECT_NE(first.strings[1].find(u"authenticated you.\r\n (0xc0000388)\""), std::u16string::npos);

  const EventRecordFields& last = Record(7454);
  EXPECT_EQ(last.source, u"Service Control Manager");
  EXPECT_EQ(last.event_id, 0x40001B7Cu);
  EXPECT_EQ(last.event_type, kEventInformation);
  EXPECT_EQ(last.time_generated, 1333774681u);
  EXPECT_EQ(last.strings,
            (std::vector<std::u16string>{u"Google Update Service (gupdate)", u"stopped"}));
}

TEST_F(RealLogTest, TheRecordSplitAcrossTheWrapIsWhole) {
  // 240 of its 344 bytes lie at the end of the file, the rest right after the header.
  EXPECT_EQ(OffsetOf(1572), 0x1EFF10u);
  EXPECT_GT(OffsetOf(1572) + 344u, bytes_->size());
  EXPECT_EQ(OffsetOf(1573), kEvtHeaderSize + 344 - (bytes_->size() - 0x1EFF10));
  const EventRecordFields& split = Record(1572);
  EXPECT_EQ(split.source, u"LSASRV");
  EXPECT_EQ(split.time_generated, 1312045186u);
  ASSERT_EQ(split.strings.size(), 3u);
  EXPECT_EQ(split.strings[1], u"Kerberos");
  EXPECT_NE(split.strings[2].find(u"logon request.\r\n (0xc000005e)\""), std::u16string::npos);
}

TEST_F(RealLogTest, DataSidsEmptyStringsAndReservedFieldsAsStored) {
  const EventRecordFields& vmdebug = Record(2342);
  EXPECT_EQ(vmdebug.source, u"vmdebug");
  EXPECT_EQ(vmdebug.time_generated, 1314032609u);
  EXPECT_EQ(vmdebug.time_written, 1314032653u);  // written 44 s after it happened
  EXPECT_EQ(vmdebug.strings, (std::vector<std::u16string>{u"", u"7.3.3.3"}));
  ASSERT_EQ(vmdebug.data.size(), 40u);
  EXPECT_EQ(vmdebug.data[4], 0x02);
  EXPECT_EQ(vmdebug.data[20], 0x85);
  EXPECT_EQ(vmdebug.reserved_flags, 0x4F);
  EXPECT_EQ(vmdebug.closing_record_number, 5439575u);

  const EventRecordFields& control = Record(2314);
  EXPECT_EQ(SidToString(control.user_sid.data(), control.user_sid.size()), "S-1-5-18");
  EXPECT_EQ(control.event_id, 0x40001B7Bu);

  size_t with_data = 0, with_sid = 0, scm = 0;
  for (const auto& r : file_->records) {
    with_data += !r.data.empty();
    with_sid += !r.user_sid.empty();
    scm += r.source == u"Service Control Manager";
  }
  EXPECT_EQ(with_data, 811u);
  EXPECT_EQ(with_sid, 1723u);
  EXPECT_EQ(scm, 3933u);
}

// ---- files laid out here --------------------------------------------------------------------

EventRecordFields Fields(uint32_t number, size_t text_length = 10) {
  EventRecordFields f;
  f.record_number = number;
  f.time_generated = 1300000000 + number;
  f.time_written = f.time_generated + 1;
  f.event_id = 0x40000000 | number;
  f.event_type = kEventWarning;
  f.category = 2;
  f.source = u"Src";
  f.computer = u"PC";
  f.user_sid = *SidFromString("S-1-5-21-7-8-9-500");
  f.strings = {std::u16string(text_length, u'a' + number % 26), u""};
  f.data = {1, 2, static_cast<uint8_t>(number)};
  return f;
}

void Put32(std::vector<uint8_t>& bytes, uint32_t at, uint32_t v) { std::memcpy(&bytes[at], &v, 4); }
uint32_t Get32(const std::vector<uint8_t>& bytes, uint32_t at) { return ReadLe32(&bytes[at]); }

// A log file as the event log service leaves it: `file_size` bytes, the oldest record at
// `start`, each record after the one before it (going on after the header at the end of the
// file), the end-of-file record after the newest, the header in step with it. Space no record
// covers is `fill`.
struct RingFile {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> offsets;
  uint32_t eof = 0;

  RingFile(uint32_t file_size, uint32_t start, const std::vector<EventRecordFields>& records,
           uint8_t fill = 0)
      : bytes(file_size, fill) {
    uint32_t at = start;
    for (const auto& f : records) {
      offsets.push_back(at);
      at = Put(at, BuildEventRecord(f));
    }
    eof = at;
    const uint32_t first = records.empty() ? 0 : records.front().record_number;
    const uint32_t next = records.empty() ? 1 : records.back().record_number + 1;
    const uint32_t eof_fields[10] = {0x28,  0x11111111, 0x22222222, 0x33333333, 0x44444444,
                                     start, eof,        next,       first,      0x28};
    Put(eof, std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(eof_fields),
                                  reinterpret_cast<const uint8_t*>(eof_fields) + 40));
    const uint32_t header[12] = {0x30,  kEventLogSignature, 1, 1, start, eof, next,
                                 first, file_size,          0, 0, 0x30};
    std::memcpy(bytes.data(), header, sizeof header);
  }

  // Writes `piece` at `at`, going on after the header at the end of the file; answers where it
  // ends.
  uint32_t Put(uint32_t at, const std::vector<uint8_t>& piece) {
    for (uint8_t b : piece) {
      bytes[at++] = b;
      if (at == bytes.size()) at = kEvtHeaderSize;
    }
    return at;
  }

  bool Read(EvtFile* file, EvtFileError* error = nullptr) const {
    EvtFileError ignored;
    return ReadEvtFile(bytes.data(), bytes.size(), file, error ? error : &ignored);
  }
};

std::vector<EventRecordFields> Numbered(uint32_t first, uint32_t count) {
  std::vector<EventRecordFields> records;
  for (uint32_t n = first; n < first + count; ++n) records.push_back(Fields(n, n % 13));
  return records;
}

void ExpectSameRecords(const std::vector<EventRecordFields>& got,
                       const std::vector<EventRecordFields>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    // Laid out the same way, the records are the same bytes exactly when every field is equal.
    EXPECT_EQ(BuildEventRecord(got[i]), BuildEventRecord(want[i])) << "record " << i;
  }
}

TEST(EvtFileTest, ARecordSplitAnywhereAcrossTheWrapReadsWhole) {
  const std::vector<EventRecordFields> records = Numbered(40, 6);
  const uint32_t first_length = static_cast<uint32_t>(BuildEventRecord(records[0]).size());
  const uint32_t size = 0x30 + 1024;
  // The first record ends 4, 8, ... bytes past the end of the file: its trailing length, its
  // data, its strings and its fixed part in turn lie after the wrap.
  for (uint32_t past = 4; past < first_length; past += 4) {
    SCOPED_TRACE(past);
    const RingFile ring(size, size - first_length + past, records);
    EvtFile file;
    EvtFileError error;
    ASSERT_TRUE(ring.Read(&file, &error)) << error.offset << ": " << error.message;
    ExpectSameRecords(file.records, records);
    EXPECT_EQ(file.offsets, ring.offsets);
    EXPECT_TRUE(file.wrapped);
    EXPECT_FALSE(file.HeaderStale());
  }
}

TEST(EvtFileTest, ADirtyHeaderIsOverruledAndStaleBytesAreLeftOut) {
  // An older log filled the file first: its records stay behind the end-of-file record.
  const RingFile old_log(0x30 + 2048, 0x30, Numbered(1, 20));
  RingFile ring(0x30 + 2048, 0x130, Numbered(31, 8));
  const uint32_t stale_from = ring.eof + 0x28;
  std::copy(old_log.bytes.begin() + stale_from, old_log.bytes.end(),
            ring.bytes.begin() + stale_from);
  std::copy(old_log.bytes.begin() + 0x30, old_log.bytes.begin() + 0x130, ring.bytes.begin() + 0x30);
  // The header as it was three records ago, marked dirty.
  Put32(ring.bytes, 20, ring.offsets[5]);
  Put32(ring.bytes, 24, 36);
  Put32(ring.bytes, 36, kEvtFlagDirty);

  EvtFile file;
  EvtFileError error;
  ASSERT_TRUE(ring.Read(&file, &error)) << error.offset << ": " << error.message;
  ExpectSameRecords(file.records, Numbered(31, 8));
  EXPECT_TRUE(file.HeaderStale());
  EXPECT_EQ(file.header.CurrentRecordNumber, 36u);
  EXPECT_FALSE(file.wrapped);
}

TEST(EvtFileTest, AnOlderEndOfFileRecordLeftInUnusedSpaceLosesToTheNewest) {
  RingFile ring(0x30 + 4096, 0x30, Numbered(1, 10));
  const RingFile older(0x30 + 4096, 0x30, Numbered(1, 4));
  // Records 5 to 10 overwrote that end-of-file record; a copy of it survives further on.
  const uint32_t copy_at = ring.eof + 0x100;
  std::vector<uint8_t> stale_eof(older.bytes.begin() + older.eof,
                                 older.bytes.begin() + older.eof + 40);
  Put32(stale_eof, 24, copy_at);  // EndRecord: its own offset, as a real one carries
  std::copy(stale_eof.begin(), stale_eof.end(), ring.bytes.begin() + copy_at);
  EvtFile file;
  ASSERT_TRUE(ring.Read(&file));
  EXPECT_EQ(file.eof_offset, ring.eof);
  EXPECT_EQ(file.records.size(), 10u);
}

TEST(EvtFileTest, PaddingAtTheEndOfTheDataAreaIsSkipped) {
  // The two oldest records lie before the last 32 bytes of the file, which the service padded
  // instead of splitting the next record; that one and the newer ones start at the top.
  const std::vector<EventRecordFields> records = Numbered(7, 5);
  const uint32_t size = 0x30 + 1024;
  RingFile ring(size, 0x30, {records.begin() + 2, records.end()});
  const std::vector<uint8_t> oldest = BuildEventRecord(records[0]);
  const std::vector<uint8_t> second = BuildEventRecord(records[1]);
  const uint32_t start = size - 32 - static_cast<uint32_t>(oldest.size() + second.size());
  ring.Put(ring.Put(start, oldest), second);
  for (uint32_t at = size - 32; at < size; at += 4) Put32(ring.bytes, at, 0x27);
  Put32(ring.bytes, 16, start);             // header StartOffset
  Put32(ring.bytes, 28, 7);                 // header OldestRecordNumber
  Put32(ring.bytes, ring.eof + 20, start);  // end-of-file BeginRecord
  Put32(ring.bytes, ring.eof + 32, 7);      // end-of-file OldestRecordNumber
  EvtFile file;
  EvtFileError error;
  ASSERT_TRUE(ring.Read(&file, &error)) << error.offset << ": " << error.message;
  ExpectSameRecords(file.records, records);
  EXPECT_TRUE(file.wrapped);
  EXPECT_FALSE(file.HeaderStale());
}

TEST(EvtFileTest, BackupFileIsCleanAndReadsBackTheSame) {
  const std::vector<EventRecordFields> records = Numbered(100, 12);
  std::vector<std::vector<uint8_t>> laid_out;
  for (const auto& f : records) laid_out.push_back(BuildEventRecord(f));
  const std::vector<uint8_t> bytes = WriteEvtFile(laid_out, 112, 604800);
  EvtFile file;
  EvtFileError error;
  ASSERT_TRUE(ReadEvtFile(bytes.data(), bytes.size(), &file, &error)) << error.message;
  ExpectSameRecords(file.records, records);
  EXPECT_FALSE(file.HeaderStale());
  EXPECT_FALSE(file.wrapped);
  EXPECT_EQ(file.header.Flags, 0u);
  EXPECT_EQ(file.header.MaxSize, bytes.size());
  EXPECT_EQ(file.header.Retention, 604800u);
  EXPECT_EQ(file.header.OldestRecordNumber, 100u);
  EXPECT_EQ(file.eof.CurrentRecordNumber, 112u);

  const std::vector<uint8_t> empty = WriteEvtFile({}, 1, 0);
  ASSERT_TRUE(ReadEvtFile(empty.data(), empty.size(), &file, &error)) << error.message;
  EXPECT_TRUE(file.records.empty());
  EXPECT_EQ(file.eof.BeginRecord, file.eof_offset);
  EXPECT_EQ(file.header.OldestRecordNumber, 0u);
}

// Each kind of damage, made to a good wrapped file: refused, at the offset where it lies.
TEST(EvtFileTest, DamageIsRefusedWithTheOffsetWhereItLies) {
  const uint32_t size = 0x30 + 2048;
  const std::vector<EventRecordFields> records = Numbered(1, 9);
  const uint32_t third = 2;  // index of a record that lies whole before the wrap
  const RingFile good(size, size - 600, records);
  ASSERT_LT(good.offsets[third], good.offsets[third + 1]);
  const uint32_t at = good.offsets[third];
  const uint32_t length = Get32(good.bytes, at);

  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
    uint64_t offset;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"wrong signature", [](auto& b) { b[4] = 'X'; }, 4, "signature"},
      {"wrong version", [](auto& b) { Put32(b, 8, 2); }, 8, "version 2.1"},
      {"header size", [](auto& b) { Put32(b, 44, 0x20); }, 0, "not 48"},
      {"truncated inside the header", [](auto& b) { b.resize(40); }, 0, "too few"},
      {"truncated before the end record", [&](auto& b) { b.resize(good.eof); }, good.eof,
       "no end-of-file record"},
      {"no end record", [&](auto& b) { Put32(b, good.eof + 4, 0); }, good.eof,
       "no end-of-file record"},
      {"record length zero would loop", [&](auto& b) { Put32(b, at, 0); }, at,
       "record length of 0"},
      {"record length not a multiple of 4", [&](auto& b) { Put32(b, at, length + 2); }, at,
       "multiple of 4"},
      {"record length past the end record", [&](auto& b) { Put32(b, at, 0x7FFFFFF0); }, at,
       "run past the end-of-file record"},
      {"record signature", [&](auto& b) { b[at + 5] = 0; }, at, "signature"},
      {"trailing length disagrees", [&](auto& b) { Put32(b, at + length - 4, length - 4); }, at,
       "at its end"},
      {"strings outside", [&](auto& b) { Put32(b, at + 36, length); }, at, "do not fit"},
      {"SID outside", [&](auto& b) { Put32(b, at + 40, length); }, at, "do not fit"},
      {"data into the fixed part", [&](auto& b) { Put32(b, at + 52, 8); }, at, "do not fit"},
      {"a string without its end",
       [&](auto& b) {
         // One string, running up to the trailing length, whose zero bytes would end it.
         b[at + 26] = 1;
         b[at + 27] = 0;
         const uint32_t strings = Get32(b, at + 36);
         for (uint32_t p = at + strings; p < at + length - 4; ++p) b[p] = 'z';
       },
       at, "do not fit"},
      {"a gap in the numbers", [&](auto& b) { Put32(b, at + 8, 77); }, at,
       "record 77 follows record 2"},
      {"oldest number disagrees", [&](auto& b) { Put32(b, good.eof + 32, 5); }, good.offsets[0],
       "names 5"},
      {"next number disagrees", [&](auto& b) { Put32(b, good.eof + 28, 99); }, good.eof,
       "names 99 as the next"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = good.bytes;
    c.damage(bytes);
    EvtFile file;
    EvtFileError error;
    ASSERT_FALSE(ReadEvtFile(bytes.data(), bytes.size(), &file, &error));
    EXPECT_EQ(error.offset, c.offset) << error.message;
    EXPECT_NE(error.message.find(c.says), std::string::npos) << error.message;
  }
}

}  // namespace
}  // namespace platform::emulated
