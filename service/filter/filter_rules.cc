#include "service/filter/filter_rules.h"

#include <algorithm>
#include <array>

#include "platform/text.h"
#include "service/render/account_name.h"

namespace sentrel {
namespace {

// Rule values are read into fixed buffers; a value that does not fit counts as absent.
constexpr uint32_t kTextValueBytes = 1024;

// The user-name trace line is built in this many UTF-16 characters, terminator included.
constexpr size_t kTraceLineChars = 512;

// "FR<n><field>", for example FR12EventSource.
std::u16string RuleValueName(int32_t n, std::u16string_view field) {
  std::u16string name = u"FR" + platform::Decimal(n);
  name.append(field);
  return name;
}

// A 32-bit value read into a 4-byte buffer; nothing when the value is missing or wider. A value
// narrower than 4 bytes is taken zero-extended.
std::optional<uint32_t> ReadNumber(platform::RegKey& key, std::u16string_view name) {
  uint32_t value = 0;
  uint32_t size = sizeof value;
  uint32_t type = 0;
  if (key.QueryValue(name, &type, &value, &size) != platform::kSuccess) return std::nullopt;
  return value;
}

std::optional<int32_t> ReadSigned(platform::RegKey& key, std::u16string_view name) {
  const std::optional<uint32_t> value = ReadNumber(key, name);
  if (!value) return std::nullopt;
  return static_cast<int32_t>(*value);
}

// A text value read as UTF-16 into a 1024-byte buffer, taken up to its stored length and cut at
// the first zero, so a value stored without a terminator is read whole. Null when the value is
// missing or longer than the buffer.
std::unique_ptr<std::u16string> ReadText(platform::RegKey& key, std::u16string_view name) {
  std::array<char16_t, kTextValueBytes / sizeof(char16_t)> buffer;
  uint32_t size = kTextValueBytes;
  uint32_t type = 0;
  if (key.QueryValue(name, &type, buffer.data(), &size) != platform::kSuccess) return nullptr;
  std::u16string_view text(buffer.data(), std::min<size_t>(size / sizeof(char16_t), buffer.size()));
  text = text.substr(0, text.find(u'\0'));
  return std::make_unique<std::u16string>(text);
}

// Builds rule n from whatever of its values exist, in the order action, event ID, event type,
// category, source, user name.
std::unique_ptr<FilterRule> BuildRule(platform::RegKey& key, int32_t n) {
  auto rule = std::make_unique<FilterRule>();
  rule->action = ReadSigned(key, RuleValueName(n, u"Action"));
  rule->event_id = ReadSigned(key, RuleValueName(n, u"EventID"));
  if (std::optional<int32_t> type = ReadSigned(key, RuleValueName(n, u"EventType"))) {
    // The stored code has one bit per type, one place above the record's type value (an
    // arithmetic shift: a negative code stays negative and never matches).
    rule->event_type = *type >> 1;
  }
  rule->category = ReadSigned(key, RuleValueName(n, u"EventCategory"));
  rule->source = ReadText(key, RuleValueName(n, u"EventSource"));
  rule->user_name = ReadText(key, RuleValueName(n, u"UserName"));
  return rule;
}

bool HasNoValues(const FilterRule& rule) {
  return !rule.action && !rule.event_id && !rule.event_type && !rule.category && !rule.source &&
         !rule.user_name;
}

// Destroys a chain of rules one by one, so a long list cannot exhaust the stack.
void DestroyRules(std::unique_ptr<FilterRule>& first) {
  while (first) first = std::move(first->next);
}

// The first `limit` code units of `text`, without a lone high surrogate at the cut.
std::u16string_view Shorten(std::u16string_view text, size_t limit) {
  if (text.size() <= limit) return text;
  text = text.substr(0, limit);
  if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) text.remove_suffix(1);
  return text;
}

// "User Name: '<account>', Requested: '<user>'\r\n", at most kTraceLineChars - 1 characters. When
// the two names do not both fit, each keeps at least half of the room, and a name shorter than
// its half leaves the rest to the other; the frame around them always stays whole.
void TraceUserName(platform::DebugOutput& debug, std::u16string_view account,
                   std::u16string_view user) {
  constexpr std::u16string_view kHead = u"User Name: '";
  constexpr std::u16string_view kMiddle = u"', Requested: '";
  constexpr std::u16string_view kTail = u"'\r\n";
  constexpr size_t kRoom = kTraceLineChars - 1 - kHead.size() - kMiddle.size() - kTail.size();
  const size_t account_keep = std::min(account.size(), kRoom - std::min(user.size(), kRoom / 2));
  const size_t user_keep = std::min(user.size(), kRoom - account_keep);

  std::u16string line;
  line.reserve(kTraceLineChars);
  line.append(kHead);
  line.append(Shorten(account, account_keep));
  line.append(kMiddle);
  line.append(Shorten(user, user_keep));
  line.append(kTail);
  debug.Write(line);
}

}  // namespace

