// The EVENTLOGRECORD byte layout, as the event log hands records to readers:
//
//   fixed part (56 bytes, little endian, fields below)
//   SourceName   UTF-16, NUL-terminated
//   Computername UTF-16, NUL-terminated
//   UserSid      at UserSidOffset (aligned to 4 bytes), UserSidLength bytes
//   Strings      at StringOffset, NumStrings NUL-terminated UTF-16 strings one after another
//   Data         at DataOffset, DataLength bytes
//   Pad          zero bytes up to a multiple of 4
//   Length       the record length repeated in the last 4 bytes
#ifndef PLATFORM_EVENT_RECORD_H_
#define PLATFORM_EVENT_RECORD_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct EventLogRecordHeader {
  uint32_t Length;
  uint32_t Reserved;  // kEventLogSignature
  uint32_t RecordNumber;
  uint32_t TimeGenerated;  // seconds since 1970-01-01 UTC
  uint32_t TimeWritten;
  uint32_t EventID;
  uint16_t EventType;
  uint16_t NumStrings;
  uint16_t EventCategory;
  uint16_t ReservedFlags;
  uint32_t ClosingRecordNumber;
  uint32_t StringOffset;
  uint32_t UserSidLength;
  uint32_t UserSidOffset;
  uint32_t DataLength;
  uint32_t DataOffset;
};
static_assert(sizeof(EventLogRecordHeader) == 56);

inline constexpr uint32_t kEventLogSignature = 0x654C664C;  // "LfLe"

// Event types.
inline constexpr uint16_t kEventSuccess = 0x0000;
inline constexpr uint16_t kEventError = 0x0001;
inline constexpr uint16_t kEventWarning = 0x0002;
inline constexpr uint16_t kEventInformation = 0x0004;
inline constexpr uint16_t kEventAuditSuccess = 0x0008;
inline constexpr uint16_t kEventAuditFailure = 0x0010;

// Everything a record carries, as a writer supplies it.
struct EventRecordFields {
  uint32_t record_number = 0;
  uint32_t time_generated = 0;
  uint32_t time_written = 0;
  uint32_t event_id = 0;
  uint16_t event_type = kEventInformation;
  uint16_t category = 0;
  std::u16string source;
  std::u16string computer;
  std::vector<uint8_t> user_sid;  // binary SID; empty = no user
  std::vector<std::u16string> strings;
  std::vector<uint8_t> data;
  // Reserved fields: zero in what this system writes, kept as found in records read from a file.
  uint16_t reserved_flags = 0;
  uint32_t closing_record_number = 0;
};

// Lays a record out byte for byte as Windows does.
std::vector<uint8_t> BuildEventRecord(const EventRecordFields& fields);

// Reads a record back. Checks every length, offset and count against `bytes` and the record's
// own Length; answers nothing for a damaged record instead of reading outside it.
std::optional<EventRecordFields> ParseEventRecord(const uint8_t* bytes, size_t size);

// SIDs in their string form (S-1-5-18) and binary form.
std::optional<std::vector<uint8_t>> SidFromString(std::string_view text);
std::string SidToString(const uint8_t* sid, size_t size);  // empty when malformed

}  // namespace platform

#endif  // PLATFORM_EVENT_RECORD_H_
