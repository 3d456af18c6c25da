// Per-log filter rules: their registry form, loading on a change of the stamp, and matching.
// The first rule whose criteria all match a record decides its action; no match gives 1.
#ifndef SERVICE_FILTER_FILTER_RULES_H_
#define SERVICE_FILTER_FILTER_RULES_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/accounts.h"
#include "platform/debug_output.h"
#include "platform/registry.h"
#include "service/base/record_view.h"

namespace sentrel {

// RecordAction bits.
inline constexpr int32_t kActionDefault = 1;  // deliver by the log's nDeliveryMethod
inline constexpr int32_t kActionMail = 2;
inline constexpr int32_t kActionSyslog = 4;

// One rule. A criterion that is absent (std::nullopt / empty pointer) matches anything.
class FilterRule {
 public:
  virtual ~FilterRule() = default;

  std::unique_ptr<FilterRule> next;
  std::optional<int32_t> action;
  std::optional<int32_t> event_id;
  std::optional<int32_t> event_type;  // already shifted right by one
  std::optional<int32_t> category;
  std::unique_ptr<std::u16string> source;
  std::unique_ptr<std::u16string> user_name;
};

// The rules of one log, in rule-number order.
class FilterRuleList {
 public:
  virtual ~FilterRuleList();

  std::unique_ptr<FilterRule> first;
  uint32_t version = 0;
  bool loaded = false;
};

// What matching needs from the platform: the account look-up and the debugger output.
struct RuleMatchContext {
  platform::Accounts& accounts;
  platform::DebugOutput& debug;
};

// Reloads `list` from the log's subkey when its nFilterVersion differs from the loaded one, in
// either direction. Without a readable nFilterVersion the list keeps what it holds.
void LoadFilterRules(FilterRuleList& list, platform::RegKey& key);

// The action of the first rule that matches the record; 1 when none does or the list is empty.
// A rule stored without an action yields 1 (deliver by the log's default method).
int32_t GetRuleAction(const FilterRuleList& list, const RecordView& record,
                      const RuleMatchContext& context);

// Whether the record described by the arguments meets every criterion `rule` has. `event_id` is
// the record's identifier masked to its low 16 bits; `sid` may be null (then `sid_length` is 0).
// `account_text`, when given, caches the record's account text across several rules of one
// record: it is filled on the first look-up and reused while it holds a value.
bool IsMatchingEntry(const FilterRule& rule, std::u16string_view source, uint32_t event_type,
                     uint32_t event_id, uint32_t category, const uint8_t* sid, uint32_t sid_length,
                     const RuleMatchContext& context,
                     std::optional<std::u16string>* account_text = nullptr);

}  // namespace sentrel

#endif  // SERVICE_FILTER_FILTER_RULES_H_
