// Classic event log files (.evt), as the event log service keeps a log on disk and as
// BackupEventLog writes it:
//
//   header            48 bytes at offset 0 ("LfLe", version 1.1, offsets, record numbers, flags)
//   data area         from offset 48 to the end of the file, used as a ring: the records, oldest
//                     first, then the end-of-file record; a record that reaches the end of the file
//                     goes on right after the header
//   end-of-file record 40 bytes after the newest record: where the oldest record starts, where it
//                     stands itself, the next and the oldest record number
//
// The event log service updates the header only when it closes the file cleanly; a file taken from
// a computer that stopped (its header marked dirty) has an out-of-date header. The end-of-file
// record is rewritten with every record, so the reader trusts it, not the header, and checks it by
// walking every record from the oldest to it. Bytes outside that walk (records overwritten in part,
// space left at the wrap) are not part of the log.
#ifndef PLATFORM_EMULATED_EVT_FILE_H_
#define PLATFORM_EMULATED_EVT_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/event_record.h"

namespace platform::emulated {

struct EvtFileHeader {
  uint32_t HeaderSize;  // kEvtHeaderSize
  uint32_t Signature;   // kEventLogSignature
  uint32_t MajorVersion;
  uint32_t MinorVersion;
  uint32_t StartOffset;          // the oldest record
  uint32_t EndOffset;            // the end-of-file record
  uint32_t CurrentRecordNumber;  // the number the next record gets
  uint32_t OldestRecordNumber;   // 0 for an empty log
  uint32_t MaxSize;
  uint32_t Flags;
  uint32_t Retention;
  uint32_t EndHeaderSize;  // kEvtHeaderSize
};
static_assert(sizeof(EvtFileHeader) == 48);

struct EvtEofRecord {
  uint32_t RecordSizeBeginning;  // kEvtEofSize
  uint32_t One;                  // 0x11111111
  uint32_t Two;                  // 0x22222222
  uint32_t Three;                // 0x33333333
  uint32_t Four;                 // 0x44444444
  uint32_t BeginRecord;          // the oldest record; this record's own offset when empty
  uint32_t EndRecord;            // this record's own offset
  uint32_t CurrentRecordNumber;
  uint32_t OldestRecordNumber;
  uint32_t RecordSizeEnd;  // kEvtEofSize
};
static_assert(sizeof(EvtEofRecord) == 40);

inline constexpr uint32_t kEvtHeaderSize = 0x30;
inline constexpr uint32_t kEvtEofSize = 0x28;
// Header flags.
inline constexpr uint32_t kEvtFlagDirty = 0x1;
inline constexpr uint32_t kEvtFlagWrapped = 0x2;
inline constexpr uint32_t kEvtFlagLogFull = 0x4;
inline constexpr uint32_t kEvtFlagArchiveSet = 0x8;

// What a file holds.
struct EvtFile {
  EvtFileHeader header{};
  EvtEofRecord eof{};
  uint32_t eof_offset = 0;
  std::vector<EventRecordFields> records;  // oldest first, numbers one after another
  std::vector<uint32_t> offsets;           // where each record starts in the file
  bool wrapped = false;                    // some record lies past the wrap (or across it)

  // Whether the header disagrees with the end-of-file record (a file not closed cleanly).
  bool HeaderStale() const;
};

struct EvtFileError {
  uint64_t offset = 0;  // the file offset the problem was found at
  std::string message;
};

// Reads a whole file. Answers false with *error for anything that is not a consistent log: a
// short file, a wrong signature or version, no end-of-file record, a record whose lengths
// disagree, point outside it or past the end-of-file record, record numbers that do not follow on.
// Never reads outside `bytes`, and ends on any input.
bool ReadEvtFile(const uint8_t* bytes, size_t size, EvtFile* out, EvtFileError* error);

// Lays out a file as a backup of a log: the records (EVENTLOGRECORD bytes, oldest first) right
// after the header, then the end-of-file record; the header clean and in step with it. MaxSize
// is the file's size. `next_number` is the number the log would give its next record.
std::vector<uint8_t> WriteEvtFile(const std::vector<std::vector<uint8_t>>& records,
                                  uint32_t next_number, uint32_t retention);

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_EVT_FILE_H_
