#include "client/i18n/message_table.h"

#include <limits>

#include "platform/code_page.h"

namespace sentrel::client {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool ParseNumber(std::string_view s, int32_t* out) {
  bool negative = false;
  if (!s.empty() && s[0] == '-') {
    negative = true;
    s.remove_prefix(1);
  }
  if (s.empty() || s.size() > 10) return false;
  int64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  *out = static_cast<int32_t>(value);
  return true;
}

bool Unescape(std::string_view s, std::string* out, std::string* reason) {
  out->clear();
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      *out += s[i];
      continue;
    }
    if (++i == s.size()) {
      *reason = "a backslash ends the text";
      return false;
    }
    switch (s[i]) {
      case 'r':
        *out += '\r';
        break;
      case 'n':
        *out += '\n';
        break;
      case 't':
        *out += '\t';
        break;
      case '\\':
        *out += '\\';
        break;
      default:
        *reason = std::string("unknown escape \\") + s[i];
        return false;
    }
  }
  return true;
}

// One non-comment line: number, blanks, quoted text.
bool ParseLine(std::string_view line, int32_t* number, std::u16string* text, std::string* reason) {
  const size_t open = line.find('"');
  const size_t close = line.rfind('"');
  if (open == std::string_view::npos || close == open) {
    *reason = "the text must stand in double quotes";
    return false;
  }
  const std::string_view head = line.substr(0, open);
  if (head.empty() || !IsBlank(head.back()) || !ParseNumber(Trim(head), number)) {
    *reason = "a line must begin with a message number and a blank";
    return false;
  }
  if (!Trim(line.substr(close + 1)).empty()) {
    *reason = "nothing may follow the closing quote";
    return false;
  }
  std::string utf8;
  if (!Unescape(line.substr(open + 1, close - open - 1), &utf8, reason)) return false;
  *text = platform::Utf8ToUtf16(utf8);
  return true;
}

// Walks the table's lines; `on_error` gets "line N: reason" for each bad line or repeated
// number and says whether to go on.
template <typename OnError>
bool WalkTable(std::string_view utf8, MessageTable* out, OnError on_error) {
  out->clear();
  if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);  // a BOM some editors write
  int line_number = 0;
  bool clean = true;
  while (!utf8.empty()) {
    ++line_number;
    const size_t end = utf8.find('\n');
    std::string_view line = utf8.substr(0, end);
    utf8.remove_prefix(end == std::string_view::npos ? utf8.size() : end + 1);
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    int32_t number = 0;
    std::u16string text;
    std::string reason;
    if (!ParseLine(line, &number, &text, &reason)) {
      clean = false;
      if (!on_error("line " + std::to_string(line_number) + ": " + reason)) return false;
      continue;
    }
    if (!out->emplace(number, std::move(text)).second) {
      clean = false;
      if (!on_error("line " + std::to_string(line_number) + ": message " + std::to_string(number) +
                    " is given twice")) {
        return false;
      }
    }
  }
  return clean;
}

}  // namespace

bool ParseMessageTable(std::string_view utf8, MessageTable* out, std::string* error) {
  return WalkTable(utf8, out, [error](std::string problem) {
    *error = std::move(problem);
    return false;
  });
}

void ParseMessageTableLenient(std::string_view utf8, MessageTable* out,
                              std::vector<std::string>* problems) {
  (void)WalkTable(utf8, out, [problems](std::string problem) {
    if (problems) problems->push_back(std::move(problem));
    return true;
  });
}

}  // namespace sentrel::client
