#include "service/filter/filter_rules.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "platform/event_record.h"
#include "platform/text.h"
#include "tests/support/test_platform.h"

namespace sentrel {
namespace {

using platform::EventRecordFields;

// Counts look-ups and can stand in a long account for every SID.
class CountingAccounts : public platform::Accounts {
 public:
  explicit CountingAccounts(platform::Accounts& base) : base_(base) {}
  platform::Result LookupSid(const uint8_t* sid, size_t sid_size, size_t name_chars,
                             size_t domain_chars, std::u16string* name,
                             std::u16string* domain) override {
    ++calls;
    if (!long_name.empty()) {
      *name = long_name;
      *domain = long_name;
      return platform::kSuccess;
    }
    return base_.LookupSid(sid, sid_size, name_chars, domain_chars, name, domain);
  }
  int calls = 0;
  std::u16string long_name;

 private:
  platform::Accounts& base_;
};

EventRecordFields Record(uint32_t event_id, uint16_t type = platform::kEventInformation,
                         std::u16string source = u"Srv", const char* sid = nullptr) {
  EventRecordFields f;
  f.record_number = 1;
  f.event_id = event_id;
  f.event_type = type;
  f.source = std::move(source);
  f.computer = u"SRV1";
  if (sid) f.user_sid = *platform::SidFromString(sid);
  return f;
}

class FilterRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::unique_ptr<platform::RegKey> root;
    ASSERT_EQ(computer_.platform().registry().OpenRoot(platform::RegRoot::kLocalMachine, &root),
              platform::kSuccess);
    ASSERT_EQ(root->CreateKey(u"SYSTEM\\CurrentControlSet\\Services\\Vaskwell\\Parameters\\System",
                              &key_),
              platform::kSuccess);
  }

  void Number(const std::u16string& name, uint32_t value) {
    ASSERT_EQ(platform::SetDword(*key_, name, value), platform::kSuccess);
  }
  void Text(const std::u16string& name, std::u16string_view value) {
    ASSERT_EQ(platform::SetString(*key_, name, value), platform::kSuccess);
  }
  void Stamp(uint32_t version, int32_t count) {
    Number(u"nFilterVersion", version);
    Number(u"nFilterRules", static_cast<uint32_t>(count));
  }
  static std::u16string Fr(int n, std::u16string_view field) {
    return u"FR" + platform::Decimal(n) + std::u16string(field);
  }

  void Load() { LoadFilterRules(list_, *key_); }

  int32_t Action(const EventRecordFields& fields) {
    const std::vector<uint8_t> bytes = platform::BuildEventRecord(fields);
    const std::optional<RecordView> view = RecordView::Parse(bytes.data(), bytes.size());
    EXPECT_TRUE(view.has_value());
    return view ? GetRuleAction(list_, *view, context_) : -1;
  }

  size_t RuleCount() const {
    size_t n = 0;
    for (const FilterRule* r = list_.first.get(); r; r = r->next.get()) ++n;
    return n;
  }

  testsupport::TempComputer computer_;
  testsupport::CapturingDebugOutput debug_;
  CountingAccounts accounts_{computer_.platform().accounts()};
  RuleMatchContext context_{accounts_, debug_};
  FilterRuleList list_;
  std::unique_ptr<platform::RegKey> key_;
};

TEST_F(FilterRulesTest, WithoutStampRulesAreNeverLoaded) {
  Number(u"nFilterRules", 1);
  Number(Fr(1, u"Action"), 0);
  Load();
  EXPECT_FALSE(list_.loaded);
  EXPECT_EQ(RuleCount(), 0u);
  EXPECT_EQ(Action(Record(1)), 1);
}

