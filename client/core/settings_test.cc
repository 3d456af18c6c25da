// The settings record against a real emulated computer: what an empty configuration shows, what
// a save writes, and that a save changes nothing the user did not change.
#include "client/core/client_session.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/code_page.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/test_platform.h"

namespace sentrel::client {
namespace {

using platform::RegKey;
using testsupport::DescribeChanges;
using testsupport::RegistrySnapshot;
using testsupport::SnapshotDword;
using testsupport::SnapshotKey;

class SettingsTest : public ::testing::Test {
 protected:
  explicit SettingsTest(uint32_t major = 5) : computer_(Options(major)) {}
  static platform::emulated::ComputerOptions Options(uint32_t major) {
    auto options = testsupport::TempComputer::DefaultOptions();
    options.major_version = major;
    return options;
  }

  platform::Platform& computer() { return computer_.platform(); }
  Settings& settings() { return session_.settings(); }
  LogSettings& log(ClientLog id) { return settings().log(id); }

  // A key below Parameters ("" for Parameters itself), created when missing.
  std::unique_ptr<RegKey> Key(std::u16string_view subkey) {
    std::u16string path = kParametersPath;
    if (!subkey.empty()) path += u"\\" + std::u16string(subkey);
    return testsupport::MachineKey(computer(), path);
  }
  void SetDword(std::u16string_view subkey, std::u16string_view name, uint32_t value) {
    ASSERT_EQ(platform::SetDword(*Key(subkey), name, value), platform::kSuccess);
  }
  void SetText(std::u16string_view subkey, std::u16string_view name, std::u16string_view text) {
    ASSERT_EQ(platform::SetString(*Key(subkey), name, text), platform::kSuccess);
  }
  // Connects to this computer (Parameters is created first) and reads every setting.
  void Load() {
    Key(u"");
    ASSERT_EQ(session_.CreateKeyHandles(u"").state, ConnectState::kConnected);
    session_.ReadRegValues();
  }
  RegistrySnapshot Snapshot() { return SnapshotKey(computer(), kParametersPath); }
  void ExpectSaved() { EXPECT_TRUE(session_.WriteRegValues().ok()); }

