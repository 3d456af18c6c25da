#include "client/core/settings_io.h"

#include "client/core/system_error.h"
#include "client/i18n/messages.h"
#include "platform/text.h"

namespace sentrel::client {
namespace {

using platform::RegKey;

int32_t ReadNumber(Registry& registry, RegKey* key, std::u16string_view name, int32_t fallback) {
  int32_t value = 0;
  (void)registry.ReadRegDword(key, name, &value, fallback);
  return value;
}

// The log's values, or (without a key: a log the target does not have) the client defaults,
// without touching any key.
class LogReader {
 public:
  LogReader(Registry& registry, RegKey* key) : r_(registry), key_(key) {}
  int32_t Number(std::u16string_view name, int32_t fallback) {
    return key_ ? ReadNumber(r_, key_, name, fallback) : fallback;
  }
  std::u16string Text(std::u16string_view name) {
    std::u16string text;
    if (key_) (void)r_.ReadRegString(key_, name, &text, u"");
    return text;
  }

 private:
  Registry& r_;
  RegKey* key_;
};

void ReadGlobals(Registry& r, RegKey* p, GlobalSettings* g) {
  (void)r.ReadRegString(p, u"szTarget", &g->target, kDefaultTarget);
  g->encoding1.Read(ReadNumber(r, p, u"iSyslog1OutputEncoding", 0));
  // The backup is in use exactly when its value exists and can be read, as the service has it.
  g->backup_enabled =
      r.ReadRegString(p, u"szTarget2", &g->target2, kDefaultTarget) == platform::kSuccess;
  g->encoding2.Read(ReadNumber(r, p, u"iSyslog2OutputEncoding", 0));
  g->add_facility_string.Read(ReadNumber(r, p, u"bAddFacilityString", 0));
  g->show_msg_number.Read(ReadNumber(r, p, u"bShowSyslogMsgNbr", 0));
  g->add_user_name.Read(ReadNumber(r, p, u"nAddUserName", 0));
  g->add_log_type.Read(ReadNumber(r, p, u"nAddLogType", 0));
  g->single_event_mails.Read(ReadNumber(r, p, u"bSingleEventEmails", 0));
  g->overrun_delay.Read(ReadNumber(r, p, u"nPreventOverrunDelay", kDefaultOverrunDelay));
  g->use_legacy.Read(ReadNumber(r, p, u"bUseLegacyMode", 1));
  g->protocol.Read(ReadNumber(r, p, u"nProtoType", 0));
  g->protocol_backup.Read(ReadNumber(r, p, u"nProtoTypeBackup", 0));
  g->mode.Read(ReadNumber(r, p, u"nRFC3164Mode", 0));
  g->forward_binary.Read(ReadNumber(r, p, u"bForwardBinaryData", 0));
  g->replace_name.Read(ReadNumber(r, p, u"nReplaceComputerName", 0));
  (void)r.ReadRegString(p, u"szReplaceComputerName", &g->replacement_name, u"");
  // Signed, as the service reads it: a stored number above 2147483647 means no pause.
  g->sleep_time.Read(ReadNumber(r, p, u"nSleepTime", kDefaultSleepTime));
}

void ReadLog(Registry& r, RegKey* k, ClientLog id, FilterRulesIo* rules, LogSettings* log) {
  LogReader read(r, k);
  log->present = k != nullptr;
  log->report_truncated.Read(read.Number(u"bReportTruncatedLog", 1));
  log->mail_delivery.Read(read.Number(u"nDeliveryMethod", 0));
  log->smtp_server = read.Text(u"szSMTPServer");
  log->smtp_sender = read.Text(u"szSMTPSender");
  log->smtp_recipient = read.Text(u"szSMTPRecipient");
  log->smtp_subject = read.Text(u"szSMTPSubject");
  log->mail_encoding.Read(read.Number(u"iEMailOutputEncoding", 0));
  if (k && rules) {
    log->filter_rules = rules->ReadRules(r, *k, id);
  } else {
    log->filter_rules = read.Number(u"nFilterRules", 0) != 0;
  }
  log->facility.Read(read.Number(u"nFacility", kDefaultFacility));
  log->types.Read(read.Number(u"nFilterEventType", kDefaultEventTypes));
  // Unsigned, as the service reads record numbers.
  log->last_record.Read(static_cast<uint32_t>(read.Number(u"nLastRecord", 0)));
}

// Each Save* writes one field and, when the write succeeded, makes what it wrote the field's
// read state, so the next save compares against what the registry now holds.
class Saver {
 public:
  Saver(Registry& registry, RegKey* key) : r_(registry), key_(key) {}

