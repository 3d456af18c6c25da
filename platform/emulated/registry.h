// The registry of an emulated computer, kept in its database.
#ifndef PLATFORM_EMULATED_REGISTRY_H_
#define PLATFORM_EMULATED_REGISTRY_H_

#include <memory>
#include <string>

#include "platform/code_page.h"
#include "platform/emulated/machine.h"
#include "platform/registry.h"

namespace platform::emulated {

class EmulatedRegistry : public Registry {
 public:
  // `code_page` converts the narrow views; it must outlive the registry and its keys.
  EmulatedRegistry(std::shared_ptr<Machine> machine, CodePage& code_page);

  [[nodiscard]] Result OpenRoot(RegRoot root, std::unique_ptr<RegKey>* out) override;
  [[nodiscard]] Result Connect(std::u16string_view computer, RegRoot root,
                               std::unique_ptr<RegKey>* out) override;

  // Marks a key (by its full path below a root) so that opening it answers kErrorAccessDenied.
  // For tests and for `ntbox reg deny`.
  [[nodiscard]] Result SetAccessDenied(RegRoot root, std::u16string_view path, bool denied);

 private:
  std::shared_ptr<Machine> machine_;
  CodePage& code_page_;
};

// Upper-cases one UTF-16 code unit the way key and value names are compared.
char16_t UpcaseChar(char16_t c);
std::u16string Upcase(std::u16string_view text);

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_REGISTRY_H_
