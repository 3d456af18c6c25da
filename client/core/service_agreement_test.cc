// The service and the client share no code, so only this test keeps them in step: what the
// client shows must be what the service uses, for an empty configuration, for the one the
// service's installation writes, and for one the client saved.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "client/core/client_session.h"
#include "client/core/service_defaults.h"
#include "platform/code_page.h"
#include "service/config/service_config.h"
#include "service/host/forwarding_service.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/test_platform.h"

namespace sentrel::client {
namespace {

std::string Utf8(const std::u16string& text) { return platform::Utf16ToUtf8(text); }

// The text the service uses for a box whose empty text means "the service's default".
std::string OrDefault(const std::u16string& text, const char16_t* service_default) {
  return Utf8(text.empty() ? std::u16string(service_default) : text);
}

class ServiceAgreementTest : public ::testing::Test {
 protected:
  void ExpectServiceSeesWhatTheClientShows() {
    ClientSession session(computer_.platform());
    ASSERT_EQ(session.CreateKeyHandles(u"").state, ConnectState::kConnected);
    session.ReadRegValues();
    ConfigStore store(computer_.platform());
    const GlobalSettings& g = session.settings().global;
    for (const LogInfo& info : kLogs) {
      SCOPED_TRACE(Utf8(std::u16string(info.key_name)));
      const LogSettings& l = session.settings().log(info.id);
      store.LoadConfig(*LogIdFromName(info.key_name));
      const ServiceConfig& c = store.config();
      EXPECT_EQ(c.sleep_time, g.sleep_time.stored);
      EXPECT_EQ(c.target, Utf8(g.target));
      EXPECT_EQ(c.backup_configured, g.backup_enabled);
      EXPECT_EQ(c.proto_type, g.protocol.selected_data());
      EXPECT_EQ(c.proto_type_backup, g.protocol_backup.selected_data());
      EXPECT_EQ(c.syslog1_encoding, g.encoding1.selected_data());
      EXPECT_EQ(c.syslog2_encoding, g.encoding2.selected_data());
      EXPECT_EQ(c.rfc3164_mode, g.mode.selected_data());
      EXPECT_EQ(c.use_legacy_mode != 0, g.use_legacy.ticked);
      EXPECT_EQ(c.add_facility_string == 1, g.add_facility_string.ticked);
      EXPECT_EQ(c.add_user_name > 0, g.add_user_name.ticked);
      EXPECT_EQ(c.add_log_type > 0, g.add_log_type.ticked);
      EXPECT_EQ(c.show_msg_number != 0, g.show_msg_number.ticked);
      EXPECT_EQ(c.forward_binary_data != 0, g.forward_binary.ticked);
      EXPECT_EQ(c.single_event_mails == 1, g.single_event_mails.ticked);
      EXPECT_EQ(c.replace_computer_name == 1, g.replace_name.ticked);
      EXPECT_EQ(c.replacement_name, OrDefault(g.replacement_name, kServiceDefaultReplacementName));
      EXPECT_EQ(c.prevent_overrun_delay, g.overrun_delay.selected_data());
      EXPECT_EQ(c.last_record, static_cast<uint32_t>(l.last_record.stored));
      EXPECT_EQ(c.facility, l.facility.selected_data());
      EXPECT_EQ(c.filter_event_type, l.types.stored);
      EXPECT_EQ(c.report_truncated_log != 0, l.report_truncated.ticked);
      EXPECT_EQ(c.delivery_method != 0, l.mail_delivery.ticked);
      EXPECT_EQ(c.smtp_server, OrDefault(l.smtp_server, kServiceDefaultSmtpServer));
      EXPECT_EQ(c.smtp_sender, OrDefault(l.smtp_sender, kServiceDefaultMailbox));
      EXPECT_EQ(c.smtp_recipient, OrDefault(l.smtp_recipient, kServiceDefaultMailbox));
      EXPECT_EQ(c.smtp_subject, Utf8(l.smtp_subject));
      EXPECT_EQ(c.mail_encoding, l.mail_encoding.selected_data());
    }
  }

  testsupport::TempComputer computer_;
};

TEST_F(ServiceAgreementTest, ClientAndServiceAgreeOnDefaultsInstallationAndSavedValues) {
  {
    SCOPED_TRACE("an empty Parameters key");
    testsupport::MachineKey(computer_.platform(), kParametersPath);
    ExpectServiceSeesWhatTheClientShows();
  }
  {
    SCOPED_TRACE("after vaskwell -i");
    ForwardingService service(computer_.platform());
    service.CreateDefaultConfiguration();
    ExpectServiceSeesWhatTheClientShows();
  }
  {
    SCOPED_TRACE("after the client's save");
    ClientSession session(computer_.platform());
    ASSERT_EQ(session.CreateKeyHandles(u"").state, ConnectState::kConnected);
    session.ReadRegValues();
    Settings& s = session.settings();
    s.global.target = u"collector.example";
    s.global.backup_enabled = true;
    s.global.target2 = u"";
    s.global.protocol.SelectData(1);
    s.global.encoding2.SelectData(51220);
    s.global.mode.SelectData(0);
    s.global.add_user_name.ticked = true;
    s.global.replace_name.ticked = true;
    s.global.replacement_name = u"GW";
    s.global.overrun_delay.index = 400;
    s.global.sleep_time.text = u"250";
    LogSettings& dns = s.log(ClientLog::kDns);
    dns.facility.SelectData(184);
    dns.types.bits = 2 | 32;
    dns.mail_delivery.ticked = true;
    dns.smtp_sender = u"events@example";
    dns.last_record.text = u"17";
    ASSERT_TRUE(session.WriteRegValues().ok());
    ExpectServiceSeesWhatTheClientShows();
  }
}

}  // namespace
}  // namespace sentrel::client
