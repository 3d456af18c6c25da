// The about box's system information button: finds the platform's System Information program
// where Windows records it and starts it.
#ifndef CLIENT_AUXILIARY_SYSTEM_INFO_H_
#define CLIENT_AUXILIARY_SYSTEM_INFO_H_

#include <optional>
#include <string>
#include <string_view>

#include "client/core/user_message.h"
#include "platform/platform.h"

namespace sentrel::client {

inline constexpr char16_t kMsInfoKey[] = u"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr char16_t kSharedToolsLocationKey[] = u"SOFTWARE\\Microsoft\\Shared Tools Location";

// GetKeyValue: a value of a key below HKEY_LOCAL_MACHINE as text. REG_SZ and REG_EXPAND_SZ as
// stored, REG_MULTI_SZ its first string, REG_DWORD in decimal, any other type its bytes in
// hexadecimal. nullopt when the key or the value cannot be read.
std::optional<std::u16string> GetKeyValue(platform::Platform& platform, std::u16string_view key,
                                          std::u16string_view value);

// The System Information program: PATH of the MSINFO key; failing that, MSINFO of the shared
// tools location followed by "\MSINFO32.EXE" when that file exists.
std::optional<std::u16string> FindSystemInformation(platform::Platform& platform);

// StartSysInfo: starts the program; message 179 when there is none or it does not start.
std::optional<UserMessage> StartSysInfo(platform::Platform& platform);

}  // namespace sentrel::client

#endif  // CLIENT_AUXILIARY_SYSTEM_INFO_H_
