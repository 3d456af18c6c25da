#include "service/collect/record_dispatcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/event_record.h"
#include "service/collect/forwarding_pipeline.h"
#include "service/transport/fake_network.h"
#include "tests/support/test_platform.h"

namespace sentrel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using transporttest::FakeNetwork;

class RecordingReporter : public EventReporter {
 public:
  void ReportServiceEvent(uint16_t type, uint32_t event_id, const char16_t* text1, const char16_t*,
                          const char16_t*) override {
    EXPECT_EQ(type, kReportError);
    EXPECT_EQ(event_id, kEventText);
    texts.push_back(platform::Utf16ToUtf8(text1 ? text1 : u""));
  }
  std::vector<std::string> texts;
};

// Records the mail calls as "open <subject>", "send <enc> <text>", "close".
class RecordingMail : public MailTransport {
 public:
  int OpenSmtpSession(const ServiceConfig&, std::string_view subject) override {
    calls.push_back("open " + std::string(subject));
    if (stop_during_open) stop_during_open->Request();
    return open_result;
  }
  void SendMailText(std::u16string_view text, int encoding) override {
    calls.push_back("send " + std::to_string(encoding) + " " + platform::Utf16ToUtf8(text));
  }
  void CloseSmtpSession() override { calls.push_back("close"); }

  std::vector<std::string> calls;
  int open_result = 1;
  StopSignal* stop_during_open = nullptr;  // requested while the dialogue runs, when set
};

// A clock whose local time conversion fails, so that building a record's text throws.
class FailingClock : public testsupport::FakeClock {
 public:
  platform::SystemTime ToLocal(int64_t) override { throw std::runtime_error("clock"); }
};

class Record {
 public:
  explicit Record(uint16_t type, std::vector<std::u16string> strings = {u"one"}) {
    platform::EventRecordFields f;
    f.record_number = 7;
    f.time_generated = f.time_written = 1052140806;
    f.event_id = 1000;
    f.event_type = type;
    f.source = u"TestSource";
    f.computer = u"SRV1";
    f.strings = std::move(strings);
    bytes_ = platform::BuildEventRecord(f);
    view_ = *RecordView::Parse(bytes_.data(), bytes_.size());
  }
  const RecordView& view() const { return view_; }
  uint32_t size() const { return static_cast<uint32_t>(bytes_.size()); }

 private:
  std::vector<uint8_t> bytes_;
  RecordView view_;
};

// What the syslog servers get for an information Record of the Application log with the default
// configuration: the plain line with its own header, priority 5 (facility 0, severity notice),
// and the fallback description, as no message library is registered for TestSource.
constexpr char kInformationLine[] =
    "<5>Mon May 05 13:20:06 2003: SRV1/TestSource (1000) - \"The description for Event ID ( "
    "1000 ) in Source ( TestSource ) could not be found. It contains the following insertion "
    "string(s): one\"";

class DispatcherTest : public ::testing::Test {
 protected:
  DispatcherTest() {
    CWinSock::ForgetLibraryStartForTesting();
    overlay.network_ = &net;
    overlay.clock_ = &clock;
    pass.host_name = u"srv1";
    pass.service_stop = &stop;
    ServiceConfig& c = store.config();
    c.prevent_overrun_delay = 0;
    c.target = "127.0.0.1";
  }
  ~DispatcherTest() override { CWinSock::ForgetLibraryStartForTesting(); }

  ServiceConfig& config() { return store.config(); }
  void Process(const Record& r, LogId log = LogId::kApplication) {
    dispatcher.ProcessRecord(r.view(), r.size(), log, LogName(log), pass);
  }
  void AddRule(LogId log, int32_t action, std::optional<int32_t> event_type = std::nullopt) {
    FilterRuleList& list = store.rules(log);
    auto rule = std::make_unique<FilterRule>();
    rule->action = action;
    rule->event_type = event_type;
    std::unique_ptr<FilterRule>* end = &list.first;
    while (*end) end = &(*end)->next;
    *end = std::move(rule);
  }

