// One emulated Windows computer: a directory holding its state in an SQLite database
// (machine.db) and its files under drive_c/. Several processes may use one computer at once.
#ifndef PLATFORM_EMULATED_MACHINE_H_
#define PLATFORM_EMULATED_MACHINE_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/change_counter.h"
#include "platform/emulated/registry_cache.h"
#include "platform/emulated/sqlite_db.h"

namespace platform::emulated {

class Machine {
 public:
  // Creates the database of a new computer in `dir` (made if missing). Fails when `dir` already
  // holds a computer. Facts and seed data are written by InitializeComputer (computer_setup.h).
  static std::shared_ptr<Machine> Create(const std::string& dir, std::string* error);
  // Opens an existing computer. Fails with a message naming the file when the directory or its
  // database is missing, is not an SQLite database, or is a database of something else.
  static std::shared_ptr<Machine> Open(const std::string& dir, std::string* error);

  const std::string& dir() const { return dir_; }
  Database& db() { return *db_; }
  // What this process has read of the computer's registry (see RegistryCache).
  RegistryCache& registry_cache() { return *registry_cache_; }

  // The directory of another computer on the same network: a sibling directory whose name is the
  // computer's name (compared without regard to case). Empty when there is none.
  std::string SiblingDir(std::u16string_view computer) const;
  // The names of the computers on this computer's network: the directories beside this one
  // (this one included) that hold a computer, upper case, each name once, sorted.
  std::vector<std::string> NetworkComputers() const;
  // Maps a Windows path of this computer to a host path: "C:\WINDOWS\x.dll" becomes
  // <dir>/drive_c/WINDOWS/x.dll, matching each component without regard to case; an absolute
  // host path (starting with '/') is taken as it is.
  std::string HostPath(std::u16string_view windows_path) const;

  static std::string DatabasePath(const std::string& dir) { return dir + "/machine.db"; }
  // The counter every process bumps when it changes the registry (see ChangeCounter).
  static std::string ChangeCounterPath(const std::string& dir) { return dir + "/registry.changes"; }
  static constexpr int kFormatVersion = 1;

 private:
  Machine(std::string dir, std::unique_ptr<Database> db);
  std::string ParentDir() const;
  std::string dir_;
  std::unique_ptr<ChangeCounter> changes_;  // declared before db_: it must outlive the database
  std::unique_ptr<Database> db_;
  std::unique_ptr<RegistryCache> registry_cache_;
};

// The directory of the default computer: $XDG_DATA_HOME/ntbox/machines/SRV1, else
// ~/.local/share/ntbox/machines/SRV1.
std::string DefaultMachineDir();

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_MACHINE_H_
