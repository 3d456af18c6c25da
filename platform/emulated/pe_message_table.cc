#include "platform/emulated/pe_message_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

#include "platform/text.h"

namespace platform::emulated {
namespace {

// Little-endian reads that fail instead of reading outside the span.
class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  std::optional<uint16_t> U16(size_t offset) const {
    if (!Fits(offset, 2)) return std::nullopt;
    return ReadLe16(bytes_.data() + offset);
  }
  std::optional<uint32_t> U32(size_t offset) const {
    if (!Fits(offset, 4)) return std::nullopt;
    return ReadLe32(bytes_.data() + offset);
  }
  std::optional<std::span<const uint8_t>> Sub(size_t offset, size_t length) const {
    if (!Fits(offset, length)) return std::nullopt;
    return bytes_.subspan(offset, length);
  }
  bool Fits(size_t offset, size_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }

 private:
  std::span<const uint8_t> bytes_;
};

constexpr uint16_t kPe32Magic = 0x10b;
constexpr uint16_t kPe32PlusMagic = 0x20b;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kSubdirectoryBit = 0x80000000u;
constexpr uint32_t kMessageTableName = 1;

struct Section {
  uint32_t virtual_address;
  uint32_t raw_size;
  uint32_t raw_offset;
};

// The parts of the headers needed to find resources.
struct PeLayout {
  uint32_t resource_rva = 0;
  uint32_t resource_size = 0;
  std::vector<Section> sections;
};

std::optional<PeLayout> ReadLayout(const ByteReader& file) {
  auto mz = file.U16(0);
  auto lfanew = file.U32(0x3c);
  if (!mz || *mz != 0x5a4d || !lfanew) return std::nullopt;
  auto signature = file.U32(*lfanew);
  if (!signature || *signature != 0x00004550) return std::nullopt;
  const size_t coff = size_t{*lfanew} + 4;
  auto section_count = file.U16(coff + 2);
  auto optional_size = file.U16(coff + 16);
  if (!section_count || !optional_size) return std::nullopt;
  const size_t optional = coff + 20;
  auto magic = file.U16(optional);
  if (!magic) return std::nullopt;
  size_t count_offset;
  if (*magic == kPe32Magic) {
    count_offset = 92;
  } else if (*magic == kPe32PlusMagic) {
    count_offset = 108;
  } else {
    return std::nullopt;
  }
  auto dir_count = file.U32(optional + count_offset);
  if (!dir_count || *dir_count <= kResourceDirectoryIndex) return std::nullopt;
  const size_t resource_entry = count_offset + 4 + kResourceDirectoryIndex * 8;
  if (resource_entry + 8 > *optional_size) return std::nullopt;
  PeLayout layout;
  auto rva = file.U32(optional + resource_entry);
  auto size = file.U32(optional + resource_entry + 4);
  if (!rva || !size || *rva == 0 || *size == 0) return std::nullopt;
  layout.resource_rva = *rva;
  layout.resource_size = *size;
  const size_t table = optional + *optional_size;
  for (size_t i = 0; i < *section_count; ++i) {
    const size_t header = table + i * 40;
    auto va = file.U32(header + 12);
    auto raw_size = file.U32(header + 16);
    auto raw_offset = file.U32(header + 20);
    if (!va || !raw_size || !raw_offset) return std::nullopt;
    layout.sections.push_back({*va, *raw_size, *raw_offset});
  }
  return layout;
}

// The file bytes that hold [rva, rva + length) of the loaded image, when one section's raw data
// holds all of them.
std::optional<std::span<const uint8_t>> MapRva(const ByteReader& file, const PeLayout& layout,
                                               uint32_t rva, uint32_t length) {
  for (const Section& s : layout.sections) {
    if (rva < s.virtual_address) continue;
    const uint64_t delta = rva - s.virtual_address;
    if (delta + length > s.raw_size) continue;
    return file.Sub(size_t{s.raw_offset} + delta, length);
  }
  return std::nullopt;
}

// One IMAGE_RESOURCE_DIRECTORY_ENTRY with a numeric id.
struct DirectoryEntry {
  uint16_t id;
  uint32_t target;  // offset from the start of the resource section, subdirectory bit kept
};

std::optional<std::vector<DirectoryEntry>> ReadDirectory(const ByteReader& rsrc, uint32_t offset) {
  auto named = rsrc.U16(size_t{offset} + 12);
  auto ids = rsrc.U16(size_t{offset} + 14);
  if (!named || !ids) return std::nullopt;
  const size_t first = size_t{offset} + 16;
  const size_t total = size_t{*named} + *ids;
  if (!rsrc.Fits(first, total * 8)) return std::nullopt;
  std::vector<DirectoryEntry> entries;
  for (size_t i = *named; i < total; ++i) {
    const uint32_t name = *rsrc.U32(first + i * 8);
    const uint32_t target = *rsrc.U32(first + i * 8 + 4);
    if (name & kSubdirectoryBit) continue;  // a string name among the id entries: skip it
    entries.push_back({static_cast<uint16_t>(name & 0xffff), target});
  }
  return entries;
}

// The subdirectory of entry `id`; nullopt when there is no such entry. An entry with that id
// that is no subdirectory is damage and sets *damaged.
std::optional<uint32_t> FindSubdirectory(const std::vector<DirectoryEntry>& entries, uint16_t id,
                                         bool* damaged) {
  for (const DirectoryEntry& e : entries) {
    if (e.id != id) continue;
    if (!(e.target & kSubdirectoryBit)) *damaged = true;
    return e.target & ~kSubdirectoryBit;
  }
  return std::nullopt;
}

// The resource section of an image and the language entries of the resource `type` / `name`
// in it. kErrorResourceTypeNotFound / kErrorResourceNameNotFound when the image has no such
// resource; kErrorBadExeFormat when the way there leaves the file or is damaged.
struct ResourceLanguages {
  std::span<const uint8_t> section;
  std::vector<DirectoryEntry> entries;
};

Result FindResourceLanguages(const ByteReader& file, const PeLayout& layout, uint16_t type,
                             uint16_t name, ResourceLanguages* out) {
  auto rsrc_bytes = MapRva(file, layout, layout.resource_rva, layout.resource_size);
  if (!rsrc_bytes) return kErrorBadExeFormat;
  const ByteReader rsrc(*rsrc_bytes);
  bool damaged = false;
  auto types = ReadDirectory(rsrc, 0);
  if (!types) return kErrorBadExeFormat;
  auto names_offset = FindSubdirectory(*types, type, &damaged);
  if (damaged) return kErrorBadExeFormat;
  if (!names_offset) return kErrorResourceTypeNotFound;
  auto names = ReadDirectory(rsrc, *names_offset);
  if (!names) return kErrorBadExeFormat;
  auto languages_offset = FindSubdirectory(*names, name, &damaged);
  if (damaged) return kErrorBadExeFormat;
  if (!languages_offset) return kErrorResourceNameNotFound;
  auto languages = ReadDirectory(rsrc, *languages_offset);
  if (!languages) return kErrorBadExeFormat;
  out->section = *rsrc_bytes;
  out->entries = std::move(*languages);
  return kSuccess;
}

// The data of one language entry found by FindResourceLanguages; nullopt when it is damaged.
std::optional<std::span<const uint8_t>> LanguageData(const ByteReader& file, const PeLayout& layout,
                                                     const ResourceLanguages& found,
                                                     const DirectoryEntry& entry) {
  if (entry.target & kSubdirectoryBit) return std::nullopt;
  const ByteReader rsrc(found.section);
  auto data_rva = rsrc.U32(entry.target);
  auto data_size = rsrc.U32(size_t{entry.target} + 4);
  if (!data_rva || !data_size) return std::nullopt;
  return MapRva(file, layout, *data_rva, *data_size);
}

}  // namespace

