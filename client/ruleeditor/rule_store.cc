#include "client/ruleeditor/rule_store.h"

#include <utility>

#include "platform/text.h"

namespace sentrel::client {
namespace {

using platform::RegKey;

constexpr char16_t kCountName[] = u"nFilterRules";
constexpr char16_t kStampName[] = u"nFilterVersion";

// The read buffer the service uses for the field's value.
uint32_t ValueBytes(RuleField field) {
  return IsNumericField(field) ? sizeof(uint32_t) : kRuleTextBytes;
}

// Reads one field of rule n into `rule`; false when the value is missing or unreadable.
bool ReadField(Registry& registry, RegKey& key, int32_t n, RuleField field, FilterRuleTexts* rule) {
  const std::u16string name = RuleValueName(n, field);
  if (IsNumericField(field)) {
    int32_t value = 0;
    bool found = false;
    (void)registry.ReadRegDword(&key, name, &value, 0, &found);
    if (found) {
      rule->Set(field, platform::Decimal(value));
    } else {
      rule->Set(field, field == RuleField::kAction ? kMissingAction : u"");
    }
    return found;
  }
  std::u16string text;
  const bool found =
      registry.ReadRegStringWide(&key, name, kRuleTextBytes, &text, u"") == platform::kSuccess;
  rule->Set(field, std::move(text));
  rule->stored_empty[static_cast<size_t>(field)] = found && (*rule)[field].empty();
  return found;
}

// Rules 1 to `count`, ending before the first rule number with no readable value.
RuleSet ReadRuleSet(Registry& registry, RegKey& key, int32_t count) {
  RuleSet rules;
  for (int64_t n = 1; n <= count; ++n) {
    FilterRuleTexts rule;
    bool any = false;
    for (RuleField field : kRuleFields) {
      any |= ReadField(registry, key, static_cast<int32_t>(n), field, &rule);
    }
    if (!any) break;
    rules.push_back(std::move(rule));
  }
  return rules;
}

// Deletes the value, unless it exists and is too big for the service's read: such a value is no
// criterion to the service either, and deleting what nobody could read would lose it for good.
void DeleteReadable(Registry& registry, RegKey& key, std::u16string_view name, uint32_t bytes) {
  uint32_t size = 0;
  uint32_t type = 0;
  if (key.QueryValue(name, &type, nullptr, &size) == platform::kSuccess && size > bytes) {
    registry.Trace(u"Warning - VALUE " + std::u16string(name) +
                   u" in Registry cannot be read and is kept");
    return;
  }
  (void)registry.DeleteRegValue(&key, name);
}

void WriteField(Registry& registry, RegKey& key, int32_t n, RuleField field,
                const FilterRuleTexts& rule) {
  const std::u16string name = RuleValueName(n, field);
  const std::u16string& text = rule[field];
  if (IsNumericField(field)) {
    if (const std::optional<uint32_t> value = RuleNumberValue(text)) {
      (void)registry.SaveRegDword(&key, name, *value);
    } else {
      DeleteReadable(registry, key, name, ValueBytes(field));
    }
    return;
  }
  if (text.empty() && !rule.StoredEmpty(field)) {
    DeleteReadable(registry, key, name, ValueBytes(field));
    return;
  }
  (void)registry.SaveRegStringWide(&key, name, text, kRuleTextBytes, /*keep_empty=*/true);
}

}  // namespace

void FilterRuleStore::Confirm(ClientLog log, RuleSet rules) {
  LogRules& l = Of(log);
  l.rules = std::move(rules);
  ++l.stamp;
  l.stamp_raised = true;
}

bool FilterRuleStore::ReadRules(Registry& registry, RegKey& log_key, ClientLog log) {
  LogRules& l = Of(log);
  int32_t count = 0;
  (void)registry.ReadRegDword(&log_key, kCountName, &count, 0);
  int32_t stamp = 0;
  bool stamp_found = false;
  (void)registry.ReadRegDword(&log_key, kStampName, &stamp, 0, &stamp_found);
  l.rules = ReadRuleSet(registry, log_key, count);
  l.stamp_raised = false;
  if (stamp_found) {
    l.stamp = static_cast<uint32_t>(stamp);
    l.service_set = l.rules;
  }
  return count > 0;
}

void FilterRuleStore::WriteRules(Registry& registry, RegKey& log_key, ClientLog log, bool enabled) {
  LogRules& l = Of(log);
  static const RuleSet kNone;
  const RuleSet& written = enabled ? l.rules : kNone;
  for (size_t i = 0; i < written.size(); ++i) {
    for (RuleField field : kRuleFields) {
      WriteField(registry, log_key, static_cast<int32_t>(i + 1), field, written[i]);
    }
  }
  (void)registry.SaveRegDword(&log_key, kCountName, static_cast<uint32_t>(written.size()));

  // Last, so that a service pass between these writes never takes a half-written set for new.
  if (written != l.service_set && !l.stamp_raised) {
    ++l.stamp;
    l.stamp_raised = true;
  }
  if (!enabled && !l.stamp_raised) return;
  if (registry.SaveRegDword(&log_key, kStampName, l.stamp) == platform::kSuccess) {
    l.service_set = written;
    l.stamp_raised = false;
  }
}

}  // namespace sentrel::client
