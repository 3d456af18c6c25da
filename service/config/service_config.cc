#include "service/config/service_config.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace sentrel {
namespace {

using platform::RegKey;

// Defaults for values that are missing from the registry.
constexpr char kDefaultTarget[] = "127.0.0.1";
constexpr char kDefaultReplacementName[] = "!";
constexpr char kDefaultSmtpServer[] = "127.0.0.1";
constexpr int32_t kDefaultFacility = 128;  // local0, already multiplied by 8
constexpr int32_t kDefaultFilterEventType = 255;
constexpr int32_t kDefaultPreventOverrunDelay = 5;

// A number is read into 4 bytes whatever its type: a wider value counts as missing, a
// narrower one is taken zero-extended.
int32_t ReadNumber(RegKey* key, std::u16string_view name, int32_t fallback) {
  if (!key) return fallback;
  uint32_t value = 0;
  uint32_t size = sizeof value;
  uint32_t type = 0;
  if (key->QueryValue(name, &type, &value, &size) != platform::kSuccess) return fallback;
  return static_cast<int32_t>(value);
}

// A text through the narrow view, at most 255 bytes and its terminator; false when missing,
// unreadable or longer.
bool ReadText(RegKey* key, std::u16string_view name, std::string* out) {
  if (!key) return false;
  char buffer[kTextBufferSize];
  uint32_t size = sizeof buffer;
  uint32_t type = 0;
  if (key->QueryValueAnsi(name, &type, buffer, &size) != platform::kSuccess) return false;
  size = std::min<uint32_t>(size, sizeof buffer);
  out->assign(buffer, ::strnlen(buffer, size));
  return true;
}

std::string ReadText(RegKey* key, std::u16string_view name, const char* fallback) {
  std::string text;
  if (!ReadText(key, name, &text)) text = fallback;
  return text;
}

// Opens Parameters and, when that succeeds, the log's subkey below it; either may stay null.
void OpenForReading(platform::Registry& registry, LogId log, std::unique_ptr<RegKey>* parameters,
                    std::unique_ptr<RegKey>* log_key) {
  std::unique_ptr<RegKey> hklm;
  if (registry.OpenRoot(platform::RegRoot::kLocalMachine, &hklm) != platform::kSuccess) return;
  if (hklm->OpenKey(kParametersKey, platform::RegAccess::kRead, parameters) != platform::kSuccess) {
    parameters->reset();
    return;
  }
  if (!IsValidLogId(log) ||
      (*parameters)->OpenKey(LogName(log), platform::RegAccess::kRead, log_key) !=
          platform::kSuccess) {
    log_key->reset();
  }
}

// Creates or opens Parameters and the subkey `log_name` below it; false when either fails.
bool OpenForWriting(platform::Registry& registry, std::u16string_view log_name,
                    std::unique_ptr<RegKey>* parameters, std::unique_ptr<RegKey>* log_key) {
  std::unique_ptr<RegKey> hklm;
  if (registry.OpenRoot(platform::RegRoot::kLocalMachine, &hklm) != platform::kSuccess) {
    return false;
  }
  if (hklm->CreateKey(kParametersKey, parameters) != platform::kSuccess) return false;
  return (*parameters)->CreateKey(log_name, log_key) == platform::kSuccess;
}

}  // namespace

ConfigStore::ConfigStore(platform::Platform& platform) : platform_(platform) {}