TEST_F(FilterRulesTest, ReloadsOnlyWhenStampDiffersInEitherDirection) {
  Stamp(5, 1);
  Number(Fr(1, u"Action"), 2);
  Load();
  EXPECT_EQ(Action(Record(1)), 2);

  // Rewritten with the same stamp: the old rules stay.
  Number(Fr(1, u"Action"), 4);
  Load();
  EXPECT_EQ(Action(Record(1)), 2);

  // A stamp set back to an older value is a change too.
  Number(u"nFilterVersion", 3);
  Load();
  EXPECT_EQ(Action(Record(1)), 4);
  EXPECT_EQ(list_.version, 3u);

  // A stamp deleted later keeps the rules last loaded.
  Number(Fr(1, u"Action"), 0);
  ASSERT_EQ(key_->DeleteValue(u"nFilterVersion"), platform::kSuccess);
  Load();
  EXPECT_TRUE(list_.loaded);
  EXPECT_EQ(Action(Record(1)), 4);
}

TEST_F(FilterRulesTest, RuleCountMissingOrNotPositiveGivesNoRules) {
  Number(u"nFilterVersion", 1);
  Number(Fr(1, u"Action"), 0);
  Load();
  EXPECT_TRUE(list_.loaded);
  EXPECT_EQ(Action(Record(1)), 1);
  // The empty set was stored with its stamp: adding the count alone changes nothing.
  Number(u"nFilterRules", 1);
  Load();
  EXPECT_EQ(Action(Record(1)), 1);

  Stamp(2, -1);
  Load();
  EXPECT_EQ(RuleCount(), 0u);
  EXPECT_EQ(Action(Record(1)), 1);

  Stamp(3, INT_MIN);
  Load();
  EXPECT_EQ(RuleCount(), 0u);
}

TEST_F(FilterRulesTest, RulesComeInNumberOrderUpToTheCount) {
  Stamp(1, 2);
  // Written in the registry out of order; rule 3 lies above the count.
  Number(Fr(3, u"Action"), 6);
  Number(Fr(2, u"Action"), 4);
  Number(Fr(2, u"EventID"), 1000);
  Number(Fr(1, u"Action"), 2);
  Number(Fr(1, u"EventID"), 1000);
  Number(Fr(1, u"EventCategory"), 3);
  Load();
  ASSERT_EQ(RuleCount(), 2u);
  EventRecordFields both = Record(1000);
  both.category = 3;
  EXPECT_EQ(Action(both), 2) << "the lower-numbered of two matching rules wins";
  EXPECT_EQ(Action(Record(1000)), 4);
  EXPECT_EQ(Action(Record(7)), 1) << "rule 3 is above the count";
}

TEST_F(FilterRulesTest, RuleWithoutCriteriaHidesTheRulesAfterIt) {
  Stamp(1, 2);
  Number(Fr(1, u"Action"), 0);
  Number(Fr(2, u"Action"), 4);
  Number(Fr(2, u"EventID"), 5);
  Load();
  EXPECT_EQ(Action(Record(5)), 0);
  EXPECT_EQ(Action(Record(6)), 0);
}

TEST_F(FilterRulesTest, RuleWithoutActionDeliversByDefault) {
  Stamp(1, 2);
  Number(Fr(1, u"EventID"), 5);  // no FR1Action
  Number(Fr(2, u"Action"), 0);
  Load();
  EXPECT_EQ(Action(Record(5)), 1);
  EXPECT_EQ(Action(Record(6)), 0);
}

TEST_F(FilterRulesTest, HugeCountStopsAtTheFirstRuleWithoutValues) {
  Stamp(1, INT_MAX);
  Number(Fr(1, u"Action"), 2);
  Number(Fr(1, u"EventID"), 5);
  Number(Fr(2, u"Action"), 4);
  Number(Fr(2, u"EventID"), 6);
  Number(Fr(4, u"Action"), 0);  // behind the empty rule 3, which matches everything
  Load();
  EXPECT_EQ(RuleCount(), 3u);
  EXPECT_EQ(Action(Record(5)), 2);
  EXPECT_EQ(Action(Record(6)), 4);
  EXPECT_EQ(Action(Record(7)), 1);
}

