#include "service/config/service_config.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/test_platform.h"

namespace sentrel {
namespace {

using platform::RegKey;

class ConfigStoreTest : public ::testing::Test {
 protected:
  std::unique_ptr<RegKey> Key(std::u16string_view below_parameters = u"") {
    std::unique_ptr<RegKey> hklm, key;
    EXPECT_EQ(computer_.platform().registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm),
              platform::kSuccess);
    std::u16string path = kParametersKey;
    if (!below_parameters.empty()) path += u"\\" + std::u16string(below_parameters);
    EXPECT_EQ(hklm->CreateKey(path, &key), platform::kSuccess);
    return key;
  }
  std::unique_ptr<RegKey> OpenExisting(std::u16string_view path) {
    std::unique_ptr<RegKey> hklm, key;
    EXPECT_EQ(computer_.platform().registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm),
              platform::kSuccess);
    if (hklm->OpenKey(path, platform::RegAccess::kRead, &key) != platform::kSuccess) return nullptr;
    return key;
  }
  static uint32_t Dword(RegKey& key, std::u16string_view name) {
    uint32_t v = 0xDEADBEEF;
    EXPECT_EQ(platform::QueryDword(key, name, &v), platform::kSuccess) << "missing value";
    return v;
  }
  static bool Has(RegKey& key, std::u16string_view name) {
    uint32_t size = 0, type = 0;
    return key.QueryValue(name, &type, nullptr, &size) == platform::kSuccess;
  }

  testsupport::TempComputer computer_;
  ConfigStore store_{computer_.platform()};
};

TEST_F(ConfigStoreTest, EmptyParametersGivesEveryDefault) {
  Key();
  store_.config().target2 = "stale";
  store_.config().backup_configured = true;
  store_.LoadConfig(LogId::kSystem);
  const ServiceConfig& c = store_.config();
  EXPECT_EQ(c.sleep_time, 60000);
  EXPECT_EQ(c.target, "127.0.0.1");
  EXPECT_FALSE(c.backup_configured);
  EXPECT_EQ(c.target2, "");
  EXPECT_EQ(c.proto_type, 0);
  EXPECT_EQ(c.proto_type_backup, 0);
  EXPECT_EQ(c.syslog1_encoding, 0);
  EXPECT_EQ(c.syslog2_encoding, 0);
  EXPECT_EQ(c.rfc3164_mode, 0);
  EXPECT_EQ(c.use_legacy_mode, 1);
  EXPECT_EQ(c.add_facility_string, 0);
  EXPECT_EQ(c.add_user_name, 0);
  EXPECT_EQ(c.add_log_type, 0);
  EXPECT_EQ(c.replace_computer_name, 0);
  EXPECT_EQ(c.replacement_name, "!");
  EXPECT_EQ(c.replacement_name_wide, u"!");
  EXPECT_EQ(c.show_msg_number, 0);
  EXPECT_EQ(c.last_msg_number, 0);
  EXPECT_EQ(c.forward_binary_data, 0);
  EXPECT_EQ(c.single_event_mails, 0);
  EXPECT_EQ(c.prevent_overrun_delay, 5);
  EXPECT_EQ(c.last_record, 0u);
  EXPECT_EQ(c.facility, 128);
  EXPECT_EQ(c.filter_event_type, 255);
  EXPECT_EQ(c.report_truncated_log, 1);
  EXPECT_EQ(c.delivery_method, 0);
  EXPECT_EQ(c.mail_encoding, 0);
  EXPECT_EQ(c.smtp_server, "127.0.0.1");
  EXPECT_EQ(c.smtp_sender, kDefaultMailbox);
  EXPECT_EQ(c.smtp_recipient, kDefaultMailbox);
  EXPECT_EQ(c.smtp_subject, "");
  // Loading never creates a key.
  EXPECT_EQ(OpenExisting(std::u16string(kParametersKey) + u"\\System"), nullptr);
}

