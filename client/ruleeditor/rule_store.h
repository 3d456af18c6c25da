// The client's copy of each log's filter rules (the per-log rule store), read and written with
// the settings, and replaced when the user confirms the rule editor.
//
// The rules are read exactly as the service reads them, so the client shows and saves the set
// the service works with: numbers into 4 bytes, source and user names as UTF-16 of up to 511
// characters, a missing action as 1 (deliver by the log's default method), and the rules end at
// the first rule number that has no readable value at all (the service stops there too).
//
// The service reloads a log's rules only when nFilterVersion changes. A save therefore writes the
// rule values and nFilterRules first and the stamp last, and writes a new stamp whenever the set
// it leaves for the service differs from the one the service was last known to hold: after a
// confirmation, after the "Enable Filter Rules" box was cleared, after a reset emptied the keys.
#ifndef CLIENT_RULEEDITOR_RULE_STORE_H_
#define CLIENT_RULEEDITOR_RULE_STORE_H_

#include <array>
#include <cstdint>
#include <vector>

#include "client/core/filter_rules_io.h"
#include "client/core/logs.h"
#include "client/ruleeditor/filter_rule.h"

namespace sentrel::client {

using RuleSet = std::vector<FilterRuleTexts>;

class FilterRuleStore : public FilterRulesIo {
 public:
  // Rule n is rules(log)[n - 1]; a log not read yet has none.
  const RuleSet& rules(ClientLog log) const { return Of(log).rules; }
  int32_t count(ClientLog log) const { return static_cast<int32_t>(Of(log).rules.size()); }
  // nFilterVersion as read (the last known one when the registry has none), plus one for every
  // confirmation since.
  uint32_t stamp(ClientLog log) const { return Of(log).stamp; }

  // The editor's OK: the log's rules become exactly `rules`, numbered by their position, and the
  // stamp goes up by one (also when nothing changed). The registry is written at the next save.
  void Confirm(ClientLog log, RuleSet rules);

  // Reads nFilterRules, nFilterVersion and the rules; the box is ticked when nFilterRules is
  // above 0 (zero or negative: the service has no rules).
  bool ReadRules(Registry& registry, platform::RegKey& log_key, ClientLog log) override;
  // Ticked: the rules, nFilterRules = their count, then nFilterVersion. Cleared: nFilterRules = 0
  // and, when that takes rules away from the service, a new nFilterVersion. Values numbered above
  // the count stay where they are; the service ignores them.
  void WriteRules(Registry& registry, platform::RegKey& log_key, ClientLog log,
                  bool enabled) override;

 private:
  struct LogRules {
    RuleSet rules;
    uint32_t stamp = 0;
    bool stamp_raised = false;  // stamp differs from the one in the registry
    // The set the service holds as far as the store knows: read together with a stamp, or
    // written with one. Kept when a read finds no stamp: the service then keeps what it had.
    RuleSet service_set;
  };

  LogRules& Of(ClientLog log) { return logs_[LogPosition(log)]; }
  const LogRules& Of(ClientLog log) const { return logs_[LogPosition(log)]; }

  std::array<LogRules, kLogCount> logs_;
};

}  // namespace sentrel::client

#endif  // CLIENT_RULEEDITOR_RULE_STORE_H_
