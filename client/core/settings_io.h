// Loading the settings record from the target's registry and saving it back.
#ifndef CLIENT_CORE_SETTINGS_IO_H_
#define CLIENT_CORE_SETTINGS_IO_H_

#include <optional>
#include <string>

#include "client/core/connection.h"
#include "client/core/filter_rules_io.h"
#include "client/core/registry.h"
#include "client/core/settings.h"
#include "client/core/user_message.h"

namespace sentrel::client {

// Client defaults of values that are missing.
inline constexpr char16_t kDefaultTarget[] = u"127.0.0.1";
inline constexpr int32_t kDefaultSleepTime = 60000;
inline constexpr int32_t kDefaultOverrunDelay = 5;
inline constexpr int32_t kDefaultFacility = 128;
inline constexpr int32_t kDefaultEventTypes = 255;

// Fills the record from the connected target: every value, or its client default when it is
// missing or unreadable. Logs the target does not have are marked absent and their keys are not
// touched. `rules` may be null (see filter_rules_io.h).
void ReadRegValues(Registry& registry, const Connection& connection, FilterRulesIo* rules,
                   Settings* settings);

// A number box whose text cannot be saved.
struct InvalidNumber {
  std::u16string control;  // the box's objectName (txtnSleep, txtnLastRecordSystem, ...)
  UserMessage message;     // the warning to show
};

// The first number box that an edit left without a number the service can use: an edited sleep
// time must be 0 to 2147483647 (more would read as no pause at all), an edited last record 0 to
// 4294967295. Boxes the user did not edit are always valid.
std::optional<InvalidNumber> ValidateSettings(const Settings& settings);

struct WriteResult {
  std::optional<InvalidNumber> invalid;  // nothing was written
  std::optional<UserMessage> failure;    // the first value that could not be written

  bool ok() const { return !invalid && !failure; }
};

// Writes the record to the connected target, unless ValidateSettings finds a box it cannot save
// (then nothing is written). Every value is written, failed or not; the result names the first
// failure with the system's text of its code. A log's nLastRecord is written only when its box
// was edited, so the service's progress since the read is never rewound. Afterwards the record
// counts what was written as read.
WriteResult WriteRegValues(Registry& registry, const Connection& connection, FilterRulesIo* rules,
                           Settings* settings);

}  // namespace sentrel::client

#endif  // CLIENT_CORE_SETTINGS_IO_H_
