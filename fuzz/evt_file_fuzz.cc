// Damaged and hostile .evt files through the reader that ntbox evt import uses. The reader must
// never read outside the file (the sanitizers check every access), must end, and what it accepts
// must be a consistent log: records numbered one after another from the end-of-file record's
// oldest to its next number, each lying inside the file, and written out again as a backup the
// same records must come back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/emulated/evt_file.h"

namespace {

using platform::emulated::EvtFile;
using platform::emulated::EvtFileError;

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EvtFile file;
  EvtFileError error;
  if (!platform::emulated::ReadEvtFile(data, size, &file, &error)) {
    Check(!error.message.empty() && error.offset <= size + 0xFFFFFFFFull);
    return 0;
  }
  Check(file.records.size() == file.offsets.size());
  std::vector<std::vector<uint8_t>> laid_out;
  for (size_t i = 0; i < file.records.size(); ++i) {
    Check(file.offsets[i] >= platform::emulated::kEvtHeaderSize && file.offsets[i] < size);
    Check(file.records[i].record_number == uint64_t{file.eof.OldestRecordNumber} + i);
    laid_out.push_back(platform::BuildEventRecord(file.records[i]));
  }
  if (!file.records.empty()) {
    Check(file.eof.CurrentRecordNumber == uint64_t{file.records.back().record_number} + 1);
  }

  const std::vector<uint8_t> backup = platform::emulated::WriteEvtFile(
      laid_out, file.eof.CurrentRecordNumber, file.header.Retention);
  EvtFile again;
  Check(platform::emulated::ReadEvtFile(backup.data(), backup.size(), &again, &error));
  Check(!again.HeaderStale() && again.records.size() == file.records.size());
  for (size_t i = 0; i < again.records.size(); ++i) {
    Check(platform::BuildEventRecord(again.records[i]) == laid_out[i]);
  }
  return 0;
}
