// The text forwarded for one event record: the plain syslog line (three header styles) or the
// XML form, and the mail subject built from the same fields.
#ifndef SERVICE_RENDER_SYSLOG_MESSAGE_H_
#define SERVICE_RENDER_SYSLOG_MESSAGE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "service/base/module_cache.h"
#include "service/base/record_view.h"
#include "service/render/account_name.h"

namespace sentrel {

// The configuration values the message depends on, as the service reads them from the registry
// for one log (the per-log ones: nFacility, nDeliveryMethod, szSMTPSubject). Defaults are those
// of a missing value.
struct MessageOptions {
  uint32_t bUseLegacyMode = 1;        // non-zero: plain line; 0: XML form
  uint32_t nRFC3164Mode = 0;          // 0: own header; any other value: syslog header
  uint32_t nFacility = 128;           // facility already multiplied by 8
  uint32_t bAddFacilityString = 0;    // 1: header of mode 0 carries the program and severity tags
  uint32_t bShowSyslogMsgNbr = 0;     // non-zero: plain lines of syslog-delivered logs numbered
  uint32_t nDeliveryMethod = 0;       // 0: syslog; other: mail
  int32_t nAddUserName = 0;           // > 0: user text in the plain line
  int32_t nAddLogType = 0;            // > 0: log name in the plain line
  uint32_t nReplaceComputerName = 0;  // 1: szReplaceComputerName stands for the record's computer
  std::u16string szReplaceComputerName = u"!";  // wide copy of the configured text
  uint32_t bForwardBinaryData = 0;              // non-zero: record data appended in hexadecimal
  std::string szSMTPSubject;                    // subject template, ANSI code page
};

// Bounds of the message text, in characters.
inline constexpr size_t kMaxMessageChars = 50001;
inline constexpr size_t kMaxBinaryDataStart = 49981;
// Bound of the mail subject, in bytes.
inline constexpr size_t kMaxSubjectBytes = 255;

// Builds the message and subject of one record at a time. Owns its buffers and reuses them; not
// re-entrant: a caller uses or copies the message before formatting the next record. The message
// libraries and account names it meets are kept until EndPass().
class SyslogFormatter {
 public:
  explicit SyslogFormatter(platform::Platform& platform);

  // Releases the message libraries and forgets the account names of the pass that ends.
  void EndPass();
  // The account look-ups of the pass, for whatever else looks accounts up for the same records.
  platform::Accounts& accounts() { return accounts_; }

  // BuildSyslogMessage: the message for `record` of the log `log`. `host_name` is the local
  // computer's name for the header; `nLastSyslogMsgNbr` is the running message number, advanced
  // (then printed) for every XML message and for every numbered plain message. Also rebuilds
  // subject(). The answer stays valid until the next call.
  const std::u16string& BuildSyslogMessage(const RecordView& record, std::u16string_view log,
                                           const MessageOptions& options,
                                           std::u16string_view host_name,
                                           int32_t& nLastSyslogMsgNbr);

  // The mail subject of the last message, at most 255 bytes of the ANSI code page. Control
  // characters of the substituted texts are spaces, so a description cannot add mail headers.
  const std::string& subject() const { return subject_; }

  // MakeXmlElement: "<name>value</name>" with "&", "<" and ">" of the value escaped; name and
  // value cut at the element bounds. Valid until the next call.
  const std::u16string& MakeXmlElement(std::u16string_view name, std::u16string_view value);

 private:
  struct Fields;

  void Append(std::u16string_view piece);
  void AppendNumber(int32_t& counter);
  void AppendSyslogHeader(const platform::SystemTime& local, std::u16string_view host_name);
  void AppendLegacyTime(const platform::SystemTime& local);
  void AppendPlain(const Fields& f, const MessageOptions& options, std::u16string_view host_name,
                   int32_t& counter);
  void AppendXml(const Fields& f, std::u16string_view host_name, int32_t& counter);
  void AppendBinaryData(const RecordView& record);
  void BuildSubject(std::string_view subject_template, const Fields& f);

  platform::Platform& platform_;
  AccountCache accounts_;
  ModuleCache modules_;
  std::u16string message_;
  std::u16string element_;
  std::string subject_;
};

}  // namespace sentrel

#endif  // SERVICE_RENDER_SYSLOG_MESSAGE_H_
