// End to end: one pass of the logger over a log of N records (100,000 by default) on an emulated
// computer, each record rendered from a real message DLL and forwarded to a receiver on loopback,
// with nPreventOverrunDelay 0. Timed over the whole pass; prints records per second and the CPU
// time of the logger thread per record, for UDP and for TCP.
//
//   forward_bench [--records N] [--proto udp|tcp|both]
//
// TCP syslog always goes to port 514, so run it where that port can be bound: as root, or in a
// private network namespace (bench/forward_bench.sh does that). The receivers are threads of this
// program that only count what arrives, so that they cost the sender as little as possible.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "platform/event_record.h"
#include "service/base/render_fixture.h"
#include "service/collect/forwarding_pipeline.h"
#include "tests/support/test_platform.h"

namespace {

constexpr uint16_t kUdpPort = 5514;  // named in the computer's services file
constexpr uint16_t kTcpPort = 514;

constexpr char kMessages[] = R"(MessageId=7036
Language=English
The %1 service entered the %2 state.
.
)";

class CountingReporter : public sentrel::EventReporter {
 public:
  void ReportServiceEvent(uint16_t, uint32_t, const char16_t* text, const char16_t*,
                          const char16_t*) override {
    if (count++ < 3) std::fprintf(stderr, "event: %s\n", platform::Utf16ToUtf8(text).c_str());
  }
  int count = 0;
};

double ThreadCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int Listen(int type, uint16_t port) {
  const int fd = socket(AF_INET, type, 0);
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  const int big = 8 << 20;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      (type == SOCK_STREAM && listen(fd, 4096) != 0)) {
    std::perror("bind/listen");
    std::exit(1);
  }
  return fd;
}

// Counts datagrams, or TCP connections that carried at least one byte.
class Receiver {
 public:
  Receiver(int type, uint16_t port) : type_(type), fd_(Listen(type, port)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~Receiver() {
    done_ = true;
    thread_.join();
    close(fd_);
  }
  long count() const { return count_.load(); }

 private:
  void Run() {
    std::string buffer(70000, '\0');
    while (!done_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      if (type_ == SOCK_DGRAM) {
        if (recv(fd_, buffer.data(), buffer.size(), 0) >= 0) ++count_;
        continue;
      }
      const int c = accept(fd_, nullptr, nullptr);
      if (c < 0) continue;
      long total = 0;
      ssize_t n;
      while ((n = recv(c, buffer.data(), buffer.size(), 0)) > 0) total += n;
      close(c);
      if (total > 0) ++count_;
    }
  }
  const int type_;
  const int fd_;
  std::atomic<bool> done_{false};
  std::atomic<long> count_{0};
  std::thread thread_;
};

void SetDword(platform::Platform& p, std::u16string_view key, std::u16string_view name,
              uint32_t value) {
  std::unique_ptr<platform::RegKey> hklm, k;
  if (p.registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm) != platform::kSuccess ||
      hklm->CreateKey(key, &k) != platform::kSuccess ||
      platform::SetDword(*k, name, value) != platform::kSuccess) {
    std::fprintf(stderr, "forward_bench: cannot set a configuration value\n");
    std::exit(1);
  }
}

void Fill(platform::emulated::EmulatedPlatform& computer, int records) {
  sentrel::rendertest::InstallMessageDll(computer, u"C:\\WINNT\\system32\\scm.dll", kMessages);
  sentrel::rendertest::RegisterSource(computer, u"System", u"Service Control Manager",
                                      u"%SystemRoot%\\system32\\scm.dll");
  SetDword(computer, std::u16string(platform::emulated::kEventLogKey) + u"\\System", u"MaxSize",
           0x40000000);
  platform::EventRecordFields f;
  f.time_generated = f.time_written = 1052140806;
  f.event_id = 7036;
  f.source = u"Service Control Manager";
  f.computer = u"SRV1";
  f.strings = {u"Alerter", u"stopped"};
  for (int i = 0; i < records; ++i) {
    uint32_t number = 0;
    if (computer.emulated_event_log().Append(u"System", f, &number) != 0) {
      std::fprintf(stderr, "cannot write record %d\n", i);
      std::exit(1);
    }
  }
}

void RunPass(testsupport::TempComputer& computer, const char* name, int proto, int records) {
  platform::Platform& p = computer.platform();
  const std::u16string params(sentrel::kParametersKey);
  SetDword(p, params, u"nPreventOverrunDelay", 0);
  SetDword(p, params, u"nRFC3164Mode", 1);
  SetDword(p, params, u"nProtoType", static_cast<uint32_t>(proto));
  SetDword(p, params + u"\\System", u"nLastRecord", 0);
  SetDword(p, params + u"\\Application", u"nFilterEventType", 0);

  Receiver receiver(proto == 0 ? SOCK_DGRAM : SOCK_STREAM, proto == 0 ? kUdpPort : kTcpPort);
  CountingReporter reporter;
  sentrel::StopSignal stop;
  sentrel::ForwardingPipeline pipeline(p, reporter, stop);
  pipeline.logger().TakeHostName();

  const double cpu0 = ThreadCpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  pipeline.logger().ProcessLog(sentrel::LogId::kSystem);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpu = ThreadCpuSeconds() - cpu0;
  for (int i = 0; i < 100 && receiver.count() < records; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::printf(
      "%s: %d records in %.3f s: %.0f records/s, %.1f us CPU per record (logger thread); "
      "received %ld, events %d\n",
      name, records, wall, records / wall, cpu / records * 1e6, receiver.count(), reporter.count);
}

}  // namespace

int main(int argc, char** argv) {
  int records = 100000;
  std::string proto = "both";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--records") == 0) records = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--proto") == 0) proto = argv[i + 1];
  }
  testsupport::TempComputer computer;
  const std::string services = computer.platform().emulated_network().ServicesFile();
  std::ofstream(services, std::ios::trunc) << "syslog " << kUdpPort << "/udp\r\n";
  Fill(computer.platform(), records);
  if (proto != "tcp") RunPass(computer, "UDP", 0, records);
  if (proto != "udp") RunPass(computer, "TCP", 1, records);
  return 0;
}
