// A read-only view of one event record in the read buffer, in the EVENTLOGRECORD layout. The
// record is processed in place; Parse checks every length, offset and count first, so nothing
// that uses a view can read outside the record, however damaged the bytes are.
#ifndef SERVICE_BASE_RECORD_VIEW_H_
#define SERVICE_BASE_RECORD_VIEW_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace sentrel {

class RecordView {
 public:
  // `available` is how many bytes of the buffer lie from `bytes` on. Answers nothing when the
  // record's Length is below the fixed part or beyond `available`, when an offset or count
  // points outside the record, or when a text is not terminated inside it.
  static std::optional<RecordView> Parse(const uint8_t* bytes, size_t available);

  uint32_t length() const { return length_; }
  uint32_t record_number() const { return Field32(8); }
  uint32_t time_generated() const { return Field32(12); }
  uint32_t time_written() const { return Field32(16); }
  uint32_t event_id() const { return Field32(20); }
  uint16_t event_type() const { return Field16(24); }
  uint16_t num_strings() const { return Field16(26); }
  uint16_t category() const { return Field16(28); }

  std::u16string_view source() const { return source_; }
  std::u16string_view computer() const { return computer_; }
  // The user SID; null with length 0 when the record has none.
  const uint8_t* sid() const { return sid_length_ ? bytes_ + sid_offset_ : nullptr; }
  uint32_t sid_length() const { return sid_length_; }
  // The insertion strings, each NUL-terminated in the record (data() + size() is a NUL).
  const std::vector<std::u16string_view>& strings() const { return strings_; }
  const uint8_t* data() const { return bytes_ + data_offset_; }
  uint32_t data_length() const { return data_length_; }
  const uint8_t* bytes() const { return bytes_; }

 private:
  uint32_t Field32(size_t at) const;
  uint16_t Field16(size_t at) const;

  const uint8_t* bytes_ = nullptr;
  uint32_t length_ = 0;
  std::u16string_view source_;
  std::u16string_view computer_;
  uint32_t sid_offset_ = 0;
  uint32_t sid_length_ = 0;
  uint32_t data_offset_ = 0;
  uint32_t data_length_ = 0;
  std::vector<std::u16string_view> strings_;
};

// The record's fixed-part length, the least a record can be.
inline constexpr uint32_t kRecordHeaderSize = 56;

}  // namespace sentrel

#endif  // SERVICE_BASE_RECORD_VIEW_H_
