// A text file of the computer (the services file) that is read and parsed again only when it
// changed: every use compares the file's identity, size and times with those of the copy in
// memory, one stat() instead of a read and a parse.
#ifndef PLATFORM_EMULATED_WATCHED_FILE_H_
#define PLATFORM_EMULATED_WATCHED_FILE_H_

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>

namespace platform::emulated {

class WatchedFile {
 public:
  // A file changed less than this long before it was read may change again within the same tick
  // of the file system's clock, unseen by size and time: such a copy is read again at its next
  // use, until the file has been quiet for this long.
  static constexpr int64_t kSettleNanoseconds = 2'000'000'000;

  // `locate` gives the file's host path (it may walk directories); it is asked again whenever
  // the path last used no longer names a file. `settle` replaces kSettleNanoseconds (tests).
  explicit WatchedFile(std::function<std::string()> locate, int64_t settle = kSettleNanoseconds)
      : locate_(std::move(locate)), settle_(settle) {}

  // Runs `use` with the file's current text (empty when there is no such file) and the number of
  // times the text has changed so far, under a lock: callers may keep what they derive from the
  // text for as long as that number stays the same.
  void Use(const std::function<void(const std::string& text, uint64_t generation)>& use);

 private:
  struct Signature {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};
    timespec changed{};
    bool operator==(const Signature& other) const;
  };
  bool Refresh();

  std::function<std::string()> locate_;
  const int64_t settle_;
  std::mutex mutex_;
  std::string path_;
  Signature signature_;
  bool exists_ = false;
  bool settled_ = false;
  std::string text_;
  uint64_t generation_ = 0;
};

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_WATCHED_FILE_H_
