// Message libraries kept loaded for one pass over a log: each module is loaded (LoadLibraryExW)
// at its first use in the pass and released (FreeLibrary) when the pass ends, so a pass loads a
// library once rather than once per record. A library changed between two passes is loaded anew
// by the next pass.
#ifndef SERVICE_BASE_MODULE_CACHE_H_
#define SERVICE_BASE_MODULE_CACHE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/message_library.h"

namespace sentrel {

class ModuleCache {
 public:
  // Past this many modules in one pass, further modules are loaded for each use and released
  // right after it, as without the cache.
  static constexpr size_t kMaxModules = 64;

  // `library` must outlive the cache.
  explicit ModuleCache(platform::MessageLibrary& library) : library_(library) {}
  ModuleCache(const ModuleCache&) = delete;
  ModuleCache& operator=(const ModuleCache&) = delete;

  // The module of `path` loaded with `flags`; null when it cannot be loaded, which is remembered
  // for the pass as well. The module stays valid until Release(), or, when the cache is full,
  // as long as *transient, which then owns it.
  const platform::MessageModule* Get(std::u16string_view path, uint32_t flags,
                                     std::unique_ptr<platform::MessageModule>* transient);

  // Releases every module loaded so far (the end of the pass).
  void Release() { modules_.clear(); }
  size_t size() const { return modules_.size(); }

  platform::MessageLibrary& library() { return library_; }

 private:
  platform::MessageLibrary& library_;
  // By the load flags (as two leading characters) and the path.
  std::unordered_map<std::u16string, std::unique_ptr<platform::MessageModule>> modules_;
};

}  // namespace sentrel

#endif  // SERVICE_BASE_MODULE_CACHE_H_
