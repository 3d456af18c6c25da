// The mail client's reply reader on whatever a server sends, cut into receive calls of a size
// the input chooses: every reply it returns is a final line (never a "NNN-" continuation), at
// most one buffer long, and the dialogue ends whatever the bytes are.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "service/base/stop_signal.h"
#include "service/transport/smtp_client.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// The server's bytes, handed out at most `chunk` at a time; everything the client sends goes.
class ScriptedSocket : public platform::Socket {
 public:
  ScriptedSocket(std::string_view* incoming, size_t chunk) : incoming_(incoming), chunk_(chunk) {}
  intptr_t Handle() const override { return 3; }
  int Bind(uint32_t, uint16_t) override { return 0; }
  int Connect(uint32_t, uint16_t, const platform::AbortCheck&) override { return 0; }
  int Send(const void*, size_t size, size_t* sent) override {
    *sent = size;
    return 0;
  }
  int SendTo(const void*, size_t, uint32_t, uint16_t) override { return 0; }
  int Receive(void* buffer, size_t size, size_t* received, int,
              const platform::AbortCheck&) override {
    const size_t n = std::min({size, chunk_, incoming_->size()});
    std::copy_n(incoming_->data(), n, static_cast<char*>(buffer));
    incoming_->remove_prefix(n);
    *received = n;
    return 0;
  }
  int Close() override { return 0; }

 private:
  std::string_view* incoming_;
  size_t chunk_;
};

class ScriptedNetwork : public platform::Network {
 public:
  ScriptedNetwork(std::string_view incoming, size_t chunk) : incoming_(incoming), chunk_(chunk) {}
  int Startup(uint16_t version, uint16_t* granted) override {
    *granted = version;
    return 0;
  }
  int Cleanup() override { return 0; }
  int CreateSocket(int, int, int, std::unique_ptr<platform::Socket>* out) override {
    *out = std::make_unique<ScriptedSocket>(&incoming_, chunk_);
    return 0;
  }
  int GetHostName(std::string* name) override {
    *name = "srv1";
    return 0;
  }
  int ResolveHost(std::string_view, uint32_t* address) override {
    *address = 0x0100007F;
    return 0;
  }
  bool ParseAddress(std::string_view, uint32_t* address) override {
    *address = 0x0100007F;
    return true;
  }
  bool ServicePort(std::string_view, std::string_view, uint16_t*) override { return false; }

 private:
  std::string_view incoming_;
  size_t chunk_;
};

class SilentDebug : public platform::DebugOutput {
 public:
  bool Enabled() override { return false; }
  void Write(std::u16string_view) override {}
  void WriteAnsi(std::string_view) override {}
};

class PlainCodePage : public platform::CodePage {
 public:
  uint32_t AnsiCodePage() override { return 1252; }
  std::string WideToAnsi(std::u16string_view text) override {
    return std::string(text.begin(), text.end());
  }
  std::u16string AnsiToWide(std::string_view text) override {
    return std::u16string(text.begin(), text.end());
  }
};

class FixedClock : public platform::Clock {
 public:
  int64_t Now() override { return 1052140806; }
  platform::SystemTime LocalNow() override { return {2003, 5, 1, 5, 13, 20, 6, 0}; }
  platform::SystemTime ToLocal(int64_t) override { return LocalNow(); }
  uint32_t TimeZone(platform::TimeZoneInfo* info) override {
    *info = {};
    return platform::kTimeZoneIdUnknown;
  }
};

void CheckReply(const sentrel::SmtpClient& client, int code) {
  const std::string_view line = client.last_reply_line();
  Check(code >= -1);
  Check(line.size() < sentrel::kSmtpLineSize);
  Check(!(line.size() >= 4 && line[3] == '-'));
  if (!line.empty() && (line[0] < '0' || line[0] > '9')) Check(code == 0);
  if (line.empty()) Check(code == -1);
}

}  // namespace

// First byte: the size of each receive call (0 = as much as the buffer takes). The rest: what
// the server says.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t chunk = data[0] == 0 ? sentrel::kSmtpReceiveSize : data[0];
  ScriptedNetwork network(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1),
                          chunk);
  SilentDebug debug;
  PlainCodePage code_page;
  FixedClock clock;
  // A requested stop makes the pause after the headers return at once; the scripted network
  // never waits, so nothing else notices it.
  sentrel::StopSignal stop;
  stop.Request();
  sentrel::SmtpClient client(network, debug, code_page, clock, stop, 0);

  const int opened = client.OpenSmtpSession("127.0.0.1", "a@example.org", "b@example.org", "s");
  Check(opened == sentrel::kSmtpOpened || (opened < 0 && !client.connected()));
  if (opened != sentrel::kSmtpOpened) CheckReply(client, client.last_reply_code());
  // Read on to the end of the server's bytes: each reply must be well formed.
  for (int i = 0; client.connected() && i < 100000; ++i) CheckReply(client, client.ReadSmtpReply());
  Check(!client.connected());
  client.CloseSmtpSession();
  return 0;
}
