#include "service/transport/smtp_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "service/transport/fake_network.h"
#include "tests/support/loopback.h"
#include "tests/support/netns.h"
#include "tests/support/test_platform.h"

namespace sentrel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using transporttest::FakeNetwork;

using SteadyClock = std::chrono::steady_clock;

int64_t MillisecondsSince(SteadyClock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
}

// The replies of a server that accepts everything up to the data.
constexpr const char* kAcceptingServer =
    "220 mail ready\r\n250 hello\r\n250 sender ok\r\n250 recipient ok\r\n354 go ahead\r\n";

// ---------------------------------------------------------------------------------------------
// The dialogue against a scripted network: every reply the test sets, every byte the client sent.

class SmtpDialogueTest : public ::testing::Test {
 protected:
  SmtpDialogueTest() {
    CWinSock::ForgetLibraryStartForTesting();
    net.hosts["mail.example"] = transporttest::kLoopback;
    clock.SetZone({.bias = -60, .standard_bias = 0, .daylight_bias = -60},
                  platform::kTimeZoneIdDaylight);
    clock.SetLocal(2003, 5, 5, 9, 5, 3);
  }
  ~SmtpDialogueTest() override { CWinSock::ForgetLibraryStartForTesting(); }

  int Open(std::string_view subject = "Event 7036 on SRV1") {
    return client.OpenSmtpSession("mail.example", "sentrel@srv1", "admin@example.org",
                                  std::string(subject));
  }
  // What the client sent, each Send one entry, from entry `from` on.
  std::vector<std::string> Sent(size_t from = 0) const {
    return {net.log.streams.begin() + static_cast<std::ptrdiff_t>(from), net.log.streams.end()};
  }

  testsupport::TempComputer computer;
  FakeNetwork net;
  testsupport::CapturingDebugOutput debug;
  testsupport::FakeClock clock;
  StopSignal stop;
  SmtpClient client{net, debug, computer.platform().code_page(), clock, stop};
};

TEST_F(SmtpDialogueTest, WholeMailOfTwoRecords) {
  net.incoming = kAcceptingServer;
  ASSERT_EQ(Open(), kSmtpOpened);
  EXPECT_TRUE(client.connected());
  client.SendMailText(u"first record", 0);
  client.SendMailText(u"second record", 0);
  net.incoming = "250 queued\r\n221 bye\r\n";
  client.CloseSmtpSession();

  EXPECT_THAT(Sent(),
              ElementsAre("HELO srv1\r\n", "MAIL FROM: <sentrel@srv1>\r\n",
                          "RCPT TO: <admin@example.org>\r\n", "DATA\r\n",
                          "Date: Mon,  5 May 2003  9:05:03 +0200\r\n", "From: <sentrel@srv1>\r\n",
                          "Subject: Event 7036 on SRV1\r\n", "To: <admin@example.org>\r\n",
                          "X-Mailer: Brinmoor Sentrel\r\n", "\r\n",
                          "Message from Brinmoor Sentrel:\r\n\r\n", "first record\r\n\r\n",
                          "second record\r\n\r\n", "\r\n.\r\n", "QUIT\r\n"));
  EXPECT_THAT(net.log.calls,
              ::testing::Contains("Connect " + std::to_string(transporttest::kLoopback) + ":25"));
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(net.log.open_sockets, 0);
  EXPECT_TRUE(debug.Contains("Try Socket.SetTarget: mail.example, 25);\r\n"));
  EXPECT_TRUE(debug.Contains("220 mail ready\r\n"));
  EXPECT_TRUE(debug.Contains("221 bye\r\n"));
}

TEST_F(SmtpDialogueTest, LinesStartingWithADotGetAnotherDot) {
  net.incoming = kAcceptingServer;
  ASSERT_EQ(Open("disk full\r\n.\r\nRCPT TO: <x>"), kSmtpOpened);
  const size_t before = net.log.streams.size();
  client.SendMailText(u".first\r\nmiddle\r\n.\r\nbare\n.dot\r\nlast.", 0);
  client.SendMailText(u".", 0);
  // The subject's first dot is not at a line start ("Subject: " is before it); the one after the
  // line break is.
  EXPECT_EQ(net.log.streams[6], "Subject: disk full\r\n..\r\nRCPT TO: <x>\r\n");
  EXPECT_THAT(Sent(before),
              ElementsAre("..first\r\nmiddle\r\n..\r\nbare\n..dot\r\nlast.\r\n\r\n", "..\r\n\r\n"));
}

