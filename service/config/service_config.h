// The service's configuration: its registry schema, the in-memory record filled from it at the
// start of every pass over a log, the per-log filter rule lists, and the write-back of progress.
#ifndef SERVICE_CONFIG_SERVICE_CONFIG_H_
#define SERVICE_CONFIG_SERVICE_CONFIG_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "service/config/log_id.h"
#include "service/filter/filter_rules.h"

namespace sentrel {

// The service's name: its event source and the name of its key below Services.
inline constexpr char16_t kServiceName[] = u"Brinmoor Vaskwell";
// The global values; one subkey per log below it holds that log's values and filter rules.
inline constexpr char16_t kParametersKey[] =
    u"SYSTEM\\CurrentControlSet\\Services\\Brinmoor Vaskwell\\Parameters";
// The platform's list of event logs, one subkey per log.
inline constexpr char16_t kEventLogListKey[] = u"SYSTEM\\CurrentControlSet\\Services\\EventLog";

// Mail sender and recipient when the log's configuration names none: the local administrator's
// mailbox on the mail server's own host.
inline constexpr char kDefaultMailbox[] = "sentrel@localhost";

// Texts are read through the registry's narrow view into a buffer of this size: a value that
// needs more (terminator included) counts as missing.
inline constexpr uint32_t kTextBufferSize = 256;

// The pause after each forwarded record is clamped to this range (milliseconds).
inline constexpr int32_t kMaxPreventOverrunDelay = 400;
// The poll interval when nSleepTime is missing or reads as negative (milliseconds).
inline constexpr int32_t kDefaultSleepTime = 60000;
// nFacility, already multiplied by 8, may be at most this: ored with a severity (0 to 7) it
// still gives a priority of at most 191, the largest a syslog collector accepts.
inline constexpr int32_t kMaxFacility = 191;

// The configuration in force: the global values and those of the log being processed (loading
// the next log overwrites the per-log fields). Texts are in the computer's ANSI code page. The
// initial values are those written at installation; every load replaces them.
struct ServiceConfig {
  // Global values (key Parameters).
  int32_t sleep_time = 5000;             // nSleepTime, ms
  std::string target = "127.0.0.1";      // szTarget
  std::string target2;                   // szTarget2
  bool backup_configured = false;        // szTarget2 exists and could be read, even when empty
  int32_t proto_type = 0;                // nProtoType: 0 UDP, 1 TCP
  int32_t proto_type_backup = 0;         // nProtoTypeBackup
  int32_t syslog1_encoding = 0;          // iSyslog1OutputEncoding
  int32_t syslog2_encoding = 0;          // iSyslog2OutputEncoding
  int32_t rfc3164_mode = 0;              // nRFC3164Mode
  int32_t use_legacy_mode = 1;           // bUseLegacyMode
  int32_t add_facility_string = 0;       // bAddFacilityString
  int32_t add_user_name = 0;             // nAddUserName
  int32_t add_log_type = 0;              // nAddLogType
  int32_t replace_computer_name = 0;     // nReplaceComputerName
  std::string replacement_name;          // szReplaceComputerName
  std::u16string replacement_name_wide;  // the same, converted with the computer's code page
  int32_t show_msg_number = 0;           // bShowSyslogMsgNbr
  int32_t last_msg_number = 0;           // nLastSyslogMsgNbr, advanced by each numbered message
  int32_t forward_binary_data = 0;       // bForwardBinaryData
  int32_t single_event_mails = 0;        // bSingleEventEmails
  int32_t prevent_overrun_delay = 0;     // nPreventOverrunDelay, ms, 0..400

  // Values of the log being processed (its subkey of Parameters).
  uint32_t last_record = 0;          // nLastRecord, advanced record by record during a pass
  int32_t facility = 0;              // nFacility
  int32_t filter_event_type = 255;   // nFilterEventType
  int32_t report_truncated_log = 1;  // bReportTruncatedLog
  int32_t delivery_method = 0;       // nDeliveryMethod
  int32_t mail_encoding = 0;         // iEMailOutputEncoding
  std::string smtp_server;           // szSMTPServer
  std::string smtp_sender;           // szSMTPSender
  std::string smtp_recipient;        // szSMTPRecipient
  std::string smtp_subject;          // szSMTPSubject
};

// What the last load found in the registry for the values the service writes back. Before the
// first load its numbers are 0 and its text "XXXX", so that the first WriteInstallDefaults of a
// process always writes.
struct ProgressSnapshot {
  uint32_t last_record = 0;
  int32_t sleep_time = 0;
  int32_t last_msg_number = 0;
  std::string target = "XXXX";
};

// Owns the configuration for the life of the process: the configuration record, its snapshot,
// and the six filter rule lists. Used by the logger thread only (and once by the service start
// before that thread exists); not thread-safe.
class ConfigStore {
 public:
  explicit ConfigStore(platform::Platform& platform);
  ConfigStore(const ConfigStore&) = delete;
  ConfigStore& operator=(const ConfigStore&) = delete;

  // Fills the configuration for `log` from the registry (defaults for whatever is missing,
  // unreadable or too large), reloads the log's filter rules when its subkey exists and takes
  // the snapshot. Never creates a key.
  void LoadConfig(LogId log);
  // Writes nLastRecord of `log` and nLastSyslogMsgNbr, each only when it differs from the
  // snapshot; creates the keys when needed. True when nothing had to be written or every
  // write succeeded.
  bool SaveProgress(LogId log);
  // Writes nLastRecord of the log named `log_name`, nSleepTime and szTarget from the current
  // configuration (at installation: 0, 5000 and "127.0.0.1"), unless all three equal the
  // snapshot.
  bool WriteInstallDefaults(std::u16string_view log_name);

  ServiceConfig& config() { return config_; }
  const ServiceConfig& config() const { return config_; }
  const ProgressSnapshot& snapshot() const { return snapshot_; }
  // nSleepTime as stored when the last load found a value that reads as negative (0x80000000 or
  // more) and used the default instead; nothing when the value was usable or missing.
  std::optional<uint32_t> rejected_sleep_time() const { return rejected_sleep_time_; }
  // The filter rules of a log; `log` must be valid.
  FilterRuleList& rules(LogId log) { return rules_[static_cast<size_t>(log)]; }

 private:
  platform::Platform& platform_;
  ServiceConfig config_;
  ProgressSnapshot snapshot_;
  std::optional<uint32_t> rejected_sleep_time_;
  std::array<FilterRuleList, kLogCount> rules_;
};

}  // namespace sentrel

#endif  // SERVICE_CONFIG_SERVICE_CONFIG_H_
