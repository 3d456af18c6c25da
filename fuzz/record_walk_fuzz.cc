// Damaged read buffers through the logger's record walk: one pass over a log whose reads return
// the fuzz input in chunks. The walk must never read outside a chunk (the sanitizers check every
// access the handler makes to a record), must hand the handler only records that lie inside the
// bytes read, and must end.
//
// Input: 4 bytes nLastRecord, then chunks, each a 2-byte prefix and its bytes (see SplitChunks).
// Each read returns the next chunk; a chunk larger than the read buffer asks for a larger one
// first, as a record too large for the buffer does.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/emulated/emulated_platform.h"
#include "platform/text.h"
#include "service/collect/logger.h"

namespace {

using platform::Result;

void Check(bool condition) {
  if (!condition) std::abort();
}

// One answer of the log: bytes, delivered only into a buffer of at least `size` bytes (the rest
// zero), or refused with kErrorInvalidParameter for any buffer larger than the read buffer.
struct Chunk {
  std::vector<uint8_t> bytes;
  uint32_t size = 0;
  bool refuse_large = false;
};

class FuzzReader : public platform::EventLogReader {
 public:
  explicit FuzzReader(std::vector<Chunk> chunks) : chunks_(std::move(chunks)) {}
  Result Read(uint32_t flags, uint32_t number, void* buffer, uint32_t size, uint32_t* read,
              uint32_t* needed) override {
    *read = 0;
    *needed = 0;
    if (next_ >= chunks_.size()) return platform::kErrorHandleEof;
    const Chunk& chunk = chunks_[next_];
    if (chunk.bytes.empty() || (chunk.refuse_large && size > sentrel::Logger::kReadBufferSize)) {
      ++next_;
      return platform::kErrorInvalidParameter;
    }
    if (chunk.size > size) {
      *needed = chunk.size;
      return platform::kErrorInsufficientBuffer;
    }
    std::memset(buffer, 0, chunk.size);
    std::memcpy(buffer, chunk.bytes.data(), chunk.bytes.size());
    *read = chunk.size;
    ++next_;
    return platform::kSuccess;
  }
  Result OldestRecord(uint32_t* number) override {
    *number = 1;
    return platform::kSuccess;
  }
  Result NumberOfRecords(uint32_t* count) override {
    *count = static_cast<uint32_t>(chunks_.size());
    return platform::kSuccess;
  }

 private:
  std::vector<Chunk> chunks_;
  size_t next_ = 0;
};

class FuzzEventLog : public platform::EventLog {
 public:
  Result Open(std::u16string_view, std::u16string_view,
              std::unique_ptr<platform::EventLogReader>* out) override {
    *out = std::make_unique<FuzzReader>(chunks);
    return platform::kSuccess;
  }
  Result RegisterSource(std::u16string_view, std::u16string_view,
                        std::unique_ptr<platform::EventSource>*) override {
    return platform::kErrorAccessDenied;
  }
  Result Clear(std::u16string_view, std::u16string_view) override {
    return platform::kErrorAccessDenied;
  }
  std::vector<Chunk> chunks;
};

// A registry that holds only nLastRecord of the log; every write fails.
class FuzzKey : public platform::RegKey {
 public:
  explicit FuzzKey(uint32_t last_record) : last_record_(last_record) {}
  Result OpenKey(std::u16string_view, platform::RegAccess,
                 std::unique_ptr<platform::RegKey>* out) override {
    *out = std::make_unique<FuzzKey>(last_record_);
    return platform::kSuccess;
  }
  Result CreateKey(std::u16string_view, std::unique_ptr<platform::RegKey>*, bool*) override {
    return platform::kErrorAccessDenied;
  }
  Result DeleteKey(std::u16string_view) override { return platform::kErrorAccessDenied; }
  Result EnumKey(uint32_t, size_t, std::u16string*) override { return platform::kErrorNoMoreItems; }
  Result EnumValue(uint32_t, std::u16string*, uint32_t*, std::vector<uint8_t>*) override {
    return platform::kErrorNoMoreItems;
  }
  Result QueryValue(std::u16string_view name, uint32_t* type, void* data, uint32_t* size) override {
    if (name != u"nLastRecord" || !size || *size < 4) return platform::kErrorFileNotFound;
    if (type) *type = platform::kRegDword;
    std::memcpy(data, &last_record_, 4);
    *size = 4;
    return platform::kSuccess;
  }
  Result QueryValueAnsi(std::u16string_view, uint32_t*, void*, uint32_t*) override {
    return platform::kErrorFileNotFound;
  }
  Result SetValue(std::u16string_view, uint32_t, const void*, uint32_t) override {
    return platform::kErrorAccessDenied;
  }
  Result SetValueAnsi(std::u16string_view, uint32_t, std::string_view) override {
    return platform::kErrorAccessDenied;
  }
  Result DeleteValue(std::u16string_view) override { return platform::kErrorAccessDenied; }

