#include "service/collect/record_dispatcher.h"

#include <cstdio>

#include "platform/text.h"

namespace sentrel {
namespace {

// Within this many leading characters every space of a syslog line stays.
constexpr size_t kKeptSpacePrefix = 16;
// The priority part's closing ">" is looked for from this character on.
constexpr size_t kPriorityEndSearchStart = 2;

constexpr int32_t kDeliverBySyslog = 0;  // nDeliveryMethod

// The event type bit of a record: 1 for type 0 (success), else the type times two.
uint32_t TypeBit(uint16_t event_type) {
  return event_type == 0 ? 1u : static_cast<uint32_t>(event_type) * 2u;
}

void FillOptions(const ServiceConfig& c, MessageOptions& o) {
  o.bUseLegacyMode = static_cast<uint32_t>(c.use_legacy_mode);
  o.nRFC3164Mode = static_cast<uint32_t>(c.rfc3164_mode);
  o.nFacility = static_cast<uint32_t>(c.facility);
  o.bAddFacilityString = static_cast<uint32_t>(c.add_facility_string);
  o.bShowSyslogMsgNbr = static_cast<uint32_t>(c.show_msg_number);
  o.nDeliveryMethod = static_cast<uint32_t>(c.delivery_method);
  o.nAddUserName = c.add_user_name;
  o.nAddLogType = c.add_log_type;
  o.nReplaceComputerName = static_cast<uint32_t>(c.replace_computer_name);
  o.szReplaceComputerName = c.replacement_name_wide;  // assignment reuses the buffer
  o.bForwardBinaryData = static_cast<uint32_t>(c.forward_binary_data);
  o.szSMTPSubject = c.smtp_subject;
}

}  // namespace

void NormaliseSyslogText(std::u16string& text) {
  const size_t n = text.size();
  char16_t* p = text.data();
  size_t out = 0;
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = p[i] < 32 ? u' ' : p[i];
    // Writing never overtakes reading (out <= i), so p[i + 1] is still the original character.
    if (c == u' ' && i >= kKeptSpacePrefix && i + 1 < n && (p[i + 1] == u' ' || p[i + 1] < 32)) {
      continue;
    }
    p[out++] = c;
  }
  text.resize(out);
}

std::u16string_view MailText(std::u16string_view text) {
  if (text.size() <= kPriorityEndSearchStart) return text;
  const size_t end = text.find(u'>', kPriorityEndSearchStart);
  return end == std::u16string_view::npos ? text : text.substr(end + 1);
}

RecordDispatcher::RecordDispatcher(const DispatchParts& parts) : parts_(parts) {}

const MessageOptions& RecordDispatcher::Options() {
  FillOptions(parts_.config.config(), options_);
  return options_;
}

void RecordDispatcher::Report(std::u16string_view text) {
  const std::u16string terminated(text);
  parts_.reporter.ReportServiceEvent(kReportError, kEventText, terminated.c_str());
}

void RecordDispatcher::ReportCode(const char* format, int code) {
  char text[96];
  std::snprintf(text, sizeof text, format, code);
  Report(platform::Widen(text));
}

void RecordDispatcher::ProcessRecord(const RecordView& record, uint32_t bytes_left, LogId log,
                                     std::u16string_view log_name, PassState& pass) {
  (void)bytes_left;  // the view was parsed within these bytes: it cannot read beyond them
  const ServiceConfig& config = parts_.config.config();
  if ((TypeBit(record.event_type()) & static_cast<uint32_t>(config.filter_event_type)) == 0) {
    return;
  }
  const int32_t action =
      GetRuleAction(parts_.config.rules(log), record,
                    RuleMatchContext{parts_.formatter.accounts(), parts_.platform.debug()});
  if (action == 0) return;
  BuildText(record, log_name, pass);
  try {
    Deliver(action, pass);
  } catch (...) {
    // The rest of this record is dropped; the pass goes on with the next one.
  }
}

void RecordDispatcher::BuildText(const RecordView& record, std::u16string_view log_name,
                                 PassState& pass) {
  try {
    pass.text = parts_.formatter.BuildSyslogMessage(record, log_name, Options(), pass.host_name,
                                                    parts_.config.config().last_msg_number);
  } catch (...) {
    pass.text = kInternalErrorText;
  }
}

void RecordDispatcher::Deliver(int32_t action, PassState& pass) {
  const ServiceConfig& config = parts_.config.config();
  pass.to_syslog = false;
  pass.to_mail = false;
  if (action & kActionDefault) {
    if (config.delivery_method == kDeliverBySyslog) {
      pass.to_syslog = true;
    } else {
      pass.to_mail = true;
    }
  }
  if (action & kActionMail) pass.to_mail = true;
  if (action & kActionSyslog) pass.to_syslog = true;

  if (pass.to_mail && !pass.mail_open) SetUpMail(pass);
  if (pass.to_syslog) SetUpSyslog(pass);
  if (pass.to_mail && pass.mail_open) SendMail(pass);
  if (pass.to_syslog && pass.primary_ready) {
    PrepareAndSendSyslog(pass.text, config.target, config.proto_type, parts_.primary,
                         config.syslog1_encoding);
  }
  if (pass.to_syslog && config.backup_configured && pass.backup_ready) {
    PrepareAndSendSyslog(pass.text, config.target2, config.proto_type_backup, parts_.backup,
                         config.syslog2_encoding);
  }
  if (config.prevent_overrun_delay > 0 && pass.service_stop) {
    pass.service_stop->SleepFor(static_cast<uint32_t>(config.prevent_overrun_delay));
  }
}

