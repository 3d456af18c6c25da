#include "service/host/service_event_log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/emulated/message_compiler.h"
#include "platform/event_record.h"
#include "platform/text.h"
#include "tests/support/test_platform.h"

namespace sentrel {
namespace {

// One event of the Application log as the emulated computer stored it.
struct Logged {
  uint32_t id;
  uint16_t type;
  std::u16string source;
  std::vector<std::u16string> strings;
};

class ServiceEventLogTest : public ::testing::Test {
 protected:
  ServiceEventLogTest() {
    overlay_.clock_ = &clock_;
    overlay_.debug_ = &debug_;
  }

  std::vector<Logged> ApplicationLog() {
    std::vector<Logged> out;
    std::unique_ptr<platform::EventLogReader> reader;
    EXPECT_EQ(computer_.platform().event_log().Open(u"", u"Application", &reader),
              platform::kSuccess);
    std::vector<uint8_t> buffer(0x10000);
    uint32_t read = 0, needed = 0;
    while (reader->Read(platform::kEventLogSequentialRead | platform::kEventLogForwardsRead, 0,
                        buffer.data(), static_cast<uint32_t>(buffer.size()), &read,
                        &needed) == platform::kSuccess) {
      for (uint32_t at = 0; at < read;) {
        auto fields = platform::ParseEventRecord(buffer.data() + at, read - at);
        EXPECT_TRUE(fields.has_value());
        if (!fields) break;
        out.push_back({fields->event_id, fields->event_type, fields->source, fields->strings});
        at += platform::ReadLe32(buffer.data() + at);
      }
    }
    return out;
  }

  void At(int hour, int minute, int second = 0) {
    clock_.SetLocal(2024, 3, 4, hour, minute, second);
  }
  void ReportErrors(int n, std::u16string_view prefix = u"error ") {
    for (int i = 0; i < n; ++i) {
      const std::u16string text = std::u16string(prefix) + char16_t(u'a' + i % 26);
      log_.ReportServiceEvent(kReportError, kEventText, text.c_str());
    }
  }
  static int CountId(const std::vector<Logged>& events, uint32_t id) {
    int n = 0;
    for (const auto& e : events) n += e.id == id;
    return n;
  }

  testsupport::TempComputer computer_;
  testsupport::FakeClock clock_;
  testsupport::CapturingDebugOutput debug_;
  platform::OverlayPlatform overlay_{computer_.platform()};
  ServiceEventLog log_{overlay_};
};

TEST_F(ServiceEventLogTest, ReportsUnderOwnSourceWithPresentTextsOnly) {
  At(9, 30);
  log_.ReportServiceEvent(kReportInformation, kEventStarted);
  log_.ReportServiceEvent(kReportError, kEventText, u"Could not open the System log!");
  log_.ReportServiceEvent(kReportInformation, kEventInstalled, nullptr, u"second");
  const auto events = ApplicationLog();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].id, kEventStarted);
  EXPECT_EQ(events[0].type, kReportInformation);
  EXPECT_EQ(events[0].source, u"Brinmoor Vaskwell");
  EXPECT_TRUE(events[0].strings.empty());
  EXPECT_EQ(events[1].type, kReportError);
  EXPECT_EQ(events[1].strings, std::vector<std::u16string>{u"Could not open the System log!"});
  EXPECT_EQ(events[2].strings, std::vector<std::u16string>{u"second"});
}

TEST_F(ServiceEventLogTest, NineReportsInOneMinuteAreAllLogged) {
  At(10, 15, 0);
  ReportErrors(9);
  const auto events = ApplicationLog();
  EXPECT_EQ(events.size(), 9u);
  EXPECT_EQ(CountId(events, kEventThrottled), 0);
}