  testsupport::TempComputer computer;
  platform::OverlayPlatform overlay{computer.platform()};
  FakeNetwork net;
  testsupport::FakeClock clock;
  testsupport::CapturingDebugOutput debug;
  RecordingReporter reporter;
  RecordingMail mail;
  StopSignal stop;
  ConfigStore store{overlay};
  SyslogFormatter formatter{overlay};
  sentrel::CharsetConverter converter{debug};
  SyslogSender sender{net, debug, reporter};
  CWinSock primary{net, debug};
  CWinSock backup{net, debug};
  RecordDispatcher dispatcher{
      DispatchParts{overlay, store, formatter, converter, sender, primary, backup, mail, reporter}};
  PassState pass;
};

TEST(SyslogTextTest, ControlCharactersBecomeSpacesAndRunsShrinkAfterSixteenCharacters) {
  std::u16string text = u"<133>May  5 13:20:06 srv1 a\r\nb    c\t\td  \x01";
  NormaliseSyslogText(text);
  EXPECT_EQ(text, u"<133>May  5 13:20:06 srv1 a b c d ");

  // A run of spaces at positions 14 to 18: the two within the first sixteen stay, the rest
  // shrink to one.
  text = u"abcdefghijklmn     x";
  NormaliseSyslogText(text);
  EXPECT_EQ(text, u"abcdefghijklmn   x");
  NormaliseSyslogText(text);  // the backup gets the same text again
  EXPECT_EQ(text, u"abcdefghijklmn   x");

  text = u"\t\t\t\t";
  NormaliseSyslogText(text);
  EXPECT_EQ(text, u"    ");
}

TEST(SyslogTextTest, MailTextStartsAfterThePriorityPart) {
  EXPECT_EQ(MailText(u"<133>Mon May 05: a > b"), u"Mon May 05: a > b");
  EXPECT_EQ(MailText(u"<7>x"), u"x");
  EXPECT_EQ(MailText(u">>>x"), u"x");  // found from the third character on
  EXPECT_EQ(MailText(kInternalErrorText), kInternalErrorText);
  EXPECT_EQ(MailText(u"<1"), u"<1");
}

TEST_F(DispatcherTest, RecordsOutsideTheTypeMaskCostNothing) {
  config().filter_event_type = 8;  // information only
  // A pause long enough that taking it for even one record stands out from any slowness of a
  // loaded machine or a sanitizer build.
  config().prevent_overrun_delay = 10000;
  const auto start = std::chrono::steady_clock::now();
  Process(Record(platform::kEventError));
  Process(Record(platform::kEventWarning));
  Process(Record(0));  // success, bit 1
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::milliseconds(5000));
  EXPECT_THAT(net.log.calls, IsEmpty());
  EXPECT_THAT(mail.calls, IsEmpty());
  EXPECT_EQ(config().last_msg_number, 0);

  config().filter_event_type = 1;  // success passes now
  config().prevent_overrun_delay = 400;
  const auto paced = std::chrono::steady_clock::now();
  Process(Record(0));
  EXPECT_EQ(net.log.datagrams.size(), 1u);
  EXPECT_GE(std::chrono::steady_clock::now() - paced, std::chrono::milliseconds(400));
}

TEST_F(DispatcherTest, WithoutRulesTheLogsMethodDecides) {
  const Record r(platform::kEventInformation);
  Process(r);
  EXPECT_THAT(net.log.datagrams, ElementsAre(kInformationLine));
  EXPECT_THAT(mail.calls, IsEmpty());

  config().delivery_method = 1;
  Process(r);
  EXPECT_EQ(net.log.datagrams.size(), 1u);
  ASSERT_EQ(mail.calls.size(), 2u);
  EXPECT_THAT(mail.calls[0], HasSubstr("open"));
  EXPECT_THAT(mail.calls[1], HasSubstr("send 0 "));
  EXPECT_THAT(reporter.texts, IsEmpty());
}

