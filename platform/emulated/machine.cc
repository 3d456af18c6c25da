#include "platform/emulated/machine.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <set>

#include "platform/code_page.h"
#include "platform/text.h"

namespace platform::emulated {
namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE reg_key(
  id INTEGER PRIMARY KEY,
  parent INTEGER NOT NULL,
  name TEXT NOT NULL,
  upper TEXT NOT NULL,
  denied INTEGER NOT NULL DEFAULT 0,
  UNIQUE(parent, upper));
CREATE TABLE reg_value(
  key INTEGER NOT NULL,
  name TEXT NOT NULL,
  upper TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  seq INTEGER NOT NULL,
  PRIMARY KEY(key, upper));
CREATE INDEX reg_value_seq ON reg_value(key, seq);
CREATE TABLE evt_log(
  upper TEXT PRIMARY KEY,
  next_number INTEGER NOT NULL,
  total_bytes INTEGER NOT NULL);
CREATE TABLE evt_record(
  log TEXT NOT NULL,
  number INTEGER NOT NULL,
  data BLOB NOT NULL,
  PRIMARY KEY(log, number)) WITHOUT ROWID;
CREATE TABLE account(sid TEXT PRIMARY KEY, domain TEXT NOT NULL, name TEXT NOT NULL);
CREATE TABLE svc_status(
  name_upper TEXT PRIMARY KEY,
  pid INTEGER NOT NULL,
  service_type INTEGER NOT NULL,
  state INTEGER NOT NULL,
  controls_accepted INTEGER NOT NULL,
  exit_code INTEGER NOT NULL,
  specific_exit_code INTEGER NOT NULL,
  check_point INTEGER NOT NULL,
  wait_hint INTEGER NOT NULL);
INSERT INTO reg_key(id, parent, name, upper) VALUES (1, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE');
INSERT INTO reg_key(id, parent, name, upper) VALUES (2, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER');
)sql";

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirs(const std::string& path) {
  std::string partial;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || (path[i] == '/' && i > 0)) {
      partial = path.substr(0, i);
      if (!IsDirectory(partial) && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
        return false;
      }
    }
  }
  return true;
}

// The entry of `dir` whose name equals `name` without regard to ASCII case; empty if none.
std::string FindEntry(const std::string& dir, const std::string& name) {
  DIR* d = opendir(dir.c_str());
  if (!d) return {};
  std::string found;
  while (dirent* e = readdir(d)) {
    if (EqualsIgnoringCase(std::string_view(e->d_name), name)) {
      found = e->d_name;
      if (found == name) break;
    }
  }
  closedir(d);
  return found;
}

std::string Describe(const std::string& file, const DbError& e) { return file + ": " + e.message; }

// True when `file` is an SQLite database with this format's meta row; reads without writing.
bool IsComputerDatabase(const std::string& file, std::string* error) {
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  bool ok = rc == SQLITE_OK;
  std::string reason = ok ? "" : sqlite3_errstr(rc);
  // Another process may hold the database for a moment (closing it, checkpointing): wait for it
  // as every other connection does.
  if (db) sqlite3_busy_timeout(db, 30000);
  sqlite3_stmt* stmt = nullptr;
  if (ok && sqlite3_prepare_v2(db, "SELECT value FROM meta WHERE key = 'format'", -1, &stmt,
                               nullptr) != SQLITE_OK) {
    ok = false;
    reason = sqlite3_errmsg(db);
  }
  if (ok) {
    const int step = sqlite3_step(stmt);
    if (step == SQLITE_ROW) {
      const unsigned char* v = sqlite3_column_text(stmt, 0);
      ok = v && std::to_string(Machine::kFormatVersion) == reinterpret_cast<const char*>(v);
      if (!ok) reason = "not a computer of this format";
    } else {
      ok = false;
      reason = step == SQLITE_DONE ? "not a computer of this format" : sqlite3_errmsg(db);
    }
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  if (!ok) *error = file + ": " + reason + " (not an emulated computer's database)";
  return ok;
}

}  // namespace

Machine::Machine(std::string dir, std::unique_ptr<Database> db)
    : dir_(std::move(dir)),
      changes_(ChangeCounter::Open(ChangeCounterPath(dir_))),
      db_(std::move(db)),
      registry_cache_(std::make_unique<RegistryCache>(*db_)) {
  db_->set_change_counter(changes_.get());
}

