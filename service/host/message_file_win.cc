// On Windows the program carries its message table: the event source names the program itself.
#include <string>
#include <string_view>

#include "service/host/service_host.h"

namespace sentrel {

std::u16string EventMessageFilePath(std::u16string_view short_program_path) {
  return std::u16string(short_program_path);
}

}  // namespace sentrel
