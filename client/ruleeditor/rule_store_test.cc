#include "client/ruleeditor/rule_store.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "client/core/registry.h"
#include "service/filter/filter_rules.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/test_platform.h"

namespace sentrel::client {
namespace {

using platform::RegKey;

// One rule as the service holds it, with the action it yields.
using ServiceRule =
    std::tuple<int32_t, std::optional<int32_t>, std::optional<int32_t>, std::optional<int32_t>,
               std::optional<std::u16string>, std::optional<std::u16string>>;

class RuleStoreTest : public ::testing::Test {
 protected:
  platform::Platform& platform() { return computer_.platform(); }
  void Number(std::u16string_view name, uint32_t value) {
    ASSERT_EQ(platform::SetDword(*key_, name, value), platform::kSuccess);
  }
  void Text(std::u16string_view name, std::u16string_view value) {
    ASSERT_EQ(platform::SetString(*key_, name, value), platform::kSuccess);
  }
  bool Has(std::u16string_view name) {
    uint32_t size = 0, type = 0;
    return key_->QueryValue(name, &type, nullptr, &size) == platform::kSuccess;
  }
  std::optional<uint32_t> Dword(std::u16string_view name) {
    uint32_t value = 0;
    if (platform::QueryDword(*key_, name, &value) != platform::kSuccess) return std::nullopt;
    return value;
  }

  bool Read() { return store_.ReadRules(registry_, *key_, kLog); }
  void Write(bool enabled) { store_.WriteRules(registry_, *key_, kLog, enabled); }

  // The rules a service would load from the key now. A trailing rule without any criterion
  // that delivers by default is dropped: it changes nothing.
  std::vector<ServiceRule> ServiceView() {
    FilterRuleList list;
    LoadFilterRules(list, *key_);
    std::vector<ServiceRule> rules;
    for (const FilterRule* r = list.first.get(); r; r = r->next.get()) {
      auto text = [](const std::unique_ptr<std::u16string>& s) {
        return s ? std::optional<std::u16string>(*s) : std::nullopt;
      };
      rules.emplace_back(r->action.value_or(kActionDefault), r->event_id, r->event_type,
                         r->category, text(r->source), text(r->user_name));
    }
    while (!rules.empty() && rules.back() == ServiceRule{1, {}, {}, {}, {}, {}}) rules.pop_back();
    return rules;
  }

