#include "service/render/syslog_message.h"

#include <gtest/gtest.h>

#include "platform/code_page.h"
#include "service/base/render_fixture.h"
#include "tests/support/test_platform.h"

namespace sentrel {
namespace {

using platform::EventRecordFields;
using rendertest::Record;

constexpr char kScmMessages[] = R"(MessageId=7036
Language=English
The %1 service entered the %2 state.
.
MessageId=9
Language=English
%1
.
)";

std::string Utf8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

// The record of the worked examples: System log, information event 7036 of the Service Control
// Manager on SRV1, Monday 5 May 2003 13:20:06 local time, no SID, category 0.
class SyslogMessageTest : public ::testing::Test {
 protected:
  SyslogMessageTest() : overlay_(computer_.platform()), formatter_(overlay_) {
    // Local time is two hours ahead of UTC, so a header that ignored the zone would show 11:20.
    clock_.SetZone({.bias = -120}, platform::kTimeZoneIdUnknown);
    clock_.SetLocal(2003, 5, 5, 13, 20, 6);
    overlay_.clock_ = &clock_;
    rendertest::InstallMessageDll(computer_.platform(), u"C:\\WINNT\\system32\\scm.dll",
                                  kScmMessages);
    rendertest::RegisterSource(overlay_, u"System", u"Service Control Manager",
                               u"%SystemRoot%\\system32\\scm.dll");
    fields_.time_generated = static_cast<uint32_t>(clock_.Now());
    fields_.time_written = fields_.time_generated;
    fields_.event_id = 7036;
    fields_.event_type = platform::kEventInformation;
    fields_.source = u"Service Control Manager";
    fields_.computer = u"SRV1";
    fields_.strings = {u"Alerter", u"stopped"};
  }

  std::string Build(const MessageOptions& options) {
    Record record(fields_);
    return Utf8(formatter_.BuildSyslogMessage(record.view(), log_, options, u"srv1", counter_));
  }