std::u16string Cp1252ToUtf16(std::span<const uint8_t> bytes) {
  // 0x80..0x9f differ from Latin-1; the five unassigned positions map to themselves as
  // MultiByteToWideChar does.
  static constexpr char16_t kHigh[32] = {
      0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008d, 0x017d, 0x008f, 0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
      0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x009d, 0x017e, 0x0178};
  std::u16string text;
  text.reserve(bytes.size());
  for (uint8_t b : bytes) {
    text.push_back(b >= 0x80 && b < 0xa0 ? kHigh[b - 0x80] : static_cast<char16_t>(b));
  }
  return text;
}

Result FileImage::Open(const std::string& host_path, FileImage* out) {
  const int fd = open(host_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kErrorModNotFound;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return kErrorModNotFound;
  }
  FileImage image;
  image.bytes_.resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  while (done < image.bytes_.size()) {
    const ssize_t n = read(fd, image.bytes_.data() + done, image.bytes_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return kErrorModNotFound;
    }
    if (n == 0) break;  // the file shrank meanwhile: take what it has
    done += static_cast<size_t>(n);
  }
  close(fd);
  image.bytes_.resize(done);
  *out = std::move(image);
  return kSuccess;
}

Result PeMessageTable::Parse(std::span<const uint8_t> image, PeMessageTable* out) {
  const ByteReader file(image);
  auto layout = ReadLayout(file);
  if (!layout) return kErrorBadExeFormat;
  PeMessageTable table;
  ResourceLanguages found;
  const Result r = FindResourceLanguages(file, *layout, kRtMessageTable, kMessageTableName, &found);
  if (r == kErrorResourceTypeNotFound || r == kErrorResourceNameNotFound) {
    *out = std::move(table);
    return kSuccess;
  }
  if (r != kSuccess) return r;
  for (const DirectoryEntry& e : found.entries) {
    auto data = LanguageData(file, *layout, found, e);
    if (!data) return kErrorBadExeFormat;
    table.tables_.push_back({e.id, *data});
  }
  std::stable_sort(table.tables_.begin(), table.tables_.end(),
                   [](const Table& a, const Table& b) { return a.language < b.language; });
  *out = std::move(table);
  return kSuccess;
}