  static constexpr ClientLog kLog = ClientLog::kSystem;
  static constexpr char16_t kKeyPath[] = u"SOFTWARE\\Test\\System";
  testsupport::TempComputer computer_;
  Registry registry_{computer_.platform()};
  FilterRuleStore store_;
  std::unique_ptr<RegKey> key_ = testsupport::MachineKey(platform(), kKeyPath);
};

FilterRuleTexts Rule(std::u16string action, std::u16string source = u"", std::u16string id = u"",
                     std::u16string type = u"", std::u16string category = u"",
                     std::u16string user = u"") {
  FilterRuleTexts rule;
  rule.Set(RuleField::kAction, std::move(action));
  rule.Set(RuleField::kEventSource, std::move(source));
  rule.Set(RuleField::kEventID, std::move(id));
  rule.Set(RuleField::kEventType, std::move(type));
  rule.Set(RuleField::kEventCategory, std::move(category));
  rule.Set(RuleField::kUserName, std::move(user));
  return rule;
}

// Whatever the registry holds, a load and a save leave the service with the same rules: values
// the client cannot show as they are stay as they are, or are written back to the same effect.
TEST_F(RuleStoreTest, LoadAndSaveKeepWhatTheServiceDoes) {
  const std::u16string long_source(300, u'S');   // beyond the 256-byte narrow read
  const std::u16string longest_user(512, u'U');  // 1024 bytes, stored without terminator
  const std::u16string unreadable(600, u'X');    // too long for the service as well
  Number(u"nFilterVersion", 7);
  Number(u"nFilterRules", 2000000000);  // bounded by the first empty rule number
  Number(u"FR1EventID", 7036);          // no action: delivered by default
  Text(u"FR2EventSource", long_source);
  Number(u"FR2Action", 0);
  Number(u"FR3Action", 9);                               // no such list entry
  Number(u"FR3EventType", 3);                            // no such list entry
  Number(u"FR3EventID", 70000);                          // above 65535: never matches
  Number(u"FR3EventCategory", 0xFFFFFFFF);               // read as -1
  Text(u"FR4EventSource", u"\u30B5\u30FC\u30D3\u30B9");  // outside code page 1252
  Text(u"FR4UserName", u"");                             // present: matches only an empty name
  Number(u"FR4Action", 4);
  ASSERT_EQ(key_->SetValue(u"FR5UserName", platform::kRegSz, longest_user.data(), 1024),
            platform::kSuccess);
  Text(u"FR5EventSource", unreadable);
  const uint64_t wide = 5;
  ASSERT_EQ(key_->SetValue(u"FR5EventID", platform::kRegBinary, &wide, sizeof wide),
            platform::kSuccess);
  Number(u"FR7Action", 0);  // after the gap at 6: never used
  const std::vector<ServiceRule> before = ServiceView();
  ASSERT_EQ(before.size(), 5u);

  EXPECT_TRUE(Read());
  ASSERT_EQ(store_.count(kLog), 5);
  EXPECT_EQ(store_.stamp(kLog), 7u);
  const RuleSet& rules = store_.rules(kLog);
  EXPECT_EQ(rules[0], Rule(u"1", u"", u"7036"));
  EXPECT_EQ(rules[1][RuleField::kEventSource], long_source);
  EXPECT_EQ(rules[2], Rule(u"9", u"", u"70000", u"3", u"-1"));
  EXPECT_TRUE(rules[3].StoredEmpty(RuleField::kUserName));
  EXPECT_EQ(rules[4][RuleField::kUserName], longest_user);
  EXPECT_EQ(rules[4][RuleField::kEventSource], u"");

  registry_.ClearSaveFailure();
  Write(true);
  EXPECT_FALSE(registry_.save_failure());
  EXPECT_EQ(Dword(u"nFilterRules"), 5u);
  EXPECT_EQ(Dword(u"nFilterVersion"), 7u);  // the same set: the same stamp
  EXPECT_TRUE(Has(u"FR5EventSource")) << "a value nobody can read was deleted";
  EXPECT_TRUE(Has(u"FR5EventID"));
  // The service reads the same rules again (a fresh list, as after a restart).
  EXPECT_EQ(ServiceView(), before);
}

TEST_F(RuleStoreTest, NotPositiveCountsHaveNoRulesAndLeaveTheBoxCleared) {
  Number(u"FR1Action", 4);
  for (uint32_t count : {0u, 0x80000000u}) {
    Number(u"nFilterRules", count);
    EXPECT_FALSE(Read()) << count;
    EXPECT_EQ(store_.count(kLog), 0) << count;
  }
}

// The store's values first, nFilterRules next, the stamp last (a fresh key lists its values in
// the order they were first written).
TEST_F(RuleStoreTest, SaveWritesTheStampLast) {
  store_.Confirm(kLog, {Rule(u"0", u"A"), Rule(u"4")});
  Write(true);
  std::vector<std::u16string> names;
  std::u16string name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  while (key_->EnumValue(static_cast<uint32_t>(names.size()), &name, &type, &data) ==
         platform::kSuccess) {
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"FR1Action", u"FR1EventSource", u"FR2Action",
                                                u"nFilterRules", u"nFilterVersion"}));
}