TEST_F(ConfigStoreTest, ReadsGlobalAndPerLogValuesOfTheRightLog) {
  auto params = Key();
  EXPECT_EQ(0u, platform::SetDword(*params, u"nSleepTime", 1234));
  ASSERT_EQ(platform::kSuccess,
            params->SetValueAnsi(u"szTarget", platform::kRegSz, "syslog.example"));
  ASSERT_EQ(platform::kSuccess, params->SetValueAnsi(u"szReplaceComputerName", platform::kRegSz,
                                                     "M\xE4hre"));  // cp1252
  EXPECT_EQ(0u, platform::SetDword(*params, u"nProtoType", 1));
  auto system = Key(u"System");
  EXPECT_EQ(0u, platform::SetDword(*system, u"nLastRecord", 41));
  EXPECT_EQ(0u, platform::SetDword(*system, u"nFacility", 16));
  auto security = Key(u"Security");
  EXPECT_EQ(0u, platform::SetDword(*security, u"nLastRecord", 7));
  ASSERT_EQ(platform::kSuccess,
            security->SetValueAnsi(u"szSMTPSender", platform::kRegSz, "ops@example.org"));

  store_.LoadConfig(LogId::kSystem);
  EXPECT_EQ(store_.config().sleep_time, 1234);
  EXPECT_EQ(store_.config().target, "syslog.example");
  EXPECT_EQ(store_.config().replacement_name, "M\xE4hre");
  EXPECT_EQ(store_.config().replacement_name_wide, u"M\u00E4hre");
  EXPECT_EQ(store_.config().proto_type, 1);
  EXPECT_EQ(store_.config().last_record, 41u);
  EXPECT_EQ(store_.config().facility, 16);
  EXPECT_EQ(store_.config().smtp_sender, kDefaultMailbox);

  // The next log's load replaces every per-log value, also by its default.
  store_.LoadConfig(LogId::kSecurity);
  EXPECT_EQ(store_.config().last_record, 7u);
  EXPECT_EQ(store_.config().facility, 128);
  EXPECT_EQ(store_.config().smtp_sender, "ops@example.org");
  EXPECT_EQ(store_.snapshot().last_record, 7u);
  EXPECT_EQ(store_.snapshot().sleep_time, 1234);
  EXPECT_EQ(store_.snapshot().target, "syslog.example");
}

TEST_F(ConfigStoreTest, OverrunDelayIsClamped) {
  auto params = Key();
  for (auto [stored, loaded] : std::vector<std::pair<int32_t, int32_t>>{
           {1000, 400}, {401, 400}, {400, 400}, {-5, 0}, {-1, 0}, {0, 0}, {17, 17}}) {
    EXPECT_EQ(0u,
              platform::SetDword(*params, u"nPreventOverrunDelay", static_cast<uint32_t>(stored)));
    store_.LoadConfig(LogId::kApplication);
    EXPECT_EQ(store_.config().prevent_overrun_delay, loaded) << "stored " << stored;
  }
}

// A sleep time that reads as negative would poll without a pause; a facility whose priority
// falls outside 0 to 191 gives a PRI no collector accepts. Both count as missing.
TEST_F(ConfigStoreTest, OutOfRangeSleepTimeAndFacilityTakeTheirDefaults) {
  auto params = Key();
  auto system = Key(u"System");
  for (auto [stored, loaded] : std::vector<std::pair<uint32_t, int32_t>>{
           {0x80000000u, 60000}, {0xFFFFFFFFu, 60000}, {0x7FFFFFFFu, 0x7FFFFFFF}, {0, 0}, {1, 1}}) {
    ASSERT_EQ(platform::SetDword(*params, u"nSleepTime", stored), platform::kSuccess);
    store_.LoadConfig(LogId::kSystem);
    EXPECT_EQ(store_.config().sleep_time, loaded) << "stored " << stored;
    EXPECT_EQ(store_.rejected_sleep_time(),
              loaded == static_cast<int32_t>(stored) ? std::nullopt : std::optional(stored));
  }
  for (auto [stored, loaded] : std::vector<std::pair<uint32_t, int32_t>>{{0xFFFFFFFFu, 128},
                                                                         {192, 128},
                                                                         {0x80000000u, 128},
                                                                         {191, 191},
                                                                         {184, 184},
                                                                         {129, 129},
                                                                         {0, 0}}) {
    ASSERT_EQ(platform::SetDword(*system, u"nFacility", stored), platform::kSuccess);
    store_.LoadConfig(LogId::kSystem);
    EXPECT_EQ(store_.config().facility, loaded) << "stored " << stored;
  }
}

