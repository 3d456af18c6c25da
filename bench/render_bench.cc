// Rendering one record: its description from a real message DLL on an emulated computer
// (registry read of the source's library, FormatMessageW) and the syslog message around it, as
// a pass renders its records: the library loaded at the pass's first record and kept. The first
// record of a pass, which also loads the library, is measured on its own.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include "service/base/event_message.h"
#include "service/base/render_fixture.h"
#include "service/render/syslog_message.h"
#include "tests/support/test_platform.h"

namespace {

constexpr char kMessages[] = R"(MessageId=7036
Language=English
The %1 service entered the %2 state.
.
MessageId=7040
Language=English
The start type of the %1 service was changed from %2 to %3.
.
)";

struct RenderSetup {
  RenderSetup() {
    auto& emulated = computer.platform();
    sentrel::rendertest::InstallMessageDll(emulated, u"C:\\WINNT\\system32\\scm.dll", kMessages);
    sentrel::rendertest::RegisterSource(emulated, u"System", u"Service Control Manager",
                                        u"%SystemRoot%\\system32\\scm.dll");
    platform::EventRecordFields f;
    f.time_generated = 1052140806;
    f.event_id = 7036;
    f.source = u"Service Control Manager";
    f.computer = u"SRV1";
    f.strings = {u"Alerter", u"stopped"};
    record = std::make_unique<sentrel::rendertest::Record>(f);
  }
  testsupport::TempComputer computer;
  std::unique_ptr<sentrel::rendertest::Record> record;
};

void BM_ReadEventMessage(benchmark::State& state) {
  RenderSetup setup;
  sentrel::ModuleCache modules(setup.computer.platform().message_library());
  for (auto _ : state) {
    benchmark::DoNotOptimize(sentrel::ReadEventMessage(setup.computer.platform(), modules,
                                                       setup.record->view(), u"System",
                                                       sentrel::kMaxMessageChars));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadEventMessage);

// One record as the service renders it: description, plain message and subject.
void BM_RenderRecord(benchmark::State& state) {
  RenderSetup setup;
  sentrel::SyslogFormatter formatter(setup.computer.platform());
  sentrel::MessageOptions options;
  options.nRFC3164Mode = 1;
  options.bUseLegacyMode = static_cast<uint32_t>(state.range(0));
  options.szSMTPSubject = "Event %i on %s";
  int32_t counter = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        formatter.BuildSyslogMessage(setup.record->view(), u"System", options, u"srv1", counter));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RenderRecord)->Arg(1)->Arg(0)->ArgName("legacy");

// A record rendered between two socket calls, as a pass does (a TCP socket made and closed per
// record): the system calls evict the rendering's data and address translations from the
// caches, so the rendering costs more than in the loop above. With render:0 the loop makes the
// socket calls alone; the difference of the two is what a record's rendering costs in a pass.
void BM_RenderRecordBetweenSocketCalls(benchmark::State& state) {
  RenderSetup setup;
  sentrel::SyslogFormatter formatter(setup.computer.platform());
  sentrel::MessageOptions options;
  options.nRFC3164Mode = 1;
  options.bUseLegacyMode = 1;
  int32_t counter = 0;
  for (auto _ : state) {
    if (state.range(0) != 0) {
      benchmark::DoNotOptimize(
          formatter.BuildSyslogMessage(setup.record->view(), u"System", options, u"srv1", counter));
    }
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd >= 0) close(fd);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RenderRecordBetweenSocketCalls)->Arg(0)->Arg(1)->ArgName("render");

// The first record of a pass: the library is loaded for it and released at the pass's end.
void BM_RenderFirstRecordOfAPass(benchmark::State& state) {
  RenderSetup setup;
  sentrel::SyslogFormatter formatter(setup.computer.platform());
  sentrel::MessageOptions options;
  options.nRFC3164Mode = 1;
  int32_t counter = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        formatter.BuildSyslogMessage(setup.record->view(), u"System", options, u"srv1", counter));
    formatter.EndPass();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RenderFirstRecordOfAPass);

}  // namespace

BENCHMARK_MAIN();
