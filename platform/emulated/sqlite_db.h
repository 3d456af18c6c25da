// A thin RAII layer over one SQLite connection: statements, transactions that wait for other
// processes instead of failing, and a mutex so the threads of one process take turns.
#ifndef PLATFORM_EMULATED_SQLITE_DB_H_
#define PLATFORM_EMULATED_SQLITE_DB_H_

#include <sqlite3.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/emulated/change_counter.h"

namespace platform::emulated {

class Database;

// One use of an SQL statement. The compiled statement comes from the database's cache and goes
// back to it, reset, when this object is destroyed, so a statement is compiled once per
// connection rather than on every use.
class Statement {
 public:
  Statement(Database& db, std::string_view sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, int64_t value);
  Statement& Bind(int index, std::string_view text);
  Statement& BindBlob(int index, const void* data, size_t size);
  // Steps once: true while a row is available; throws DbError on failure.
  bool Step();
  void Reset();
  int64_t Int(int column) const;
  std::string Text(int column) const;
  std::vector<uint8_t> Blob(int column) const;
  const uint8_t* BlobData(int column) const;
  size_t BlobSize(int column) const;
  bool IsNull(int column) const;

 private:
  Database& db_;
  std::string sql_;
  sqlite3_stmt* stmt_ = nullptr;
};

struct DbError {
  int code;
  std::string message;
};

class Database {
 public:
  // Opens (and with `create` makes) the database file. Throws DbError.
  Database(const std::string& path, bool create);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  sqlite3* handle() { return db_; }
  std::recursive_mutex& mutex() { return mutex_; }
  void Exec(std::string_view sql);
  int64_t LastInsertId();

  // The statement cache behind Statement: Acquire compiles `sql` or takes an idle compiled copy;
  // Release resets it and keeps it for the next use. Throws DbError when `sql` does not compile.
  sqlite3_stmt* Acquire(const std::string& sql);
  void Release(const std::string& sql, sqlite3_stmt* stmt);

  // The counter through which processes learn that data they keep in memory changed; may stay
  // unset (then NoteSharedChange does nothing). Must outlive the database's use.
  void set_change_counter(ChangeCounter* counter) { counter_ = counter; }
  ChangeCounter* change_counter() const { return counter_; }
  // Called inside a write transaction that is about to change such data: bumps the counter now
  // and once more when the outermost transaction has ended, so that a copy read before the commit
  // is never taken for current afterwards, nor one read while the change was under way.
  void NoteSharedChange();
  // Whether the calling thread holds a transaction of this connection open: what it reads there
  // may never be committed, so it must not be kept in memory.
  bool InTransactionOnThisThread() const { return owner_.load() == std::this_thread::get_id(); }

 private:
  friend class Transaction;
  void TransactionBegun() { owner_.store(std::this_thread::get_id()); }
  void TransactionEnded();

  sqlite3* db_ = nullptr;
  std::recursive_mutex mutex_;
  std::mutex cache_mutex_;
  std::unordered_multimap<std::string, sqlite3_stmt*> idle_;
  ChangeCounter* counter_ = nullptr;
  bool change_pending_ = false;           // guarded by the transaction's lock
  std::atomic<std::thread::id> owner_{};  // the thread with a transaction open, if any
};

// Holds the database for one unit of work: the process-local mutex and, for writes, an IMMEDIATE
// transaction (so a writer in another process waits instead of failing). Commits on Commit(),
// rolls back when destroyed without it.
class Transaction {
 public:
  enum Kind { kRead, kWrite };
  Transaction(Database& db, Kind kind);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Database& db_;
  std::unique_lock<std::recursive_mutex> lock_;
  bool open_ = false;
};

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_SQLITE_DB_H_
