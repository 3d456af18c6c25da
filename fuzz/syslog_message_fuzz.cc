// Random record bytes through RecordView::Parse and, when they parse, through the whole message
// build: description (with a registered source whose template asks for more inserts than most
// records have, and a parameter library), every message form and the subject. The first bytes
// choose the options.
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/emulated/emulated_platform.h"
#include "platform/emulated/message_compiler.h"
#include "service/base/record_view.h"
#include "service/base/render_fixture.h"
#include "service/render/syslog_message.h"

namespace {

constexpr char kMessages[] = R"(MessageId=1
Language=English
One %1 two %2 three %3 %99 %1!5d! %2!x!
%n%%%5 %r%t%0 never
.
MessageId=2
Language=English
%1 %%1000 %2
.
)";

constexpr char kParameters[] = R"(MessageId=1000
Language=English
Parameter
.
)";

// One emulated computer for the whole run, removed at exit.
struct FuzzComputer {
  FuzzComputer() {
    char pattern[] = "/tmp/syslog-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) abort();
    dir = pattern;
    platform::emulated::ComputerOptions options;
    options.seed = false;
    options.time_zone = "UTC";
    std::string error;
    computer = platform::emulated::EmulatedPlatform::Create(dir + "/SRV1", options, &error);
    if (!computer) abort();
    sentrel::rendertest::InstallMessageDll(*computer, u"C:\\WINNT\\f.dll", kMessages);
    sentrel::rendertest::InstallMessageDll(*computer, u"C:\\WINNT\\p.dll", kParameters);
    sentrel::rendertest::RegisterSource(*computer, u"System", u"F", u"%SystemRoot%\\f.dll",
                                        u"%SystemRoot%\\p.dll");
    formatter = std::make_unique<sentrel::SyslogFormatter>(*computer);
  }
  ~FuzzComputer() {
    formatter.reset();
    computer.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  std::string dir;
  std::unique_ptr<platform::emulated::EmulatedPlatform> computer;
  std::unique_ptr<sentrel::SyslogFormatter> formatter;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FuzzComputer fuzz;
  if (size < 4) return 0;
  sentrel::MessageOptions options;
  options.bUseLegacyMode = data[0] & 1;
  options.nRFC3164Mode = (data[0] >> 1) & 3;
  options.bAddFacilityString = (data[0] >> 3) & 1;
  options.bShowSyslogMsgNbr = (data[0] >> 4) & 1;
  options.nAddUserName = (data[0] >> 5) & 1;
  options.nAddLogType = (data[0] >> 6) & 1;
  options.bForwardBinaryData = (data[0] >> 7) & 1;
  options.nReplaceComputerName = data[1] & 3;
  options.nFacility = data[2];
  // Then a few bytes of subject template, then the record.
  size_t at = 4;
  const size_t subject_bytes = std::min<size_t>(data[3] % 8, size - at);
  options.szSMTPSubject = "%m%s%i%";
  options.szSMTPSubject.append(reinterpret_cast<const char*>(data + at), subject_bytes);
  at += subject_bytes;
  // Records are parsed in place from an aligned buffer, as in the service's read buffer.
  const size_t record_bytes = size - at;
  std::unique_ptr<uint64_t[]> aligned(new uint64_t[record_bytes / 8 + 1]);
  std::memcpy(aligned.get(), data + at, record_bytes);
  const auto view =
      sentrel::RecordView::Parse(reinterpret_cast<const uint8_t*>(aligned.get()), record_bytes);
  if (!view) return 0;
  int32_t counter = 0;
  fuzz.formatter->BuildSyslogMessage(*view, u"System", options, u"srv1", counter);
  return 0;
}
