#include "service/base/module_cache.h"

namespace sentrel {

const platform::MessageModule* ModuleCache::Get(
    std::u16string_view path, uint32_t flags, std::unique_ptr<platform::MessageModule>* transient) {
  std::u16string key{static_cast<char16_t>(flags & 0xFFFF), static_cast<char16_t>(flags >> 16)};
  key.append(path);
  if (const auto it = modules_.find(key); it != modules_.end()) return it->second.get();
  std::unique_ptr<platform::MessageModule> module;
  if (library_.Load(path, flags, &module) != platform::kSuccess) module.reset();
  if (modules_.size() >= kMaxModules) {
    *transient = std::move(module);
    return transient->get();
  }
  return modules_.emplace(std::move(key), std::move(module)).first->second.get();
}

}  // namespace sentrel
