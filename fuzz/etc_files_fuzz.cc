// The hosts and services file readers on any text: an answer is always backed by a line of the
// text that names what was asked, and a port is never 0.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/emulated/etc_files.h"
#include "platform/text.h"

namespace {

using platform::AsciiLower;
using platform::emulated::FindHostsEntry;
using platform::emulated::FindServicesEntry;

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

// The input is "NAME\nTEXT": NAME is looked up as host and as service (with "udp", "tcp" and
// any protocol) in TEXT, and so are a few names the programs use.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  const std::string_view asked = input.substr(0, newline);
  const std::string_view text =
      newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);
  const std::string lower_text = AsciiLower(text);

  for (std::string_view name : {asked, std::string_view("localhost"), std::string_view("syslog")}) {
    uint32_t address = 0;
    if (FindHostsEntry(text, name, &address)) {
      Check(!name.empty() && lower_text.find(AsciiLower(name)) != std::string::npos);
      char dotted[INET_ADDRSTRLEN];
      Check(inet_ntop(AF_INET, &address, dotted, sizeof dotted) != nullptr);
      Check(text.find(dotted) != std::string_view::npos);
    }
    for (std::string_view protocol : {"udp", "tcp", ""}) {
      uint16_t port = 0;
      if (FindServicesEntry(text, name, protocol, &port)) {
        Check(port != 0);
        Check(!name.empty() && lower_text.find(AsciiLower(name)) != std::string::npos);
        Check(text.find(std::to_string(ntohs(port)) + "/") != std::string_view::npos);
      }
    }
  }
  return 0;
}