std::shared_ptr<Machine> Machine::Create(const std::string& dir, std::string* error) {
  if (!MakeDirs(dir)) {
    *error = dir + ": cannot create the directory";
    return nullptr;
  }
  const std::string file = DatabasePath(dir);
  if (access(file.c_str(), F_OK) == 0) {
    *error = file + ": a computer already exists here";
    return nullptr;
  }
  try {
    auto db = std::make_unique<Database>(file, true);
    Transaction t(*db, Transaction::kWrite);
    db->Exec(kSchema);
    Statement(*db, "INSERT INTO meta VALUES('format', ?)")
        .Bind(1, std::to_string(kFormatVersion))
        .Step();
    t.Commit();
    MakeDirs(dir + "/drive_c");
    return std::shared_ptr<Machine>(new Machine(dir, std::move(db)));
  } catch (const DbError& e) {
    *error = Describe(file, e);
    return nullptr;
  }
}

std::shared_ptr<Machine> Machine::Open(const std::string& dir, std::string* error) {
  if (!IsDirectory(dir)) {
    *error = dir + ": no such computer (the directory does not exist)";
    return nullptr;
  }
  const std::string file = DatabasePath(dir);
  if (access(file.c_str(), F_OK) != 0) {
    *error = file + ": no such computer (the directory holds no machine.db)";
    return nullptr;
  }
  // Look first through a read-only connection: the read-write one switches the file to WAL
  // mode, which would rewrite the header of a database that is not a computer's.
  if (!IsComputerDatabase(file, error)) return nullptr;
  try {
    auto db = std::make_unique<Database>(file, false);
    Statement s(*db, "SELECT value FROM meta WHERE key = 'format'");
    if (!s.Step() || s.Text(0) != std::to_string(kFormatVersion)) {
      *error = file + ": not a computer of this format";
      return nullptr;
    }
    // Computers made before the service control manager kept its status lack this table.
    const bool has_status_table =
        Statement(*db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'svc_status'")
            .Step();
    if (!has_status_table) {
      try {
        db->Exec(
            "CREATE TABLE IF NOT EXISTS svc_status(name_upper TEXT PRIMARY KEY, pid INTEGER NOT "
            "NULL, service_type INTEGER NOT NULL, state INTEGER NOT NULL, controls_accepted "
            "INTEGER NOT NULL, exit_code INTEGER NOT NULL, specific_exit_code INTEGER NOT NULL, "
            "check_point INTEGER NOT NULL, wait_hint INTEGER NOT NULL)");
      } catch (const DbError&) {
        // A computer that cannot be written still opens; its services read as stopped.
      }
    }
    return std::shared_ptr<Machine>(new Machine(dir, std::move(db)));
  } catch (const DbError& e) {
    *error = Describe(file, e) + " (not an emulated computer's database)";
    return nullptr;
  }
}

std::string Machine::ParentDir() const {
  const size_t slash = dir_.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : dir_.substr(0, slash);
}

std::string Machine::SiblingDir(std::u16string_view computer) const {
  std::string name = Utf16ToUtf8(computer);
  while (!name.empty() && name[0] == '\\') name.erase(0, 1);
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
    return {};
  }
  const std::string parent = ParentDir();
  const std::string entry = FindEntry(parent, name);
  if (entry.empty()) return {};
  const std::string path = parent + "/" + entry;
  if (access(DatabasePath(path).c_str(), F_OK) != 0) return {};
  return path;
}

std::vector<std::string> Machine::NetworkComputers() const {
  const std::string parent = ParentDir();
  std::set<std::string> names;
  DIR* d = opendir(parent.c_str());
  if (!d) return {};
  while (dirent* e = readdir(d)) {
    const std::string entry = e->d_name;
    if (entry == "." || entry == "..") continue;
    if (access(DatabasePath(parent + "/" + entry).c_str(), F_OK) != 0) continue;
    names.insert(AsciiUpper(entry));
  }
  closedir(d);
  return {names.begin(), names.end()};
}

std::string Machine::HostPath(std::u16string_view windows_path) const {
  std::string path = Utf16ToUtf8(windows_path);
  if (!path.empty() && path[0] == '/') return path;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  std::string rest;
  if (path.size() >= 2 && path[1] == ':') {
    rest = path.substr(2);
  } else {
    rest = path;  // relative paths are taken from the system directory's drive
  }
  std::string host = dir_ + "/drive_c";
  size_t pos = 0;
  while (pos <= rest.size()) {
    size_t slash = rest.find('/', pos);
    if (slash == std::string::npos) slash = rest.size();
    const std::string part = rest.substr(pos, slash - pos);
    if (!part.empty() && part != ".") {
      const std::string entry = FindEntry(host, part);
      host += "/" + (entry.empty() ? part : entry);
    }
    pos = slash + 1;
  }
  return host;
}

std::string DefaultMachineDir() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (data && *data) {
    base = data;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : "/tmp") + "/.local/share";
  }
  return base + "/ntbox/machines/SRV1";
}

}  // namespace platform::emulated