std::vector<uint16_t> PeMessageTable::Languages() const {
  std::vector<uint16_t> languages;
  for (const Table& t : tables_) languages.push_back(t.language);
  return languages;
}

Result PeMessageTable::Find(uint32_t message_id, uint16_t language, MessageText* out) const {
  if (tables_.empty()) return kErrorResourceTypeNotFound;
  const Table* chosen = nullptr;
  if (language == 0 || language == kLangUserDefault) {
    chosen = &tables_.front();
    for (const Table& t : tables_) {
      if (t.language == kLangEnglishUs) chosen = &t;
    }
  } else {
    for (const Table& t : tables_) {
      if (t.language == language) chosen = &t;
    }
    if (chosen == nullptr) return kErrorResourceLangNotFound;
  }
  MessageText found;
  found.language = chosen->language;
  Result r = FindInMessageData(chosen->data, message_id, &found.text);
  if (r == kSuccess) *out = std::move(found);
  return r;
}

[[nodiscard]] Result FindInMessageData(std::span<const uint8_t> data, uint32_t message_id,
                                       std::u16string* text) {
  const ByteReader table(data);
  auto block_count = table.U32(0);
  if (!block_count || !table.Fits(4, uint64_t{*block_count} * 12)) return kErrorInvalidData;
  for (uint32_t b = 0; b < *block_count; ++b) {
    const size_t block = 4 + size_t{b} * 12;
    const uint32_t low = *table.U32(block);
    const uint32_t high = *table.U32(block + 4);
    size_t entry = *table.U32(block + 8);
    if (message_id < low || message_id > high) continue;
    for (uint32_t id = low;; ++id) {
      auto length = table.U16(entry);
      auto flags = table.U16(entry + 2);
      if (!length || !flags || *length < 4 || !table.Fits(entry, *length)) {
        return kErrorInvalidData;
      }
      if (id == message_id) {
        std::span<const uint8_t> body = data.subspan(entry + 4, *length - 4u);
        if (*flags & 0x0001) {
          std::u16string t;
          t.reserve(body.size() / 2);
          for (size_t i = 0; i + 1 < body.size(); i += 2) {
            const char16_t c = static_cast<char16_t>(body[i] | (body[i + 1] << 8));
            if (c == 0) break;
            t.push_back(c);
          }
          *text = std::move(t);
        } else {
          const auto end = std::find(body.begin(), body.end(), uint8_t{0});
          *text = Cp1252ToUtf16(body.first(static_cast<size_t>(end - body.begin())));
        }
        return kSuccess;
      }
      entry += *length;
    }
  }
  return kErrorMrMidNotFound;
}

[[nodiscard]] Result FindPeResource(std::span<const uint8_t> image, uint16_t type, uint16_t name,
                                    std::span<const uint8_t>* data) {
  const ByteReader file(image);
  auto layout = ReadLayout(file);
  if (!layout) {
    // A PE image without a resource directory has no resources; anything else is no module.
    auto mz = file.U16(0);
    auto lfanew = file.U32(0x3c);
    auto signature = lfanew ? file.U32(*lfanew) : std::nullopt;
    const bool pe = mz && *mz == 0x5a4d && signature && *signature == 0x00004550;
    return pe ? kErrorResourceTypeNotFound : kErrorBadExeFormat;
  }
  ResourceLanguages found;
  const Result r = FindResourceLanguages(file, *layout, type, name, &found);
  if (r != kSuccess) return r;
  if (found.entries.empty()) return kErrorResourceLangNotFound;
  auto bytes = LanguageData(file, *layout, found, found.entries.front());
  if (!bytes) return kErrorBadExeFormat;
  *data = *bytes;
  return kSuccess;
}

}  // namespace platform::emulated