  void Text(std::u16string_view name, const std::u16string& text, bool keep_empty = false) {
    (void)r_.SaveRegString(key_, name, text, keep_empty);
  }
  void Number(std::u16string_view name, uint32_t value) {
    (void)r_.SaveRegDword(key_, name, value);
  }
  void Delete(std::u16string_view name) { (void)r_.DeleteRegValue(key_, name); }
  void Save(std::u16string_view name, Flag* flag) {
    const int32_t value = flag->ToWrite();
    if (Ok(r_.SaveRegDword(key_, name, static_cast<uint32_t>(value)))) flag->stored = value;
  }
  void Save(std::u16string_view name, Choice* choice) {
    const int32_t value = choice->ToWrite();
    if (Ok(r_.SaveRegDword(key_, name, static_cast<uint32_t>(value)))) {
      choice->stored = value;
      choice->read_index = choice->index;
    }
  }
  void Save(std::u16string_view name, EventTypes* types) {
    const int32_t value = types->ToWrite();
    if (Ok(r_.SaveRegDword(key_, name, static_cast<uint32_t>(value)))) types->stored = value;
  }
  // An edited box holds a number ValidateSettings accepted.
  void Save(std::u16string_view name, NumberText* number, uint32_t max) {
    const uint32_t value = number->edited() ? ParseUnsigned(number->text, max).value_or(0)
                                            : static_cast<uint32_t>(number->stored);
    if (Ok(r_.SaveRegDword(key_, name, value))) {
      number->stored = number->as_signed ? int64_t{static_cast<int32_t>(value)} : int64_t{value};
      number->shown = number->text;
    }
  }

