#include "platform/emulated/registry_cache.h"

namespace platform::emulated {
namespace {

size_t BytesOf(const std::string& key, const RegistryCache::Answer& answer) {
  return key.size() + answer.name.size() * sizeof(char16_t) + answer.data.size() +
         sizeof(RegistryCache::Answer);
}

}  // namespace

std::optional<uint64_t> RegistryCache::Stamp() const {
  const ChangeCounter* counter = db_.change_counter();
  if (!counter || db_.InTransactionOnThisThread()) return std::nullopt;
  return counter->Load();
}

bool RegistryCache::Find(uint64_t stamp, const std::string& key, Answer* out) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stamp != stamp_) {
    DropAllLocked(stamp);
    return false;
  }
  const auto it = answers_.find(key);
  if (it == answers_.end()) return false;
  *out = it->second;
  return true;
}

void RegistryCache::Keep(uint64_t stamp, const std::string& key, const Answer& answer) {
  // A write that began after the stamp was taken may have changed what the read saw.
  if (db_.change_counter()->Load() != stamp) return;
  const size_t bytes = BytesOf(key, answer);
  if (bytes > kMaxBytes) return;  // read each time rather than push everything else out
  std::lock_guard<std::mutex> lock(mutex_);
  if (stamp != stamp_ || answers_.size() >= kMaxAnswers || bytes_ + bytes > kMaxBytes) {
    DropAllLocked(stamp);
  }
  if (answers_.emplace(key, answer).second) bytes_ += bytes;
}

void RegistryCache::DropAllLocked(uint64_t stamp) {
  answers_.clear();
  bytes_ = 0;
  stamp_ = stamp;
}

size_t RegistryCache::size() {
  std::lock_guard<std::mutex> lock(mutex_);
  return answers_.size();
}

}  // namespace platform::emulated