void ConfigStore::LoadConfig(LogId log) {
  std::unique_ptr<RegKey> params_key, log_key;
  OpenForReading(platform_.registry(), log, &params_key, &log_key);
  RegKey* params = params_key.get();
  RegKey* per_log = log_key.get();
  ServiceConfig& c = config_;

  c.last_msg_number = ReadNumber(params, u"nLastSyslogMsgNbr", 0);
  c.show_msg_number = ReadNumber(params, u"bShowSyslogMsgNbr", 0);
  c.forward_binary_data = ReadNumber(params, u"bForwardBinaryData", 0);
  c.single_event_mails = ReadNumber(params, u"bSingleEventEmails", 0);
  c.use_legacy_mode = ReadNumber(params, u"bUseLegacyMode", 1);
  c.replace_computer_name = ReadNumber(params, u"nReplaceComputerName", 0);
  c.replacement_name = ReadText(params, u"szReplaceComputerName", kDefaultReplacementName);
  c.replacement_name_wide = platform_.code_page().AnsiToWide(c.replacement_name);
  c.last_record = static_cast<uint32_t>(ReadNumber(per_log, u"nLastRecord", 0));
  c.facility = ReadNumber(per_log, u"nFacility", kDefaultFacility);
  if (c.facility < 0 || c.facility > kMaxFacility) c.facility = kDefaultFacility;
  c.filter_event_type = ReadNumber(per_log, u"nFilterEventType", kDefaultFilterEventType);
  c.report_truncated_log = ReadNumber(per_log, u"bReportTruncatedLog", 1);
  c.prevent_overrun_delay =
      std::clamp(ReadNumber(params, u"nPreventOverrunDelay", kDefaultPreventOverrunDelay), 0,
                 kMaxPreventOverrunDelay);
  c.mail_encoding = ReadNumber(per_log, u"iEMailOutputEncoding", 0);
  c.add_facility_string = ReadNumber(params, u"bAddFacilityString", 0);
  c.add_user_name = ReadNumber(params, u"nAddUserName", 0);
  c.add_log_type = ReadNumber(params, u"nAddLogType", 0);
  c.rfc3164_mode = ReadNumber(params, u"nRFC3164Mode", 0);
  // A value of 0x80000000 or more would be a negative pause: treated as missing.
  c.sleep_time = ReadNumber(params, u"nSleepTime", kDefaultSleepTime);
  rejected_sleep_time_.reset();
  if (c.sleep_time < 0) {
    rejected_sleep_time_ = static_cast<uint32_t>(c.sleep_time);
    c.sleep_time = kDefaultSleepTime;
  }
  c.target = ReadText(params, u"szTarget", kDefaultTarget);
  c.backup_configured = ReadText(params, u"szTarget2", &c.target2);
  if (!c.backup_configured) c.target2.clear();
  c.proto_type = ReadNumber(params, u"nProtoType", 0);
  c.proto_type_backup = ReadNumber(params, u"nProtoTypeBackup", 0);
  c.syslog1_encoding = ReadNumber(params, u"iSyslog1OutputEncoding", 0);
  c.syslog2_encoding = ReadNumber(params, u"iSyslog2OutputEncoding", 0);
  c.delivery_method = ReadNumber(per_log, u"nDeliveryMethod", 0);
  c.smtp_sender = ReadText(per_log, u"szSMTPSender", kDefaultMailbox);
  c.smtp_recipient = ReadText(per_log, u"szSMTPRecipient", kDefaultMailbox);
  c.smtp_subject = ReadText(per_log, u"szSMTPSubject", "");
  c.smtp_server = ReadText(per_log, u"szSMTPServer", kDefaultSmtpServer);

  if (per_log) LoadFilterRules(rules(log), *per_log);

  snapshot_.last_record = c.last_record;
  snapshot_.sleep_time = c.sleep_time;
  snapshot_.last_msg_number = c.last_msg_number;
  snapshot_.target = c.target;
}

bool ConfigStore::SaveProgress(LogId log) {
  const bool record_changed = config_.last_record != snapshot_.last_record;
  const bool number_changed = config_.last_msg_number != snapshot_.last_msg_number;
  if (!record_changed && !number_changed) return true;

  std::unique_ptr<RegKey> params, log_key;
  if (!IsValidLogId(log) ||
      !OpenForWriting(platform_.registry(), LogName(log), &params, &log_key)) {
    return false;
  }
  bool ok = true;
  if (record_changed) {
    ok &= platform::SetDword(*log_key, u"nLastRecord", config_.last_record) == platform::kSuccess;
  }
  if (number_changed) {
    ok &= platform::SetDword(*params, u"nLastSyslogMsgNbr",
                             static_cast<uint32_t>(config_.last_msg_number)) == platform::kSuccess;
  }
  return ok;
}

bool ConfigStore::WriteInstallDefaults(std::u16string_view log_name) {
  if (config_.sleep_time == snapshot_.sleep_time && config_.last_record == snapshot_.last_record &&
      config_.target == snapshot_.target) {
    return true;
  }
  std::unique_ptr<RegKey> params, log_key;
  if (!OpenForWriting(platform_.registry(), log_name, &params, &log_key)) return false;
  bool ok = platform::SetDword(*log_key, u"nLastRecord", config_.last_record) == platform::kSuccess;
  ok &= platform::SetDword(*params, u"nSleepTime", static_cast<uint32_t>(config_.sleep_time)) ==
        platform::kSuccess;
  ok &= params->SetValueAnsi(u"szTarget", platform::kRegSz, config_.target) == platform::kSuccess;
  return ok;
}

}  // namespace sentrel
