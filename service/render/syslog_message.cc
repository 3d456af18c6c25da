#include "service/render/syslog_message.h"

#include <algorithm>
#include <cstdio>

#include "platform/text.h"
#include "service/base/event_message.h"
#include "service/render/account_name.h"

namespace sentrel {
namespace {

constexpr std::u16string_view kProgramTag = u"Vaskwell:";
constexpr std::u16string_view kWeekdays[] = {u"Sun", u"Mon", u"Tue", u"Wed",
                                             u"Thu", u"Fri", u"Sat"};
constexpr std::u16string_view kMonths[] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                           u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};

// Bounds of MakeXmlElement, counted in characters written so far.
constexpr size_t kXmlNameBound = 49992;
constexpr size_t kXmlValueBound = 49993;
constexpr size_t kXmlClosingNameBound = 49999;

struct Severity {
  std::u16string_view tag;
  uint32_t code;
};

Severity SeverityOf(uint16_t event_type) {
  switch (event_type) {
    case 1:
      return {u"[ERR]", 3};
    case 2:
      return {u"[WRN]", 4};
    case 4:
      return {u"[INF]", 5};
    case 8:
      return {u"[AUS]", 5};
    case 16:
      return {u"[AUF]", 4};
    default:
      return {u"[NON]", 5};
  }
}

// "%2.2u" of the value's last two digits.
std::u16string TwoDigits(unsigned value) {
  value %= 100;
  return {static_cast<char16_t>(u'0' + value / 10), static_cast<char16_t>(u'0' + value % 10)};
}

std::u16string_view MonthName(const platform::SystemTime& t) {
  return t.month >= 1 && t.month <= 12 ? kMonths[t.month - 1] : u"???";
}

std::u16string Clock(const platform::SystemTime& t) {
  std::u16string text = TwoDigits(t.hour);
  text.append(u":").append(TwoDigits(t.minute)).append(u":").append(TwoDigits(t.second));
  return text;
}

bool IsControl(char16_t c) { return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F); }

}  // namespace

// The values every form is built from, computed once per record.
struct SyslogFormatter::Fields {
  const RecordView& record;
  std::u16string_view log;
  Severity severity;
  std::u16string user;
  std::u16string event_id;
  std::u16string computer;
  std::u16string description;
  platform::SystemTime local;
};

SyslogFormatter::SyslogFormatter(platform::Platform& platform)
    : platform_(platform), accounts_(platform.accounts()), modules_(platform.message_library()) {
  message_.reserve(kMaxMessageChars + 1);
  element_.reserve(kMaxMessageChars + 1);
  subject_.reserve(kMaxSubjectBytes + 1);
}

void SyslogFormatter::EndPass() {
  modules_.Release();
  accounts_.Clear();
}

const std::u16string& SyslogFormatter::BuildSyslogMessage(const RecordView& record,
                                                          std::u16string_view log,
                                                          const MessageOptions& options,
                                                          std::u16string_view host_name,
                                                          int32_t& nLastSyslogMsgNbr) {
  Fields f{
      .record = record,
      .log = log,
      .severity = SeverityOf(record.event_type()),
      .user = record.sid_length() != 0
                  ? GetAccountName(accounts_, record.sid(), record.sid_length())
                  : u"N\\A",
      .event_id = platform::Decimal(record.event_id() & 0xFFFF),
      .computer = options.nReplaceComputerName == 1 ? options.szReplaceComputerName
                                                    : std::u16string(record.computer()),
      .description = ReadEventMessage(platform_, modules_, record, log, kMaxMessageChars),
      .local = platform_.clock().ToLocal(record.time_generated()),
  };

  message_.clear();
  const uint32_t pri = options.nFacility | f.severity.code;
  Append(u"<");
  Append(platform::Decimal(static_cast<int32_t>(pri)));
  Append(u">");
  if (options.bUseLegacyMode != 0) {
    AppendPlain(f, options, host_name, nLastSyslogMsgNbr);
  } else {
    AppendXml(f, host_name, nLastSyslogMsgNbr);
  }
  if (options.bForwardBinaryData != 0 && record.data_length() != 0) AppendBinaryData(record);
  if (options.bUseLegacyMode == 0) Append(u"</event>");

  BuildSubject(options.szSMTPSubject, f);
  return message_;
}

void SyslogFormatter::Append(std::u16string_view piece) {
  const size_t room = kMaxMessageChars - std::min(message_.size(), kMaxMessageChars);
  message_.append(piece.substr(0, room));
}

// Advances the counter (wrapping as a 32-bit count) and appends it as "n:".
void SyslogFormatter::AppendNumber(int32_t& counter) {
  counter = static_cast<int32_t>(static_cast<uint32_t>(counter) + 1u);
  Append(platform::Decimal(counter));
  Append(u":");
}

// "May 15 13:20:06 host Vaskwell: ", with two spaces before a day below 10.
void SyslogFormatter::AppendSyslogHeader(const platform::SystemTime& local,
                                         std::u16string_view host_name) {
  std::u16string header(MonthName(local));
  header.append(local.day < 10 ? u"  " : u" ");
  header.append(platform::Decimal(local.day)).append(u" ").append(Clock(local)).append(u" ");
  header.append(host_name).append(u" ").append(kProgramTag).append(u" ");
  Append(header);
}

