#include "platform/emulated/evt_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/text.h"

namespace platform::emulated {
namespace {

constexpr uint32_t kEofOne = 0x11111111;
constexpr uint32_t kEofTwo = 0x22222222;
constexpr uint32_t kEofThree = 0x33333333;
constexpr uint32_t kEofFour = 0x44444444;
// What the event log service fills the end of the data area with when it starts a record at the
// beginning of the ring instead of splitting it.
constexpr uint32_t kPaddingDword = 0x00000027;
// The fixed part, two empty names and the trailing length.
constexpr uint32_t kMinRecordLength = sizeof(EventLogRecordHeader) + 8;

std::string Hex(uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
  return text;
}

bool Fail(EvtFileError* error, uint64_t offset, std::string message) {
  error->offset = offset;
  error->message = std::move(message);
  return false;
}

// The data area of a file seen as a ring: offsets run from kEvtHeaderSize to the file's size and
// go on at kEvtHeaderSize.
class Ring {
 public:
  Ring(const uint8_t* bytes, uint32_t size)
      : bytes_(bytes), end_(size), area_(size - kEvtHeaderSize) {}

  uint32_t area() const { return area_; }

  // The offset `n` bytes after `at`.
  uint32_t Advance(uint32_t at, uint32_t n) const {
    const uint64_t from_start = uint64_t{at} - kEvtHeaderSize + n;
    return static_cast<uint32_t>(kEvtHeaderSize + from_start % area_);
  }

  // How many bytes lie from `from` up to `to`, going forwards round the ring.
  uint32_t Distance(uint32_t from, uint32_t to) const {
    return to >= from ? to - from : area_ - (from - to);
  }

  // Copies `n` bytes (at most the ring's size) starting at `at`.
  void Copy(uint32_t at, uint32_t n, void* out) const {
    uint8_t* dest = static_cast<uint8_t*>(out);
    while (n > 0) {
      const uint32_t take = std::min(n, end_ - at);
      std::memcpy(dest, bytes_ + at, take);
      dest += take;
      n -= take;
      at = Advance(at, take);
    }
  }

  uint32_t U32(uint32_t at) const {
    uint32_t v;
    Copy(at, 4, &v);
    return v;
  }

  // Whether everything from `at` to the end of the file is padding.
  bool PaddingToEnd(uint32_t at) const {
    if ((end_ - at) % 4 != 0) return false;
    for (uint32_t p = at; p < end_; p += 4) {
      if (ReadLe32(bytes_ + p) != kPaddingDword) return false;
    }
    return true;
  }

