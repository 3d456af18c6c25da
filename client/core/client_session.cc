#include "client/core/client_session.h"

#include <memory>

#include "client/core/system_error.h"
#include "client/i18n/messages.h"

namespace sentrel::client {
namespace {

using platform::RegKey;

// The word a reset's box names a key by: " - System ", " - DNS ", " - Parameters ", ...
std::u16string KeyWord(std::u16string_view word) { return u" - " + std::u16string(word) + u" "; }

}  // namespace

ClientSession::ClientSession(platform::Platform& platform)
    : platform_(platform), registry_(platform), connection_(registry_) {}

void ClientSession::DeleteTargetKeys(std::vector<UserMessage>* messages) {
  auto report = [&](std::u16string_view word, Result r) {
    // A key that is already gone needs no deleting.
    if (r == platform::kSuccess || r == platform::kErrorFileNotFound) return;
    messages->push_back({MessageIcon::kCritical, GetMessageText(192) + KeyWord(word) + u"\r\n" +
                                                     GetSystemErrorText(platform_, r)});
  };
  static constexpr ClientLog kDeleteOrder[] = {ClientLog::kSystem,          ClientLog::kApplication,
                                               ClientLog::kSecurity,        ClientLog::kDns,
                                               ClientLog::kFileReplication, ClientLog::kDirectory};
  RegKey* parameters = connection_.parameters();
  for (ClientLog log : kDeleteOrder) {
    if (!parameters || !connection_.log_key(log)) continue;
    report(InfoOf(log).word, platform::DeleteKeyTree(*parameters, InfoOf(log).key_name));
  }
  std::unique_ptr<RegKey> root;
  Result r = connection_.OpenTargetRoot(&root);
  if (r == platform::kSuccess) r = platform::DeleteKeyTree(*root, kParametersPath);
  report(u"Parameters", r);
}

void ClientSession::CreateTargetKeys(std::vector<UserMessage>* messages) {
  auto report = [&](std::u16string_view word, Result r) {
    if (r == platform::kSuccess) return;
    messages->push_back({MessageIcon::kCritical, GetMessageText(171) + KeyWord(word) + u"\r\n" +
                                                     GetSystemErrorText(platform_, r)});
  };
  std::unique_ptr<RegKey> root, parameters;
  Result r = connection_.OpenTargetRoot(&root);
  if (r == platform::kSuccess) r = root->CreateKey(kParametersPath, &parameters);
  report(u"Parameters", r);
  if (!parameters) return;
  static constexpr ClientLog kCreateOrder[] = {
      ClientLog::kSystem, ClientLog::kSecurity,  ClientLog::kApplication,
      ClientLog::kDns,    ClientLog::kDirectory, ClientLog::kFileReplication};
  for (ClientLog log : kCreateOrder) {
    if (!connection_.HasLog(log)) continue;
    std::unique_ptr<RegKey> key;
    report(InfoOf(log).word, parameters->CreateKey(InfoOf(log).key_name, &key));
  }
}

ResetResult ClientSession::ResetToDefaults() {
  ResetResult result;
  DeleteTargetKeys(&result.messages);
  CreateTargetKeys(&result.messages);
  const std::u16string target = connection_.target();
  connection_.CloseKeyHandles();
  result.connect = connection_.CreateKeyHandles(target);
  ReadRegValues();
  if (result.connect.state == ConnectState::kConnected) result.write = WriteRegValues();
  return result;
}

bool ClientSession::LoadUserConfig() {
  if (connection_.OpenClientSettings() != platform::kSuccess) return false;
  std::u16string language;
  (void)registry_.ReadRegString(connection_.client_settings(), u"szLanguage", &language, u"");
  if (!language.empty()) SetCurrentLanguage(language);
  return true;
}

Result ClientSession::SaveUserConfig() {
  return registry_.SaveRegString(connection_.client_settings(), u"szLanguage", CurrentLanguage(),
                                 false);
}

}  // namespace sentrel::client