TEST_F(ConfigStoreTest, BackupServerCountsWhenPresentEvenIfEmpty) {
  auto params = Key();
  ASSERT_EQ(platform::kSuccess, params->SetValueAnsi(u"szTarget2", platform::kRegSz, ""));
  store_.LoadConfig(LogId::kSystem);
  EXPECT_TRUE(store_.config().backup_configured);
  EXPECT_EQ(store_.config().target2, "");

  ASSERT_EQ(platform::kSuccess,
            params->SetValueAnsi(u"szTarget2", platform::kRegSz, "backup.example"));
  store_.LoadConfig(LogId::kSystem);
  EXPECT_TRUE(store_.config().backup_configured);
  EXPECT_EQ(store_.config().target2, "backup.example");

  ASSERT_EQ(platform::kSuccess, params->DeleteValue(u"szTarget2"));
  store_.LoadConfig(LogId::kSystem);
  EXPECT_FALSE(store_.config().backup_configured);
  EXPECT_EQ(store_.config().target2, "");
}

TEST_F(ConfigStoreTest, OversizedValuesCountAsMissing) {
  auto params = Key();
  ASSERT_EQ(platform::kSuccess,
            params->SetValueAnsi(u"szTarget", platform::kRegSz, std::string(255, 'a')));
  ASSERT_EQ(platform::kSuccess, params->SetValueAnsi(u"szReplaceComputerName", platform::kRegSz,
                                                     std::string(256, 'b')));
  const uint64_t wide = 7;
  ASSERT_EQ(platform::kSuccess,
            params->SetValue(u"nSleepTime", platform::kRegBinary, &wide, sizeof wide));
  const uint16_t narrow = 3;
  ASSERT_EQ(params->SetValue(u"nRFC3164Mode", platform::kRegBinary, &narrow, sizeof narrow),
            platform::kSuccess);
  store_.LoadConfig(LogId::kSystem);
  EXPECT_EQ(store_.config().target, std::string(255, 'a'));  // 255 bytes still fit
  EXPECT_EQ(store_.config().replacement_name, "!");
  EXPECT_EQ(store_.config().sleep_time, 60000);
  EXPECT_EQ(store_.config().rfc3164_mode, 3);  // narrower numbers are taken zero-extended
}

TEST_F(ConfigStoreTest, SaveProgressWritesOnlyWhatChanged) {
  auto params = Key();
  auto app = Key(u"Application");
  EXPECT_EQ(0u, platform::SetDword(*params, u"nLastSyslogMsgNbr", 10));
  EXPECT_EQ(0u, platform::SetDword(*app, u"nLastRecord", 20));
  store_.LoadConfig(LogId::kApplication);

  // The client changes both values during the pass; a pass that advanced nothing must not
  // overwrite them.
  EXPECT_EQ(0u, platform::SetDword(*params, u"nLastSyslogMsgNbr", 99));
  EXPECT_EQ(0u, platform::SetDword(*app, u"nLastRecord", 98));
  EXPECT_TRUE(store_.SaveProgress(LogId::kApplication));
  EXPECT_EQ(Dword(*params, u"nLastSyslogMsgNbr"), 99u);
  EXPECT_EQ(Dword(*app, u"nLastRecord"), 98u);

  // Only the record advanced: only nLastRecord is written.
  store_.config().last_record = 25;
  EXPECT_TRUE(store_.SaveProgress(LogId::kApplication));
  EXPECT_EQ(Dword(*app, u"nLastRecord"), 25u);
  EXPECT_EQ(Dword(*params, u"nLastSyslogMsgNbr"), 99u);

  // Only the message number advanced.
  store_.LoadConfig(LogId::kApplication);
  store_.config().last_msg_number = 100;
  EXPECT_EQ(0u, platform::SetDword(*app, u"nLastRecord", 3));
  EXPECT_TRUE(store_.SaveProgress(LogId::kApplication));
  EXPECT_EQ(Dword(*params, u"nLastSyslogMsgNbr"), 100u);
  EXPECT_EQ(Dword(*app, u"nLastRecord"), 3u);
}

