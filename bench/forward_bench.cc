// End to end: one pass of the logger over a log of N records (100,000 by default) on an emulated
// computer, each record rendered from a real message DLL and forwarded to a receiver on loopback,
// with nPreventOverrunDelay 0; then, in the same run and to the same receiver, a bare loop that
// sends the same message bytes the same way with plain socket calls (a socket per UDP message, a
// connection per TCP message). The bare loop is the most the design allows on this machine at
// this moment, so the ratio of the two rates is the figure to compare between runs.
//
//   forward_bench [--records N] [--proto udp|tcp|both]
//
// Prints, per protocol, both rates and their ratio, the CPU time per record of the logger thread
// and per message of the bare loop and the ratio of those, and the resident memory of the
// process: when a quarter of the product's pass was done, at its end, and the peak of the whole
// run. For TCP a second bare loop follows that connects as the service does (see
// InterruptibleTcpLoop), to tell the price of that connect from the rest of the product's work.
// When other programs keep both cores busy, each loop runs only part of the time and the ratio of
// the rates swings from run to run; the ratio by CPU time stays steadier.
//
// TCP syslog always goes to port 514, so run it where that port can be bound: as root, or in a
// private network namespace (bench/forward_bench.sh does that). The receiver is a thread of this
// program that only counts what arrives, so that it costs the sender as little as possible.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/event_record.h"
#include "service/base/render_fixture.h"
#include "service/collect/forwarding_pipeline.h"
#include "tests/support/test_platform.h"

namespace {

constexpr uint16_t kUdpPort = 5514;  // named in the computer's services file
constexpr uint16_t kTcpPort = 514;
// More than the local port range holds (32768 to 60999 by default).
constexpr long kWarmUpMessages = 40000;

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

// Resident memory now, and the peak of the process, in MB.
double ResidentMb() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}
double PeakResidentMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

int Listen(int type, uint16_t port) {
  const int fd = socket(AF_INET, type, 0);
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  const int big = 8 << 20;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
  const sockaddr_in a = Loopback(port);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
      (type == SOCK_STREAM && listen(fd, 4096) != 0)) {
    std::perror("bind/listen");
    std::exit(1);
  }
  return fd;
}

// Counts datagrams, or TCP connections that carried at least one byte, and keeps the first
// message it got (the bytes the bare loop sends).
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
  void Reset() { count_ = 0; }
  // Waits until `expected` messages arrived or nothing came for two seconds.
  void WaitFor(long expected) const {
    long last = -1;
    for (int quiet = 0; count() < expected && quiet < 100; ++quiet) {
      if (count() != last) quiet = 0;
      last = count();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  std::string first() {
    std::lock_guard<std::mutex> lock(mutex_);
    return first_;
  }

 private:
  void Run() {
    std::string buffer(70000, '\0');
    std::string message;
    while (!done_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      message.clear();
      if (type_ == SOCK_DGRAM) {
        const ssize_t n = recv(fd_, buffer.data(), buffer.size(), 0);
        if (n < 0) continue;
        message.assign(buffer.data(), static_cast<size_t>(n));
      } else {
        const int c = accept(fd_, nullptr, nullptr);
        if (c < 0) continue;
        ssize_t n;
        while ((n = recv(c, buffer.data(), buffer.size(), 0)) > 0) {
          message.append(buffer.data(), static_cast<size_t>(n));
        }
        close(c);
        if (message.empty()) continue;
      }
      if (count_++ == 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        first_ = message;
      }
    }
  }
  const int type_;
  const int fd_;
  std::atomic<bool> done_{false};
  std::atomic<long> count_{0};
  std::mutex mutex_;
  std::string first_;
  std::thread thread_;
};

// Notes the resident memory once a quarter of the records have arrived.
class QuarterSampler {
 public:
  QuarterSampler(const Receiver& receiver, long records) {
    thread_ = std::thread([this, &receiver, records] {
      while (!done_ && receiver.count() < records / 4) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      if (!done_) quarter_mb_ = ResidentMb();
    });
  }
  double Stop() {
    done_ = true;
    thread_.join();
    return quarter_mb_;
  }

 private:
  std::atomic<bool> done_{false};
  double quarter_mb_ = 0;
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
    if (computer.emulated_event_log().Append(u"System", f, &number) != platform::kSuccess) {
      std::fprintf(stderr, "cannot write record %d\n", i);
      std::exit(1);
    }
  }
}

