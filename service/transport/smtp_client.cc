#include "service/transport/smtp_client.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace sentrel {
namespace {

constexpr const char* kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The pause after the headers, before the first text goes out.
constexpr uint32_t kPauseAfterHeadersMs = 100;

}  // namespace

SmtpClient::SmtpClient(platform::Network& network, platform::DebugOutput& debug,
                       platform::CodePage& code_page, platform::Clock& clock, StopSignal& stop,
                       int reply_timeout_ms)
    : debug_(debug),
      code_page_(code_page),
      clock_(clock),
      stop_(stop),
      reply_timeout_ms_(reply_timeout_ms),
      socket_(network, debug, [&stop] { return stop.Requested(); }),
      converter_(debug) {}

void SmtpClient::Trace(std::string_view text) { debug_.WriteAnsi(text); }

int SmtpClient::OpenSmtpSession(const std::string& server, const std::string& sender,
                                const std::string& recipient, std::string_view subject) {
  // Bytes a previous server sent after its last reply belong to that connection, not to this
  // one's greeting.
  receive_pos_ = receive_count_ = 0;

  if (socket_.OpenSocket(platform::kAfInet, platform::kSockStream, 0) == platform::kInvalidSocket) {
    return kSmtpNoConnection;
  }
  Trace("Try Socket.SetTarget: " + server + ", 25);\r\n");
  socket_.SetTarget(server.c_str(), kSmtpPort);
  if (socket_.handle() == platform::kInvalidSocket) return kSmtpNoConnection;

  ReadSmtpReply();  // the greeting; whatever it says, HELO follows

  struct Step {
    std::string command;
    int expected;
    int failure;
  };
  const Step steps[] = {
      {std::string("HELO ") + socket_.GetLocalHostName() + "\r\n", 250, kSmtpHeloRefused},
      {"MAIL FROM: <" + sender + ">\r\n", 250, kSmtpSenderRefused},
      {"RCPT TO: <" + recipient + ">\r\n", 250, kSmtpRecipientRefused},
      {"DATA\r\n", 354, kSmtpDataRefused},
  };
  for (const Step& step : steps) {
    socket_.Send(step.command);
    if (ReadSmtpReply() != step.expected) {
      socket_.CloseSocket();
      return step.failure;
    }
  }

  socket_.Send("Date: " + BuildDateHeader() + "\r\n");
  socket_.Send("From: <" + sender + ">\r\n");
  socket_.Send("Subject: " + StuffDots(subject, false) + "\r\n");
  socket_.Send("To: <" + recipient + ">\r\n");
  socket_.Send(std::string_view("X-Mailer: Brinmoor Sentrel\r\n"));
  socket_.Send(std::string_view("\r\n"));
  socket_.Send(std::string_view("Message from Brinmoor Sentrel:\r\n\r\n"));

  stop_.SleepFor(kPauseAfterHeadersMs);
  return kSmtpOpened;
}

void SmtpClient::SendMailText(std::u16string_view text, int encoding) {
  const std::string bytes =
      encoding == 0 ? code_page_.WideToAnsi(text) : converter_.Convert(text, encoding);
  socket_.Send(StuffDots(bytes, true) + "\r\n\r\n");
}

void SmtpClient::CloseSmtpSession() {
  if (!socket_.is_open()) return;  // the connection was lost: nothing to end
  socket_.Send(std::string_view("\r\n.\r\n"));
  ReadSmtpReply();
  socket_.Send(std::string_view("QUIT\r\n"));
  ReadSmtpReply();
  socket_.CloseSocket();
}

std::string SmtpClient::StuffDots(std::string_view bytes, bool at_line_start) {
  std::string out;
  out.reserve(bytes.size() + 8);
  bool line_start = at_line_start;
  for (char c : bytes) {
    if (line_start && c == '.') out.push_back('.');
    out.push_back(c);
    // A bare line feed counts as a line end too: some servers end the data at "\n.\n".
    line_start = (c == '\n');
  }
  return out;
}

char SmtpClient::NextByte() {
  if (receive_pos_ >= receive_count_) {
    receive_pos_ = 0;
    receive_count_ = 0;
    if (socket_.is_open()) {
      const int n =
          socket_.Receive(receive_.data(), static_cast<int>(kSmtpReceiveSize), reply_timeout_ms_);
      receive_count_ = n > 0 ? static_cast<size_t>(n) : 0;
    }
    if (receive_count_ == 0) {
      // Closed, failed, silent past the time-out, or stopped: the connection is over, so that
      // the rest of the dialogue does not wait again.
      socket_.CloseSocket();
      receive_[0] = '\0';
      return '\0';
    }
  }
  return receive_[receive_pos_++];
}

void SmtpClient::ReadLine() {
  size_t n = 0;
  char previous = '\0';
  for (;;) {
    const char c = NextByte();
    line_[n++] = c;
    if (c == '\0') return;
    if (c == '\n' && previous == '\r') break;
    if (n == kSmtpLineSize - 1) {
      // Cut at the buffer's capacity; the rest of the over-long line is dropped so that the next
      // read starts at the next line rather than in the middle of this one.
      SkipRestOfLine(c);
      break;
    }
    previous = c;
  }
  line_[n] = '\0';
}

void SmtpClient::SkipRestOfLine(char previous) {
  for (;;) {
    const char c = NextByte();
    if (c == '\0') return;
    if (c == '\n' && previous == '\r') return;
    previous = c;
  }
}

int SmtpClient::ReplyCode(const char* line) {
  long code = 0;
  const char* p = line;
  while (*p >= '0' && *p <= '9') {
    if (code < 1000000) code = code * 10 + (*p - '0');
    ++p;
  }
  if (*p == '\0') return -1;
  return static_cast<int>(code);
}

int SmtpClient::ReadSmtpReply() {
  ReadLine();
  while (line_[0] != '\0' && line_[1] != '\0' && line_[2] != '\0' && line_[3] == '-') {
    Trace("Multiline Reply - ReRead!\n\r");
    ReadLine();
  }
  Trace(line_.data());
  last_reply_code_ = ReplyCode(line_.data());
  return last_reply_code_;
}

const std::string& SmtpClient::BuildDateHeader() {
  platform::TimeZoneInfo zone;
  int32_t bias = 0;
  if (clock_.TimeZone(&zone) == platform::kTimeZoneIdDaylight) {
    bias = zone.bias + zone.daylight_bias;
  } else {
    bias = zone.bias;
  }
  const int hours = std::abs(bias / 60);
  const int minutes = std::abs(bias % 60);
  // The sign comes from the bias itself, so that a zone less than an hour west of UTC is "-".
  const char sign = bias > 0 ? '-' : '+';

  const platform::SystemTime t = clock_.LocalNow();
  char text[64];
  std::snprintf(text, sizeof text, "%s, %2d %s %4d %2d:%02d:%02d %c%02d%02d",
                kWeekdays[t.day_of_week % 7], t.day, kMonths[(t.month + 11) % 12], t.year, t.hour,
                t.minute, t.second, sign, hours, minutes);
  date_ = text;
  return date_;
}

}  // namespace sentrel
