// vaskwell: the forwarding service's program. Without an option it runs as the service
// "Brinmoor Vaskwell" under the service control manager; -h, -v, -i and -u describe, install
// and remove it (see ServiceHost::ParseStandardArgs).
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "service/host/forwarding_service.h"

int main(int argc, char** argv) {
  std::string error;
  std::unique_ptr<platform::Platform> host = platform::OpenHostPlatform(&error);
  if (!host) {
    std::fprintf(stderr, "vaskwell: %s\n", error.c_str());
    return 1;
  }
  const std::vector<std::string> args(argv + 1, argv + argc);
  int exit_code = 0;
  {
    // Destroying the service ends the logger thread and releases the event source.
    sentrel::ForwardingService service(*host);
    exit_code = service.RunProgram(args);
  }
  return exit_code;
}
