#include "platform/emulated/watched_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace platform::emulated {
namespace {

int64_t Nanoseconds(const timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

bool Same(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

bool WatchedFile::Signature::operator==(const Signature& other) const {
  return device == other.device && inode == other.inode && size == other.size &&
         Same(modified, other.modified) && Same(changed, other.changed);
}

void WatchedFile::Use(const std::function<void(const std::string&, uint64_t)>& use) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Refresh()) ++generation_;
  use(text_, generation_);
}

// Brings the copy up to date; true when the text was read again.
bool WatchedFile::Refresh() {
  struct stat st;
  bool found = !path_.empty() && stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  if (!found) {
    path_ = locate_();
    found = !path_.empty() && stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }
  if (!found) {
    const bool changed = exists_ || generation_ == 0;
    exists_ = false;
    settled_ = false;
    text_.clear();
    return changed;
  }
  const Signature now{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  if (exists_ && settled_ && now == signature_) return false;

  timespec read_at{};
  clock_gettime(CLOCK_REALTIME, &read_at);
  std::ifstream in(path_, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  const bool changed = !exists_ || text.view() != text_;
  if (changed) text_ = text.str();
  exists_ = true;
  signature_ = now;
  settled_ = Nanoseconds(read_at) - std::max(Nanoseconds(now.modified), Nanoseconds(now.changed)) >=
             settle_;
  return changed;
}

}  // namespace platform::emulated