void RecordDispatcher::SetUpMail(PassState& pass) {
  const int result =
      parts_.mail.OpenSmtpSession(parts_.config.config(), parts_.formatter.subject());
  if (result == kSmtpOpened) {
    pass.mail_open = true;
    return;
  }
  pass.stop = true;
  // A service stop ends the client's waits, which reads as a failed dialogue: that is no mail
  // server fault and is not reported.
  if (pass.service_stop && pass.service_stop->Requested()) return;
  ReportCode("Fatal error (%d) initializing SMTP transport.", result);
}

void RecordDispatcher::SetUpSyslog(PassState& pass) {
  const ServiceConfig& config = parts_.config.config();
  const bool primary_udp = config.proto_type == static_cast<int32_t>(kSyslogUdp);
  const bool backup_udp = config.proto_type_backup == static_cast<int32_t>(kSyslogUdp);
  // The UDP path needs the socket library, started once per pass.
  if (!pass.primary_ready && (primary_udp || backup_udp) && !library_started_) {
    const int result = StartSocketLibrary(parts_.platform.network());
    if (result != 0) {
      ReportCode("Fatal error (%d) initializing syslog transport.", result);
      pass.stop = true;
    } else {
      library_started_ = true;
      if (primary_udp) pass.primary_ready = true;
      if (backup_udp) pass.backup_ready = true;
    }
  }
  // TCP: a connection of its own for every message.
  if (config.proto_type == static_cast<int32_t>(kSyslogTcp)) {
    if (parts_.primary.OpenSocket(platform::kAfInet, platform::kSockStream, 0) ==
        platform::kInvalidSocket) {
      Report(u"Error I1001 - can't get TCP socket - Processing was stopped");
      pass.stop = true;
    } else if (parts_.primary.SetTarget(config.target.c_str(), kSyslogTcpPort) != 0) {
      Report(
          u"Error I1002 - Could not connect to Syslog Server over TCP - might be down. "
          u"Processing was stopped");
      pass.stop = true;
    } else {
      pass.primary_ready = true;
    }
  }
  if (config.backup_configured && config.proto_type_backup == static_cast<int32_t>(kSyslogTcp)) {
    if (parts_.backup.OpenSocket(platform::kAfInet, platform::kSockStream, 0) ==
        platform::kInvalidSocket) {
      Report(
          u"Error I1001 - can't get TCP socket for Backup Syslog Server - Continue processing for "
          u"primary Syslog Server");
      pass.backup_ready = false;
    } else if (parts_.backup.SetTarget(config.target2.c_str(), kSyslogTcpPort) != 0) {
      Report(
          u"Error I1002 - Could not connect to Backup Syslog Server over TCP - Continue "
          u"processing for primary Syslog Server");
      pass.backup_ready = false;
    } else {
      pass.backup_ready = true;
    }
  }
}

void RecordDispatcher::SendMail(PassState& pass) {
  const ServiceConfig& config = parts_.config.config();
  parts_.mail.SendMailText(MailText(pass.text), config.mail_encoding);
  if (config.single_event_mails == 1) {
    parts_.mail.CloseSmtpSession();
    pass.mail_open = false;
  }
}

std::string RecordDispatcher::EncodeOutput(std::u16string_view text, int encoding) {
  if (encoding == kEncodingAnsi) return parts_.platform.code_page().WideToAnsi(text);
  if (encoding == sentrel::kEncodingIso2022Jp || encoding == sentrel::kEncodingEucJp) {
    return parts_.converter.Convert(text, encoding);
  }
  return {};
}

void RecordDispatcher::PrepareAndSendSyslog(std::u16string& text, std::string_view server,
                                            int32_t protocol, CWinSock& connection, int encoding) {
  NormaliseSyslogText(text);
  const std::string bytes = EncodeOutput(text, encoding);
  parts_.sender.SendToSyslogServer(server, bytes, static_cast<uint32_t>(protocol), connection,
                                   static_cast<uint32_t>(parts_.config.config().rfc3164_mode));
}

void RecordDispatcher::FinishPass(PassState& pass) {
  parts_.formatter.EndPass();
  if (pass.mail_open) {
    parts_.mail.CloseSmtpSession();
    pass.mail_open = false;
  }
  if (library_started_) {
    CleanupSocketLibrary(parts_.platform.network());
    library_started_ = false;
  }
  // A TCP connection is normally closed by its send; one left open by a dropped record goes here.
  parts_.primary.CloseSocket();
  parts_.backup.CloseSocket();
}

}  // namespace sentrel