TEST_F(FilterRulesTest, EventIdComparesTheLowSixteenBits) {
  Stamp(1, 2);
  Number(Fr(1, u"Action"), 2);
  Number(Fr(1, u"EventID"), 1000);
  Number(Fr(2, u"Action"), 4);
  Number(Fr(2, u"EventID"), 0x103E8);  // above 65535: can never match
  Load();
  for (uint32_t id : {1000u, 0x400003E8u, 0x800003E8u, 0xC00003E8u, 0xE00F03E8u}) {
    EXPECT_EQ(Action(Record(id)), 2) << std::hex << id;
  }
  EXPECT_EQ(Action(Record(1001)), 1);
  EXPECT_EQ(Action(Record(0x103E9)), 1);
}

TEST_F(FilterRulesTest, StoredEventTypeIsShiftedRightByOne) {
  Stamp(1, 3);
  Number(Fr(1, u"Action"), 2);
  Number(Fr(1, u"EventType"), 1);  // success
  Number(Fr(2, u"Action"), 4);
  Number(Fr(2, u"EventType"), 2);  // error
  Number(Fr(3, u"Action"), 6);
  Number(Fr(3, u"EventType"), 0x80000010);  // negative after an arithmetic shift
  Load();
  EXPECT_EQ(Action(Record(1, platform::kEventSuccess)), 2);
  EXPECT_EQ(Action(Record(1, platform::kEventError)), 4);
  EXPECT_EQ(Action(Record(1, platform::kEventWarning)), 1);
  EXPECT_EQ(Action(Record(1, platform::kEventAuditSuccess)), 1);
}

TEST_F(FilterRulesTest, SourceIsComparedExactly) {
  Stamp(1, 1);
  Number(Fr(1, u"Action"), 0);
  Text(Fr(1, u"EventSource"), u"Srv");
  Load();
  EXPECT_EQ(Action(Record(1, platform::kEventError, u"Srv")), 0);
  EXPECT_EQ(Action(Record(1, platform::kEventError, u"srv")), 1);
  EXPECT_EQ(Action(Record(1, platform::kEventError, u"Srv2")), 1);
  EXPECT_EQ(Action(Record(1, platform::kEventError, u"Sr")), 1);
}

TEST_F(FilterRulesTest, TextsStoredWithoutTerminatorAreReadToTheirLength) {
  Stamp(1, 2);
  Number(Fr(1, u"Action"), 2);
  const std::u16string srv = u"Srv";
  ASSERT_EQ(key_->SetValue(Fr(1, u"EventSource"), platform::kRegSz, srv.data(), 6),
            platform::kSuccess);
  // 512 characters without terminator fill the 1024-byte buffer exactly.
  const std::u16string full(512, u'x');
  Number(Fr(2, u"Action"), 4);
  ASSERT_EQ(key_->SetValue(Fr(2, u"EventSource"), platform::kRegSz, full.data(), 1024),
            platform::kSuccess);
  Load();
  EXPECT_EQ(Action(Record(1, platform::kEventError, u"Srv")), 2);
  EXPECT_EQ(Action(Record(1, platform::kEventError, full)), 4);
  EXPECT_EQ(Action(Record(1, platform::kEventError, full.substr(1))), 1);
}

TEST_F(FilterRulesTest, ValuesTooLargeForTheirBufferDropOnlyTheirCriterion) {
  Stamp(1, 1);
  const uint64_t wide_id = 5;
  Number(Fr(1, u"Action"), 6);
  ASSERT_EQ(key_->SetValue(Fr(1, u"EventID"), 11 /* REG_QWORD */, &wide_id, 8), platform::kSuccess);
  Text(Fr(1, u"EventSource"), std::u16string(512, u'x'));  // 1026 bytes with the terminator
  Number(Fr(1, u"EventCategory"), 3);
  Load();
  EventRecordFields record = Record(77);
  record.category = 3;
  EXPECT_EQ(Action(record), 6);
  record.category = 4;
  EXPECT_EQ(Action(record), 1);
}

