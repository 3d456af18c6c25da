// The logger and the service's own reporting together on one emulated computer: the logger's
// error events land in the "Application" log under the service's source, and the logger reads
// them back like any other record on its next pass.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "service/collect/logger.h"
#include "service/host/service_event_log.h"
#include "tests/support/test_platform.h"

namespace sentrel {
namespace {

struct Seen {
  std::u16string log;
  std::u16string source;
  uint32_t event_id;
  uint16_t type;
  std::vector<std::u16string> strings;
};

class KeepingHandler : public RecordHandler {
 public:
  void ProcessRecord(const RecordView& record, uint32_t, LogId, std::u16string_view log_name,
                     PassState&) override {
    Seen s{std::u16string(log_name),
           std::u16string(record.source()),
           record.event_id(),
           record.event_type(),
           {}};
    for (auto text : record.strings()) s.strings.emplace_back(text);
    seen.push_back(std::move(s));
  }
  void FinishPass(PassState&) override {}
  std::vector<Seen> seen;
};

TEST(LoggerReportingTest, ATruncatedLogReportLandsInTheApplicationLog) {
  testsupport::TempComputer computer;
  platform::emulated::EmulatedPlatform& p = computer.platform();
  ConfigStore config(p);
  ServiceEventLog events(p);
  KeepingHandler handler;
  StopSignal stop;
  Logger logger(p, config, events, handler, stop);

  platform::EventRecordFields f;
  f.source = u"Disk";
  f.computer = u"SRV1";
  f.strings = {u"\\Device\\Harddisk0"};
  uint32_t number = 0;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(p.emulated_event_log().Append(u"System", f, &number), platform::kSuccess);
  }
  logger.RunPasses();
  ASSERT_EQ(handler.seen.size(), 3u);

  // The System log is cleared: its next pass reports and starts again from the oldest record.
  ASSERT_EQ(p.event_log().Clear(u"", u"System"), platform::kSuccess);
  ASSERT_EQ(p.emulated_event_log().Append(u"System", f, &number), platform::kSuccess);
  handler.seen.clear();
  logger.RunPasses();
  ASSERT_EQ(handler.seen.size(), 1u);
  EXPECT_EQ(handler.seen[0].log, u"System");

  // Application comes before System in the list, so the report is read on the pass after.
  handler.seen.clear();
  logger.RunPasses();
  ASSERT_EQ(handler.seen.size(), 1u);
  const Seen& report = handler.seen[0];
  EXPECT_EQ(report.log, u"Application");
  EXPECT_EQ(report.source, u"Brinmoor Vaskwell");
  EXPECT_EQ(report.event_id, kEventText);
  EXPECT_EQ(report.type, kReportError);
  EXPECT_EQ(report.strings,
            std::vector<std::u16string>{u"Couldn't read last record for System log (state 87) - "
                                        u"nLastRecord set to 0 to recover."});
}

}  // namespace
}  // namespace sentrel