 private:
  uint32_t last_record_;
};

class FuzzRegistry : public platform::Registry {
 public:
  Result OpenRoot(platform::RegRoot, std::unique_ptr<platform::RegKey>* out) override {
    *out = std::make_unique<FuzzKey>(last_record);
    return platform::kSuccess;
  }
  Result Connect(std::u16string_view, platform::RegRoot,
                 std::unique_ptr<platform::RegKey>*) override {
    return platform::kErrorBadNetpath;
  }
  uint32_t last_record = 0;
};

class QuietDebugOutput : public platform::DebugOutput {
 public:
  bool Enabled() override { return false; }
  void Write(std::u16string_view) override {}
  void WriteAnsi(std::string_view) override {}
};

class NullReporter : public sentrel::EventReporter {
 public:
  void ReportServiceEvent(uint16_t, uint32_t, const char16_t* text1, const char16_t*,
                          const char16_t*) override {
    Check(text1 != nullptr);
    ++reports;
  }
  size_t reports = 0;
};

// Touches every part of each record it is given.
class TouchingHandler : public sentrel::RecordHandler {
 public:
  void ProcessRecord(const sentrel::RecordView& record, uint32_t bytes_left, sentrel::LogId,
                     std::u16string_view, sentrel::PassState& pass) override {
    Check(record.length() >= sentrel::kRecordHeaderSize && record.length() <= bytes_left);
    uint64_t sum = record.record_number() + record.event_id() + record.event_type();
    for (char16_t c : record.source()) sum += c;
    for (char16_t c : record.computer()) sum += c;
    for (auto text : record.strings()) {
      for (char16_t c : text) sum += c;
      sum += text.data()[text.size()];  // the terminator lies inside the record too
    }
    for (uint32_t i = 0; i < record.sid_length(); ++i) sum += record.sid()[i];
    for (uint32_t i = 0; i < record.data_length(); ++i) sum += record.data()[i];
    checksum += sum;
    ++records;
    Check(records < 100000);
  }
  void FinishPass(sentrel::PassState&) override { ++passes; }
  uint64_t checksum = 0;
  size_t records = 0;
  size_t passes = 0;
};

// The emulated computer that supplies the code page; made once per process.
platform::Platform& BasePlatform() {
  static std::unique_ptr<platform::emulated::EmulatedPlatform> base = [] {
    std::string dir = (std::filesystem::temp_directory_path() / "record-walk-fuzz-XXXXXX").string();
    Check(mkdtemp(dir.data()) != nullptr);
    platform::emulated::ComputerOptions options;
    options.seed = false;
    options.time_zone = "UTC";
    std::string error;
    auto p = platform::emulated::EmulatedPlatform::Create(dir + "/SRV1", options, &error);
    Check(p != nullptr);
    return p;
  }();
  return *base;
}

// A 2-byte prefix per chunk: the low 14 bits are its length; bit 15 makes it larger than the
// read buffer (padded with zeros), bit 14 makes the log refuse the larger buffer.
std::vector<Chunk> SplitChunks(const uint8_t* data, size_t size) {
  std::vector<Chunk> chunks;
  while (size >= 2 && chunks.size() < 64) {
    const unsigned prefix = data[0] | (unsigned{data[1]} << 8);
    size_t length = prefix & 0x3FFF;
    data += 2;
    size -= 2;
    if (length > size) length = size;
    Chunk chunk;
    chunk.bytes.assign(data, data + length);
    chunk.size = static_cast<uint32_t>(length);
    if (prefix & 0x8000) chunk.size += sentrel::Logger::kReadBufferSize;
    chunk.refuse_large = prefix & 0x4000;
    chunks.push_back(std::move(chunk));
    data += length;
    size -= length;
  }
  return chunks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  FuzzRegistry registry;
  registry.last_record = platform::ReadLe32(data);
  FuzzEventLog event_log;
  event_log.chunks = SplitChunks(data + 4, size - 4);
  QuietDebugOutput debug;
  platform::OverlayPlatform platform(BasePlatform());
  platform.registry_ = &registry;
  platform.event_log_ = &event_log;
  platform.debug_ = &debug;

  sentrel::ConfigStore config(platform);
  NullReporter reporter;
  TouchingHandler handler;
  sentrel::StopSignal stop;
  sentrel::Logger logger(platform, config, reporter, handler, stop);
  logger.ProcessLog(sentrel::LogId::kSystem);
  Check(handler.passes == 1);
  return 0;
}
