// Writes numbered records into an event log of the computer named by NTBOX_MACHINE, the way a
// program does: through an event source with ReportEvent, one record per report. For the soak
// test, which needs thousands of uniquely marked records without a process start for each.
//
//   write_events SOURCE FIRST COUNT [--rate N]
//
// Record i (FIRST <= i < FIRST + COUNT) is an information event 1 of SOURCE with the single
// insertion string "<soak-i>"; the source's key decides the log (Application when it has none).
// --rate spreads the reports over time at about N per second (default: as fast as they go).
// Exits 1 at the first report that fails, naming it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: write_events SOURCE FIRST COUNT [--rate N]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 6) return Usage();
  const std::u16string source = platform::Utf8ToUtf16(argv[1]);
  const long first = std::atol(argv[2]);
  const long count = std::atol(argv[3]);
  double rate = 0;
  if (argc == 6) {
    if (std::strcmp(argv[4], "--rate") != 0) return Usage();
    rate = std::atof(argv[5]);
  }
  if (first < 0 || count < 0 || rate < 0) return Usage();

  std::string error;
  std::unique_ptr<platform::Platform> host = platform::OpenHostPlatform(&error);
  if (!host) {
    std::fprintf(stderr, "write_events: %s\n", error.c_str());
    return 1;
  }
  std::unique_ptr<platform::EventSource> events;
  if (platform::Result r = host->event_log().RegisterSource(u"", source, &events);
      r != platform::kSuccess) {
    std::fprintf(stderr, "write_events: cannot register the source (error %u)\n", r);
    return 1;
  }
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < count; ++i) {
    if (rate > 0) {
      std::this_thread::sleep_until(start + std::chrono::duration<double>(i / rate));
    }
    const std::string mark = "<soak-" + std::to_string(first + i) + ">";
    const platform::Result r =
        events->Report(platform::kEventInformation, 0, 1, {}, {platform::Utf8ToUtf16(mark)}, {});
    if (r != platform::kSuccess) {
      std::fprintf(stderr, "write_events: %s not written (error %u)\n", mark.c_str(), r);
      return 1;
    }
  }
  return 0;
}
