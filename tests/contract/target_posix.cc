// The contract tests' target on Linux: a fresh emulated computer in a temporary directory.
//
// Environment: CONTRACT_FIXTURES names the host directory of the fixture files (set by CTest);
// CONTRACT_ACP the computer's ANSI code page (default 1252).

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "tests/contract/contract_target.h"
#include "tests/support/loopback.h"
#include "tests/support/test_platform.h"

namespace contract {
namespace {

constexpr uint16_t kEchoPort = 50007;

// Echoes UDP datagrams on one thread and each accepted TCP connection on another, for the life
// of the process.
void UdpEcho(int fd) {
  char buffer[2048];
  for (;;) {
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t n =
        recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) return;
    sendto(fd, buffer, static_cast<size_t>(n), 0, reinterpret_cast<sockaddr*>(&from), length);
  }
}

void TcpEcho(int listener) {
  for (;;) {
    const int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) return;
    char buffer[2048];
    ssize_t n;
    while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0)
      send(fd, buffer, static_cast<size_t>(n), 0);
    close(fd);
  }
}

class EmulatedTarget : public Target {
 public:
  EmulatedTarget() : computer_(Options()) {
    const char* fixtures = std::getenv("CONTRACT_FIXTURES");
    if (fixtures == nullptr || *fixtures == '\0') {
      throw std::runtime_error("CONTRACT_FIXTURES names no fixture directory");
    }
    fixtures_ = fixtures;
    // The programs the tests start (the service program as installer and as service) run on
    // this computer, not on the user's default one.
    setenv("NTBOX_MACHINE", computer_.dir().c_str(), 1);
  }

  platform::Platform& platform() override { return computer_.platform(); }
  bool IsWine() override { return false; }

  // Fixtures are copied onto the computer's drive C, where its programs find their files.
  std::u16string FixturePath(std::u16string_view name) override {
    const std::string file = platform::Utf16ToUtf8(name);
    const std::filesystem::path from = fixtures_ / file;
    const std::filesystem::path dir = std::filesystem::path(computer_.dir()) / "drive_c/contract";
    std::filesystem::create_directories(dir);
    if (std::filesystem::is_regular_file(from)) {
      std::filesystem::copy_file(from, dir / file,
                                 std::filesystem::copy_options::overwrite_existing);
    }
    return u"C:\\contract\\" + std::u16string(name);
  }

  bool HasFixture(std::u16string_view name) override {
    return std::filesystem::exists(fixtures_ / platform::Utf16ToUtf8(name));
  }

  uint32_t ExpectedAnsiCodePage() override { return EnvNumber("CONTRACT_ACP", 1252); }

  // Started on first use, inside the test's private network namespace.
  uint16_t EchoPort() override {
    if (!udp_echo_) {
      udp_echo_ = std::make_unique<testsupport::LoopbackSocket>(SOCK_DGRAM, kEchoPort);
      tcp_echo_ = std::make_unique<testsupport::LoopbackSocket>(SOCK_STREAM, kEchoPort);
      std::thread(UdpEcho, udp_echo_->fd()).detach();
      std::thread(TcpEcho, tcp_echo_->fd()).detach();
    }
    return kEchoPort;
  }

 private:
  static platform::emulated::ComputerOptions Options() {
    platform::emulated::ComputerOptions options = testsupport::TempComputer::DefaultOptions();
    options.acp = EnvNumber("CONTRACT_ACP", 1252);
    return options;
  }

  testsupport::TempComputer computer_;
  std::filesystem::path fixtures_;
  std::unique_ptr<testsupport::LoopbackSocket> udp_echo_, tcp_echo_;  // for the process's life
};

}  // namespace

Target& GetTarget() {
  static EmulatedTarget target;
  return target;
}

}  // namespace contract
