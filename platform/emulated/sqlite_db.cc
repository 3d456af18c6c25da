#include "platform/emulated/sqlite_db.h"

#include <chrono>
#include <thread>

namespace platform::emulated {
namespace {

[[noreturn]] void Throw(sqlite3* db, int code) {
  throw DbError{code, db ? sqlite3_errmsg(db) : sqlite3_errstr(code)};
}

}  // namespace

Statement::Statement(Database& db, std::string_view sql) : db_(db), sql_(sql) {
  stmt_ = db_.Acquire(sql_);
}

Statement::~Statement() { db_.Release(sql_, stmt_); }

Statement& Statement::Bind(int index, int64_t value) {
  sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
  sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return *this;
}

Statement& Statement::BindBlob(int index, const void* data, size_t size) {
  sqlite3_bind_blob(stmt_, index, size ? data : "", static_cast<int>(size), SQLITE_TRANSIENT);
  return *this;
}

bool Statement::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  Throw(db_.handle(), rc);
}

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string Statement::Text(int column) const {
  const unsigned char* t = sqlite3_column_text(stmt_, column);
  return t ? std::string(reinterpret_cast<const char*>(t),
                         static_cast<size_t>(sqlite3_column_bytes(stmt_, column)))
           : std::string();
}

std::vector<uint8_t> Statement::Blob(int column) const {
  const uint8_t* p = BlobData(column);
  return std::vector<uint8_t>(p, p + BlobSize(column));
}

const uint8_t* Statement::BlobData(int column) const {
  return static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, column));
}

size_t Statement::BlobSize(int column) const {
  return static_cast<size_t>(sqlite3_column_bytes(stmt_, column));
}

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

Database::Database(const std::string& path, bool create) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    DbError e{rc, db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc)};
    sqlite3_close(db_);
    db_ = nullptr;
    throw e;
  }
  sqlite3_busy_timeout(db_, 30000);
  try {
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=NORMAL");
    Exec("PRAGMA foreign_keys=OFF");
  } catch (...) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw;
  }
}

Database::~Database() {
  for (auto& [sql, stmt] : idle_) sqlite3_finalize(stmt);
  sqlite3_close(db_);
}

sqlite3_stmt* Database::Acquire(const std::string& sql) {
  {
    std::lock_guard<std::mutex> lock(cache_mutex_);
    auto it = idle_.find(sql);
    if (it != idle_.end()) {
      sqlite3_stmt* stmt = it->second;
      idle_.erase(it);
      return stmt;
    }
  }
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
  if (rc != SQLITE_OK) Throw(db_, rc);
  return stmt;
}

void Database::Release(const std::string& sql, sqlite3_stmt* stmt) {
  sqlite3_reset(stmt);
  sqlite3_clear_bindings(stmt);
  std::lock_guard<std::mutex> lock(cache_mutex_);
  idle_.emplace(sql, stmt);
}

void Database::Exec(std::string_view sql) {
  std::string s(sql);
  char* message = nullptr;
  int rc = sqlite3_exec(db_, s.c_str(), nullptr, nullptr, &message);
  if (rc != SQLITE_OK) {
    DbError e{rc, message ? message : sqlite3_errstr(rc)};
    sqlite3_free(message);
    throw e;
  }
}

int64_t Database::LastInsertId() { return sqlite3_last_insert_rowid(db_); }

void Database::NoteSharedChange() {
  if (!counter_) return;
  counter_->Bump();
  change_pending_ = true;
}

void Database::TransactionEnded() {
  owner_.store(std::thread::id());
  if (!change_pending_) return;
  change_pending_ = false;
  counter_->Bump();
}

Transaction::Transaction(Database& db, Kind kind) : db_(db), lock_(db.mutex()) {
  if (sqlite3_get_autocommit(db_.handle()) == 0) return;  // nested in an open transaction
  // BEGIN IMMEDIATE takes the write lock at once; busy_timeout makes it wait for other
  // processes. Retry a few times on top, for the rare busy answer that skips the handler.
  for (int attempt = 0;; ++attempt) {
    try {
      Statement(db_, kind == kWrite ? "BEGIN IMMEDIATE" : "BEGIN").Step();
      break;
    } catch (const DbError& e) {
      if (e.code != SQLITE_BUSY || attempt >= 20) throw;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  open_ = true;
  db_.TransactionBegun();
}

Transaction::~Transaction() {
  if (!open_) return;
  try {
    Statement(db_, "ROLLBACK").Step();
  } catch (const DbError&) {
    sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
  db_.TransactionEnded();
}

void Transaction::Commit() {
  if (!open_) return;
  Statement(db_, "COMMIT").Step();
  open_ = false;
  db_.TransactionEnded();
}

}  // namespace platform::emulated