TEST_F(DispatcherTest, RuleActionsRouteToMailSyslogBothOrNowhere) {
  config().delivery_method = 1;  // mail by default
  config().mail_encoding = 0;
  AddRule(LogId::kApplication, 0, platform::kEventError);  // errors discarded
  AddRule(LogId::kApplication, 6);                         // the rest: mail and syslog
  AddRule(LogId::kSystem, 3);                              // System: default method and mail
  Process(Record(platform::kEventError));                  // discarded
  EXPECT_THAT(net.log.calls, IsEmpty());
  EXPECT_THAT(mail.calls, IsEmpty());

  const Record info(platform::kEventInformation);
  Process(info);
  EXPECT_THAT(net.log.datagrams, ElementsAre(kInformationLine));
  ASSERT_EQ(mail.calls.size(), 2u);
  // The mail gets the text without its priority part and with its line structure.
  EXPECT_EQ(mail.calls[1].substr(0, 8), "send 0 M");

  mail.calls.clear();
  Process(info, LogId::kSystem);  // action 3 with the mail method: one mail text only
  EXPECT_EQ(net.log.datagrams.size(), 1u);
  ASSERT_EQ(mail.calls.size(), 1u);  // the mail opened by the first record is still open
  EXPECT_THAT(mail.calls[0], HasSubstr("send 0 "));

  dispatcher.FinishPass(pass);
  EXPECT_THAT(mail.calls.back(), "close");
  EXPECT_FALSE(pass.mail_open);
}

TEST_F(DispatcherTest, SingleEventMailsAndTheMailEncoding) {
  config().delivery_method = 1;
  config().single_event_mails = 1;
  config().mail_encoding = sentrel::kEncodingEucJp;
  Process(Record(platform::kEventInformation));
  Process(Record(platform::kEventInformation));
  ASSERT_EQ(mail.calls.size(), 6u);
  EXPECT_THAT(mail.calls[1], HasSubstr("send 51932 "));
  EXPECT_EQ(mail.calls[2], "close");
  EXPECT_THAT(mail.calls[3], HasSubstr("open"));
  EXPECT_FALSE(pass.mail_open);
}

TEST_F(DispatcherTest, AMailThatCannotBeOpenedStopsThePassButSyslogStillGetsTheRecord) {
  mail.open_result = -4;
  AddRule(LogId::kApplication, 6);
  Process(Record(platform::kEventInformation));
  EXPECT_THAT(reporter.texts, ElementsAre("Fatal error (-4) initializing SMTP transport."));
  EXPECT_TRUE(pass.stop);
  EXPECT_EQ(net.log.datagrams.size(), 1u);
  EXPECT_EQ(mail.calls.size(), 1u);  // no text for a mail that is not open
}

// The client's waits end at the service stop and the open fails as a dropped connection would;
// that is reported only when no stop was requested.
TEST_F(DispatcherTest, AStopDuringTheMailSetUpIsNoMailFailure) {
  config().delivery_method = 1;
  mail.open_result = -2;
  mail.stop_during_open = &stop;
  Process(Record(platform::kEventInformation));
  EXPECT_THAT(reporter.texts, IsEmpty());
  EXPECT_TRUE(pass.stop);
  EXPECT_FALSE(pass.mail_open);
  EXPECT_THAT(mail.calls, ElementsAre("open "));
}

TEST_F(DispatcherTest, WithoutAMailServerARecordRoutedToMailIsReported) {
  UnavailableMailTransport none;
  RecordDispatcher d(
      DispatchParts{overlay, store, formatter, converter, sender, primary, backup, none, reporter});
  config().delivery_method = 1;
  const Record r(platform::kEventInformation);
  d.ProcessRecord(r.view(), r.size(), LogId::kApplication, u"Application", pass);
  EXPECT_THAT(reporter.texts, ElementsAre("Fatal error (-1) initializing SMTP transport."));
  EXPECT_TRUE(pass.stop);
}

TEST_F(DispatcherTest, ABuildFailureSendsTheInternalErrorTextAndGoesOn) {
  FailingClock failing;
  overlay.clock_ = &failing;
  config().target2 = "127.0.0.2";
  config().backup_configured = true;
  config().delivery_method = 0;
  AddRule(LogId::kApplication, 6);
  Process(Record(platform::kEventInformation));
  const std::string text = platform::Utf16ToUtf8(kInternalErrorText);
  EXPECT_THAT(net.log.datagrams, ElementsAre(text, text));
  EXPECT_THAT(mail.calls, ElementsAre(HasSubstr("open"), "send 0 " + text));
  EXPECT_FALSE(pass.stop);

  overlay.clock_ = &clock;
  const Record r(platform::kEventInformation);
  Process(r);
  EXPECT_EQ(net.log.datagrams.size(), 4u);
  EXPECT_EQ(net.log.datagrams[2], kInformationLine);
}

