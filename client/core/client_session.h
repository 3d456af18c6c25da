// Everything the client's windows work with, in one object: the registry primitives, the
// connection to the target computer, the settings record, and the operations on all of them
// (load, save, reset to defaults, the user's own settings). The main window owns one; other
// windows (computer selection, service control, the rule editor, options) receive it.
#ifndef CLIENT_CORE_CLIENT_SESSION_H_
#define CLIENT_CORE_CLIENT_SESSION_H_

#include <string>
#include <vector>

#include "client/core/connection.h"
#include "client/core/filter_rules_io.h"
#include "client/core/registry.h"
#include "client/core/settings.h"
#include "client/core/settings_io.h"
#include "client/core/user_message.h"

namespace sentrel::client {

struct ResetResult {
  std::vector<UserMessage> messages;  // a box for each key that could not be deleted or created
  ConnectResult connect;              // the reconnection to the same target
  WriteResult write;                  // the save of the defaults (when reconnected)
};

class ClientSession {
 public:
  explicit ClientSession(platform::Platform& platform);
  ClientSession(const ClientSession&) = delete;
  ClientSession& operator=(const ClientSession&) = delete;

  platform::Platform& platform() { return platform_; }
  Registry& registry() { return registry_; }
  Connection& connection() { return connection_; }
  Settings& settings() { return settings_; }

  // The rule store that reads and writes filter rules with the settings (not owned; null: see
  // filter_rules_io.h).
  void set_filter_rules_io(FilterRulesIo* rules) { rules_ = rules; }
  FilterRulesIo* filter_rules_io() const { return rules_; }

  ConnectResult CreateKeyHandles(std::u16string_view name) {
    return connection_.CreateKeyHandles(name);
  }
  void ReadRegValues() { client::ReadRegValues(registry_, connection_, rules_, &settings_); }
  WriteResult WriteRegValues() {
    return client::WriteRegValues(registry_, connection_, rules_, &settings_);
  }

  // After the user confirmed: deletes the configuration keys of the target, creates them empty,
  // reconnects to the same target, reads (every value now shows its client default) and saves
  // those defaults explicitly. Runs to the end whatever fails on the way.
  ResetResult ResetToDefaults();

  // Opens (or creates) the user's client settings key and makes its szLanguage the current
  // language when it holds one. Returns false when the key can be neither opened nor created.
  bool LoadUserConfig();
  // Writes the current language as szLanguage (an empty code deletes the value).
  Result SaveUserConfig();

 private:
  void DeleteTargetKeys(std::vector<UserMessage>* messages);
  void CreateTargetKeys(std::vector<UserMessage>* messages);

  platform::Platform& platform_;
  Registry registry_;
  Connection connection_;
  Settings settings_;
  FilterRulesIo* rules_ = nullptr;
};

}  // namespace sentrel::client

#endif  // CLIENT_CORE_CLIENT_SESSION_H_
