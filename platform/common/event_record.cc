#include "platform/event_record.h"

#include <cstdio>
#include <cstring>

#include "platform/text.h"

namespace platform {
namespace {

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void AppendWide(std::vector<uint8_t>& out, std::u16string_view text) {
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  out.push_back(0);
  out.push_back(0);
}

void PadTo4(std::vector<uint8_t>& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

// Reads a NUL-terminated UTF-16 string starting at `at`, not going past `end`. Answers false when
// no terminator lies inside the bound.
bool ReadWide(const uint8_t* bytes, size_t at, size_t end, std::u16string* text, size_t* next) {
  text->clear();
  for (size_t p = at; p + 2 <= end; p += 2) {
    char16_t c = static_cast<char16_t>(bytes[p] | (bytes[p + 1] << 8));
    if (c == 0) {
      *next = p + 2;
      return true;
    }
    text->push_back(c);
  }
  return false;
}

}  // namespace

std::vector<uint8_t> BuildEventRecord(const EventRecordFields& f) {
  std::vector<uint8_t> out(sizeof(EventLogRecordHeader), 0);
  AppendWide(out, f.source);
  AppendWide(out, f.computer);
  PadTo4(out);
  const uint32_t sid_offset = static_cast<uint32_t>(out.size());
  out.insert(out.end(), f.user_sid.begin(), f.user_sid.end());
  const uint32_t string_offset = static_cast<uint32_t>(out.size());
  for (const auto& s : f.strings) AppendWide(out, s);
  const uint32_t data_offset = static_cast<uint32_t>(out.size());
  out.insert(out.end(), f.data.begin(), f.data.end());
  PadTo4(out);
  out.resize(out.size() + 4);
  const uint32_t length = static_cast<uint32_t>(out.size());

  EventLogRecordHeader h{};
  h.Length = length;
  h.Reserved = kEventLogSignature;
  h.RecordNumber = f.record_number;
  h.TimeGenerated = f.time_generated;
  h.TimeWritten = f.time_written;
  h.EventID = f.event_id;
  h.EventType = f.event_type;
  h.NumStrings = static_cast<uint16_t>(f.strings.size());
  h.EventCategory = f.category;
  h.ReservedFlags = f.reserved_flags;
  h.ClosingRecordNumber = f.closing_record_number;
  h.StringOffset = string_offset;
  h.UserSidLength = static_cast<uint32_t>(f.user_sid.size());
  h.UserSidOffset = sid_offset;
  h.DataLength = static_cast<uint32_t>(f.data.size());
  h.DataOffset = data_offset;
  std::memcpy(out.data(), &h, sizeof h);  // the host is little endian, as Windows is
  PutU32(out, length - 4, length);
  return out;
}

std::optional<EventRecordFields> ParseEventRecord(const uint8_t* bytes, size_t size) {
  EventLogRecordHeader h;
  if (size < sizeof h) return std::nullopt;
  std::memcpy(&h, bytes, sizeof h);
  if (h.Length < sizeof h || h.Length > size) return std::nullopt;
  const size_t end = h.Length;

  EventRecordFields f;
  f.record_number = h.RecordNumber;
  f.time_generated = h.TimeGenerated;
  f.time_written = h.TimeWritten;
  f.event_id = h.EventID;
  f.event_type = h.EventType;
  f.category = h.EventCategory;
  f.reserved_flags = h.ReservedFlags;
  f.closing_record_number = h.ClosingRecordNumber;
  size_t next = 0;
  if (!ReadWide(bytes, sizeof h, end, &f.source, &next)) return std::nullopt;
  if (!ReadWide(bytes, next, end, &f.computer, &next)) return std::nullopt;
  if (h.UserSidLength != 0) {
    if (h.UserSidOffset > end || h.UserSidLength > end - h.UserSidOffset) return std::nullopt;
    f.user_sid.assign(bytes + h.UserSidOffset, bytes + h.UserSidOffset + h.UserSidLength);
  }
  if (h.DataLength != 0) {
    if (h.DataOffset > end || h.DataLength > end - h.DataOffset) return std::nullopt;
    f.data.assign(bytes + h.DataOffset, bytes + h.DataOffset + h.DataLength);
  }
  size_t at = h.StringOffset;
  for (uint16_t i = 0; i < h.NumStrings; ++i) {
    std::u16string s;
    if (at > end || !ReadWide(bytes, at, end, &s, &at)) return std::nullopt;
    f.strings.push_back(std::move(s));
  }
  return f;
}

std::optional<std::vector<uint8_t>> SidFromString(std::string_view text) {
  if (text.size() < 4 || (text.substr(0, 2) != "S-" && text.substr(0, 2) != "s-")) {
    return std::nullopt;
  }
  std::vector<uint64_t> parts;
  size_t pos = 2;
  while (pos <= text.size()) {
    size_t dash = text.find('-', pos);
    if (dash == std::string_view::npos) dash = text.size();
    std::string_view part = text.substr(pos, dash - pos);
    if (part.empty() || part.size() > 20) return std::nullopt;
    uint64_t v = 0;
    if (part.size() > 2 && (part.substr(0, 2) == "0x" || part.substr(0, 2) == "0X")) {
      for (char c : part.substr(2)) {
        int d = (c >= '0' && c <= '9')   ? c - '0'
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                         : -1;
        if (d < 0) return std::nullopt;
        v = v * 16 + static_cast<uint64_t>(d);
      }
    } else {
      for (char c : part) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<uint64_t>(c - '0');
      }
    }
    parts.push_back(v);
    pos = dash + 1;
  }
  // revision, authority, then 0..15 sub-authorities
  if (parts.size() < 2 || parts.size() > 17 || parts[0] != 1) return std::nullopt;
  if (parts[1] > 0xFFFFFFFFFFFFull) return std::nullopt;
  std::vector<uint8_t> sid;
  sid.push_back(1);
  sid.push_back(static_cast<uint8_t>(parts.size() - 2));
  for (int i = 5; i >= 0; --i) sid.push_back(static_cast<uint8_t>(parts[1] >> (8 * i)));
  for (size_t i = 2; i < parts.size(); ++i) {
    if (parts[i] > 0xFFFFFFFFull) return std::nullopt;
    for (int b = 0; b < 4; ++b) sid.push_back(static_cast<uint8_t>(parts[i] >> (8 * b)));
  }
  return sid;
}

std::string SidToString(const uint8_t* sid, size_t size) {
  if (size < 8 || sid[0] != 1) return {};
  const size_t count = sid[1];
  if (size != 8 + 4 * count) return {};
  uint64_t authority = 0;
  for (int i = 0; i < 6; ++i) authority = (authority << 8) | sid[2 + i];
  std::string text = "S-1-";
  if (authority >= (1ull << 32)) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%012llX", static_cast<unsigned long long>(authority));
    text += buf;
  } else {
    text += std::to_string(authority);
  }
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = sid + 8 + 4 * i;
    const uint32_t v = ReadLe32(p);
    text += '-';
    text += std::to_string(v);
  }
  return text;
}

}  // namespace platform
