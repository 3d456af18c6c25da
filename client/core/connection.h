// The connection to the computer whose configuration the client edits: the target's name and
// version, and the open registry keys (the Parameters key, one key per log the target has, and
// the user's own client settings key, always on this computer).
//
// CreateKeyHandles opens a complete new set of keys first and switches to it, name included,
// only when the set is complete, so the client never holds keys of two computers at once.
#ifndef CLIENT_CORE_CONNECTION_H_
#define CLIENT_CORE_CONNECTION_H_

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "client/core/logs.h"
#include "client/core/registry.h"
#include "client/core/user_message.h"

namespace sentrel::client {

inline constexpr char16_t kParametersPath[] =
    u"SYSTEM\\CurrentControlSet\\Services\\Brinmoor Vaskwell\\Parameters";
inline constexpr char16_t kClientSettingsPath[] = u"SOFTWARE\\Brinmoor\\Sentrel\\Client";
inline constexpr char16_t kLocalTargetName[] = u"LOCALHOST";

enum class ConnectState {
  kConnected,     // every key is open; the target is the new computer
  kAccessDenied,  // Parameters may not be opened: the configuration cannot be edited
  kNotInstalled,  // there is no Parameters key: the service is not installed there
  kFailed,        // another failure (a log's key could not be created); nothing was switched
};

struct ConnectResult {
  ConnectState state = ConnectState::kFailed;
  // Boxes to show, in order (for access denied: the critical box with the advice).
  std::vector<UserMessage> messages;
  // A remote computer could not be used and the client went back to this computer; `state` is
  // then the outcome of that local connection.
  bool reverted = false;
};

// A typed computer name without surrounding blanks and leading backslashes ("  \\SRV2 " is
// "SRV2"). "LOCALHOST" and the empty name stay what they are: this computer.
std::u16string NormalizeComputerName(std::u16string_view typed);

// The operating system version recorded in a computer's registry ("CurrentVersion" below
// SOFTWARE\Microsoft\Windows NT\CurrentVersion, "4.0", "5.2"); false when it cannot be read.
bool ReadRegistryVersion(platform::RegKey& hklm, uint32_t* major, uint32_t* minor);

// The open keys of one target and its version.
struct KeyHandles {
  std::unique_ptr<platform::RegKey> parameters;
  std::array<std::unique_ptr<platform::RegKey>, kLogCount> logs;  // by LogPosition; null: absent
  uint32_t major_version = 0;
  uint32_t minor_version = 0;
};

class Connection {
 public:
  explicit Connection(Registry& registry);

  // Connects to `name` (empty or "LOCALHOST": this computer) and opens every configuration key;
  // on the local computer a missing log key is created, on a remote one nothing is created. On
  // success the target becomes the name ("LOCALHOST" for this computer). A remote computer that
  // cannot be reached or lacks a key gives its box and a connection to this computer instead
  // (reverted). The name is used as given: callers normalise what a user typed first.
  ConnectResult CreateKeyHandles(std::u16string_view name);
  // Forgets every key of the target (the reset deletes the keys under them).
  void CloseKeyHandles();

  // "LOCALHOST", a computer name, or empty before the first successful connection.
  const std::u16string& target() const { return target_; }
  bool connected() const { return handles_.parameters != nullptr; }
  // The connected target's operating system version (0 before the first connection).
  uint32_t major_version() const { return handles_.major_version; }
  uint32_t minor_version() const { return handles_.minor_version; }
  // Whether the target has this log's key (the last three only from major version 5).
  bool HasLog(ClientLog log) const;

  platform::RegKey* parameters() const { return handles_.parameters.get(); }
  // Null when the target does not have the log or nothing is connected.
  platform::RegKey* log_key(ClientLog log) const;

  // HKEY_LOCAL_MACHINE of the target (of this computer before the first connection).
  Result OpenTargetRoot(std::unique_ptr<platform::RegKey>* out);

  // The user's client settings key, opened for reading and writing and created when missing
  // (*created tells which; the first start shows the language choice then). Null until opened.
  Result OpenClientSettings(bool* created = nullptr);
  platform::RegKey* client_settings() const { return client_settings_.get(); }

 private:
  // The version of this computer, into `handles`.
  void DetectLocalVersion(KeyHandles* handles);
  // The version another computer records in its registry (`hklm`, already connected), into
  // `handles`; an unreadable one is assumed to be 5.
  void DetectRemoteVersion(std::u16string_view name, platform::RegKey& hklm, KeyHandles* handles);
  ConnectResult ConnectLocal();
  ConnectResult ConnectRemote(std::u16string_view name);
  // The box of a remote connection that failed with `code`, ending with "Reverting back...".
  UserMessage RemoteConnectFailure(std::u16string_view name, Result code);
  // Opens the log keys below `handles->parameters`; on the local computer a missing one is
  // created. False (traced, and the box for it in *failure) at the first that fails.
  bool OpenLogKeys(KeyHandles* handles, bool create_missing, UserMessage* failure);

  Registry& registry_;
  std::u16string target_;
  KeyHandles handles_;
  std::unique_ptr<platform::RegKey> client_settings_;
};

}  // namespace sentrel::client

#endif  // CLIENT_CORE_CONNECTION_H_