TEST_F(SmtpDialogueTest, TextEncodings) {
  net.incoming = kAcceptingServer;
  ASSERT_EQ(Open(), kSmtpOpened);
  const size_t before = net.log.streams.size();
  const std::u16string japanese = u"\u65e5\u672c\u8a9e text";
  client.SendMailText(u"caf\u00e9", 0);  // code page 1252
  client.SendMailText(japanese, sentrel::kEncodingIso2022Jp);
  client.SendMailText(japanese, sentrel::kEncodingEucJp);
  client.SendMailText(japanese, 12345);

  testsupport::CapturingDebugOutput other;
  sentrel::CharsetConverter converter(other);
  const std::string jis = converter.Convert(japanese, sentrel::kEncodingIso2022Jp);
  const std::string euc = converter.Convert(japanese, sentrel::kEncodingEucJp);
  ASSERT_EQ(jis.substr(0, 3), "\x1b$B");
  EXPECT_THAT(Sent(before),
              ElementsAre("caf\xe9\r\n\r\n", jis + "\r\n\r\n", euc + "\r\n\r\n", "\r\n\r\n"));
}

struct Refusal {
  const char* name;
  const char* replies;
  int expected;
  size_t commands_sent;  // how far the dialogue got
};

void PrintTo(const Refusal& c, std::ostream* out) { *out << c.name; }

