#include "platform/emulated/change_counter.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace platform::emulated {
namespace {

// Lock-free, so the same word works between processes that map it.
static_assert(std::atomic_ref<uint64_t>::is_always_lock_free);

}  // namespace

std::unique_ptr<ChangeCounter> ChangeCounter::Open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  struct stat st;
  // Processes that create the file at the same moment both extend it with zeros: no count is lost.
  if (fstat(fd, &st) != 0 ||
      (st.st_size < static_cast<off_t>(sizeof(uint64_t)) && ftruncate(fd, sizeof(uint64_t)) != 0)) {
    ::close(fd);
    return nullptr;
  }
  void* map = mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) return nullptr;
  return std::unique_ptr<ChangeCounter>(new ChangeCounter(static_cast<uint64_t*>(map)));
}

ChangeCounter::~ChangeCounter() { munmap(value_, sizeof(uint64_t)); }

uint64_t ChangeCounter::Load() const { return std::atomic_ref<uint64_t>(*value_).load(); }

void ChangeCounter::Bump() { std::atomic_ref<uint64_t>(*value_).fetch_add(1); }

}  // namespace platform::emulated
