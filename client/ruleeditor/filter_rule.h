// One filter rule as the client holds it, and the lists the editor offers for its action and
// event type.
//
// A rule is six texts, one per registry value "FR" + n + field: numbers in decimal, an absent
// criterion as the empty text. Texts keep exactly what was read (an action of 9, a type of 3), so
// a rule the user does not edit is written back as it was.
#ifndef CLIENT_RULEEDITOR_FILTER_RULE_H_
#define CLIENT_RULEEDITOR_FILTER_RULE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sentrel::client {

// The fields in the order of the editor's grid columns 1 to 6 (column 0 is the rule number).
enum class RuleField : int {
  kAction,
  kEventSource,
  kEventID,
  kEventType,
  kEventCategory,
  kUserName
};
inline constexpr size_t kRuleFieldCount = 6;
inline constexpr std::array<RuleField, kRuleFieldCount> kRuleFields = {
    RuleField::kAction,    RuleField::kEventSource,   RuleField::kEventID,
    RuleField::kEventType, RuleField::kEventCategory, RuleField::kUserName};

// The field's part of the value name: "Action", "EventSource", ...
std::u16string_view RuleFieldName(RuleField field);
// Whether the field is stored as a DWORD (the action and the three numeric criteria).
bool IsNumericField(RuleField field);
// "FR" + n + field name: FR2EventSource.
std::u16string RuleValueName(int32_t n, RuleField field);

// The longest source or user name the service can read (UTF-16 characters, terminator not
// counted): its read buffer holds 1024 bytes.
inline constexpr uint32_t kRuleTextBytes = 1024;
inline constexpr size_t kMaxRuleTextChars = kRuleTextBytes / sizeof(char16_t) - 1;
// The event ID and category of a record are 16-bit: a larger criterion never matches.
inline constexpr uint32_t kMaxRuleNumber = 65535;

// Action code of a new rule: discard.
inline constexpr char16_t kNewRuleAction[] = u"0";
// Action code of a rule stored without one: the service delivers it by the log's default method.
inline constexpr char16_t kMissingAction[] = u"1";

struct FilterRuleTexts {
  std::array<std::u16string, kRuleFieldCount> texts{std::u16string(kNewRuleAction)};
  // Source and user texts that are stored as the empty text. To the service such a criterion is
  // present and matches only an empty name, which is not the same as no criterion, so a save
  // keeps the empty value until the user edits the field.
  std::array<bool, kRuleFieldCount> stored_empty{};

  const std::u16string& operator[](RuleField f) const { return texts[static_cast<size_t>(f)]; }
  // A user's edit of a field: the text replaces whatever was stored.
  void Set(RuleField f, std::u16string text) {
    texts[static_cast<size_t>(f)] = std::move(text);
    stored_empty[static_cast<size_t>(f)] = false;
  }
  bool StoredEmpty(RuleField f) const { return stored_empty[static_cast<size_t>(f)]; }
  bool operator==(const FilterRuleTexts& other) const = default;
};

// A numeric cell as the DWORD to store: an optional minus sign and decimal digits within
// -2147483648..4294967295 (what a DWORD read as signed or unsigned can show). Anything else
// (empty, letters, out of range) has no number: the criterion is absent.
std::optional<uint32_t> RuleNumberValue(std::u16string_view text);

// One entry of the action or event type list: its text (a message number, or a fixed text when
// the message is -1) and the cell text it stands for.
struct RuleListEntry {
  int32_t message;
  std::u16string_view text;
  std::u16string_view code;
};

// cbAction: messages 2020 to 2026 carrying the action codes 0 to 6.
const std::array<RuleListEntry, 7>& ActionEntries();
// cbEventType: "ALL" (no type criterion), then SUCCESS 1 ... AUDIT_FAILURE 32.
const std::array<RuleListEntry, 7>& EventTypeEntries();

// The entry whose code is the cell's text, or the first entry when none is (an unknown action
// or type shows as the first entry; the cell itself keeps its text).
int ActionIndexOf(std::u16string_view cell);
int EventTypeIndexOf(std::u16string_view cell);

}  // namespace sentrel::client

#endif  // CLIENT_RULEEDITOR_FILTER_RULE_H_