class SmtpRefusalTest : public SmtpDialogueTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(SmtpRefusalTest, CodeAndConnectionClosed) {
  net.incoming = GetParam().replies;
  EXPECT_EQ(Open(), GetParam().expected);
  EXPECT_EQ(net.log.streams.size(), GetParam().commands_sent);
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(net.log.open_sockets, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SmtpRefusalTest,
    ::testing::Values(
        Refusal{"HeloRefused", "220 hi\r\n502 no\r\n", kSmtpHeloRefused, 1},
        Refusal{"SenderRefused", "220 hi\r\n250 ok\r\n553 bad sender\r\n", kSmtpSenderRefused, 2},
        Refusal{"RecipientRefused", "220 hi\r\n250 ok\r\n250 ok\r\n550 no such user\r\n",
                kSmtpRecipientRefused, 3},
        Refusal{"RecipientForwardedIsRefusedToo",
                "220 hi\r\n250 ok\r\n250 ok\r\n251 will forward\r\n", kSmtpRecipientRefused, 3},
        Refusal{"DataRefused", "220 hi\r\n250 ok\r\n250 ok\r\n250 ok\r\n250 ok\r\n",
                kSmtpDataRefused, 4},
        Refusal{"ClosedAfterGreeting", "220 hi\r\n", kSmtpHeloRefused, 1},
        Refusal{"ReplyWithoutLineEnd", "220 hi\r\n250", kSmtpHeloRefused, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SmtpDialogueTest, GreetingIsIgnoredEvenWhenItRefuses) {
  net.incoming = std::string("554 no service here\r\n") + (kAcceptingServer + 16);
  EXPECT_EQ(Open(), kSmtpOpened);
  EXPECT_EQ(net.log.streams[0], "HELO srv1\r\n");
}

TEST_F(SmtpDialogueTest, NoConnection) {
  EXPECT_EQ(client.OpenSmtpSession("unknown.example", "a@b", "c@d", ""), kSmtpNoConnection);
  EXPECT_TRUE(debug.Contains("Try Socket.SetTarget: unknown.example, 25);\r\n"));
  EXPECT_TRUE(debug.Contains("Error resolving host\r\n"));

  net.failures["Connect"] = platform::kWsaEconnrefused;
  EXPECT_EQ(Open(), kSmtpNoConnection);

  net.failures["CreateSocket"] = platform::kWsaEnobufs;
  EXPECT_EQ(Open(), kSmtpNoConnection);
  EXPECT_TRUE(net.log.streams.empty());
  EXPECT_EQ(net.log.open_sockets, 0);
}

TEST_F(SmtpDialogueTest, ReplyCodes) {
  net.incoming = kAcceptingServer;
  ASSERT_EQ(Open(), kSmtpOpened);
  debug.Clear();
  net.incoming =
      "250\r\n"                      // a bare code: the line end follows the digits
      "250-first\r\n250-second\r\n"  // continuation lines: only the last counts
      "221 last\r\n"
      "hello\r\n"  // no digits
      "25x0\r\n"   // digits, then text
      "\r\n"       // an empty line
      "220 part";  // then the connection ends before the line does
  EXPECT_EQ(client.ReadSmtpReply(), 250);
  EXPECT_EQ(client.last_reply_line(), "250\r\n");
  EXPECT_EQ(client.ReadSmtpReply(), 221);
  EXPECT_EQ(client.ReadSmtpReply(), 0);
  EXPECT_EQ(client.ReadSmtpReply(), 25);
  EXPECT_EQ(client.ReadSmtpReply(), 0);
  EXPECT_EQ(client.ReadSmtpReply(), 220);  // ended by the closed connection's zero byte
  EXPECT_EQ(client.last_reply_line(), "220 part");
  EXPECT_EQ(client.ReadSmtpReply(), -1);
  EXPECT_EQ(client.last_reply_line(), "");
  EXPECT_EQ(client.last_reply_code(), -1);
  EXPECT_FALSE(client.connected());
  EXPECT_THAT(debug.lines(), ElementsAre("250\r\n", "Multiline Reply - ReRead!\n\r",
                                         "Multiline Reply - ReRead!\n\r", "221 last\r\n",
                                         "hello\r\n", "25x0\r\n", "\r\n", "220 part", ""));
}

TEST_F(SmtpDialogueTest, OverlongReplyLineIsCutAndTheNextReplyReadWhole) {
  // A 10,000-byte multi-line reply to HELO, then the rest of the dialogue.
  const std::string long_line = "250-" + std::string(9994, 'x') + "\r\n";
  net.incoming = "220 hi\r\n" + long_line + "250 hello\r\n250 ok\r\n250 ok\r\n354 go\r\n";
  ASSERT_EQ(Open(), kSmtpOpened);
  net.incoming = "250 " + std::string(10000, 'y') + "\r\n221 bye\r\n";
  EXPECT_EQ(client.ReadSmtpReply(), 250);
  EXPECT_EQ(client.last_reply_line(), "250 " + std::string(kSmtpLineSize - 5, 'y'));
  EXPECT_EQ(client.ReadSmtpReply(), 221);
}

TEST_F(SmtpDialogueTest, BytesLeftFromAnEarlierConnectionAreNotTakenAsReplies) {
  net.incoming = kAcceptingServer;
  ASSERT_EQ(Open(), kSmtpOpened);
  net.incoming = "250 queued\r\n221 bye\r\n250 stray line\r\n";
  client.CloseSmtpSession();
  net.incoming = kAcceptingServer;
  EXPECT_EQ(Open(), kSmtpOpened);
}

TEST_F(SmtpDialogueTest, ClosingALostSessionSendsNothing) {
  net.incoming = kAcceptingServer;
  ASSERT_EQ(Open(), kSmtpOpened);
  EXPECT_EQ(client.ReadSmtpReply(), -1);  // the server is gone
  const size_t before = net.log.streams.size();
  client.CloseSmtpSession();
  EXPECT_EQ(net.log.streams.size(), before);
}

// ---------------------------------------------------------------------------------------------
// The Date header.

struct DateCase {
  const char* name;
  platform::TimeZoneInfo zone;
  uint32_t zone_id;
  int year, month, day, hour, minute, second;
  const char* expected;
};

void PrintTo(const DateCase& c, std::ostream* out) { *out << c.name; }

class DateHeaderTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateHeaderTest, Formats) {
  const DateCase& c = GetParam();
  FakeNetwork net;
  testsupport::CapturingDebugOutput debug;
  testsupport::FakeClock clock;
  testsupport::TempComputer computer;
  StopSignal stop;
  SmtpClient client(net, debug, computer.platform().code_page(), clock, stop);
  clock.SetZone(c.zone, c.zone_id);
  clock.SetLocal(c.year, c.month, c.day, c.hour, c.minute, c.second);
  EXPECT_EQ(client.BuildDateHeader(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Zones, DateHeaderTest,
                         ::testing::Values(DateCase{"EastWithDaylight",
                                                    {-60, 0, -60},
                                                    platform::kTimeZoneIdDaylight,
                                                    2003,
                                                    5,
                                                    5,
                                                    9,
                                                    5,
                                                    3,
                                                    "Mon,  5 May 2003  9:05:03 +0200"},
                                           DateCase{"EastStandard",
                                                    {-60, 0, -60},
                                                    platform::kTimeZoneIdStandard,
                                                    2003,
                                                    1,
                                                    1,
                                                    0,
                                                    0,
                                                    0,
                                                    "Wed,  1 Jan 2003  0:00:00 +0100"},
                                           DateCase{"WestStandard",
                                                    {300, 0, -60},
                                                    platform::kTimeZoneIdStandard,
                                                    2003,
                                                    12,
                                                    31,
                                                    23,
                                                    59,
                                                    59,
                                                    "Wed, 31 Dec 2003 23:59:59 -0500"},
                                           DateCase{"WestWithDaylight",
                                                    {300, 0, -60},
                                                    platform::kTimeZoneIdDaylight,
                                                    2004,
                                                    7,
                                                    4,
                                                    12,
                                                    30,
                                                    0,
                                                    "Sun,  4 Jul 2004 12:30:00 -0400"},
                                           DateCase{"HalfHourEast",
                                                    {-330, 0, 0},
                                                    platform::kTimeZoneIdUnknown,
                                                    2010,
                                                    10,
                                                    10,
                                                    10,
                                                    10,
                                                    10,
                                                    "Sun, 10 Oct 2010 10:10:10 +0530"},
                                           DateCase{"HalfHourWest",
                                                    {210, 0, -60},
                                                    platform::kTimeZoneIdStandard,
                                                    2000,
                                                    2,
                                                    29,
                                                    7,
                                                    0,
                                                    9,
                                                    "Tue, 29 Feb 2000  7:00:09 -0330"},
                                           DateCase{"LessThanAnHourWest",
                                                    {30, 0, 0},
                                                    platform::kTimeZoneIdUnknown,
                                                    2003,
                                                    5,
                                                    5,
                                                    9,
                                                    5,
                                                    3,
                                                    "Mon,  5 May 2003  9:05:03 -0030"},
                                           DateCase{"Utc",
                                                    {0, 0, -60},
                                                    platform::kTimeZoneIdUnknown,
                                                    2003,
                                                    5,
                                                    5,
                                                    9,
                                                    5,
                                                    3,
                                                    "Mon,  5 May 2003  9:05:03 +0000"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Real connections, in a network namespace of the test's own where port 25 is free.

// A mail server that plays a script: one connection, the greeting, then one answer per command
// line; after "354" it collects the data up to the "." line and answers that too.
class ScriptedSmtpServer {
 public:
  struct Answer {
    std::string bytes;   // sent as it is (several lines make a multi-line reply)
    bool close = false;  // close the connection instead of answering
    size_t chunk = 0;    // send in pieces of this size with a pause between them (0: at once)
  };
  using Script = std::function<Answer(const std::string& line)>;

  ScriptedSmtpServer(Answer greeting, Script script)
      : greeting_(std::move(greeting)), script_(std::move(script)) {
    if (listening()) thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedSmtpServer() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool listening() const { return listener_.port() != 0; }
  std::string received() {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  // Waits for `fd` to be readable; false when the server is being destroyed.
  bool WaitReadable(int fd) {
    while (!done_) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 20) > 0) return true;
    }
    return false;
  }
  bool Send(int fd, const Answer& answer) {
    if (answer.close) return false;
    const size_t chunk = answer.chunk ? answer.chunk : answer.bytes.size();
    for (size_t at = 0; at < answer.bytes.size(); at += chunk) {
      if (at > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      const std::string piece = answer.bytes.substr(at, chunk);
      if (send(fd, piece.data(), piece.size(), MSG_NOSIGNAL) < 0) return false;
    }
    return true;
  }
  void Serve() {
    if (!WaitReadable(listener_.fd())) return;
    const int fd = listener_.Accept(0);
    if (fd < 0) return;
    std::string pending;
    bool in_data = false;
    bool open = Send(fd, greeting_);
    while (open && WaitReadable(fd)) {
      char buffer[4096];
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      {
        std::lock_guard lock(mutex_);
        received_.append(buffer, static_cast<size_t>(n));
      }
      pending.append(buffer, static_cast<size_t>(n));
      for (;;) {
        const size_t end = in_data ? pending.find("\r\n.\r\n") : pending.find("\r\n");
        if (end == std::string::npos) break;
        const size_t length = end + (in_data ? 5 : 2);
        const std::string line = in_data ? "<end of data>" : pending.substr(0, end);
        pending.erase(0, length);
        in_data = false;
        const Answer answer = script_(line);
        if (answer.bytes.rfind("354", 0) == 0) in_data = true;
        if (!(open = Send(fd, answer))) break;
      }
    }
    close(fd);
  }

  Answer greeting_;
  Script script_;
  testsupport::LoopbackSocket listener_{SOCK_STREAM, kSmtpPort};
  std::atomic<bool> done_{false};
  std::mutex mutex_;
  std::string received_;
  std::thread thread_;
};

// The usual answers, by command.
ScriptedSmtpServer::Answer Usual(const std::string& line) {
  if (line.rfind("DATA", 0) == 0) return {"354 go ahead\r\n"};
  if (line.rfind("QUIT", 0) == 0) return {"221 bye\r\n"};
  return {"250 ok\r\n"};
}

class SmtpServerTest : public ::testing::Test {
 protected:
  SmtpServerTest() { CWinSock::ForgetLibraryStartForTesting(); }
  ~SmtpServerTest() override { CWinSock::ForgetLibraryStartForTesting(); }

  SmtpClient MakeClient(int timeout_ms = kSmtpReplyTimeoutMs) {
    return SmtpClient(computer.platform().network(), debug, computer.platform().code_page(), clock,
                      stop, timeout_ms);
  }
  int Open(SmtpClient& client) {
    return client.OpenSmtpSession("127.0.0.1", "sentrel@srv1", "admin@example.org", "subject");
  }

  testsupport::TempComputer computer;
  testsupport::CapturingDebugOutput debug;
  testsupport::FakeClock clock;
  StopSignal stop;
};

TEST_F(SmtpServerTest, RepliesSplitAcrossPacketsAndOverlongLines) {
  TESTSUPPORT_RUN_IN_PRIVATE_NETWORK();
  ScriptedSmtpServer server({"554 busy, but talk to me\r\n"}, [](const std::string& line) {
    if (line.rfind("HELO", 0) == 0) {
      return ScriptedSmtpServer::Answer{
          "250-" + std::string(9995, 'x') + "\r\n250-EXT\r\n250 hello\r\n", false, 1000};
    }
    if (line.rfind("MAIL", 0) == 0) return ScriptedSmtpServer::Answer{"250 ok\r\n", false, 2};
    return Usual(line);
  });
  ASSERT_TRUE(server.listening());
  SmtpClient client = MakeClient();
  ASSERT_EQ(Open(client), kSmtpOpened);
  client.SendMailText(u"text", 0);
  client.CloseSmtpSession();
  EXPECT_EQ(client.last_reply_line(), "221 bye\r\n");
  const std::string received = server.received();
  EXPECT_EQ(received.rfind("HELO ", 0), 0u) << received;
  EXPECT_THAT(received, HasSubstr("\r\n\r\ntext\r\n\r\n\r\n.\r\nQUIT\r\n"));
}

TEST_F(SmtpServerTest, NothingListening) {
  TESTSUPPORT_RUN_IN_PRIVATE_NETWORK();
  SmtpClient client = MakeClient();
  EXPECT_EQ(Open(client), kSmtpNoConnection);
  EXPECT_TRUE(debug.Contains("Error --> Cleanup!\r\n"));
}

TEST_F(SmtpServerTest, DroppedMidDialogue) {
  TESTSUPPORT_RUN_IN_PRIVATE_NETWORK();
  ScriptedSmtpServer server({"220 hi\r\n"}, [](const std::string& line) {
    if (line.rfind("RCPT", 0) == 0) return ScriptedSmtpServer::Answer{"", true};
    return Usual(line);
  });
  ASSERT_TRUE(server.listening());
  SmtpClient client = MakeClient();
  const auto start = SteadyClock::now();
  EXPECT_EQ(Open(client), kSmtpRecipientRefused);
  EXPECT_LT(MillisecondsSince(start), 5000);
  EXPECT_FALSE(client.connected());
}

TEST_F(SmtpServerTest, SilentServerIsGivenUpAfterOneTimeOut) {
  TESTSUPPORT_RUN_IN_PRIVATE_NETWORK();
  ScriptedSmtpServer server({""}, Usual);  // accepts, never says a word
  ASSERT_TRUE(server.listening());
  SmtpClient client = MakeClient(400);
  const auto start = SteadyClock::now();
  EXPECT_EQ(Open(client), kSmtpHeloRefused);
  const int64_t elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 400);
  EXPECT_LT(elapsed, 800 + 2000);  // one wait, not one per command
  EXPECT_FALSE(client.connected());
}

TEST_F(SmtpServerTest, StopEndsASlowDialogueAtOnce) {
  TESTSUPPORT_RUN_IN_PRIVATE_NETWORK();
  ScriptedSmtpServer server({"220 hi\r\n"}, [](const std::string& line) {
    if (line.rfind("MAIL", 0) == 0) return ScriptedSmtpServer::Answer{""};  // thinks forever
    return Usual(line);
  });
  ASSERT_TRUE(server.listening());
  SmtpClient client = MakeClient();  // the service's own time-out
  std::thread stopper([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop.Request();
  });
  const auto start = SteadyClock::now();
  EXPECT_EQ(Open(client), kSmtpSenderRefused);
  EXPECT_LT(MillisecondsSince(start), 2000);
  stopper.join();
}

}  // namespace
}  // namespace sentrel