FilterRuleList::~FilterRuleList() { DestroyRules(first); }

void LoadFilterRules(FilterRuleList& list, platform::RegKey& key) {
  // The stamp is read first: a rule set still being written when it is read is used until the
  // next change of the stamp.
  const std::optional<uint32_t> version = ReadNumber(key, u"nFilterVersion");
  if (!version) return;
  if (list.loaded && list.version == *version) return;
  DestroyRules(list.first);

  const int32_t count = ReadSigned(key, u"nFilterRules").value_or(0);
  std::unique_ptr<FilterRule>* tail = &list.first;
  for (int64_t n = 1; n <= count; ++n) {
    *tail = BuildRule(key, static_cast<int32_t>(n));
    // A rule with no values at all matches every record and yields 1, so no rule after it can
    // ever decide: stop here rather than read up to an arbitrarily large count.
    if (HasNoValues(**tail)) break;
    tail = &(*tail)->next;
  }
  list.version = *version;
  list.loaded = true;
}

bool IsMatchingEntry(const FilterRule& rule, std::u16string_view source, uint32_t event_type,
                     uint32_t event_id, uint32_t category, const uint8_t* sid, uint32_t sid_length,
                     const RuleMatchContext& context, std::optional<std::u16string>* account_text) {
  // Signed rule values against unsigned record fields: compared in 64 bits, so a negative or
  // oversized stored value simply never matches.
  if (rule.event_id && int64_t{*rule.event_id} != int64_t{event_id}) return false;
  if (rule.event_type && int64_t{*rule.event_type} != int64_t{event_type}) return false;
  if (rule.category && int64_t{*rule.category} != int64_t{category}) return false;
  if (rule.source && *rule.source != source) return false;
  if (rule.user_name) {
    if (sid_length == 0 || sid == nullptr) return false;
    std::optional<std::u16string> local;
    std::optional<std::u16string>& account = account_text ? *account_text : local;
    if (!account) account = GetAccountName(context.accounts, sid, sid_length);
    if (context.debug.Enabled()) TraceUserName(context.debug, *account, *rule.user_name);
    if (*account != *rule.user_name) return false;
  }
  if (context.debug.Enabled()) context.debug.Write(u"###IsMatchingEntry!\r\n");
  return true;
}

int32_t GetRuleAction(const FilterRuleList& list, const RecordView& record,
                      const RuleMatchContext& context) {
  // The record's account text is looked up at most once, by the first rule that names a user.
  std::optional<std::u16string> account_text;
  for (const FilterRule* rule = list.first.get(); rule; rule = rule->next.get()) {
    if (IsMatchingEntry(*rule, record.source(), record.event_type(), record.event_id() & 0xFFFF,
                        record.category(), record.sid(), record.sid_length(), context,
                        &account_text)) {
      // A rule stored without an action delivers by the default method rather than discarding.
      return rule->action.value_or(kActionDefault);
    }
  }
  return kActionDefault;
}

}  // namespace sentrel