TEST_F(FilterRulesTest, UserRuleNeverMatchesRecordWithoutSid) {
  Stamp(1, 1);
  Number(Fr(1, u"Action"), 0);
  Text(Fr(1, u"UserName"), u"NT AUTHORITY\\SYSTEM");
  Load();
  EXPECT_EQ(Action(Record(1)), 1);
  EXPECT_EQ(accounts_.calls, 0);
}

TEST_F(FilterRulesTest, UserRuleMatchesTheLookedUpAccountAndTraces) {
  Stamp(1, 3);
  Number(Fr(1, u"Action"), 2);
  Number(Fr(1, u"EventID"), 9);
  Text(Fr(1, u"UserName"), u"NT AUTHORITY\\SYSTEM");
  Number(Fr(2, u"Action"), 4);
  Text(Fr(2, u"UserName"), u"nt authority\\system");
  Number(Fr(3, u"Action"), 6);
  Text(Fr(3, u"UserName"), u"NT AUTHORITY\\SYSTEM");
  Load();

  // Rule 1 fails on its event ID before any look-up; rules 2 and 3 share one look-up.
  EXPECT_EQ(Action(Record(1, platform::kEventError, u"Srv", "S-1-5-18")), 6);
  EXPECT_EQ(accounts_.calls, 1);
  EXPECT_EQ(debug_.lines(),
            (std::vector<std::string>{
                "User Name: 'NT AUTHORITY\\SYSTEM', Requested: 'nt authority\\system'\r\n",
                "User Name: 'NT AUTHORITY\\SYSTEM', Requested: 'NT AUTHORITY\\SYSTEM'\r\n",
                "###IsMatchingEntry!\r\n"}));

  EXPECT_EQ(Action(Record(9, platform::kEventError, u"Srv", "S-1-5-18")), 2);
  EXPECT_EQ(accounts_.calls, 2);
}

TEST_F(FilterRulesTest, UnknownAccountIsComparedAsItsSidString) {
  Stamp(1, 1);
  Number(Fr(1, u"Action"), 0);
  Text(Fr(1, u"UserName"), u"S-1-5-21-1-2-3-1001");
  Load();
  EXPECT_EQ(Action(Record(1, platform::kEventError, u"Srv", "S-1-5-21-1-2-3-1001")), 0);
  EXPECT_EQ(Action(Record(1, platform::kEventError, u"Srv", "S-1-5-21-1-2-3-1002")), 1);
}

TEST_F(FilterRulesTest, UserNameTraceIsBoundedAndKeepsItsFrame) {
  const std::vector<uint8_t> sid = *platform::SidFromString("S-1-5-18");
  FilterRule rule;
  rule.user_name = std::make_unique<std::u16string>(511, u'u');
  const std::string head = "User Name: 'NT AUTHORITY\\SYSTEM', Requested: 'uuu";

  EXPECT_FALSE(IsMatchingEntry(rule, u"Srv", 1, 1, 0, sid.data(), static_cast<uint32_t>(sid.size()),
                               context_));
  ASSERT_EQ(debug_.lines().size(), 1u);
  std::string line = debug_.lines()[0];
  EXPECT_EQ(line.size(), 511u);
  EXPECT_EQ(line.compare(0, head.size(), head), 0);
  EXPECT_EQ(line.substr(line.size() - 5), "uu'\r\n");

  // Both names long: each keeps part of its text and the line still ends properly.
  debug_.Clear();
  accounts_.long_name = std::u16string(256, u'a');
  EXPECT_FALSE(IsMatchingEntry(rule, u"Srv", 1, 1, 0, sid.data(), static_cast<uint32_t>(sid.size()),
                               context_));
  line = debug_.lines().at(0);
  EXPECT_EQ(line.size(), 511u);
  EXPECT_EQ(line.compare(0, 15, "User Name: 'aaa"), 0);
  EXPECT_NE(line.find("aaa', Requested: 'uuu"), std::string::npos);
  EXPECT_EQ(line.substr(line.size() - 5), "uu'\r\n");
}

}  // namespace
}  // namespace sentrel