TEST_F(ConfigStoreTest, SaveProgressCreatesAMissingLogSubkey) {
  store_.LoadConfig(LogId::kDnsServer);
  EXPECT_EQ(store_.config().last_record, 0u);
  store_.config().last_record = 5;
  EXPECT_TRUE(store_.SaveProgress(LogId::kDnsServer));
  auto dns = OpenExisting(std::u16string(kParametersKey) + u"\\DNS Server");
  ASSERT_NE(dns, nullptr);
  EXPECT_EQ(Dword(*dns, u"nLastRecord"), 5u);
  auto params = OpenExisting(kParametersKey);
  EXPECT_FALSE(Has(*params, u"nLastSyslogMsgNbr"));
}

TEST_F(ConfigStoreTest, SaveProgressReportsAFailedWrite) {
  store_.LoadConfig(LogId::kSystem);
  store_.config().last_record = 5;
  Key(u"System");
  EXPECT_EQ(0u, computer_.platform().emulated_registry().SetAccessDenied(
                    platform::RegRoot::kLocalMachine, std::u16string(kParametersKey) + u"\\System",
                    true));
  EXPECT_FALSE(store_.SaveProgress(LogId::kSystem));
}

TEST_F(ConfigStoreTest, InstallDefaultsOverwriteExistingValues) {
  auto params = Key();
  EXPECT_EQ(0u, platform::SetDword(*params, u"nSleepTime", 60000));
  ASSERT_EQ(platform::kSuccess, params->SetValueAnsi(u"szTarget", platform::kRegSz, "10.0.0.9"));
  auto system = Key(u"System");
  EXPECT_EQ(0u, platform::SetDword(*system, u"nLastRecord", 300));

  for (std::u16string_view log : {u"System", u"Application", u"Security"}) {
    EXPECT_TRUE(store_.WriteInstallDefaults(log));
  }
  EXPECT_EQ(Dword(*params, u"nSleepTime"), 5000u);
  std::u16string target;
  EXPECT_EQ(0u, platform::QueryString(*params, u"szTarget", &target));
  EXPECT_EQ(target, u"127.0.0.1");
  for (std::u16string_view log : {u"System", u"Application", u"Security"}) {
    auto key = OpenExisting(std::u16string(kParametersKey) + u"\\" + std::u16string(log));
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(Dword(*key, u"nLastRecord"), 0u);
  }
}

TEST_F(ConfigStoreTest, InstallDefaultsWriteNothingWhenEqualToTheLoadedValues) {
  auto params = Key();
  EXPECT_EQ(0u, platform::SetDword(*params, u"nSleepTime", 5000));
  store_.LoadConfig(LogId::kSystem);
  EXPECT_EQ(0u, platform::SetDword(*params, u"nSleepTime", 777));
  EXPECT_TRUE(store_.WriteInstallDefaults(u"System"));
  EXPECT_EQ(Dword(*params, u"nSleepTime"), 777u);
}

TEST_F(ConfigStoreTest, FilterRulesLoadOnlyWhenTheLogSubkeyExists) {
  Key();
  store_.LoadConfig(LogId::kSecurity);
  EXPECT_FALSE(store_.rules(LogId::kSecurity).loaded);

  auto security = Key(u"Security");
  EXPECT_EQ(0u, platform::SetDword(*security, u"nFilterVersion", 3));
  EXPECT_EQ(0u, platform::SetDword(*security, u"nFilterRules", 1));
  EXPECT_EQ(0u, platform::SetDword(*security, u"FR1Action", 0));
  store_.LoadConfig(LogId::kSecurity);
  EXPECT_TRUE(store_.rules(LogId::kSecurity).loaded);
  EXPECT_EQ(store_.rules(LogId::kSecurity).version, 3u);
  ASSERT_NE(store_.rules(LogId::kSecurity).first, nullptr);
  EXPECT_FALSE(store_.rules(LogId::kSystem).loaded);
}

TEST(LogIdTest, NamesAndExactLookup) {
  EXPECT_EQ(LogName(LogId::kFileReplicationService), u"File Replication Service");
  EXPECT_EQ(LogName(static_cast<LogId>(6)), u"Error: Invalid LogID");
  EXPECT_EQ(LogName(static_cast<LogId>(-1)), u"Error: Invalid LogID");
  EXPECT_EQ(LogIdFromName(u"DNS Server"), LogId::kDnsServer);
  EXPECT_EQ(LogIdFromName(u"system"), std::nullopt);
  EXPECT_EQ(LogIdFromName(u"System "), std::nullopt);
}

}  // namespace
}  // namespace sentrel
