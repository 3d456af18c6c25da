#include "client/core/connection.h"

#include <optional>
#include <utility>

#include "client/core/system_error.h"
#include "client/i18n/messages.h"
#include "platform/text.h"

namespace sentrel::client {
namespace {

using platform::RegAccess;
using platform::RegKey;

// Where Windows records its version, on every computer.
constexpr char16_t kCurrentVersionPath[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// A major version assumed for a computer whose version cannot be read: its three logs of
// Windows 2000 are then expected, and a computer without them fails to connect.
constexpr uint32_t kAssumedMajorVersion = 5;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

}  // namespace

std::u16string NormalizeComputerName(std::u16string_view typed) {
  size_t begin = 0, end = typed.size();
  while (begin < end && IsBlank(typed[begin])) ++begin;
  while (end > begin && IsBlank(typed[end - 1])) --end;
  while (begin < end && typed[begin] == u'\\') ++begin;
  return std::u16string(typed.substr(begin, end - begin));
}

bool ReadRegistryVersion(RegKey& hklm, uint32_t* major, uint32_t* minor) {
  std::unique_ptr<RegKey> key;
  if (hklm.OpenKey(kCurrentVersionPath, RegAccess::kRead, &key) != platform::kSuccess) return false;
  std::u16string text;
  if (platform::QueryString(*key, u"CurrentVersion", &text) != platform::kSuccess) return false;
  const size_t dot = text.find(u'.');
  const auto high = ParseUnsigned(std::u16string_view(text).substr(0, dot), 255);
  if (!high) return false;
  std::optional<uint32_t> low = 0u;
  if (dot != std::u16string::npos)
    low = ParseUnsigned(std::u16string_view(text).substr(dot + 1), 255);
  if (!low) return false;
  *major = *high;
  *minor = *low;
  return true;
}

Connection::Connection(Registry& registry) : registry_(registry) {}

bool Connection::HasLog(ClientLog log) const {
  return !InfoOf(log).needs_version5 || handles_.major_version >= 5;
}

RegKey* Connection::log_key(ClientLog log) const { return handles_.logs[LogPosition(log)].get(); }

void Connection::CloseKeyHandles() {
  handles_.parameters.reset();
  for (auto& key : handles_.logs) key.reset();
}

Result Connection::OpenTargetRoot(std::unique_ptr<RegKey>* out) {
  auto& registry = registry_.platform().registry();
  if (IsLocalTarget(target_)) return registry.OpenRoot(platform::RegRoot::kLocalMachine, out);
  return registry.Connect(target_, platform::RegRoot::kLocalMachine, out);
}

void Connection::DetectLocalVersion(KeyHandles* handles) {
  auto& computer = registry_.platform().computer();
  handles->major_version = computer.OsMajorVersion();
  handles->minor_version = computer.OsMinorVersion();
}

void Connection::DetectRemoteVersion(std::u16string_view name, RegKey& hklm, KeyHandles* handles) {
  if (ReadRegistryVersion(hklm, &handles->major_version, &handles->minor_version)) return;
  registry_.Trace(u"Warning - version of " + std::u16string(name) + u" unknown - code : " +
                  platform::Decimal(platform::kSuccess));
  handles->major_version = kAssumedMajorVersion;
  handles->minor_version = 0;
}

ConnectResult Connection::CreateKeyHandles(std::u16string_view name) {
  if (IsLocalTarget(name)) return ConnectLocal();
  return ConnectRemote(name);
}

UserMessage Connection::RemoteConnectFailure(std::u16string_view name, Result code) {
  const std::u16string computer(name);
  const std::u16string revert = GetMessageText(180);
  std::u16string text;
  switch (code) {
    case platform::kErrorAccessDenied:
      text = GetMessageText(181) + u" " + computer + u".\r\n" + GetMessageText(2028) + u"\r\n\r\n" +
             revert;
      break;
    case platform::kErrorBadNetpath:
      text = GetMessageText(182) + u" " + computer + u".\r\n" + revert;
      break;
    case platform::kErrorFileNotFound:
      text = GetMessageText(183) + u"\r\n" + revert;
      break;
    default:
      text =
          GetMessageText(184) + u" " + computer + u"-" + platform::Decimal(code) + u"\r\n" + revert;
      break;
  }
  return {MessageIcon::kCritical, text};
}

ConnectResult Connection::ConnectRemote(std::u16string_view name) {
  KeyHandles fresh;
  registry_.Trace(u"Connect to Remote Registry ");
  std::unique_ptr<RegKey> hklm;
  Result r = registry_.platform().registry().Connect(name, platform::RegRoot::kLocalMachine, &hklm);
  std::optional<UserMessage> failure;
  if (r != platform::kSuccess) {
    registry_.Trace(u"ERROR Connect to Remote Registry: " + platform::Decimal(r));
    failure = RemoteConnectFailure(name, r);
  } else {
    registry_.Trace(u"SUCCESS Connect to Remote Registry");
    DetectRemoteVersion(name, *hklm, &fresh);
    r = hklm->OpenKey(kParametersPath, RegAccess::kReadWrite, &fresh.parameters);
    UserMessage unused;
    if (r != platform::kSuccess) {
      registry_.Trace(u"ERROR Creating Keyhandle for Parameters: " + platform::Decimal(r));
    }
    // Nothing is created on another computer: a missing key means the service is not
    // installed there, or the user may not use it.
    if (r != platform::kSuccess || !OpenLogKeys(&fresh, /*create_missing=*/false, &unused)) {
      failure =
          UserMessage{MessageIcon::kCritical, GetMessageText(185) + u"\r\n" + GetMessageText(180)};
    }
  }
  if (failure) {
    // Back to this computer; the keys of the earlier target are replaced only by a complete
    // local set.
    ConnectResult local = ConnectLocal();
    local.messages.insert(local.messages.begin(), *failure);
    local.reverted = true;
    return local;
  }
  handles_ = std::move(fresh);
  target_ = std::u16string(name);
  return ConnectResult{ConnectState::kConnected, {}};
}

bool Connection::OpenLogKeys(KeyHandles* handles, bool create_missing, UserMessage* failure) {
  for (size_t i = 0; i < kLogs.size(); ++i) {
    const LogInfo& log = kLogs[i];
    if (log.needs_version5 && handles->major_version < 5) continue;
    const std::u16string key_name(log.key_name);
    Result r = handles->parameters->OpenKey(key_name, RegAccess::kReadWrite, &handles->logs[i]);
    if (r == platform::kSuccess) continue;
    registry_.Trace(u"ERROR Creating Keyhandle for Parameters\\" + key_name + u": " +
                    platform::Decimal(r));
    if (create_missing) {
      r = handles->parameters->CreateKey(key_name, &handles->logs[i]);
      if (r == platform::kSuccess) continue;
      registry_.Trace(u"ERROR Creating Key for Parameters\\" + key_name + u": " +
                      platform::Decimal(r));
    }
    // The configuration cannot be edited without the log's key: the user learns which and why.
    *failure = {MessageIcon::kCritical, GetMessageText(170) + u"\r\nParameters\\" + key_name +
                                            u": " + GetSystemErrorText(registry_.platform(), r)};
    return false;
  }
  return true;
}

ConnectResult Connection::ConnectLocal() {
  KeyHandles fresh;
  DetectLocalVersion(&fresh);
  registry_.Trace(u"Creating Keyhandle on LOCAL MACHINE");
  std::unique_ptr<RegKey> hklm;
  Result r = registry_.platform().registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm);
  if (r == platform::kSuccess)
    r = hklm->OpenKey(kParametersPath, RegAccess::kReadWrite, &fresh.parameters);
  if (r == platform::kErrorAccessDenied) {
    registry_.Trace(u"ERROR Creating Keyhandle: ACCESS_DENIED");
    return ConnectResult{
        ConnectState::kAccessDenied,
        {{MessageIcon::kCritical,
          GetMessageText(181) + u" " + GetMessageText(2027) + u".\r\n" + GetMessageText(2028)}}};
  }
  if (r != platform::kSuccess) {
    registry_.Trace(u"ERROR Creating Keyhandle for Parameters: " + platform::Decimal(r));
    return ConnectResult{ConnectState::kNotInstalled, {}};
  }
  UserMessage failure;
  if (!OpenLogKeys(&fresh, /*create_missing=*/true, &failure)) {
    return ConnectResult{ConnectState::kFailed, {failure}};
  }
  registry_.Trace(u"SUCCESS Creating Keyhandles on LOCAL MACHINE");
  handles_ = std::move(fresh);
  target_ = kLocalTargetName;
  return ConnectResult{ConnectState::kConnected, {}};
}

Result Connection::OpenClientSettings(bool* created) {
  if (created) *created = false;
  std::unique_ptr<RegKey> hkcu;
  auto& registry = registry_.platform().registry();
  Result r = registry.OpenRoot(platform::RegRoot::kCurrentUser, &hkcu);
  if (r != platform::kSuccess) return r;
  r = hkcu->OpenKey(kClientSettingsPath, RegAccess::kReadWrite, &client_settings_);
  if (r == platform::kSuccess) return r;
  r = hkcu->CreateKey(kClientSettingsPath, &client_settings_);
  if (r != platform::kSuccess) {
    client_settings_.reset();
    return r;
  }
  registry_.Trace(u"Generating Client User RegKey");
  if (created) *created = true;
  return r;
}

}  // namespace sentrel::client
