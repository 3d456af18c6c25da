#include "platform/emulated/etc_files.h"

#include <arpa/inet.h>

#include <string>
#include <vector>

#include "platform/text.h"

namespace platform::emulated {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// The blank-separated fields of each line, comments removed; lines without fields are left out.
std::vector<std::vector<std::string_view>> Lines(std::string_view text) {
  std::vector<std::vector<std::string_view>> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    line = line.substr(0, line.find('#'));
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (pos < line.size()) {
      while (pos < line.size() && IsBlank(line[pos])) ++pos;
      const size_t start = pos;
      while (pos < line.size() && !IsBlank(line[pos])) ++pos;
      if (pos > start) fields.push_back(line.substr(start, pos - start));
    }
    if (!fields.empty()) lines.push_back(std::move(fields));
  }
  return lines;
}

}  // namespace

bool FindHostsEntry(std::string_view text, std::string_view name, uint32_t* address) {
  for (const auto& fields : Lines(text)) {
    uint32_t value = 0;
    if (fields.size() < 2 || inet_pton(AF_INET, std::string(fields[0]).c_str(), &value) != 1) {
      continue;
    }
    for (size_t i = 1; i < fields.size(); ++i) {
      if (EqualsIgnoringCase(fields[i], name)) {
        *address = value;
        return true;
      }
    }
  }
  return false;
}

bool FindServicesEntry(std::string_view text, std::string_view service, std::string_view protocol,
                       uint16_t* port) {
  for (const auto& fields : Lines(text)) {
    if (fields.size() < 2) continue;
    const std::string_view spec = fields[1];
    const size_t slash = spec.find('/');
    if (slash == std::string_view::npos) continue;
    if (!protocol.empty() && !EqualsIgnoringCase(spec.substr(slash + 1), protocol)) continue;
    bool named = EqualsIgnoringCase(fields[0], service);
    for (size_t i = 2; i < fields.size() && !named; ++i)
      named = EqualsIgnoringCase(fields[i], service);
    if (!named) continue;
    const std::string_view digits = spec.substr(0, slash);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos) {
      continue;
    }
    uint32_t number = 0;
    for (char c : digits) number = number * 10 + static_cast<uint32_t>(c - '0');
    if (number == 0 || number > 65535) continue;
    *port = htons(static_cast<uint16_t>(number));
    return true;
  }
  return false;
}

}  // namespace platform::emulated
