#include "client/core/settings.h"

#include <algorithm>

#include "platform/text.h"

namespace sentrel::client {

bool Means(Truth truth, int32_t value) {
  switch (truth) {
    case Truth::kNonzero:
      return value != 0;
    case Truth::kPositive:
      return value > 0;
    case Truth::kExactlyOne:
      return value == 1;
  }
  return false;
}

void Flag::Read(int32_t value) {
  stored = value;
  ticked = Means(truth, value);
}

int32_t Flag::ToWrite() const {
  if (ticked == Means(truth, stored)) return stored;
  return ticked ? 1 : 0;
}

const ChoiceList& EncodingList() {
  static const ChoiceList list{
      {{-1, u"System Default", 0}, {-1, u"JIS (ISO-2022JP)", 51220}, {-1, u"EUC-JP", 51932}}};
  return list;
}

const ChoiceList& ProtocolList() {
  static const ChoiceList list{{{-1, u"UDP", 0}, {-1, u"TCP", 1}}};
  return list;
}

const ChoiceList& ModeList() {
  static const ChoiceList list{{{2013, u"", 0}, {2014, u"", 1}, {2015, u"", 2}}};
  return list;
}

const ChoiceList& FacilityList() {
  static const ChoiceList list{{
      {-1, u"KERNEL", 0},
      {-1, u"RANDOM_USER", 8},
      {-1, u"MAIL", 16},
      {-1, u"DAEMON", 24},
      {-1, u"AUTH", 32},
      {-1, u"SYSLOG", 40},
      {-1, u"LPR", 48},
      {-1, u"NEWS", 56},
      {-1, u"UUCP", 64},
      {-1, u"CRON", 72},
      {-1, u"LOCAL_0", 128},
      {-1, u"LOCAL_1", 136},
      {-1, u"LOCAL_2", 144},
      {-1, u"LOCAL_3", 152},
      {-1, u"LOCAL_4", 160},
      {-1, u"LOCAL_5", 168},
      {-1, u"LOCAL_6", 176},
      {-1, u"LOCAL_7", 184},
  }};
  return list;
}

const ChoiceList& OverrunDelayList() {
  static const ChoiceList list = [] {
    ChoiceList l;
    l.by_position = true;
    for (int32_t ms = 0; ms <= 400; ++ms) l.items.push_back({-1, platform::Decimal(ms), ms});
    return l;
  }();
  return list;
}

void Choice::Read(int32_t value) {
  stored = value;
  if (list->by_position) {
    index = static_cast<int>(
        std::clamp<int64_t>(value, 0, static_cast<int64_t>(list->items.size()) - 1));
  } else {
    SelectData(value);
  }
  read_index = index;
}

void Choice::SelectData(int32_t data) {
  index = 0;
  for (size_t i = 0; i < list->items.size(); ++i) {
    if (list->items[i].data == data) index = static_cast<int>(i);
  }
}

void NumberText::Read(int64_t value) {
  stored = value;
  shown = platform::Decimal(value);
  text = shown;
}

void EventTypes::Read(int32_t value) {
  stored = value;
  logging = value != 0;
  bits = static_cast<uint32_t>(value) & 63u;
}

void EventTypes::SetLogging(bool on) {
  logging = on;
  if (!on) bits = 0;
}

int32_t EventTypes::ToWrite() const {
  if (logging == (stored != 0) && bits == (static_cast<uint32_t>(stored) & 63u)) return stored;
  return logging ? static_cast<int32_t>(bits) : 0;
}

bool AdditionalOptionsAvailable(const GlobalSettings& global) {
  return global.mode.selected_data() == 0 && global.use_legacy.ticked;
}

void ApplyMorvanePreset(GlobalSettings* global) {
  global->mode.SelectData(0);
  global->use_legacy.ticked = true;
  global->add_facility_string.ticked = true;
  global->add_user_name.ticked = false;
  global->add_log_type.ticked = false;
  global->show_msg_number.ticked = false;
  global->forward_binary.ticked = false;
}

void CopySettingsFromSystem(Settings* settings, ClientLog to) {
  const LogSettings& from = settings->log(ClientLog::kSystem);
  LogSettings& log = settings->log(to);
  log.mail_delivery.ticked = from.mail_delivery.ticked;
  log.smtp_server = from.smtp_server;
  log.smtp_sender = from.smtp_sender;
  log.smtp_recipient = from.smtp_recipient;
  log.smtp_subject = from.smtp_subject;
  log.mail_encoding.SelectData(from.mail_encoding.selected_data());
}

}  // namespace sentrel::client
