// What registry reads of one computer answered, kept in memory for the keys of this process, so
// that reading the same value again costs no database query. An answer is used only while the
// computer's change counter still holds the value it was read under: every registry write, by
// any process, bumps the counter and so drops everything kept before it. Another process's
// write is therefore seen by the next read, as on Windows.
#ifndef PLATFORM_EMULATED_REGISTRY_CACHE_H_
#define PLATFORM_EMULATED_REGISTRY_CACHE_H_

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/emulated/change_counter.h"
#include "platform/emulated/sqlite_db.h"
#include "platform/result.h"

namespace platform::emulated {

class RegistryCache {
 public:
  // One read's answer: its result and whatever the read gives besides.
  struct Answer {
    Result result = kSuccess;
    int64_t id = 0;             // a key opened
    uint32_t type = 0;          // a value's type
    std::u16string name;        // an enumerated name
    std::vector<uint8_t> data;  // a value's data
  };

  // At most this many answers, and this many bytes of keys, names and data, are kept; past
  // either bound everything is dropped and kept anew.
  static constexpr size_t kMaxAnswers = 4096;
  static constexpr size_t kMaxBytes = 512 * 1024;

  // `db` is the computer's database, with its change counter (without one nothing is kept).
  explicit RegistryCache(Database& db) : db_(db) {}
  RegistryCache(const RegistryCache&) = delete;
  RegistryCache& operator=(const RegistryCache&) = delete;

  // The answer kept for `key` (a text naming the read and its arguments); else runs
  // `read(Answer*)`, which queries the database (and may throw DbError), and keeps its answer
  // when no write happened meanwhile. Inside a transaction of the calling thread every read goes
  // to the database and nothing is kept.
  template <typename Read>
  [[nodiscard]] Result Get(const std::string& key, Answer* out, Read read) {
    const std::optional<uint64_t> stamp = Stamp();
    if (stamp && Find(*stamp, key, out)) return out->result;
    read(out);
    if (stamp) Keep(*stamp, key, *out);
    return out->result;
  }

  size_t size();

 private:
  std::optional<uint64_t> Stamp() const;
  bool Find(uint64_t stamp, const std::string& key, Answer* out);
  void Keep(uint64_t stamp, const std::string& key, const Answer& answer);
  void DropAllLocked(uint64_t stamp);

  Database& db_;
  std::mutex mutex_;
  uint64_t stamp_ = 0;  // the counter's value the kept answers were read under
  size_t bytes_ = 0;
  std::unordered_map<std::string, Answer> answers_;
};

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_REGISTRY_CACHE_H_
