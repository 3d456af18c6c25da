// The six event logs as the client knows them: its own log numbers, the configuration subkey
// names, the words in control names, and the tab and caption of each.
#ifndef CLIENT_CORE_LOGS_H_
#define CLIENT_CORE_LOGS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace sentrel::client {

// The client's own log numbers (the filter rule editor keeps its per-log data by them).
enum class ClientLog : int32_t {
  kApplication = 1,
  kSecurity = 2,
  kSystem = 3,
  kDirectory = 4,
  kDns = 5,
  kFileReplication = 6,
};

inline constexpr size_t kLogCount = 6;

struct LogInfo {
  ClientLog id;
  std::u16string_view key_name;  // the subkey of Parameters, and the event log's name
  std::u16string_view word;      // in control names: chkLogSystem, txtnLastRecordDNS, ...
  int32_t caption_message;       // tab caption
  int32_t logging_tip_message;   // tool tip of the log's "Enable Logging" box
  bool needs_version5;           // exists only on targets of major version 5 or more
};

// In the order of the tabs (tab 1 to 6) and of the client's reads and writes.
inline constexpr std::array<LogInfo, kLogCount> kLogs = {{
    {ClientLog::kSystem, u"System", u"System", 131, 60, false},
    {ClientLog::kSecurity, u"Security", u"Security", 132, 62, false},
    {ClientLog::kApplication, u"Application", u"Application", 133, 61, false},
    {ClientLog::kDirectory, u"Directory Service", u"Directory", 134, 63, true},
    {ClientLog::kDns, u"DNS Server", u"DNS", 135, 64, true},
    {ClientLog::kFileReplication, u"File Replication Service", u"FileReplication", 136, 65, true},
}};

// The position of a log in kLogs (its tab is that position plus one).
inline size_t LogPosition(ClientLog log) {
  for (size_t i = 0; i < kLogs.size(); ++i) {
    if (kLogs[i].id == log) return i;
  }
  return 0;
}

inline const LogInfo& InfoOf(ClientLog log) { return kLogs[LogPosition(log)]; }

}  // namespace sentrel::client

#endif  // CLIENT_CORE_LOGS_H_
