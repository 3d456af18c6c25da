// How ReadRegValues and WriteRegValues reach a log's filter rules. The rule store of the filter
// rule editor implements it and is handed to the ClientSession; without one, reading sets the
// log's "Enable Filter Rules" box when nFilterRules is not 0, and saving leaves every rule value
// (nFilterRules, nFilterVersion, FR<n>...) as it is.
#ifndef CLIENT_CORE_FILTER_RULES_IO_H_
#define CLIENT_CORE_FILTER_RULES_IO_H_

#include "client/core/logs.h"
#include "client/core/registry.h"

namespace sentrel::client {

class FilterRulesIo {
 public:
  virtual ~FilterRulesIo() = default;
  // Reads the log's rules from its key (step of ReadRegValues); returns whether the log's
  // "Enable Filter Rules" box is ticked.
  virtual bool ReadRules(Registry& registry, platform::RegKey& log_key, ClientLog log) = 0;
  // Writes the log's rules (step of WriteRegValues) with the box's state. Failures go through
  // the Registry primitives, which remember the first one for the save's report.
  virtual void WriteRules(Registry& registry, platform::RegKey& log_key, ClientLog log,
                          bool enabled) = 0;
};

}  // namespace sentrel::client

#endif  // CLIENT_CORE_FILTER_RULES_IO_H_
