// Drives the mail client as the record dispatch will, for the tests against real mail servers
// before the whole service runs.
//
//   smtp_send init DIR
//       creates an emulated computer (no sample records, UTC) in DIR
//   smtp_send mail [--timeout MS] [--encoding N] [--per-record] SERVER SENDER RECIPIENT SUBJECT
//                  TEXT...
//       on the computer named by NTBOX_MACHINE: one mail holding every TEXT (UTF-8), or with
//       --per-record one mail per TEXT whose subject is SUBJECT, a space and the TEXT's number.
//       Prints "open R" for every OpenSmtpSession and "closed C" with the last reply code after
//       every CloseSmtpSession; a failed open ends the program with status 3. SIGTERM requests the
//       service stop: the waits end at once, and "stop requested" is printed at the end.
//
// Trace lines go where NTBOX_DEBUG says.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/emulated/emulated_platform.h"
#include "service/base/stop_signal.h"
#include "service/transport/smtp_client.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: smtp_send init DIR\n"
               "       smtp_send mail [--timeout MS] [--encoding N] [--per-record] SERVER SENDER "
               "RECIPIENT SUBJECT TEXT...\n");
  return 2;
}

int Init(const std::string& dir) {
  platform::emulated::ComputerOptions options;
  options.seed = false;
  options.time_zone = "UTC";
  std::string error;
  if (!platform::emulated::EmulatedPlatform::Create(dir, options, &error)) {
    std::fprintf(stderr, "smtp_send init: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

int Mail(int argc, char** argv, sentrel::StopSignal& stop) {
  int timeout_ms = sentrel::kSmtpReplyTimeoutMs;
  int encoding = 0;
  bool per_record = false;
  int i = 2;
  for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
    if (std::strcmp(argv[i], "--per-record") == 0) {
      per_record = true;
    } else if (i + 1 < argc && std::strcmp(argv[i], "--timeout") == 0) {
      timeout_ms = std::atoi(argv[++i]);
    } else if (i + 1 < argc && std::strcmp(argv[i], "--encoding") == 0) {
      encoding = std::atoi(argv[++i]);
    } else {
      return Usage();
    }
  }
  if (argc - i < 5) return Usage();
  const std::string server = argv[i], sender = argv[i + 1], recipient = argv[i + 2],
                    subject = argv[i + 3];
  std::vector<std::u16string> texts;
  for (int t = i + 4; t < argc; ++t) texts.push_back(platform::Utf8ToUtf16(argv[t]));

  std::string error;
  auto host = platform::OpenHostPlatform(&error);
  if (!host) {
    std::fprintf(stderr, "smtp_send: %s\n", error.c_str());
    return 1;
  }
  sentrel::SmtpClient client(host->network(), host->debug(), host->code_page(), host->clock(), stop,
                             timeout_ms);
  int status = 0;
  for (size_t n = 0; n < texts.size() && status == 0; ++n) {
    if (n == 0 || per_record) {
      const std::string this_subject = per_record ? subject + " " + std::to_string(n + 1) : subject;
      const int r = client.OpenSmtpSession(server, sender, recipient, this_subject);
      std::printf("open %d\n", r);
      if (r != sentrel::kSmtpOpened) {
        status = 3;
        break;
      }
    }
    client.SendMailText(texts[n], encoding);
    if (per_record || n + 1 == texts.size()) {
      client.CloseSmtpSession();
      std::printf("closed %d\n", client.last_reply_code());
    }
  }
  if (stop.Requested()) std::printf("stop requested\n");
  std::fflush(stdout);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "init") == 0) return Init(argv[2]);
  if (argc < 2 || std::strcmp(argv[1], "mail") != 0) return Usage();

  // SIGTERM is taken by a thread of its own, which requests the stop as the service's control
  // handler would.
  sigset_t terminate;
  sigemptyset(&terminate);
  sigaddset(&terminate, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &terminate, nullptr);
  sentrel::StopSignal stop;
  std::thread([&stop, terminate] {
    int signal_number = 0;
    if (sigwait(&terminate, &signal_number) == 0) stop.Request();
  }).detach();
  return Mail(argc, argv, stop);
}
