#include "service/base/record_view.h"

#include <cstring>

#include "platform/text.h"

namespace sentrel {
namespace {

// A NUL-terminated UTF-16 text at `at`, ending before `end`; false when unterminated or odd.
bool TextAt(const uint8_t* bytes, size_t at, size_t end, std::u16string_view* text, size_t* next) {
  if (at % 2 != 0 || at > end) return false;
  const char16_t* start = reinterpret_cast<const char16_t*>(bytes + at);
  const size_t max_chars = (end - at) / 2;
  for (size_t i = 0; i < max_chars; ++i) {
    if (start[i] == 0) {
      *text = std::u16string_view(start, i);
      *next = at + 2 * (i + 1);
      return true;
    }
  }
  return false;
}

}  // namespace

uint32_t RecordView::Field32(size_t at) const { return platform::ReadLe32(bytes_ + at); }

uint16_t RecordView::Field16(size_t at) const { return platform::ReadLe16(bytes_ + at); }

std::optional<RecordView> RecordView::Parse(const uint8_t* bytes, size_t available) {
  if (available < kRecordHeaderSize || reinterpret_cast<uintptr_t>(bytes) % 2 != 0) {
    return std::nullopt;
  }
  RecordView v;
  v.bytes_ = bytes;
  v.length_ = platform::ReadLe32(bytes);
  if (v.length_ < kRecordHeaderSize || v.length_ > available) return std::nullopt;
  const size_t end = v.length_;
  size_t next = 0;
  if (!TextAt(bytes, kRecordHeaderSize, end, &v.source_, &next)) return std::nullopt;
  if (!TextAt(bytes, next, end, &v.computer_, &next)) return std::nullopt;

  v.sid_length_ = platform::ReadLe32(bytes + 40);
  v.sid_offset_ = platform::ReadLe32(bytes + 44);
  if (v.sid_length_ != 0 &&
      (v.sid_offset_ > end || v.sid_length_ > end - v.sid_offset_ || v.sid_length_ < 8)) {
    return std::nullopt;
  }
  v.data_length_ = platform::ReadLe32(bytes + 48);
  v.data_offset_ = platform::ReadLe32(bytes + 52);
  if (v.data_length_ != 0 && (v.data_offset_ > end || v.data_length_ > end - v.data_offset_)) {
    return std::nullopt;
  }
  if (v.data_length_ == 0) v.data_offset_ = 0;

  const uint16_t count = v.num_strings();
  size_t at = platform::ReadLe32(bytes + 36);
  v.strings_.reserve(count);
  for (uint16_t i = 0; i < count; ++i) {
    std::u16string_view s;
    if (!TextAt(bytes, at, end, &s, &at)) return std::nullopt;
    v.strings_.push_back(s);
  }
  return v;
}

}  // namespace sentrel