// A running service reloads exactly when the set it would read has changed.
TEST_F(RuleStoreTest, EveryChangeOfTheSetReachesARunningService) {
  FilterRuleList service;
  auto service_rules = [&] {
    LoadFilterRules(service, *key_);
    int n = 0;
    for (const FilterRule* r = service.first.get(); r; r = r->next.get()) ++n;
    return n;
  };
  // A cleared box on a key without rules writes no stamp: there is nothing to reload.
  EXPECT_FALSE(Read());
  Write(false);
  EXPECT_EQ(Dword(u"nFilterRules"), 0u);
  EXPECT_FALSE(Has(u"nFilterVersion"));

  Number(u"nFilterVersion", 3);
  Number(u"nFilterRules", 1);
  Number(u"FR1Action", 0);
  Number(u"FR1EventID", 7036);
  ASSERT_EQ(service_rules(), 1);
  ASSERT_TRUE(Read());

  // A save without changes keeps the stamp (each confirmation's raise is checked through the
  // editor window).
  Write(true);
  EXPECT_EQ(Dword(u"nFilterVersion"), 3u);

  // Clearing "Enable Filter Rules": count 0 and a new stamp.
  Write(false);
  EXPECT_EQ(Dword(u"nFilterRules"), 0u);
  EXPECT_EQ(Dword(u"nFilterVersion"), 4u);
  EXPECT_EQ(service_rules(), 0);
  EXPECT_TRUE(Has(u"FR1EventID")) << "rule values above the count are left";
  // Saving the cleared box again changes nothing.
  Write(false);
  EXPECT_EQ(Dword(u"nFilterVersion"), 4u);

  // Ticked again: the rules come back with a new stamp.
  Write(true);
  EXPECT_EQ(Dword(u"nFilterVersion"), 5u);
  EXPECT_EQ(service_rules(), 1);

  // A reset empties the key: the read finds no stamp, the save still tells the service.
  ASSERT_EQ(testsupport::DeleteMachineKey(platform(), kKeyPath), platform::kSuccess);
  key_ = testsupport::MachineKey(platform(), kKeyPath);
  EXPECT_FALSE(Read());
  EXPECT_EQ(service_rules(), 1) << "without a stamp the service keeps its rules";
  Write(false);
  EXPECT_EQ(Dword(u"nFilterVersion"), 6u);
  EXPECT_EQ(service_rules(), 0);
}

// Empty criteria delete their values; texts that are no number are an absent criterion, and
// the save never fails on them.
TEST_F(RuleStoreTest, EmptiedAndUnusableCriteriaDeleteTheirValues) {
  Number(u"nFilterVersion", 1);
  Number(u"nFilterRules", 1);
  Number(u"FR1Action", 0);
  Text(u"FR1EventSource", u"Srv");
  Text(u"FR1UserName", u"D\\u");
  Number(u"FR1EventType", 2);
  Number(u"FR1EventID", 1);
  Number(u"FR1EventCategory", 1);
  ASSERT_TRUE(Read());
  store_.Confirm(kLog, {Rule(u"0", u"", u"99999999999", u"", u"1x", u"")});
  registry_.ClearSaveFailure();
  Write(true);
  EXPECT_FALSE(registry_.save_failure());
  for (RuleField field : kRuleFields) {
    if (field != RuleField::kAction) {
      EXPECT_FALSE(Has(RuleValueName(1, field)));
    }
  }
  EXPECT_EQ(Dword(u"FR1Action"), 0u);
}

TEST(RuleFieldsTest, NumbersAndListEntries) {
  EXPECT_EQ(RuleValueName(12, RuleField::kEventSource), u"FR12EventSource");
  EXPECT_EQ(RuleNumberValue(u"4294967295"), 0xFFFFFFFFu);
  EXPECT_EQ(RuleNumberValue(u"-1"), 0xFFFFFFFFu);
  EXPECT_EQ(RuleNumberValue(u"-2147483648"), 0x80000000u);
  for (auto bad : {u"", u"-", u"4294967296", u"-2147483649", u"+1", u"1 "}) {
    EXPECT_FALSE(RuleNumberValue(bad));
  }
  EXPECT_EQ(ActionIndexOf(u"6"), 6);
  EXPECT_EQ(ActionIndexOf(u"9"), 0);
  EXPECT_EQ(EventTypeIndexOf(u"32"), 6);
  EXPECT_EQ(EventTypeIndexOf(u"3"), 0);
  EXPECT_EQ(EventTypeIndexOf(u""), 0);
}

}  // namespace
}  // namespace sentrel::client
