#include "client/ruleeditor/filter_rule.h"

#include "client/core/registry.h"
#include "platform/text.h"

namespace sentrel::client {

std::u16string_view RuleFieldName(RuleField field) {
  switch (field) {
    case RuleField::kAction:
      return u"Action";
    case RuleField::kEventSource:
      return u"EventSource";
    case RuleField::kEventID:
      return u"EventID";
    case RuleField::kEventType:
      return u"EventType";
    case RuleField::kEventCategory:
      return u"EventCategory";
    case RuleField::kUserName:
      return u"UserName";
  }
  return u"";
}

bool IsNumericField(RuleField field) {
  return field != RuleField::kEventSource && field != RuleField::kUserName;
}

std::u16string RuleValueName(int32_t n, RuleField field) {
  return u"FR" + platform::Decimal(n) + std::u16string(RuleFieldName(field));
}

std::optional<uint32_t> RuleNumberValue(std::u16string_view text) {
  const bool negative = !text.empty() && text[0] == u'-';
  const std::optional<uint32_t> magnitude =
      ParseUnsigned(negative ? text.substr(1) : text, negative ? 2147483648u : 4294967295u);
  if (!magnitude) return std::nullopt;
  return negative ? 0u - *magnitude : *magnitude;
}

const std::array<RuleListEntry, 7>& ActionEntries() {
  static const std::array<RuleListEntry, 7> entries = {{
      {2020, u"", u"0"},
      {2021, u"", u"1"},
      {2022, u"", u"2"},
      {2023, u"", u"3"},
      {2024, u"", u"4"},
      {2025, u"", u"5"},
      {2026, u"", u"6"},
  }};
  return entries;
}

const std::array<RuleListEntry, 7>& EventTypeEntries() {
  static const std::array<RuleListEntry, 7> entries = {{
      {-1, u"ALL", u""},
      {-1, u"SUCCESS", u"1"},
      {-1, u"ERROR", u"2"},
      {-1, u"WARNING", u"4"},
      {-1, u"INFORMATION", u"8"},
      {-1, u"AUDIT_SUCCESS", u"16"},
      {-1, u"AUDIT_FAILURE", u"32"},
  }};
  return entries;
}

namespace {

// Compared as numbers, as a list compares its item data: "04" is the entry of 4.
int IndexOf(const std::array<RuleListEntry, 7>& entries, std::u16string_view cell) {
  const std::optional<uint32_t> value = RuleNumberValue(cell);
  if (!value) return 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (RuleNumberValue(entries[i].code) == value) return static_cast<int>(i);
  }
  return 0;
}

}  // namespace

int ActionIndexOf(std::u16string_view cell) { return IndexOf(ActionEntries(), cell); }
int EventTypeIndexOf(std::u16string_view cell) { return IndexOf(EventTypeEntries(), cell); }

}  // namespace sentrel::client