TEST_F(DispatcherTest, UdpStartsTheSocketLibraryOncePerPassAndCleansItUp) {
  config().target2 = "127.0.0.2";
  config().backup_configured = true;
  const Record r(platform::kEventInformation);
  Process(r);
  Process(r);
  EXPECT_EQ(net.log.datagrams.size(), 4u);
  EXPECT_EQ(std::count(net.log.calls.begin(), net.log.calls.end(), "Startup 257"), 1);
  dispatcher.FinishPass(pass);
  EXPECT_EQ(net.log.calls.back(), "Cleanup");

  net.failures["Startup"] = platform::kWsaSysnotready;
  PassState next;
  next.service_stop = &stop;
  dispatcher.ProcessRecord(r.view(), r.size(), LogId::kApplication, u"Application", next);
  EXPECT_THAT(reporter.texts, ElementsAre("Fatal error (1) initializing syslog transport."));
  EXPECT_TRUE(next.stop);
  EXPECT_EQ(net.log.datagrams.size(), 4u);
}

TEST_F(DispatcherTest, TcpUsesAConnectionPerMessageOnPort514) {
  config().proto_type = 1;
  config().proto_type_backup = 1;     // no UDP at all: the pass starts no socket library
  net.services["syslog/udp"] = 5514;  // moves UDP only
  const Record r(platform::kEventInformation);
  Process(r);
  Process(r);
  EXPECT_THAT(net.log.streams, ElementsAre(kInformationLine, kInformationLine));
  const std::string connect = "Connect " + std::to_string(transporttest::kLoopback) + ":514";
  EXPECT_EQ(std::count(net.log.calls.begin(), net.log.calls.end(), connect), 2);
  EXPECT_EQ(std::count(net.log.calls.begin(), net.log.calls.end(), "Startup 257"),
            1);  // by CWinSock
  EXPECT_EQ(net.log.open_sockets, 0);
  EXPECT_THAT(reporter.texts, IsEmpty());
}

TEST_F(DispatcherTest, ARefusedPrimaryStopsThePassARefusedBackupDoesNot) {
  config().proto_type = 1;
  config().proto_type_backup = 1;
  config().target2 = "backuphost";  // not resolvable: its connection fails
  config().backup_configured = true;
  const Record r(platform::kEventInformation);
  Process(r);
  EXPECT_THAT(reporter.texts,
              ElementsAre("Error I1002 - Could not connect to Backup Syslog Server over TCP - "
                          "Continue processing for primary Syslog Server"));
  EXPECT_THAT(net.log.streams, ElementsAre(kInformationLine));
  EXPECT_FALSE(pass.stop);

  reporter.texts.clear();
  net.failures["Connect"] = platform::kWsaEconnrefused;
  Process(r);
  // The primary stays ready from the record before, so the record is still offered to it on
  // the connection that failed.
  EXPECT_THAT(reporter.texts,
              ElementsAre("Error I1002 - Could not connect to Syslog Server over TCP - might be "
                          "down. Processing was stopped",
                          HasSubstr("Backup"), HasSubstr("Could not send message")));
  EXPECT_TRUE(pass.stop);
  EXPECT_EQ(net.log.streams.size(), 1u);

  reporter.texts.clear();
  net.failures.clear();
  net.failures["CreateSocket"] = platform::kWsaEnobufs;
  PassState next;
  next.service_stop = &stop;
  dispatcher.ProcessRecord(r.view(), r.size(), LogId::kApplication, u"Application", next);
  EXPECT_THAT(reporter.texts,
              ElementsAre("Error I1001 - can't get TCP socket - Processing was stopped",
                          "Error I1001 - can't get TCP socket for Backup Syslog Server - Continue "
                          "processing for primary Syslog Server"));
}

TEST_F(DispatcherTest, OtherProtocolNumbersSendNothingAndReportNothing) {
  config().proto_type = 2;
  config().proto_type_backup = 7;
  config().target2 = "127.0.0.2";
  config().backup_configured = true;
  Process(Record(platform::kEventInformation));
  dispatcher.FinishPass(pass);
  EXPECT_THAT(net.log.calls, IsEmpty());
  EXPECT_THAT(reporter.texts, IsEmpty());
}

