#include "client/i18n/messages.h"

#include <map>
#include <mutex>
#include <string>

#include "client/i18n/embedded_tables.h"
#include "client/i18n/languages.h"
#include "client/i18n/message_table.h"
#include "platform/text.h"

namespace sentrel::client {
namespace {

// The parsed tables by language code, built at the first lookup. A broken line of a table costs
// only its entry, which then reads as missing (the unit tests parse every table strictly, so a
// shipped program never meets one).
using TableMap = std::map<std::u16string, MessageTable, std::less<>>;

TableMap ParseEmbeddedTables() {
  TableMap tables;
  for (size_t i = 0; i < kEmbeddedTableCount; ++i) {
    MessageTable table;
    ParseMessageTableLenient(kEmbeddedTables[i].text, &table, nullptr);
    tables.emplace(kEmbeddedTables[i].language, std::move(table));
  }
  return tables;
}

const TableMap& Tables() {
  static const TableMap tables = ParseEmbeddedTables();
  return tables;
}

// The process-wide current language; the client uses it from its window thread only, the lock
// keeps a stray second thread harmless.
std::mutex language_mutex;
std::u16string& CurrentCode() {
  static std::u16string language = kEnglishCode;
  return language;
}

}  // namespace

std::u16string LookupMessage(const MessageTable* table, int32_t number) {
  if (table) {
    auto text = table->find(number);
    if (text != table->end()) return text->second;
  }
  return u"***MESSAGE_MISSING***" + platform::Decimal(number);
}

std::u16string GetMessageTextIn(std::u16string_view language, int32_t number) {
  const auto& tables = Tables();
  auto table = tables.find(language);
  if (table == tables.end()) table = tables.find(std::u16string_view(kEnglishCode));
  return LookupMessage(table == tables.end() ? nullptr : &table->second, number);
}

std::u16string GetMessageText(int32_t number) {
  return GetMessageTextIn(CurrentLanguage(), number);
}

void SetCurrentLanguage(std::u16string_view code) {
  std::lock_guard<std::mutex> lock(language_mutex);
  CurrentCode() = std::u16string(code);
}

std::u16string CurrentLanguage() {
  std::lock_guard<std::mutex> lock(language_mutex);
  return CurrentCode();
}

std::u16string FormatMessageArgs(std::u16string_view text,
                                 const std::vector<std::u16string>& args) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'%' && i + 1 < text.size() && text[i + 1] >= u'1' && text[i + 1] <= u'9') {
      const size_t arg = static_cast<size_t>(text[i + 1] - u'1');
      if (arg < args.size()) {
        out += args[arg];
        ++i;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::u16string StripMnemonic(std::u16string_view caption) {
  std::u16string out;
  for (size_t i = 0; i < caption.size(); ++i) {
    // A mnemonic written after the text, as in Japanese captions: "OK(&O)" -> "OK".
    if (caption.substr(i, 2) == u"(&" && i + 3 < caption.size() && caption[i + 2] != u'&' &&
        caption[i + 3] == u')') {
      i += 3;
      continue;
    }
    if (caption[i] == u'&') {
      if (i + 1 < caption.size() && caption[i + 1] == u'&') {
        out += u'&';
        ++i;
      }
      continue;
    }
    out += caption[i];
  }
  return out;
}

}  // namespace sentrel::client