  testsupport::TempComputer computer_;
  testsupport::FakeClock clock_;
  platform::OverlayPlatform overlay_;
  SyslogFormatter formatter_;
  EventRecordFields fields_;
  std::u16string log_ = u"System";
  int32_t counter_ = 41;
};

constexpr char kBody[] =
    "SRV1/Service Control Manager (7036) - \"The Alerter service entered the stopped state.\"";

TEST_F(SyslogMessageTest, WorkedExamples) {
  MessageOptions o;
  o.nRFC3164Mode = 1;
  EXPECT_EQ(Build(o), std::string("<133>May  5 13:20:06 srv1 Vaskwell: [INF] ") + kBody);
  EXPECT_EQ(counter_, 41);

  o.bShowSyslogMsgNbr = 1;
  o.nAddUserName = 1;
  o.nAddLogType = 1;
  EXPECT_EQ(Build(o),
            std::string("<133>May  5 13:20:06 srv1 Vaskwell: 42: [INF] N\\A/System/") + kBody);
  EXPECT_EQ(counter_, 42);

  counter_ = 41;
  EXPECT_EQ(Build(MessageOptions{}), std::string("<133>Mon May 05 13:20:06 2003: ") + kBody);

  o = MessageOptions{};
  o.bShowSyslogMsgNbr = 1;
  EXPECT_EQ(Build(o), std::string("<133>42:Mon May 05 13:20:06 2003: ") + kBody);

  counter_ = 41;
  o.bAddFacilityString = 1;
  EXPECT_EQ(Build(o), std::string("<133>Vaskwell:42: [INF] Mon May 05 13:20:06 2003: ") + kBody);

  counter_ = 41;
  o = MessageOptions{};
  o.bUseLegacyMode = 0;
  EXPECT_EQ(Build(o),
            "<133>May  5 13:20:06 srv1 Vaskwell: <event><iut>ntelr</iut><msgnum>42</msgnum>"
            "<severity>[INF]</severity><user>N\\A</user><logtype>System</logtype><source>SRV1"
            "</source><sourceproc>Service Control Manager</sourceproc><id>7036</id><msg>The "
            "Alerter service entered the stopped state.</msg><category>0</category></event>");
}

// The record as the event log hands it out after a writer (ntbox evt write) stored it: the
// 7036 of the service control manager, with its severity and facility bits.
TEST_F(SyslogMessageTest, RecordReadBackFromTheEventLog) {
  fields_.event_id = 0x40001B7C;
  rendertest::InstallMessageDll(computer_.platform(), u"C:\\WINNT\\system32\\scm.dll",
                                "MessageId=7036\nSeverity=Informational\nLanguage=English\n"
                                "The %1 service entered the %2 state.\n.\n");
  uint32_t number = 0;
  ASSERT_EQ(computer_.platform().emulated_event_log().Append(u"System", fields_, &number), 0u);
  std::unique_ptr<platform::EventLogReader> reader;
  ASSERT_EQ(overlay_.event_log().Open(u"", u"System", &reader), 0u);
  std::vector<uint64_t> buffer(0x10000 / 8);
  uint32_t read = 0, needed = 0;
  ASSERT_EQ(reader->Read(platform::kEventLogSequentialRead | platform::kEventLogForwardsRead, 0,
                         buffer.data(), 0x10000, &read, &needed),
            0u);
  const auto view = RecordView::Parse(reinterpret_cast<const uint8_t*>(buffer.data()), read);
  ASSERT_TRUE(view.has_value());
  MessageOptions o;
  o.bUseLegacyMode = 0;
  EXPECT_EQ(Utf8(formatter_.BuildSyslogMessage(*view, u"System", o, u"srv1", counter_)),
            "<133>May  5 13:20:06 srv1 Vaskwell: <event><iut>ntelr</iut><msgnum>42</msgnum>"
            "<severity>[INF]</severity><user>N\\A</user><logtype>System</logtype><source>SRV1"
            "</source><sourceproc>Service Control Manager</sourceproc><id>7036</id><msg>The "
            "Alerter service entered the stopped state.</msg><category>0</category></event>");
  o = MessageOptions{};
  o.nRFC3164Mode = 2;
  EXPECT_EQ(Utf8(formatter_.BuildSyslogMessage(*view, u"System", o, u"srv1", counter_)),
            std::string("<133>May  5 13:20:06 srv1 Vaskwell: [INF] ") + kBody);
}

TEST_F(SyslogMessageTest, PriorityAndSeverity) {
  MessageOptions o;
  o.nRFC3164Mode = 1;
  o.nFacility = 184;
  fields_.event_type = platform::kEventError;
  EXPECT_TRUE(Build(o).starts_with("<187>May  5 13:20:06 srv1 Vaskwell: [ERR] SRV1/"));
  o.nFacility = 128;
  fields_.event_type = platform::kEventAuditFailure;
  EXPECT_TRUE(Build(o).starts_with("<132>May  5 13:20:06 srv1 Vaskwell: [AUF] "));
  fields_.event_type = platform::kEventWarning;
  EXPECT_TRUE(Build(o).starts_with("<132>May  5 13:20:06 srv1 Vaskwell: [WRN] "));
  fields_.event_type = platform::kEventAuditSuccess;
  EXPECT_TRUE(Build(o).starts_with("<133>May  5 13:20:06 srv1 Vaskwell: [AUS] "));
  fields_.event_type = 0;
  EXPECT_TRUE(Build(o).starts_with("<133>May  5 13:20:06 srv1 Vaskwell: [NON] "));
  fields_.event_type = 3;
  EXPECT_TRUE(Build(o).starts_with("<133>May  5 13:20:06 srv1 Vaskwell: [NON] "));
}

TEST_F(SyslogMessageTest, HeaderModesAndDays) {
  MessageOptions o;
  o.nRFC3164Mode = 1;
  const std::string mode1 = Build(o);
  o.nRFC3164Mode = 2;
  EXPECT_EQ(Build(o), mode1);
  o.nRFC3164Mode = 7;
  EXPECT_EQ(Build(o), mode1);
  // bAddFacilityString changes nothing outside mode 0.
  o.bAddFacilityString = 1;
  EXPECT_EQ(Build(o), mode1);

  // Two digits of day: one space in the syslog headers.
  clock_.SetLocal(2003, 11, 23, 8, 5, 9);
  fields_.time_generated = static_cast<uint32_t>(clock_.Now());
  o = MessageOptions{};
  o.nRFC3164Mode = 1;
  EXPECT_TRUE(Build(o).starts_with("<133>Nov 23 08:05:09 srv1 Vaskwell: [INF] SRV1/"));
  o.bUseLegacyMode = 0;
  EXPECT_TRUE(Build(o).starts_with("<133>Nov 23 08:05:09 srv1 Vaskwell: <event>"));
  EXPECT_TRUE(Build(MessageOptions{}).starts_with("<133>Sun Nov 23 08:05:09 2003: SRV1/"));

  clock_.SetLocal(2004, 2, 1, 23, 59, 59);
  fields_.time_generated = static_cast<uint32_t>(clock_.Now());
  EXPECT_TRUE(Build(o).starts_with("<133>Feb  1 23:59:59 srv1 Vaskwell: <event>"));
  EXPECT_TRUE(Build(MessageOptions{}).starts_with("<133>Sun Feb 01 23:59:59 2004: SRV1/"));
  o.bUseLegacyMode = 1;
  o.bAddFacilityString = 1;
  o.nRFC3164Mode = 0;
  EXPECT_TRUE(Build(o).starts_with("<133>Vaskwell: [INF] Sun Feb 01 23:59:59 2004: SRV1/"));
}

TEST_F(SyslogMessageTest, MessageNumber) {
  MessageOptions o;
  o.nRFC3164Mode = 1;
  o.bShowSyslogMsgNbr = 1;
  o.nDeliveryMethod = 1;
  EXPECT_TRUE(Build(o).starts_with("<133>May  5 13:20:06 srv1 Vaskwell: [INF] SRV1/"));
  o.nRFC3164Mode = 0;
  EXPECT_TRUE(Build(o).starts_with("<133>Mon May 05"));
  EXPECT_EQ(counter_, 41);
  // The XML form is always numbered.
  o.bUseLegacyMode = 0;
  o.bShowSyslogMsgNbr = 0;
  EXPECT_NE(Build(o).find("<msgnum>42</msgnum>"), std::string::npos);
  EXPECT_NE(Build(o).find("<msgnum>43</msgnum>"), std::string::npos);
  // The signed count wraps.
  counter_ = 2147483647;
  EXPECT_NE(Build(o).find("<msgnum>-2147483648</msgnum>"), std::string::npos);
}

TEST_F(SyslogMessageTest, BodyFields) {
  fields_.event_id = 0xC0000007;  // no template: the fallback text
  fields_.user_sid = *platform::SidFromString("S-1-5-18");
  fields_.category = 65535;
  MessageOptions o;
  o.nRFC3164Mode = 1;
  o.nAddUserName = 1;
  o.nReplaceComputerName = 1;
  o.szReplaceComputerName = u"GATEWAY";
  const std::string plain = Build(o);
  EXPECT_TRUE(
      plain.starts_with("<133>May  5 13:20:06 srv1 Vaskwell: [INF] NT AUTHORITY\\SYSTEM/"
                        "GATEWAY/Service Control Manager (7) - \"The description for "
                        "Event ID ( 7 ) in Source ( Service Control Manager )"))
      << plain;
  // Only 1 replaces; a negative count shows nothing.
  o.nReplaceComputerName = 2;
  o.nAddUserName = -1;
  EXPECT_TRUE(Build(o).starts_with("<133>May  5 13:20:06 srv1 Vaskwell: [INF] SRV1/Service"));
  // The XML form shows the user whatever nAddUserName says, and the category unsigned.
  o.bUseLegacyMode = 0;
  const std::string xml = Build(o);
  EXPECT_NE(xml.find("<user>NT AUTHORITY\\SYSTEM</user>"), std::string::npos);
  EXPECT_NE(xml.find("<id>7</id>"), std::string::npos);
  EXPECT_TRUE(xml.ends_with("<category>65535</category></event>"));
  // An unknown account shows as its SID.
  fields_.user_sid = *platform::SidFromString("S-1-5-21-1-2-3-1001");
  EXPECT_NE(Build(o).find("<user>S-1-5-21-1-2-3-1001</user>"), std::string::npos);
}

TEST_F(SyslogMessageTest, XmlEscaping) {
  fields_.event_id = 9;
  fields_.strings = {u"a<b> & \"c\""};
  fields_.source = u"Evil<Source>&";
  fields_.computer = u"PC&<1>";
  rendertest::RegisterSource(overlay_, u"System", fields_.source,
                             u"%SystemRoot%\\system32\\scm.dll");
  MessageOptions o;
  o.nRFC3164Mode = 1;
  EXPECT_TRUE(Build(o).ends_with("PC&<1>/Evil<Source>& (9) - \"a<b> & \"c\"\""));
  o.bUseLegacyMode = 0;
  log_ = u"A<&>";
  rendertest::RegisterSource(overlay_, log_, fields_.source, u"%SystemRoot%\\system32\\scm.dll");
  const std::string xml = Build(o);
  EXPECT_NE(xml.find("<logtype>A&lt;&amp;&gt;</logtype><source>PC&amp;&lt;1&gt;</source>"
                     "<sourceproc>Evil&lt;Source&gt;&amp;</sourceproc><id>9</id>"
                     "<msg>a&lt;b&gt; &amp; \"c\"</msg>"),
            std::string::npos)
      << xml;
}

TEST_F(SyslogMessageTest, BinaryData) {
  fields_.data = {0x01, 0xAB, 0x00};
  MessageOptions o;
  o.nRFC3164Mode = 1;
  EXPECT_EQ(Build(o).find("bdata"), std::string::npos);
  o.bForwardBinaryData = 1;
  EXPECT_TRUE(Build(o).ends_with("stopped state.\"<bdata>01AB00</bdata>"));
  o.bUseLegacyMode = 0;
  EXPECT_TRUE(Build(o).ends_with("<category>0</category><bdata>01AB00</bdata></event>"));
  fields_.data.clear();
  EXPECT_TRUE(Build(o).ends_with("<category>0</category></event>"));
}

TEST_F(SyslogMessageTest, BufferBounds) {
  // A description that fills the buffer: cut at 50,001 characters, no closing quote, and the
  // binary data finds no room.
  fields_.event_id = 9;
  fields_.strings = {std::u16string(60000, u'x')};
  fields_.data = {0xFF};
  MessageOptions o;
  o.nRFC3164Mode = 1;
  o.bForwardBinaryData = 1;
  Record record(fields_);
  const std::u16string& plain =
      formatter_.BuildSyslogMessage(record.view(), log_, o, u"srv1", counter_);
  EXPECT_EQ(plain.size(), kMaxMessageChars);
  EXPECT_EQ(plain.back(), u'x');

  // Binary data stops once the text has reached 49,981 characters.
  const std::string head =
      "<133>May  5 13:20:06 srv1 Vaskwell: [INF] SRV1/Service Control "
      "Manager (9) - \"";
  fields_.strings = {std::u16string(49981 - head.size() - 1 - 7 - 4, u'y')};
  fields_.data = std::vector<uint8_t>(100, 0xAB);
  Record near_end(fields_);
  const std::string text =
      Utf8(formatter_.BuildSyslogMessage(near_end.view(), log_, o, u"srv1", counter_));
  EXPECT_TRUE(text.ends_with("y\"<bdata>ABAB</bdata>")) << text.substr(text.size() - 40);
  EXPECT_EQ(text.size(), 49981u + 8);

  // The XML element of a long description is cut at its bounds; the closing tag stays whole.
  fields_.strings = {std::u16string(60000, u'&')};
  o.bUseLegacyMode = 0;
  Record xml_record(fields_);
  const std::u16string& xml =
      formatter_.BuildSyslogMessage(xml_record.view(), log_, o, u"srv1", counter_);
  EXPECT_EQ(xml.size(), kMaxMessageChars);
}

TEST_F(SyslogMessageTest, MakeXmlElementBounds) {
  const std::u16string& small = formatter_.MakeXmlElement(u"msg", u"<a&b>");
  EXPECT_EQ(Utf8(small), "<msg>&lt;a&amp;b&gt;</msg>");
  // The value is copied while fewer than 49,993 characters are written: an entity started at
  // 49,992 is written whole, and the closing name (copied below 49,999) finds no room.
  const std::u16string value = std::u16string(49992 - 5, u'v') + u"&tail";
  const std::u16string& element = formatter_.MakeXmlElement(u"msg", value);
  EXPECT_EQ(element.size(), 49992u + 5 + 3);
  EXPECT_TRUE(Utf8(element).ends_with("v&amp;</>"));
  const std::u16string& shorter = formatter_.MakeXmlElement(u"msg", value.substr(1));
  EXPECT_TRUE(Utf8(shorter).ends_with("v&amp;</m>"));
  // A long name is cut at 49,992 characters and its closing copy at 49,999.
  const std::u16string& named = formatter_.MakeXmlElement(std::u16string(60000, u'n'), u"value");
  EXPECT_EQ(named.size(), 49992u + 1 + 2 + 4 + 1);
  EXPECT_TRUE(Utf8(named).ends_with("n></nnnn>"));
}

TEST_F(SyslogMessageTest, MailSubject) {
  MessageOptions o;
  o.szSMTPSubject = "Event %i on %s (%x) 100%%";
  Build(o);
  EXPECT_EQ(formatter_.subject(), "Event 7036 on SRV1 (%x) 100%");
  o.szSMTPSubject = "%m|%";
  Build(o);
  EXPECT_EQ(formatter_.subject(), "The Alerter service entered the stopped state.|%");
  o.szSMTPSubject = "";
  Build(o);
  EXPECT_EQ(formatter_.subject(), "");
  // Line breaks from an event cannot start new mail headers.
  fields_.event_id = 9;
  fields_.strings = {u"x\r\nBcc: victim@example.com\t\x7f"};
  o.szSMTPSubject = "[%m]";
  Build(o);
  EXPECT_EQ(formatter_.subject(), "[x  Bcc: victim@example.com  ]");
  // At most 255 bytes, in the ANSI code page.
  fields_.strings = {u"\u00e9" + std::u16string(400, u'z')};
  o.szSMTPSubject = "%m%m";
  Build(o);
  ASSERT_EQ(formatter_.subject().size(), kMaxSubjectBytes);
  EXPECT_EQ(static_cast<uint8_t>(formatter_.subject()[0]), 0xE9);
}

}  // namespace
}  // namespace sentrel