TEST_F(DispatcherTest, EachServerGetsItsOwnOutputEncoding) {
  config().target2 = "127.0.0.2";
  config().backup_configured = true;
  config().syslog1_encoding = sentrel::kEncodingIso2022Jp;
  config().syslog2_encoding = 1252;  // no such output encoding: empty
  const Record r(platform::kEventInformation, {u"\u65e5\u672c"});
  Process(r);
  ASSERT_EQ(net.log.datagrams.size(), 2u);
  EXPECT_THAT(net.log.datagrams[0], HasSubstr("\x1b$BF|K\\\x1b(B"));
  EXPECT_EQ(net.log.datagrams[1], "");
}

TEST_F(DispatcherTest, TheStopCutsThePauseShort) {
  config().prevent_overrun_delay = 10000;
  stop.Request();
  const auto start = std::chrono::steady_clock::now();
  Process(Record(platform::kEventInformation));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5000));
  EXPECT_EQ(net.log.datagrams.size(), 1u);
}

// The assembled pipeline over an emulated event log: the logger's progress and the pass end.
class PipelineTest : public ::testing::Test {
 protected:
  PipelineTest() {
    CWinSock::ForgetLibraryStartForTesting();
    overlay.network_ = &net;
    std::unique_ptr<platform::RegKey> hklm, params;
    EXPECT_EQ(overlay.registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm), 0);
    EXPECT_EQ(hklm->CreateKey(kParametersKey, &params), 0);
    EXPECT_EQ(0u, platform::SetDword(*params, u"nPreventOverrunDelay", 0));
    EXPECT_EQ(0u, platform::SetDword(*params, u"nProtoType", 1));
    pipeline = std::make_unique<ForwardingPipeline>(overlay, reporter, stop);
  }
  ~PipelineTest() override { CWinSock::ForgetLibraryStartForTesting(); }

  void Write(int count) {
    for (int i = 0; i < count; ++i) {
      platform::EventRecordFields f;
      f.time_generated = f.time_written = 1052140806;
      f.event_id = 1000 + i;
      f.source = u"TestSource";
      f.computer = u"SRV1";
      uint32_t number = 0;
      ASSERT_EQ(computer.platform().emulated_event_log().Append(u"Application", f, &number), 0);
    }
  }
  uint32_t LastRecord() {
    std::unique_ptr<platform::RegKey> hklm, key;
    EXPECT_EQ(overlay.registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm), 0u);
    uint32_t value = 0;
    if (hklm->OpenKey(std::u16string(kParametersKey) + u"\\Application", platform::RegAccess::kRead,
                      &key) == 0) {
      EXPECT_EQ(0u, platform::QueryDword(*key, u"nLastRecord", &value));
    }
    return value;
  }

  testsupport::TempComputer computer;
  platform::OverlayPlatform overlay{computer.platform()};
  FakeNetwork net;
  RecordingReporter reporter;
  StopSignal stop;
  std::unique_ptr<ForwardingPipeline> pipeline;  // made once the network is in place
};

TEST_F(PipelineTest, ARefusedPrimaryEndsThePassAfterItsRecordAndTheNextPassGoesOn) {
  Write(3);
  net.failures["Connect"] = platform::kWsaEconnrefused;
  pipeline->RunRounds(1);
  EXPECT_EQ(LastRecord(), 1u);
  pipeline->RunRounds(1);
  EXPECT_EQ(LastRecord(), 2u);
  EXPECT_EQ(reporter.texts.size(), 2u);
  EXPECT_THAT(reporter.texts[0], HasSubstr("Error I1002 - Could not connect to Syslog Server"));

  net.failures.clear();
  pipeline->RunRounds(1);
  EXPECT_EQ(LastRecord(), 3u);
  ASSERT_EQ(net.log.streams.size(), 1u);
  EXPECT_THAT(net.log.streams[0], HasSubstr("1002"));  // the third record's id
}

TEST_F(PipelineTest, FilteredRecordsStillAdvanceTheProgress) {
  std::unique_ptr<platform::RegKey> hklm, key;
  ASSERT_EQ(overlay.registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm), 0u);
  ASSERT_EQ(hklm->CreateKey(std::u16string(kParametersKey) + u"\\Application", &key), 0);
  EXPECT_EQ(0u, platform::SetDword(*key, u"nFilterEventType", 0));
  Write(4);
  pipeline->RunRounds(1);
  EXPECT_EQ(LastRecord(), 4u);
  EXPECT_THAT(net.log.calls, IsEmpty());
}

}  // namespace
}  // namespace sentrel