// "Mon May 05 13:20:06 2003: ".
void SyslogFormatter::AppendLegacyTime(const platform::SystemTime& local) {
  std::u16string time(local.day_of_week < 7 ? kWeekdays[local.day_of_week] : u"???");
  time.append(u" ").append(MonthName(local)).append(u" ").append(TwoDigits(local.day));
  time.append(u" ").append(Clock(local)).append(u" ");
  char year[8];
  std::snprintf(year, sizeof year, "%4.4u", static_cast<unsigned>(local.year % 10000));
  time.append(platform::Widen(year)).append(u": ");
  Append(time);
}

void SyslogFormatter::AppendPlain(const Fields& f, const MessageOptions& options,
                                  std::u16string_view host_name, int32_t& counter) {
  const bool numbered = options.bShowSyslogMsgNbr != 0 && options.nDeliveryMethod == 0;
  if (options.nRFC3164Mode == 0) {
    if (options.bAddFacilityString == 1) {
      Append(kProgramTag);
      if (numbered) AppendNumber(counter);
      Append(u" ");
      Append(f.severity.tag);
      Append(u" ");
    } else if (numbered) {
      AppendNumber(counter);
    }
    AppendLegacyTime(f.local);
  } else {
    AppendSyslogHeader(f.local, host_name);
    // The separator before the tag belongs to the number: without one the tag directly follows
    // the header's own space.
    if (numbered) {
      AppendNumber(counter);
      Append(u" ");
    }
    Append(f.severity.tag);
    Append(u" ");
  }

  if (options.nAddUserName > 0) {
    Append(f.user);
    Append(u"/");
  }
  if (options.nAddLogType > 0) {
    Append(f.log);
    Append(u"/");
  }
  Append(f.computer);
  Append(u"/");
  Append(f.record.source());
  Append(u" (");
  Append(f.event_id);
  Append(u") - \"");
  Append(f.description);
  if (message_.size() + 1 < kMaxMessageChars) Append(u"\"");
}

void SyslogFormatter::AppendXml(const Fields& f, std::u16string_view host_name, int32_t& counter) {
  AppendSyslogHeader(f.local, host_name);
  Append(u"<event><iut>ntelr</iut>");
  counter = static_cast<int32_t>(static_cast<uint32_t>(counter) + 1u);
  Append(u"<msgnum>");
  Append(platform::Decimal(counter));
  Append(u"</msgnum>");
  Append(u"<severity>");
  Append(f.severity.tag);
  Append(u"</severity>");
  Append(MakeXmlElement(u"user", f.user));
  Append(MakeXmlElement(u"logtype", f.log));
  // Any local program may write events under any source name: escaped like the other elements.
  Append(MakeXmlElement(u"source", f.computer));
  Append(MakeXmlElement(u"sourceproc", f.record.source()));
  Append(MakeXmlElement(u"id", f.event_id));
  Append(MakeXmlElement(u"msg", f.description));
  Append(u"<category>");
  Append(platform::Decimal(f.record.category()));
  Append(u"</category>");
}

void SyslogFormatter::AppendBinaryData(const RecordView& record) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  Append(u"<bdata>");
  const uint8_t* data = record.data();
  for (uint32_t i = 0; i < record.data_length(); ++i) {
    if (message_.size() >= kMaxBinaryDataStart) break;
    const char16_t pair[2] = {kHex[data[i] >> 4], kHex[data[i] & 0xF]};
    Append(std::u16string_view(pair, 2));
  }
  Append(u"</bdata>");
}

const std::u16string& SyslogFormatter::MakeXmlElement(std::u16string_view name,
                                                      std::u16string_view value) {
  element_.clear();
  element_.push_back(u'<');
  for (size_t i = 0; i < name.size() && element_.size() < kXmlNameBound; ++i) {
    element_.push_back(name[i]);
  }
  element_.push_back(u'>');
  for (size_t i = 0; i < value.size() && element_.size() < kXmlValueBound; ++i) {
    switch (value[i]) {
      case u'&':
        element_.append(u"&amp;");
        break;
      case u'<':
        element_.append(u"&lt;");
        break;
      case u'>':
        element_.append(u"&gt;");
        break;
      default:
        element_.push_back(value[i]);
    }
  }
  element_.append(u"</");
  for (size_t i = 0; i < name.size() && element_.size() < kXmlClosingNameBound; ++i) {
    element_.push_back(name[i]);
  }
  element_.push_back(u'>');
  return element_;
}

// The subject from its template: %% gives %, %s the computer text, %i the event id, %m the
// description; any other % pair stays as written.
void SyslogFormatter::BuildSubject(std::string_view subject_template, const Fields& f) {
  subject_.clear();
  auto put = [this](char c) {
    if (subject_.size() < kMaxSubjectBytes) subject_.push_back(c);
  };
  auto put_text = [&](std::u16string_view text) {
    std::u16string clean(text);
    for (char16_t& c : clean) {
      if (IsControl(c)) c = u' ';
    }
    for (char c : platform_.code_page().WideToAnsi(clean)) {
      if (subject_.size() >= kMaxSubjectBytes) break;
      put(c);
    }
  };
  for (size_t i = 0; i < subject_template.size() && subject_.size() < kMaxSubjectBytes; ++i) {
    const char c = subject_template[i];
    if (c != '%') {
      put(c);
      continue;
    }
    if (i + 1 == subject_template.size()) {
      put('%');
      break;
    }
    const char next = subject_template[++i];
    switch (next) {
      case '%':
        put('%');
        break;
      case 's':
        put_text(f.computer);
        break;
      case 'i':
        put_text(f.event_id);
        break;
      case 'm':
        put_text(f.description);
        break;
      default:
        put('%');
        put(next);
    }
  }
}

}  // namespace sentrel
