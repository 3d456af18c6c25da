#include "tools/ntbox/evt_file_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/emulated/event_log.h"
#include "platform/emulated/evt_file.h"
#include "platform/text.h"

namespace ntbox {

const char kEvtFileUsage[] =
    "       ntbox evt import LOG FILE.evt [--keep-numbers] [--grow]\n"
    "       ntbox evt export LOG FILE.evt\n";

namespace {

using platform::Result;
using platform::Utf8ToUtf16;
using platform::emulated::EmulatedPlatform;

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

int Fail(const std::string& message) {
  std::fprintf(stderr, "ntbox: %s\n", message.c_str());
  return kExitError;
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "ntbox: %s\nusage:\n%s", message.c_str(), kEvtFileUsage);
  return kExitUsage;
}

std::string NoSuchLog(const std::string& log) {
  return "no event log named '" + log + "' on this computer";
}

std::string Offset(uint64_t offset) {
  char text[48];
  std::snprintf(text, sizeof text, "offset %llu (0x%llX)", static_cast<unsigned long long>(offset),
                static_cast<unsigned long long>(offset));
  return text;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  bytes->clear();
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
    bytes->insert(bytes->end(), chunk, chunk + n);
  const bool failed = std::ferror(f);
  std::fclose(f);
  if (failed) *error = "cannot read " + path;
  return !failed;
}

// Writes `bytes` to a temporary file beside `path` and renames it, so that a failed export
// leaves no partial file under the name asked for.
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string* error) {
  const std::string temporary = path + ".part";
  std::FILE* f = std::fopen(temporary.c_str(), "wb");
  if (!f) {
    *error = "cannot create " + temporary + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

// LOG and FILE, and the flags among `flags` that were given.
bool ParseArgs(const Args& args, const char* verb, std::vector<std::pair<const char*, bool*>> flags,
               std::string* log, std::string* file, std::string* error) {
  std::vector<std::string> positional;
  for (const std::string& a : args) {
    if (a.rfind("--", 0) != 0) {
      positional.push_back(a);
      continue;
    }
    bool known = false;
    for (auto& [name, value] : flags) {
      if (a == name) *value = known = true;
    }
    if (!known) {
      *error = std::string("evt ") + verb + ": unknown option '" + a + "'";
      return false;
    }
  }
  if (positional.size() != 2) {
    *error = std::string("evt ") + verb + ": give a LOG and a FILE";
    return false;
  }
  *log = positional[0];
  *file = positional[1];
  return true;
}

std::string Range(uint32_t first, uint32_t last) {
  return first == last ? std::to_string(first)
                       : std::to_string(first) + " to " + std::to_string(last);
}

}  // namespace

int EvtImport(EmulatedPlatform& computer, const Args& args) {
  platform::emulated::ImportOptions options;
  std::string log, path, error;
  if (!ParseArgs(args, "import",
                 {{"--keep-numbers", &options.keep_numbers}, {"--grow", &options.grow}}, &log,
                 &path, &error)) {
    return UsageError(error);
  }
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, &bytes, &error)) return Fail(error);
  platform::emulated::EvtFile file;
  platform::emulated::EvtFileError damage;
  if (!platform::emulated::ReadEvtFile(bytes.data(), bytes.size(), &file, &damage)) {
    return Fail(path + ": " + Offset(damage.offset) + ": " + damage.message +
                ". Nothing was imported.");
  }

  platform::emulated::ImportOutcome outcome;
  const Result r =
      computer.emulated_event_log().Import(Utf8ToUtf16(log), file.records, options, &outcome);
  const std::string count = std::to_string(file.records.size()) + " records";
  switch (r) {
    case platform::kSuccess:
      break;
    case platform::kErrorFileNotFound:
      return Fail(NoSuchLog(log));
    case platform::kErrorAlreadyExists:
      return Fail("--keep-numbers: the " + log +
                  " log is not empty (clear it first, or import without --keep-numbers). "
                  "Nothing was imported.");
    case platform::kErrorLogFileFull:
      return Fail(path + ": with its " + count + " the " + log + " log would hold " +
                  std::to_string(outcome.bytes_needed) + " bytes, more than its MaxSize of " +
                  std::to_string(outcome.max_size) +
                  ": it would drop its oldest records at once. Nothing was imported; --grow "
                  "raises MaxSize to fit.");
    case platform::kErrorInvalidParameter:
      return Fail("the " + log +
                  " log's record numbers would pass 4294967295. Nothing was imported.");
    default:
      return Fail("cannot import into the " + log + " log of " + computer.machine().dir() +
                  " (error " + std::to_string(r) + "). Nothing was imported.");
  }

  if (file.records.empty()) {
    std::printf("%s: no records; the %s log is unchanged\n", path.c_str(), log.c_str());
    return 0;
  }
  std::printf("%s: %s (numbers %s in the file) imported into the %s log as numbers %s\n",
              path.c_str(), count.c_str(),
              Range(file.records.front().record_number, file.records.back().record_number).c_str(),
              log.c_str(), Range(outcome.first_number, outcome.last_number).c_str());
  if (file.HeaderStale()) {
    std::printf(
        "note: the file's header was out of date (the log was not closed cleanly): it names %u "
        "as the next record number, the end-of-file record %u\n",
        file.header.CurrentRecordNumber, file.eof.CurrentRecordNumber);
  }
  if (outcome.grew) {
    std::printf("MaxSize of the %s log raised to %u bytes\n", log.c_str(), outcome.max_size);
  }
  return 0;
}

int EvtExport(EmulatedPlatform& computer, const Args& args) {
  std::string log, path, error;
  if (!ParseArgs(args, "export", {}, &log, &path, &error)) return UsageError(error);
  platform::emulated::LogSnapshot snapshot;
  const Result r = computer.emulated_event_log().Snapshot(Utf8ToUtf16(log), &snapshot);
  if (r == platform::kErrorFileNotFound) return Fail(NoSuchLog(log));
  if (r != platform::kSuccess) {
    return Fail("cannot read the " + log + " log (error " + std::to_string(r) + ")");
  }
  const std::vector<uint8_t> bytes =
      platform::emulated::WriteEvtFile(snapshot.records, snapshot.next_number, snapshot.retention);
  if (!WriteWholeFile(path, bytes, &error)) return Fail(error);
  const size_t n = snapshot.records.size();
  if (n == 0) {
    std::printf("the %s log is empty: %s holds no records\n", log.c_str(), path.c_str());
    return 0;
  }
  const uint32_t first = platform::ReadLe32(snapshot.records.front().data() + 8);
  const uint32_t last = platform::ReadLe32(snapshot.records.back().data() + 8);
  std::printf("%zu records (numbers %s) of the %s log exported to %s\n", n,
              Range(first, last).c_str(), log.c_str(), path.c_str());
  return 0;
}

}  // namespace ntbox