TEST_F(ServiceEventLogTest, TenthReportLandsThenThrottleUntilTheHourChanges) {
  At(10, 59, 1);
  ReportErrors(10);
  auto events = ApplicationLog();
  ASSERT_EQ(events.size(), 11u);
  EXPECT_EQ(events[9].id, kEventText);
  EXPECT_EQ(events[10].id, kEventThrottled);
  EXPECT_EQ(events[10].type, kReportError);
  EXPECT_EQ(events[10].strings, std::vector<std::u16string>{kThrottleText});

  // The eleventh report in the same hour, even in another minute, gives only the trace line.
  debug_.Clear();
  At(10, 59, 50);
  ReportErrors(1);
  EXPECT_EQ(ApplicationLog().size(), 11u);
  EXPECT_TRUE(debug_.Contains(
      "A Event was not logged, internal EventLogging is disabled for one hour\r\n"));

  // 11:00 is another hour of the day: reporting is on again, with a fresh count.
  debug_.Clear();
  At(11, 0, 0);
  ReportErrors(9);
  events = ApplicationLog();
  EXPECT_EQ(events.size(), 20u);
  EXPECT_EQ(CountId(events, kEventThrottled), 1);
  EXPECT_FALSE(debug_.Contains("not logged"));
}

TEST_F(ServiceEventLogTest, ReportsInTheSameMinuteOfDifferentHoursCountOn) {
  At(10, 5);
  ReportErrors(1);
  At(11, 5);  // counts as the second report of the same minute value
  ReportErrors(8);
  EXPECT_EQ(CountId(ApplicationLog(), kEventThrottled), 0);
  ReportErrors(1);  // the tenth
  const auto events = ApplicationLog();
  ASSERT_EQ(events.size(), 11u);
  EXPECT_EQ(events.back().id, kEventThrottled);
}

TEST_F(ServiceEventLogTest, AnotherMinuteStartsTheCountAgain) {
  At(10, 5);
  ReportErrors(9);
  At(10, 6);
  ReportErrors(9);
  const auto events = ApplicationLog();
  EXPECT_EQ(events.size(), 18u);
  EXPECT_EQ(CountId(events, kEventThrottled), 0);
}

TEST_F(ServiceEventLogTest, AnUnregisteredSourceStillCounts) {
  // A platform whose event log refuses the source: nothing lands, but the throttle counts.
  class RefusingEventLog : public platform::EventLog {
   public:
    platform::Result Open(std::u16string_view, std::u16string_view,
                          std::unique_ptr<platform::EventLogReader>*) override {
      return platform::kErrorAccessDenied;
    }
    platform::Result RegisterSource(std::u16string_view, std::u16string_view,
                                    std::unique_ptr<platform::EventSource>*) override {
      ++attempts;
      return platform::kErrorAccessDenied;
    }
    platform::Result Clear(std::u16string_view, std::u16string_view) override {
      return platform::kErrorAccessDenied;
    }
    int attempts = 0;
  } refusing;
  overlay_.event_log_ = &refusing;
  At(8, 0);
  ReportErrors(10);
  EXPECT_EQ(refusing.attempts, 11);  // every report tries again, event 110 included
  ReportErrors(1);
  EXPECT_EQ(refusing.attempts, 11);
  EXPECT_TRUE(debug_.Contains("not logged"));
}

TEST(MessageTableTest, HoldsTheServiceEventsWithTheirTexts) {
  std::string path = __FILE__;
  path = path.substr(0, path.find_last_of('/') + 1) + "vaskwell_messages.mc";
  std::ifstream file(path, std::ios::binary);
  ASSERT_TRUE(file) << path;
  std::stringstream bytes;
  bytes << file.rdbuf();
  platform::emulated::McDocument document;
  platform::emulated::McError error;
  ASSERT_TRUE(platform::emulated::CompileMessageText(bytes.str(), &document, &error))
      << error.line << ": " << error.message;
  const std::vector<std::pair<uint32_t, std::u16string>> expected = {
      {100, u"The %1 service was installed.\r\n"},
      {101, u"The %1 service was removed.\r\n"},
      {102, u"The %1 service could not be removed.\r\n"},
      {103, u"The control handler could not be installed.\r\n"},
      {104, u"The initialization process failed.\r\n"},
      {105, u"The service was started.\r\n"},
      {106, u"The service received an unsupported request.\r\n"},
      {107, u"%1\r\n"},
      {108, u"The service was stopped.\r\n"},
      {110, u"%1\r\n"},
  };
  ASSERT_EQ(document.messages.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(document.messages[i].id, expected[i].first);
    ASSERT_EQ(document.messages[i].texts.size(), 1u);
    EXPECT_EQ(document.messages[i].texts.count(0x409), 1u);
    EXPECT_EQ(document.messages[i].texts.begin()->second, expected[i].second)
        << "message " << expected[i].first;
  }
}

}  // namespace
}  // namespace sentrel