// The bare loop: `count` times the same bytes, by the calls the design makes per message.
void BareLoop(int proto, const std::string& message, long count) {
  const sockaddr_in any{AF_INET, 0, {INADDR_ANY}, {}};
  const sockaddr_in to = Loopback(proto == 0 ? kUdpPort : kTcpPort);
  const auto* to_addr = reinterpret_cast<const sockaddr*>(&to);
  for (long i = 0; i < count; ++i) {
    if (proto == 0) {
      const int fd = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
      bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any);
      sendto(fd, message.data(), message.size(), MSG_NOSIGNAL, to_addr, sizeof to);
      close(fd);
    } else {
      const int fd = socket(AF_INET, SOCK_STREAM, 0);
      if (connect(fd, to_addr, sizeof to) == 0) {
        send(fd, message.data(), message.size(), MSG_NOSIGNAL);
      }
      close(fd);
    }
  }
}

// The TCP bare loop once more, with the connect the service makes so that a stop can end it at
// once: a non-blocking socket, a connect that answers "in progress" and a second one that
// finds the loopback handshake done (or a poll that waits for it). The difference between the
// two bare loops is what that connect costs; the rest of the product's gap is its own work.
void InterruptibleTcpLoop(const std::string& message, long count) {
  const sockaddr_in to = Loopback(kTcpPort);
  const auto* to_addr = reinterpret_cast<const sockaddr*>(&to);
  for (long i = 0; i < count; ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    bool connected = connect(fd, to_addr, sizeof to) == 0;
    if (!connected && errno == EINPROGRESS) {
      connected = connect(fd, to_addr, sizeof to) == 0 || errno == EISCONN;
      if (!connected && errno == EALREADY) {
        pollfd p{fd, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        connected = poll(&p, 1, 21000) == 1 &&
                    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
      }
    }
    if (connected) send(fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    close(fd);
  }
}

struct Timed {
  double wall;
  double cpu;
};

template <typename Fn>
Timed Time(Fn fn) {
  const double cpu0 = ThreadCpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  fn();
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(),
          ThreadCpuSeconds() - cpu0};
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

  // Both loops are measured in the kernel's steady state: a new loopback connection per message
  // soon leaves every local port of the range in TIME_WAIT, and the first loop of a run would
  // otherwise also pay for growing the kernel's socket caches while the later ones reuse them.
  const long warm_up = std::min<long>(records, kWarmUpMessages);
  BareLoop(proto, std::string(128, 'x'), warm_up);
  receiver.WaitFor(warm_up);
  receiver.Reset();

  QuarterSampler sampler(receiver, records);
  const Timed product = Time([&] { pipeline.logger().ProcessLog(sentrel::LogId::kSystem); });
  receiver.WaitFor(records);
  const double quarter_mb = sampler.Stop();
  const double end_mb = ResidentMb();
  const long product_received = receiver.count();
  const std::string message = receiver.first();

  receiver.Reset();
  const Timed bare = Time([&] { BareLoop(proto, message, records); });
  receiver.WaitFor(records);
  const long bare_received = receiver.count();

  const double product_rate = records / product.wall;
  const double bare_rate = records / bare.wall;
  std::printf(
      "%s: %d records of %zu bytes: product %.0f records/s (%.1f us CPU per record, logger "
      "thread), bare loop %.0f messages/s (%.1f us CPU per message): ratio %.1f%%, by CPU time "
      "%.1f%%; received %ld and %ld, events %d; resident memory %.1f MB at a quarter of the pass, "
      "%.1f MB at its end, peak %.1f MB\n",
      name, records, message.size(), product_rate, product.cpu / records * 1e6, bare_rate,
      bare.cpu / records * 1e6, 100.0 * product_rate / bare_rate, 100.0 * bare.cpu / product.cpu,
      product_received, bare_received, reporter.count, quarter_mb, end_mb, PeakResidentMb());
  if (proto == 1) {
    receiver.Reset();
    const Timed interruptible = Time([&] { InterruptibleTcpLoop(message, records); });
    receiver.WaitFor(records);
    const double rate = records / interruptible.wall;
    std::printf(
        "TCP bare loop with an interruptible connect: %.0f messages/s (%.1f us CPU per message), "
        "received %ld; the product at %.1f%% of it, by CPU time %.1f%%\n",
        rate, interruptible.cpu / records * 1e6, receiver.count(), 100.0 * product_rate / rate,
        100.0 * interruptible.cpu / product.cpu);
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  int records = 100000;
  std::string proto = "both";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--records") == 0) records = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--proto") == 0) proto = argv[i + 1];
  }
  if (records <= 0) {
    std::fprintf(stderr, "usage: forward_bench [--records N] [--proto udp|tcp|both]\n");
    return 2;
  }
  testsupport::TempComputer computer;
  const std::string services = computer.platform().emulated_network().ServicesFile();
  std::ofstream(services, std::ios::trunc) << "syslog " << kUdpPort << "/udp\r\n";
  Fill(computer.platform(), records);
  std::printf("filled %d records; resident memory %.1f MB, peak %.1f MB\n", records, ResidentMb(),
              PeakResidentMb());
  if (proto != "tcp") RunPass(computer, "UDP", 0, records);
  if (proto != "udp") RunPass(computer, "TCP", 1, records);
  return 0;
}