 private:
  const uint8_t* bytes_;
  uint32_t end_;
  uint32_t area_;
};

// An end-of-file record at `at`: its sizes and magic numbers, its own offset in EndRecord and a
// BeginRecord inside the data area.
std::optional<EvtEofRecord> EofAt(const Ring& ring, uint32_t at, uint32_t file_size) {
  if (ring.U32(at) != kEvtEofSize || ring.U32(ring.Advance(at, 4)) != kEofOne) return std::nullopt;
  EvtEofRecord eof;
  ring.Copy(at, sizeof eof, &eof);
  if (eof.Two != kEofTwo || eof.Three != kEofThree || eof.Four != kEofFour ||
      eof.RecordSizeEnd != kEvtEofSize || eof.EndRecord != at || eof.BeginRecord < kEvtHeaderSize ||
      eof.BeginRecord >= file_size) {
    return std::nullopt;
  }
  return eof;
}

// The end-of-file record with the highest next record number: an older one can survive in space
// that newer records did not reach.
bool FindEof(const Ring& ring, uint32_t file_size, EvtFile* out) {
  bool found = false;
  for (uint64_t offset = kEvtHeaderSize; offset + 4 <= file_size; offset += 4) {
    const uint32_t at = static_cast<uint32_t>(offset);
    const std::optional<EvtEofRecord> eof = EofAt(ring, at, file_size);
    if (eof && (!found || eof->CurrentRecordNumber > out->eof.CurrentRecordNumber)) {
      out->eof = *eof;
      out->eof_offset = at;
      found = true;
    }
  }
  return found;
}

// The parts of a record that the header's offsets and lengths describe must lie between the fixed
// part and the trailing length.
bool PartsInside(const EventLogRecordHeader& h) {
  const uint64_t first = sizeof(EventLogRecordHeader);
  const uint64_t last = h.Length - 4;
  auto inside = [&](uint64_t offset, uint64_t length) {
    return offset >= first && offset + length <= last;
  };
  return (h.NumStrings == 0 || inside(h.StringOffset, 0)) &&
         (h.UserSidLength == 0 || inside(h.UserSidOffset, h.UserSidLength)) &&
         (h.DataLength == 0 || inside(h.DataOffset, h.DataLength));
}

// The names and the strings must end before the trailing length: a terminator found in it would
// take the length's zero bytes for text.
bool TextsInside(const EventLogRecordHeader& h, const EventRecordFields& f) {
  const uint64_t last = h.Length - 4;
  const uint64_t names_end =
      sizeof(EventLogRecordHeader) + 2 * (f.source.size() + 1) + 2 * (f.computer.size() + 1);
  uint64_t strings_end = h.StringOffset;
  for (const auto& s : f.strings) strings_end += 2 * (s.size() + 1);
  return names_end <= last && (f.strings.empty() || strings_end <= last);
}

// Walks the records from the oldest to the end-of-file record.
bool WalkRecords(const Ring& ring, uint32_t file_size, EvtFile* out, EvtFileError* error) {
  uint32_t at = out->eof.BeginRecord;
  uint32_t left = ring.Distance(at, out->eof_offset);
  const std::string eof_text = "the end-of-file record at " + Hex(out->eof_offset);
  std::vector<uint8_t> record;
  while (left > 0) {
    if (ring.PaddingToEnd(at)) {
      const uint32_t skip = file_size - at;
      if (skip > left) return Fail(error, at, "padding runs past " + eof_text);
      left -= skip;
      at = kEvtHeaderSize;
      out->wrapped = true;
      continue;
    }
    if (left < kMinRecordLength) {
      return Fail(error, at,
                  std::to_string(left) + " bytes before " + eof_text + " are too few for a record");
    }
    const uint32_t length = ring.U32(at);
    if (length < kMinRecordLength || length % 4 != 0) {
      return Fail(error, at,
                  "a record length of " + std::to_string(length) +
                      " bytes (a record takes a multiple of 4, at least " +
                      std::to_string(kMinRecordLength) + ")");
    }
    if (length > left) {
      return Fail(error, at,
                  "a record of " + std::to_string(length) + " bytes would run past " + eof_text);
    }
    record.resize(length);
    ring.Copy(at, length, record.data());
    EventLogRecordHeader h;
    std::memcpy(&h, record.data(), sizeof h);
    const uint32_t trailer = ReadLe32(record.data() + length - 4);
    if (h.Reserved != kEventLogSignature) {
      return Fail(error, at, "no \"LfLe\" signature where a record should start");
    }
    const std::string which = "record " + std::to_string(h.RecordNumber);
    if (trailer != length) {
      return Fail(error, at,
                  which + " gives its length as " + std::to_string(length) + " at its start and " +
                      std::to_string(trailer) + " at its end");
    }
    std::optional<EventRecordFields> fields;
    if (PartsInside(h)) fields = ParseEventRecord(record.data(), length);
    if (!fields || !TextsInside(h, *fields)) {
      return Fail(error, at,
                  which + ": its names, strings, SID or data do not fit inside its " +
                      std::to_string(length) + " bytes");
    }
    if (h.RecordNumber == 0) return Fail(error, at, "a record numbered 0 (numbers start at 1)");
    if (out->records.empty() && h.RecordNumber != out->eof.OldestRecordNumber) {
      return Fail(error, at,
                  "the oldest record is number " + std::to_string(h.RecordNumber) + ", but " +
                      eof_text + " names " + std::to_string(out->eof.OldestRecordNumber));
    }
    if (!out->records.empty() &&
        h.RecordNumber != uint64_t{out->records.back().record_number} + 1) {
      return Fail(error, at,
                  which + " follows record " + std::to_string(out->records.back().record_number));
    }
    if (uint64_t{at} + length >= file_size) out->wrapped = true;
    out->records.push_back(std::move(*fields));
    out->offsets.push_back(at);
    at = ring.Advance(at, length);
    left -= length;
  }
  if (!out->records.empty() &&
      out->eof.CurrentRecordNumber != uint64_t{out->records.back().record_number} + 1) {
    return Fail(error, out->eof_offset,
                eof_text + " names " + std::to_string(out->eof.CurrentRecordNumber) +
                    " as the next record number, but the newest record is " +
                    std::to_string(out->records.back().record_number));
  }
  return true;
}

void PutBytes(std::vector<uint8_t>& out, const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  out.insert(out.end(), p, p + size);
}

}  // namespace

bool EvtFile::HeaderStale() const {
  return header.StartOffset != eof.BeginRecord || header.EndOffset != eof_offset ||
         header.CurrentRecordNumber != eof.CurrentRecordNumber ||
         header.OldestRecordNumber != eof.OldestRecordNumber;
}

bool ReadEvtFile(const uint8_t* bytes, size_t size, EvtFile* out, EvtFileError* error) {
  *out = EvtFile{};
  if (size < kEvtHeaderSize) {
    return Fail(error, 0,
                "the file has " + std::to_string(size) + " bytes, too few for a log header (" +
                    std::to_string(kEvtHeaderSize) + ")");
  }
  if (size > 0xFFFFFFFFu) return Fail(error, 0, "the file is larger than 4 GB");
  const uint32_t file_size = static_cast<uint32_t>(size);
  EvtFileHeader& h = out->header;
  std::memcpy(&h, bytes, sizeof h);
  if (h.Signature != kEventLogSignature) {
    return Fail(error, 4, "no \"LfLe\" signature: not a classic event log file");
  }
  if (h.HeaderSize != kEvtHeaderSize || h.EndHeaderSize != kEvtHeaderSize) {
    return Fail(error, 0,
                "the header gives its size as " + std::to_string(h.HeaderSize) + " and " +
                    std::to_string(h.EndHeaderSize) + " bytes, not " +
                    std::to_string(kEvtHeaderSize));
  }
  if (h.MajorVersion != 1 || h.MinorVersion != 1) {
    return Fail(error, 8,
                "format version " + std::to_string(h.MajorVersion) + "." +
                    std::to_string(h.MinorVersion) + " (only 1.1 is known)");
  }
  if (file_size < kEvtHeaderSize + kEvtEofSize) {
    return Fail(error, file_size, "the file ends before an end-of-file record could follow");
  }
  const Ring ring(bytes, file_size);
  if (!FindEof(ring, file_size, out)) {
    return Fail(error, h.EndOffset,
                "no end-of-file record anywhere in the file (the header places it here): the "
                "file is truncated or damaged");
  }
  return WalkRecords(ring, file_size, out, error);
}

std::vector<uint8_t> WriteEvtFile(const std::vector<std::vector<uint8_t>>& records,
                                  uint32_t next_number, uint32_t retention) {
  uint64_t records_size = 0;
  for (const auto& r : records) records_size += r.size();
  const uint32_t eof_offset = static_cast<uint32_t>(kEvtHeaderSize + records_size);
  uint32_t oldest = 0;
  if (!records.empty()) oldest = ReadLe32(records.front().data() + 8);  // RecordNumber

  EvtFileHeader h{};
  h.HeaderSize = kEvtHeaderSize;
  h.Signature = kEventLogSignature;
  h.MajorVersion = 1;
  h.MinorVersion = 1;
  h.StartOffset = kEvtHeaderSize;
  h.EndOffset = eof_offset;
  h.CurrentRecordNumber = next_number;
  h.OldestRecordNumber = oldest;
  h.MaxSize = eof_offset + kEvtEofSize;
  h.Flags = 0;
  h.Retention = retention;
  h.EndHeaderSize = kEvtHeaderSize;

  EvtEofRecord eof{};
  eof.RecordSizeBeginning = kEvtEofSize;
  eof.One = kEofOne;
  eof.Two = kEofTwo;
  eof.Three = kEofThree;
  eof.Four = kEofFour;
  eof.BeginRecord = kEvtHeaderSize;
  eof.EndRecord = eof_offset;
  eof.CurrentRecordNumber = next_number;
  eof.OldestRecordNumber = oldest;
  eof.RecordSizeEnd = kEvtEofSize;

  std::vector<uint8_t> out;
  out.reserve(h.MaxSize);
  PutBytes(out, &h, sizeof h);
  for (const auto& r : records) PutBytes(out, r.data(), r.size());
  PutBytes(out, &eof, sizeof eof);
  return out;
}

}  // namespace platform::emulated
