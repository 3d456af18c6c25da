// The six event logs the service reads. A log's name is at once the platform log's name, the
// name of the log's configuration subkey and the log type text put into messages.
#ifndef SERVICE_CONFIG_LOG_ID_H_
#define SERVICE_CONFIG_LOG_ID_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace sentrel {

enum class LogId : int32_t {
  kSystem = 0,
  kApplication = 1,
  kSecurity = 2,
  kDnsServer = 3,
  kDirectoryService = 4,
  kFileReplicationService = 5,
};

inline constexpr int kLogCount = 6;

inline constexpr std::array<std::u16string_view, kLogCount> kLogNames = {
    u"System",     u"Application",       u"Security",
    u"DNS Server", u"Directory Service", u"File Replication Service",
};

inline bool IsValidLogId(LogId id) {
  return static_cast<int32_t>(id) >= 0 && static_cast<int32_t>(id) < kLogCount;
}

// The log's name; "Error: Invalid LogID" for a number that names no log.
inline std::u16string_view LogName(LogId id) {
  if (!IsValidLogId(id)) return u"Error: Invalid LogID";
  return kLogNames[static_cast<size_t>(id)];
}

// The log of exactly this name (case-sensitive), if it is one of the six.
inline std::optional<LogId> LogIdFromName(std::u16string_view name) {
  for (int i = 0; i < kLogCount; ++i) {
    if (kLogNames[i] == name) return static_cast<LogId>(i);
  }
  return std::nullopt;
}

}  // namespace sentrel

#endif  // SERVICE_CONFIG_LOG_ID_H_
