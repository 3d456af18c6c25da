// The settings record: every setting of the service as the main window shows it, filled by
// ReadRegValues and written by WriteRegValues (settings_io.h). The windows bind their controls
// to it; the rules that tie controls together (the presets, which options are available) are
// functions on it, so that every window and test uses the same logic.
//
// Each field remembers what reading found. A save writes a value the user did not change back
// exactly as it was stored, so an Apply without edits never changes what a value means to the
// service, even for numbers the window cannot show as such (a delivery method of 2, a facility
// of 129, an overrun delay of 1000).
#ifndef CLIENT_CORE_SETTINGS_H_
#define CLIENT_CORE_SETTINGS_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "client/core/logs.h"

namespace sentrel::client {

// How the service tests a number that a check box stands for.
enum class Truth {
  kNonzero,     // anything but 0
  kPositive,    // greater than 0 (as a signed number)
  kExactlyOne,  // exactly 1
};

bool Means(Truth truth, int32_t value);

// A check box over a stored number.
struct Flag {
  Truth truth = Truth::kNonzero;
  int32_t stored = 0;  // as read (the client default when missing)
  bool ticked = false;

  void Read(int32_t value);
  // The stored number while the box still says what it means to the service; else 1 or 0.
  int32_t ToWrite() const;
};

// One entry of a drop-down list: its text (a message number, or a fixed text when the message
// is -1) and the number it stands for.
struct ListItem {
  int32_t message = -1;
  std::u16string text;
  int32_t data = 0;
};

struct ChoiceList {
  std::vector<ListItem> items;
  // Reading selects by position (the stored number clamped to the list) instead of by data.
  bool by_position = false;
};

// The lists of the main window.
const ChoiceList& EncodingList();  // "System Default" 0, "JIS (ISO-2022JP)" 51220, "EUC-JP" 51932
const ChoiceList& ProtocolList();  // "UDP" 0, "TCP" 1
const ChoiceList& ModeList();      // messages 2013-2015: 0, 1, 2
const ChoiceList& FacilityList();  // KERNEL 0 ... CRON 72, LOCAL_0 128 ... LOCAL_7 184
const ChoiceList& OverrunDelayList();  // "0" ... "400", by position

// A drop-down list over a stored number.
struct Choice {
  const ChoiceList* list = nullptr;
  int32_t stored = 0;
  int index = 0;       // the selected entry
  int read_index = 0;  // the entry reading selected

  explicit Choice(const ChoiceList& l) : list(&l) {}
  // By data: the last entry with the number, else the first. By position: the number clamped
  // to the list, as the service clamps it.
  void Read(int32_t value);
  // Selects the last entry carrying `data`, else the first (SelectComboItemByData).
  void SelectData(int32_t data);
  int32_t selected_data() const { return list->items[static_cast<size_t>(index)].data; }
  // The stored number while the selection is the one reading made; else the selected number.
  int32_t ToWrite() const { return index == read_index ? stored : selected_data(); }
};

// A text box showing a number.
struct NumberText {
  NumberText() = default;
  explicit NumberText(bool is_signed) : as_signed(is_signed) {}

  bool as_signed = false;  // the service reads the DWORD as a signed number
  int64_t stored = 0;      // the number as the service reads it
  std::u16string shown;    // the text reading put into the box
  std::u16string text;     // the box's text now
  bool edited() const { return text != shown; }
  void Read(int64_t value);
};

// The event type mask: the log's "Enable Logging" box and its six type boxes.
struct EventTypes {
  int32_t stored = 255;
  bool logging = true;
  uint32_t bits = 63;  // 1 success, 2 error, 4 warning, 8 information, 16/32 audit success/failure

  void Read(int32_t value);
  // Unticking logging unticks the six types; ticking it again ticks none.
  void SetLogging(bool on);
  // The stored mask while the boxes still show it; else the ticked bits (0 when none).
  int32_t ToWrite() const;
};

inline constexpr uint32_t kEventTypeBits[] = {1, 2, 4, 8, 16, 32};
inline constexpr uint32_t kMaxSleepTime = 2147483647;  // more would read as no pause
inline constexpr uint32_t kMaxLastRecord = 4294967295;

struct GlobalSettings {
  std::u16string target;                         // szTarget
  Choice encoding1{EncodingList()};              // iSyslog1OutputEncoding
  bool backup_enabled = false;                   // szTarget2 exists
  std::u16string target2;                        // szTarget2
  Choice encoding2{EncodingList()};              // iSyslog2OutputEncoding
  Flag add_facility_string{Truth::kExactlyOne};  // bAddFacilityString
  Flag show_msg_number{Truth::kNonzero};         // bShowSyslogMsgNbr
  Flag add_user_name{Truth::kPositive};          // nAddUserName
  Flag add_log_type{Truth::kPositive};           // nAddLogType
  Flag single_event_mails{Truth::kExactlyOne};   // bSingleEventEmails
  Choice overrun_delay{OverrunDelayList()};      // nPreventOverrunDelay
  Flag use_legacy{Truth::kNonzero};              // bUseLegacyMode
  Choice protocol{ProtocolList()};               // nProtoType
  Choice protocol_backup{ProtocolList()};        // nProtoTypeBackup
  Choice mode{ModeList()};                       // nRFC3164Mode
  Flag forward_binary{Truth::kNonzero};          // bForwardBinaryData
  Flag replace_name{Truth::kExactlyOne};         // nReplaceComputerName
  std::u16string replacement_name;               // szReplaceComputerName
  NumberText sleep_time{/*is_signed=*/true};     // nSleepTime
};

struct LogSettings {
  bool present = false;  // the target has this log; otherwise nothing of it is read or written
  Flag report_truncated{Truth::kNonzero};  // bReportTruncatedLog
  Flag mail_delivery{Truth::kNonzero};     // nDeliveryMethod
  std::u16string smtp_server;              // szSMTPServer
  std::u16string smtp_sender;              // szSMTPSender
  std::u16string smtp_recipient;           // szSMTPRecipient
  std::u16string smtp_subject;             // szSMTPSubject
  Choice mail_encoding{EncodingList()};    // iEMailOutputEncoding
  Choice facility{FacilityList()};         // nFacility
  EventTypes types;                        // nFilterEventType
  NumberText last_record;                  // nLastRecord: written only when edited
  bool filter_rules = false;               // "Enable Filter Rules"
};

struct Settings {
  GlobalSettings global;
  std::array<LogSettings, kLogCount> logs;  // by LogPosition

  LogSettings& log(ClientLog id) { return logs[LogPosition(id)]; }
  const LogSettings& log(ClientLog id) const { return logs[LogPosition(id)]; }
};

// The four additional options can be set only in mode 1 with the plain (legacy) form; in any
// other form saving leaves them as they are.
bool AdditionalOptionsAvailable(const GlobalSettings& global);

// "Configure for Morvane": mode 1, the plain form and the facility string on; user name, log
// type, message numbers and binary data off. In the record only; the next save writes it.
void ApplyMorvanePreset(GlobalSettings* global);

// "Copy settings from 'System'": the System log's mail delivery box, mail server, sender,
// recipient, subject and mail encoding into the log `to`, in the record only.
void CopySettingsFromSystem(Settings* settings, ClientLog to);

}  // namespace sentrel::client

#endif  // CLIENT_CORE_SETTINGS_H_
