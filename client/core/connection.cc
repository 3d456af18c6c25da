#include "client/core/connection.h"

#include <utility>

#include "client/core/system_error.h"
#include "client/i18n/messages.h"
#include "platform/text.h"

namespace sentrel::client {
namespace {

using platform::RegAccess;
using platform::RegKey;

}  // namespace

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

void Connection::DetectTargetVersion(std::u16string_view name, KeyHandles* handles) {
  if (IsLocalTarget(name)) {
    auto& computer = registry_.platform().computer();
    handles->major_version = computer.OsMajorVersion();
    handles->minor_version = computer.OsMinorVersion();
  }
}

ConnectResult Connection::CreateKeyHandles(std::u16string_view name) {
  if (IsLocalTarget(name)) return ConnectLocal();
  registry_.Trace(u"ERROR Connect to Remote Registry: remote computers are not supported");
  return ConnectResult{ConnectState::kFailed, {}};
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
  DetectTargetVersion(u"", &fresh);
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
