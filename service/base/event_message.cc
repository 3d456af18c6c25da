#include "service/base/event_message.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/text.h"

namespace sentrel {
namespace {

constexpr std::u16string_view kEventLogKeyPrefix =
    u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\";

// The insertion table's entries past the record's strings point at their own references ("%3"
// for the third), so a template that asks for a missing insert shows the reference. Inserts are
// never scanned again, so the reference comes out as it is.
const std::array<std::u16string, kInsertionTableSize>& MissingInsertTexts() {
  static const std::array<std::u16string, kInsertionTableSize> texts = [] {
    std::array<std::u16string, kInsertionTableSize> t;
    for (size_t i = 0; i < t.size(); ++i) {
      t[i].assign(1, u'%');  // appended, not prepended: GCC 12 misreads a prepend (-Wrestrict)
      t[i] += platform::Decimal(static_cast<int64_t>(i + 1));
    }
    return t;
  }();
  return texts;
}

// One value of the source's key, read with a data buffer of kLibraryValueBytes, its type not
// checked. Empty when the key or value is missing or does not fit.
std::u16string ReadSourceValue(platform::Platform& platform, std::u16string_view source,
                               std::u16string_view log, std::u16string_view value_name) {
  std::unique_ptr<platform::RegKey> hklm, key;
  if (platform.registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm) != platform::kSuccess) {
    return {};
  }
  std::u16string path(kEventLogKeyPrefix);
  path.append(log).append(u"\\").append(source);
  if (hklm->OpenKey(path, platform::RegAccess::kRead, &key) != platform::kSuccess) return {};
  std::array<char16_t, kLibraryValueBytes / 2> data{};
  uint32_t type = 0;
  uint32_t size = kLibraryValueBytes;
  if (key->QueryValue(value_name, &type, data.data(), &size) != platform::kSuccess) return {};
  std::u16string_view text(data.data(), std::min<size_t>(size / 2, data.size()));
  return std::u16string(text.substr(0, text.find(u'\0')));
}

// The value expanded for environment variables; empty when the expansion does not fit the
// list's buffer of kLibraryListChars characters.
std::u16string ReadLibraryList(platform::Platform& platform, std::u16string_view source,
                               std::u16string_view log, std::u16string_view value_name) {
  const std::u16string value = ReadSourceValue(platform, source, log, value_name);
  if (value.empty()) return {};
  std::u16string expanded = platform.environment().Expand(value);
  if (expanded.size() + 1 > kLibraryListChars) return {};
  return expanded;
}

// Calls `fn` with each module name of a ";"-separated list, in order, until it answers true.
template <typename Fn>
bool ForEachModule(std::u16string_view list, Fn fn) {
  while (!list.empty()) {
    const size_t end = list.find(u';');
    const std::u16string_view name = list.substr(0, end);
    if (!name.empty() && fn(name)) return true;
    if (end == std::u16string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return false;
}

// The insertion table: the record's first strings (each NUL-terminated in the record), then
// references for the entries the record has no string for.
std::array<uintptr_t, kInsertionTableSize> BuildInsertionTable(const RecordView& record) {
  std::array<uintptr_t, kInsertionTableSize> table{};
  const auto& strings = record.strings();
  const auto& missing = MissingInsertTexts();
  for (size_t i = 0; i < table.size(); ++i) {
    const char16_t* text = i < strings.size() ? strings[i].data() : missing[i].c_str();
    table[i] = reinterpret_cast<uintptr_t>(text);
  }
  return table;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

}  // namespace

std::u16string ReadMsgLib(platform::Platform& platform, std::u16string_view source,
                          std::u16string_view log) {
  return ReadLibraryList(platform, source, log, u"EventMessageFile");
}

std::u16string ReadParamLib(platform::Platform& platform, std::u16string_view source,
                            std::u16string_view log) {
  return ReadLibraryList(platform, source, log, u"ParameterMessageFile");
}

std::optional<std::u16string> LoadParameterText(ModuleCache& modules, std::u16string_view list,
                                                uint32_t number, uint32_t language) {
  constexpr size_t kMinimumChars = 1024;
  std::optional<std::u16string> found;
  ForEachModule(list, [&](std::u16string_view name) {
    std::unique_ptr<platform::MessageModule> transient;
    const platform::MessageModule* module =
        modules.Get(name, platform::kDontResolveDllReferences, &transient);
    if (!module) return false;
    std::u16string text;
    const platform::Result r = modules.library().Format(
        platform::kFormatMessageFromHmodule | platform::kFormatMessageAllocateBuffer, module,
        number, language, nullptr, 0, kMinimumChars, &text);
    if (r != platform::kSuccess || text.empty()) return false;
    found = std::move(text);
    return true;
  });
  return found;
}

void ExpandParameterStrings(platform::Platform& platform, ModuleCache& modules,
                            const RecordView& record, std::u16string_view log, std::u16string* text,
                            size_t size) {
  const std::u16string_view in = *text;
  if (in.find(u"%%") == std::u16string_view::npos) return;
  // One read of the source's list serves every reference of the text.
  const std::u16string libraries = ReadParamLib(platform, record.source(), log);
  std::u16string work;
  work.reserve(in.size());
  bool replaced = false;
  size_t i = 0;
  while (i < in.size()) {
    if (in[i] != u'%' || i + 1 >= in.size() || in[i + 1] != u'%') {
      work.push_back(in[i++]);
      continue;
    }
    size_t end = i + 2;
    uint32_t number = 0;
    for (; end < in.size() && IsDigit(in[end]); ++end) number = number * 10 + (in[end] - u'0');
    const std::optional<std::u16string> parameter =
        LoadParameterText(modules, libraries, number, kLanguageUserDefault);
    // The character after the number goes with the reference.
    const size_t next = end < in.size() ? end + 1 : end;
    if (parameter) {
      work.append(*parameter, 0, parameter->size() - 1);
      replaced = true;
    } else {
      work.append(in.substr(i, next - i));
    }
    i = next;
  }
  if (!replaced) return;
  if (size > 0 && work.size() > size - 1) work.resize(size - 1);
  *text = std::move(work);
}

std::u16string BuildFallbackDescription(const RecordView& record, size_t size) {
  if (size == 0) return {};
  const size_t limit = size - 1;
  std::u16string text = u"The description for Event ID ( ";
  text.append(platform::Decimal(record.event_id() & 0xFFFF)).append(u" ) in Source ( ");
  text.append(record.source());
  text.append(u" ) could not be found. It contains the following insertion string(s):");
  for (const std::u16string_view s : record.strings()) {
    if (text.size() >= limit) break;
    text.push_back(u' ');
    text.append(s);
  }
  if (text.size() > limit) text.resize(limit);
  return text;
}

std::u16string ReadEventMessage(platform::Platform& platform, ModuleCache& modules,
                                const RecordView& record, std::u16string_view log, size_t size) {
  const std::u16string list = ReadMsgLib(platform, record.source(), log);
  const std::array<uintptr_t, kInsertionTableSize> inserts = BuildInsertionTable(record);
  std::u16string text;
  const bool found = ForEachModule(list, [&](std::u16string_view name) {
    std::unique_ptr<platform::MessageModule> transient;
    const platform::MessageModule* module = modules.Get(
        name, platform::kLoadLibraryAsDatafile | platform::kDontResolveDllReferences, &transient);
    if (!module) return false;
    const platform::Result r = modules.library().Format(
        platform::kFormatMessageFromHmodule | platform::kFormatMessageArgumentArray |
            platform::kFormatMessageMaxWidthMask,
        module, record.event_id(), kLanguageUserDefault, inserts.data(), inserts.size(), size,
        &text);
    if (r != platform::kSuccess || text.empty()) return false;
    ExpandParameterStrings(platform, modules, record, log, &text, size);
    if (!text.empty()) text.pop_back();
    return true;
  });
  return found ? text : BuildFallbackDescription(record, size);
}

std::u16string ReadEventMessage(platform::Platform& platform, const RecordView& record,
                                std::u16string_view log, size_t size) {
  ModuleCache modules(platform.message_library());
  return ReadEventMessage(platform, modules, record, log, size);
}

}  // namespace sentrel
