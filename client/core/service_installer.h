// Installing and removing the forwarding service: the client runs the service program `vaskwell`
// with "-i" or "-u" on this computer, by the full path of the copy in the client's own folder
// (never a program of that name found elsewhere, which would run with the administrator's
// rights), and waits for it to end within a bound while the window stays responsive.
//
// EnsureServiceInstalled is the first start of the client on a computer without the service: it
// installs the service once per user and remembers that in nServiceInstalled.
#ifndef CLIENT_CORE_SERVICE_INSTALLER_H_
#define CLIENT_CORE_SERVICE_INSTALLER_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "client/core/client_session.h"
#include "client/core/user_message.h"
#include "client/core/waiter.h"

namespace sentrel::client {

enum class InstallerOption { kInstall, kUninstall };

// How long the client waits for the service program to end.
inline constexpr uint32_t kInstallerTimeoutMs = 30000;

// The folder of the running program (its path up to the last separator, without it).
Result ProgramFolder(platform::Platform& platform, std::u16string* folder);

// "\"<folder>\vaskwell.exe\" -i" (or -u). The separator is the one the folder itself uses.
std::u16string InstallerCommandLine(std::u16string_view folder, InstallerOption option);

struct InstallerRun {
  enum class Outcome {
    kFinished,     // the program ran and ended
    kStartFailed,  // it could not be started: `code` says why
    kTimedOut,     // it still ran when the bound was reached
    kCancelled,    // the wait was cancelled (the client is ending); the program runs on
  };
  Outcome outcome = Outcome::kStartFailed;
  Result code = platform::kSuccess;
  std::u16string command_line;
};

// Runs the service program from `folder` and waits up to `timeout_ms` for it to end.
InstallerRun RunInstaller(platform::Platform& platform, std::u16string_view folder,
                          InstallerOption option, Waiter& waiter,
                          uint32_t timeout_ms = kInstallerTimeoutMs);

// The critical box of a run that did not finish (none for a finished or cancelled run).
std::optional<UserMessage> InstallerFailureMessage(platform::Platform& platform,
                                                   const InstallerRun& run);

// Whether this computer's Parameters key opens for reading and writing.
bool LocalParametersExist(platform::Platform& platform);

struct FirstRunResult {
  enum class State {
    kInstalled,  // the Parameters key opens now: connect and load as at start
    kShowHint,   // show `message` (no icon); only Install is offered
    kFailed,     // the installer did not finish: show `message`; only Install is offered
    kCancelled,  // the client is ending
  };
  State state = State::kShowHint;
  std::optional<UserMessage> message;
};

// For a local Parameters key that could not be opened: when it opens now, kInstalled. Else, when
// this user's client has installed the service before (nServiceInstalled is not 0), the hint
// `message`. Else the service program is run with -i; nServiceInstalled becomes 1 only when it
// has ended and the Parameters key opens, so the configuration then read is the installer's
// complete one. `installing` (may be empty) is called just before the installer is started.
FirstRunResult EnsureServiceInstalled(ClientSession& session, std::u16string_view folder,
                                      int message, Waiter& waiter,
                                      const std::function<void()>& installing = {},
                                      uint32_t timeout_ms = kInstallerTimeoutMs);

}  // namespace sentrel::client

#endif  // CLIENT_CORE_SERVICE_INSTALLER_H_