  testsupport::TempComputer computer_;
  ClientSession session_{computer_.platform()};
};

// What an empty configuration shows is checked against the service in service_agreement_test;
// what it writes here.
TEST_F(SettingsTest, ApplyOnAnEmptyConfigurationWritesTheResetState) {
  Load();
  ExpectSaved();
  const RegistrySnapshot applied = Snapshot();
  const std::pair<const char*, int64_t> globals[] = {{"iSyslog1OutputEncoding", 0},
                                                     {"iSyslog2OutputEncoding", 0},
                                                     {"nSleepTime", 60000},
                                                     {"nRFC3164Mode", 0},
                                                     {"bUseLegacyMode", 1},
                                                     {"bAddFacilityString", 0},
                                                     {"bShowSyslogMsgNbr", 0},
                                                     {"nAddUserName", 0},
                                                     {"nAddLogType", 0},
                                                     {"nProtoType", 0},
                                                     {"nProtoTypeBackup", 0},
                                                     {"bSingleEventEmails", 0},
                                                     {"bForwardBinaryData", 0},
                                                     {"nPreventOverrunDelay", 5},
                                                     {"nReplaceComputerName", 0}};
  for (const auto& [name, value] : globals) EXPECT_EQ(SnapshotDword(applied, name), value) << name;
  for (const LogInfo& l : kLogs) {
    const std::string k = platform::Utf16ToUtf8(l.key_name) + "\\";
    const std::pair<const char*, int64_t> values[] = {{"nFacility", 128},
                                                      {"nFilterEventType", 255},
                                                      {"bReportTruncatedLog", 1},
                                                      {"nDeliveryMethod", 0},
                                                      {"iEMailOutputEncoding", 0}};
    for (const auto& [name, value] : values) EXPECT_EQ(SnapshotDword(applied, k + name), value);
    // Never written without an edit: the service's progress is its own.
    EXPECT_EQ(applied.count(k + "nLastRecord"), 0u);
  }
  // The one text with a client default; empty texts and an unticked backup are absent.
  EXPECT_EQ(applied.size(), std::size(globals) + 1 + kLogs.size() * 5);
  EXPECT_EQ(applied.count("szTarget"), 1u);

  // Reset to default over a configuration full of values leaves exactly the same.
  SetText(u"", u"szTarget2", u"backup");
  SetDword(u"System", u"nFacility", 8);
  SetText(u"DNS Server", u"szSMTPServer", u"mail");
  SetDword(u"Application\\Stray", u"x", 1);
  const ResetResult reset = session_.ResetToDefaults();
  EXPECT_TRUE(reset.messages.empty());
  EXPECT_EQ(reset.connect.state, ConnectState::kConnected);
  EXPECT_TRUE(reset.write.ok());
  EXPECT_EQ(Snapshot(), applied) << DescribeChanges(applied, Snapshot());
}

TEST_F(SettingsTest, AnUneditedApplyChangesNothingTheServiceWouldSee) {
  // Values the window cannot show as they are, but that mean something to the service: one
  // box of each kind that is saved alike (nAddUserName for the additional options), and the odd
  // ones.
  const std::tuple<std::u16string_view, std::u16string_view, uint32_t> numbers[] = {
      {u"", u"nAddUserName", 0xFFFFFFFF},
      {u"", u"nReplaceComputerName", 3},
      {u"", u"bUseLegacyMode", 2},
      {u"", u"bForwardBinaryData", 7},
      {u"", u"nPreventOverrunDelay", 1000},
      {u"", u"nProtoType", 7},
      {u"", u"iSyslog1OutputEncoding", 932},
      {u"", u"nRFC3164Mode", 0},
      {u"", u"nSleepTime", 0xFFFFFFFF},
      {u"System", u"nDeliveryMethod", 2},
      {u"System", u"bReportTruncatedLog", 9},
      {u"System", u"nFacility", 129},
      {u"System", u"nFilterEventType", 64},
      {u"Security", u"nFilterEventType", 255},
      {u"Security", u"nLastRecord", 0xFFFFFFF0},
      {u"Application", u"nFilterEventType", 0},
      {u"DNS Server", u"nFilterRules", 3}};
  for (const auto& [subkey, name, value] : numbers) SetDword(subkey, name, value);
  SetText(u"", u"szTarget2", u"");  // present and empty: the backup is in use
  SetText(u"", u"szTarget", u"host.example");
  SetText(u"System", u"szSMTPSubject", u"%s: %i");
  Load();
  EXPECT_EQ(settings().global.overrun_delay.selected_data(), 400);  // clamped as the service does
  const RegistrySnapshot before = Snapshot();
  ExpectSaved();
  const RegistrySnapshot after = Snapshot();
  // Only values that were missing may be added, each with the client default.
  for (const auto& [name, value] : before) {
    EXPECT_EQ(after.count(name) ? after.at(name) : "(absent)", value) << name;
  }
  EXPECT_TRUE(log(ClientLog::kDns).filter_rules);
}

// An edited record number is written once; the service's later progress is not rewound.
TEST_F(SettingsTest, TheServicesProgressIsNeverRewound) {
  Load();
  log(ClientLog::kSecurity).last_record.text = u"4294967295";
  ExpectSaved();
  EXPECT_EQ(SnapshotDword(Snapshot(), "Security\\nLastRecord"), 4294967295);
  SetDword(u"Security", u"nLastRecord", 60);
  ExpectSaved();
  EXPECT_EQ(SnapshotDword(Snapshot(), "Security\\nLastRecord"), 60);
}

TEST_F(SettingsTest, NumbersBeyondWhatTheServiceCanUseAreRefusedWithNothingWritten) {
  Load();
  ExpectSaved();
  const RegistrySnapshot before = Snapshot();
  struct Case {
    NumberText* box;
    std::u16string text;
    std::u16string control;
  };
  const Case cases[] = {{&settings().global.sleep_time, u"2147483648", u"txtnSleep"},
                        {&settings().global.sleep_time, u"", u"txtnSleep"},
                        {&log(ClientLog::kDns).last_record, u"4294967296", u"txtnLastRecordDNS"}};
  for (const Case& c : cases) {
    const std::u16string kept = c.box->text;
    c.box->text = c.text;
    settings().global.target = u"changed.example";
    const WriteResult result = session_.WriteRegValues();
    ASSERT_TRUE(result.invalid) << platform::Utf16ToUtf8(c.text);
    EXPECT_EQ(result.invalid->control, c.control);
    EXPECT_EQ(result.invalid->message.icon, MessageIcon::kWarning);
    EXPECT_EQ(Snapshot(), before);
    c.box->text = kept;
  }
  settings().global.sleep_time.text = u"2147483647";
  ExpectSaved();
  EXPECT_EQ(SnapshotDword(Snapshot(), "nSleepTime"), 2147483647);
}

TEST_F(SettingsTest, EmptiedTextsAndAnUntickedBackupDeleteTheirValues) {
  SetText(u"", u"szTarget2", u"backup.example");
  SetText(u"", u"szReplaceComputerName", u"GATEWAY");
  SetText(u"Security", u"szSMTPSubject", u"subject");
  Load();
  settings().global.backup_enabled = false;
  settings().global.replacement_name.clear();
  log(ClientLog::kSecurity).smtp_subject.clear();
  ExpectSaved();
  const RegistrySnapshot after = Snapshot();
  for (const char* name : {"szTarget2", "szReplaceComputerName", "Security\\szSMTPSubject"}) {
    EXPECT_EQ(after.count(name), 0u) << name;
  }
  // The text stays in the window for a later tick.
  EXPECT_EQ(settings().global.target2, u"backup.example");
}

TEST_F(SettingsTest, TheAdditionalOptionsAreSavedOnlyInMode1WithThePlainForm) {
  Load();
  GlobalSettings& g = settings().global;
  g.add_user_name.ticked = true;
  g.mode.SelectData(1);
  EXPECT_FALSE(AdditionalOptionsAvailable(g));
  ExpectSaved();
  EXPECT_EQ(Snapshot().count("nAddUserName"), 0u);
  g.mode.SelectData(0);
  g.use_legacy.ticked = false;
  EXPECT_FALSE(AdditionalOptionsAvailable(g));
  g.use_legacy.ticked = true;
  ExpectSaved();
  EXPECT_EQ(SnapshotDword(Snapshot(), "nAddUserName"), 1);
}

TEST_F(SettingsTest, TheMorvanePresetAndCopyFromSystemChangeOnlyTheWindow) {
  SetDword(u"", u"nRFC3164Mode", 2);
  SetDword(u"", u"bUseLegacyMode", 0);
  SetDword(u"", u"bForwardBinaryData", 1);
  SetDword(u"System", u"nDeliveryMethod", 1);
  SetText(u"System", u"szSMTPServer", u"mail.example");
  SetText(u"System", u"szSMTPSubject", u"%s");
  SetDword(u"System", u"iEMailOutputEncoding", 51932);
  SetDword(u"System", u"nFacility", 16);
  Load();
  const RegistrySnapshot before = Snapshot();
  ApplyMorvanePreset(&settings().global);
  CopySettingsFromSystem(&settings(), ClientLog::kDns);
  EXPECT_EQ(Snapshot(), before);

  ExpectSaved();
  const RegistrySnapshot after = Snapshot();
  const std::pair<const char*, int64_t> written[] = {
      {"nRFC3164Mode", 0},
      {"bUseLegacyMode", 1},
      {"bAddFacilityString", 1},
      {"bForwardBinaryData", 0},
      {"DNS Server\\nDeliveryMethod", 1},
      {"DNS Server\\iEMailOutputEncoding", 51932},
      {"DNS Server\\nFacility", 128}};  // no mail setting
  for (const auto& [name, value] : written) EXPECT_EQ(SnapshotDword(after, name), value) << name;
  // The mail texts are copied as well.
  for (const char* text : {"szSMTPServer", "szSMTPSubject"}) {
    EXPECT_EQ(after.at(std::string("DNS Server\\") + text),
              after.at(std::string("System\\") + text));
  }
}

class Version4SettingsTest : public SettingsTest {
 protected:
  Version4SettingsTest() : SettingsTest(4) {}
};

TEST_F(Version4SettingsTest, TheLogsOfVersion5AreNeitherReadNorWritten) {
  // Keys left over from an earlier installation stay as they are.
  SetDword(u"DNS Server", u"nFacility", 8);
  SetDword(u"Directory Service", u"nLastRecord", 5);
  Load();
  for (const LogInfo& l : kLogs) EXPECT_EQ(log(l.id).present, !l.needs_version5);
  EXPECT_EQ(log(ClientLog::kDns).facility.selected_data(), 128);  // not read
  const RegistrySnapshot before = Snapshot();
  ExpectSaved();
  const RegistrySnapshot after = Snapshot();
  for (const char* name : {"DNS Server\\nFacility", "Directory Service\\nLastRecord"}) {
    EXPECT_EQ(after.at(name), before.at(name));
  }
  EXPECT_EQ(after.count("File Replication Service\\nFacility"), 0u);
}

}  // namespace
}  // namespace sentrel::client
