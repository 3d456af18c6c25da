// The mail client: the basic SMTP dialogue (no extensions, no authentication, no encryption) with
// one server on port 25, one plain-text mail at a time, over the service's mail socket.
//
// Calling order, by the record dispatch: OpenSmtpSession when the first mail record of a pass
// comes; SendMailText for every mail record; CloseSmtpSession after each record (one mail per
// record) or once when the pass ends (one mail per pass). The Date and Subject of a mail are those
// of the moment the session opened.
#ifndef SERVICE_TRANSPORT_SMTP_CLIENT_H_
#define SERVICE_TRANSPORT_SMTP_CLIENT_H_

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/debug_output.h"
#include "platform/network.h"
#include "service/base/stop_signal.h"
#include "service/transport/charset_converter.h"
#include "service/transport/cwinsock.h"

namespace sentrel {

// The mail server's port; the settings have no port of their own.
inline constexpr uint16_t kSmtpPort = 25;

// How long ReadSmtpReply waits for the server before it treats the connection as closed (an empty
// line, code -1). 30 seconds lets a slow server greet and accept a mail, while a server that
// stops answering costs a pass at most one wait: the connection is closed at the time-out, so
// the reads that follow in the dialogue fail at once. A service stop ends every wait earlier.
inline constexpr int kSmtpReplyTimeoutMs = 30000;

// Results of OpenSmtpSession.
inline constexpr int kSmtpOpened = 1;
inline constexpr int kSmtpNoConnection = -1;      // no socket, name not resolved, connect failed
inline constexpr int kSmtpHeloRefused = -2;       // the reply to HELO was not 250
inline constexpr int kSmtpSenderRefused = -3;     // the reply to MAIL FROM was not 250
inline constexpr int kSmtpRecipientRefused = -4;  // the reply to RCPT TO was not 250 (251 too)
inline constexpr int kSmtpDataRefused = -6;       // the reply to DATA was not 354

// Buffer sizes of the reply reader.
inline constexpr size_t kSmtpReceiveSize = 4097;  // one Receive; the buffer has one more byte
inline constexpr size_t kSmtpLineSize = 4096;     // a reply line, terminator included

class SmtpClient {
 public:
  // All references must outlive the client. Every wait (connect, reply, the pause after the
  // headers) ends as soon as `stop` is requested; a stopped wait counts as a closed connection.
  // `reply_timeout_ms` is for tests; the service uses the default.
  SmtpClient(platform::Network& network, platform::DebugOutput& debug,
             platform::CodePage& code_page, platform::Clock& clock, StopSignal& stop,
             int reply_timeout_ms = kSmtpReplyTimeoutMs);
  SmtpClient(const SmtpClient&) = delete;
  SmtpClient& operator=(const SmtpClient&) = delete;

  // Connects to `server` (host name or dotted address) on port 25, sends HELO, MAIL FROM,
  // RCPT TO and DATA, then the headers (Date now, `subject` as given, narrow ANSI text) and the
  // body's first line. kSmtpOpened when all was accepted, else one of the negative codes above;
  // on a negative code the connection is closed again.
  int OpenSmtpSession(const std::string& server, const std::string& sender,
                      const std::string& recipient, std::string_view subject);

  // Appends one record's text to the open mail, followed by a blank line. `encoding` 0 converts
  // to the computer's ANSI code page, 51220 and 51932 to ISO-2022-JP and EUC-JP; any other value
  // sends no text (only the blank line). Line ends are kept; every line that begins with "." gets
  // one more "." in front so that the text cannot end the mail. Send errors go unnoticed.
  void SendMailText(std::u16string_view text, int encoding);

  // Ends the mail, says goodbye and closes the connection. The replies are read, not judged.
  void CloseSmtpSession();

  // Reads one complete reply (continuation lines skipped) and returns its code: the number at
  // the start of its last line, 0 when the line does not start with a digit, -1 for an empty or
  // missing reply (closed connection, time-out, stop) or digits with nothing after them.
  int ReadSmtpReply();

  // The Date header's value for the current local time, e.g. "Mon,  5 May 2003  9:05:03 +0200".
  // Valid until the next call.
  const std::string& BuildDateHeader();

  // Whether the mail socket is connected (between a successful OpenSmtpSession and
  // CloseSmtpSession, unless the connection was lost).
  bool connected() const { return socket_.is_open(); }
  int last_reply_code() const { return last_reply_code_; }
  // The last reply line read, line end included.
  std::string_view last_reply_line() const { return std::string_view(line_.data()); }

 private:
  // SMTP transparency: `bytes` with one more "." in front of every line that begins with ".".
  // `at_line_start` says whether the first byte begins a line.
  static std::string StuffDots(std::string_view bytes, bool at_line_start);

  // Next byte of the server's data, refilling the receive buffer when it is used up; 0 when the
  // connection is closed, failed, silent past the time-out or stopped.
  char NextByte();
  // Reads one line into line_ (cut at its capacity, the rest of the line skipped).
  void ReadLine();
  void SkipRestOfLine(char previous);
  static int ReplyCode(const char* line);
  void Trace(std::string_view text);

  platform::DebugOutput& debug_;
  platform::CodePage& code_page_;
  platform::Clock& clock_;
  StopSignal& stop_;
  const int reply_timeout_ms_;
  CWinSock socket_;
  sentrel::CharsetConverter converter_;

  // Kept between sessions, as the server's bytes are taken one at a time.
  std::array<char, kSmtpReceiveSize + 1> receive_{};
  size_t receive_pos_ = 0;
  size_t receive_count_ = 0;
  std::array<char, kSmtpLineSize> line_{};
  int last_reply_code_ = -1;
  std::string date_;
};

}  // namespace sentrel

#endif  // SERVICE_TRANSPORT_SMTP_CLIENT_H_