 private:
  static bool Ok(Result r) { return r == platform::kSuccess; }
  Registry& r_;
  RegKey* key_;
};

void WriteGlobals(Registry& r, RegKey* p, GlobalSettings* g) {
  Saver s(r, p);
  s.Text(u"szTarget", g->target);
  s.Save(u"iSyslog1OutputEncoding", &g->encoding1);
  s.Save(u"iSyslog2OutputEncoding", &g->encoding2);
  // A ticked box keeps the value even when its text is empty: to the service the backup is in
  // use whenever the value exists.
  if (g->backup_enabled) {
    s.Text(u"szTarget2", g->target2, /*keep_empty=*/true);
  } else {
    s.Delete(u"szTarget2");
  }
  s.Save(u"nSleepTime", &g->sleep_time, kMaxSleepTime);
  s.Save(u"nRFC3164Mode", &g->mode);
  s.Save(u"bUseLegacyMode", &g->use_legacy);
  if (AdditionalOptionsAvailable(*g)) {
    s.Save(u"bAddFacilityString", &g->add_facility_string);
    s.Save(u"bShowSyslogMsgNbr", &g->show_msg_number);
    s.Save(u"nAddUserName", &g->add_user_name);
    s.Save(u"nAddLogType", &g->add_log_type);
  }
  s.Save(u"nProtoType", &g->protocol);
  s.Save(u"nProtoTypeBackup", &g->protocol_backup);
  s.Save(u"bSingleEventEmails", &g->single_event_mails);
  s.Save(u"bForwardBinaryData", &g->forward_binary);
  s.Save(u"nPreventOverrunDelay", &g->overrun_delay);
  s.Save(u"nReplaceComputerName", &g->replace_name);
  s.Text(u"szReplaceComputerName", g->replacement_name);
}

void WriteLog(Registry& r, RegKey& k, ClientLog id, FilterRulesIo* rules, LogSettings* log) {
  Saver s(r, &k);
  s.Save(u"nFacility", &log->facility);
  s.Save(u"nFilterEventType", &log->types);
  if (log->last_record.edited()) s.Save(u"nLastRecord", &log->last_record, kMaxLastRecord);
  s.Save(u"bReportTruncatedLog", &log->report_truncated);
  s.Save(u"nDeliveryMethod", &log->mail_delivery);
  s.Text(u"szSMTPServer", log->smtp_server);
  s.Text(u"szSMTPSender", log->smtp_sender);
  s.Text(u"szSMTPRecipient", log->smtp_recipient);
  s.Text(u"szSMTPSubject", log->smtp_subject);
  s.Save(u"iEMailOutputEncoding", &log->mail_encoding);
  if (rules) rules->WriteRules(r, k, id, log->filter_rules);
}

InvalidNumber Invalid(std::u16string control, std::u16string label, uint32_t max) {
  return InvalidNumber{std::move(control),
                       {MessageIcon::kWarning,
                        FormatMessageArgs(GetMessageText(189), {label, platform::Decimal(max)})}};
}

}  // namespace

void ReadRegValues(Registry& registry, const Connection& connection, FilterRulesIo* rules,
                   Settings* settings) {
  ReadGlobals(registry, connection.parameters(), &settings->global);
  for (size_t i = 0; i < kLogs.size(); ++i) {
    const ClientLog id = kLogs[i].id;
    LogSettings& log = settings->logs[i];
    ReadLog(registry, connection.HasLog(id) ? connection.log_key(id) : nullptr, id, rules, &log);
  }
}

std::optional<InvalidNumber> ValidateSettings(const Settings& settings) {
  const NumberText& sleep = settings.global.sleep_time;
  if (sleep.edited() && !ParseUnsigned(sleep.text, kMaxSleepTime)) {
    return Invalid(u"txtnSleep", StripMnemonic(GetMessageText(3)), kMaxSleepTime);
  }
  for (size_t i = 0; i < kLogs.size(); ++i) {
    const LogSettings& log = settings.logs[i];
    if (log.present && log.last_record.edited() &&
        !ParseUnsigned(log.last_record.text, kMaxLastRecord)) {
      return Invalid(u"txtnLastRecord" + std::u16string(kLogs[i].word),
                     StripMnemonic(GetMessageText(24)) + u" (" +
                         StripMnemonic(GetMessageText(kLogs[i].caption_message)) + u")",
                     kMaxLastRecord);
    }
  }
  return std::nullopt;
}

WriteResult WriteRegValues(Registry& registry, const Connection& connection, FilterRulesIo* rules,
                           Settings* settings) {
  WriteResult result;
  result.invalid = ValidateSettings(*settings);
  if (result.invalid) return result;
  registry.ClearSaveFailure();
  WriteGlobals(registry, connection.parameters(), &settings->global);
  for (size_t i = 0; i < kLogs.size(); ++i) {
    RegKey* key = connection.log_key(kLogs[i].id);
    if (settings->logs[i].present && key) {
      WriteLog(registry, *key, kLogs[i].id, rules, &settings->logs[i]);
    }
  }
  if (const auto& failure = registry.save_failure()) {
    result.failure = UserMessage{MessageIcon::kCritical,
                                 GetMessageText(188) + u" " + failure->value + u"\r\n" +
                                     GetSystemErrorText(registry.platform(), failure->code)};
  }
  return result;
}

}  // namespace sentrel::client
