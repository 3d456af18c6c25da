// On the emulated computer the message table is a library of its own, built from the same
// source as the Windows program's message table and placed beside the program.
#include <string>
#include <string_view>

#include "service/host/service_host.h"

namespace sentrel {

std::u16string EventMessageFilePath(std::u16string_view short_program_path) {
  const size_t slash = short_program_path.find_last_of(u"/\\");
  const std::u16string_view dir = slash == std::u16string_view::npos
                                      ? std::u16string_view()
                                      : short_program_path.substr(0, slash + 1);
  return std::u16string(dir) + u"vaskwell_messages.dll";
}

}  // namespace sentrel
