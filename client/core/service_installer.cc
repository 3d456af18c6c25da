#include "client/core/service_installer.h"

#include <memory>

#include "client/core/connection.h"
#include "client/core/system_error.h"
#include "client/i18n/messages.h"

namespace sentrel::client {
namespace {

constexpr uint32_t kInstallerPollMs = 100;
constexpr char16_t kServiceInstalledValue[] = u"nServiceInstalled";

}  // namespace

Result ProgramFolder(platform::Platform& platform, std::u16string* folder) {
  std::u16string path;
  const Result r = platform.process().ProgramPath(&path);
  if (r != platform::kSuccess) return r;
  const size_t cut = path.find_last_of(u"\\/");
  *folder = cut == std::u16string::npos ? std::u16string() : path.substr(0, cut);
  return platform::kSuccess;
}

std::u16string InstallerCommandLine(std::u16string_view folder, InstallerOption option) {
  const size_t last = folder.find_last_of(u"\\/");
  const char16_t separator = last != std::u16string_view::npos ? folder[last] : u'\\';
  std::u16string line = u"\"";
  line += folder;
  if (!folder.empty() && folder.back() != separator) line += separator;
  line += u"vaskwell.exe\" ";
  line += option == InstallerOption::kInstall ? u"-i" : u"-u";
  return line;
}

InstallerRun RunInstaller(platform::Platform& platform, std::u16string_view folder,
                          InstallerOption option, Waiter& waiter, uint32_t timeout_ms) {
  InstallerRun run;
  run.command_line = InstallerCommandLine(folder, option);
  if (folder.empty()) {
    // Without the folder a bare name would be searched for, the current folder included.
    run.code = platform::kErrorPathNotFound;
    return run;
  }
  std::unique_ptr<platform::StartedProcess> process;
  run.code = platform.process().StartProcess(run.command_line, &process);
  if (run.code != platform::kSuccess) return run;
  for (uint32_t waited = 0;; waited += kInstallerPollMs) {
    uint32_t exit_code = 0;
    run.code = process->Wait(0, &exit_code);
    if (run.code == platform::kSuccess) {
      run.outcome = InstallerRun::Outcome::kFinished;
      return run;
    }
    if (run.code != platform::kErrorWaitTimeout || waited >= timeout_ms) {
      run.outcome = InstallerRun::Outcome::kTimedOut;
      return run;
    }
    if (!waiter.Wait(kInstallerPollMs)) {
      run.outcome = InstallerRun::Outcome::kCancelled;
      return run;
    }
  }
}

std::optional<UserMessage> InstallerFailureMessage(platform::Platform& platform,
                                                   const InstallerRun& run) {
  switch (run.outcome) {
    case InstallerRun::Outcome::kStartFailed:
      return UserMessage{MessageIcon::kCritical, GetMessageText(195) + u"\r\n" + run.command_line +
                                                     u"\r\n" +
                                                     GetSystemErrorText(platform, run.code)};
    case InstallerRun::Outcome::kTimedOut:
      return UserMessage{MessageIcon::kCritical, GetMessageText(196) + u"\r\n" + run.command_line};
    case InstallerRun::Outcome::kFinished:
    case InstallerRun::Outcome::kCancelled:
      break;
  }
  return std::nullopt;
}

bool LocalParametersExist(platform::Platform& platform) {
  std::unique_ptr<platform::RegKey> hklm, parameters;
  if (platform.registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm) != platform::kSuccess) {
    return false;
  }
  return hklm->OpenKey(kParametersPath, platform::RegAccess::kReadWrite, &parameters) ==
         platform::kSuccess;
}

FirstRunResult EnsureServiceInstalled(ClientSession& session, std::u16string_view folder,
                                      int message, Waiter& waiter,
                                      const std::function<void()>& installing,
                                      uint32_t timeout_ms) {
  using State = FirstRunResult::State;
  platform::Platform& platform = session.platform();
  if (LocalParametersExist(platform)) return {State::kInstalled, std::nullopt};
  const UserMessage hint{MessageIcon::kNone, GetMessageText(message)};
  Connection& connection = session.connection();
  if (!connection.client_settings()) (void)connection.OpenClientSettings();
  int32_t installed = 0;
  (void)session.registry().ReadRegDword(connection.client_settings(), kServiceInstalledValue,
                                        &installed, 0);
  if (installed != 0) return {State::kShowHint, hint};
  if (installing) installing();

  const InstallerRun run =
      RunInstaller(platform, folder, InstallerOption::kInstall, waiter, timeout_ms);
  if (run.outcome == InstallerRun::Outcome::kCancelled) return {State::kCancelled, std::nullopt};
  if (run.outcome != InstallerRun::Outcome::kFinished) {
    return {State::kFailed, InstallerFailureMessage(platform, run)};
  }
  // The installer ended without creating the configuration (no rights, for example): the user
  // learns to install from the menu, and the next start tries again.
  if (!LocalParametersExist(platform)) return {State::kShowHint, hint};
  (void)session.registry().SaveRegDword(connection.client_settings(), kServiceInstalledValue, 1);
  return {State::kInstalled, std::nullopt};
}

}  // namespace sentrel::client
