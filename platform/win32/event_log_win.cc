// The classic event logs through OpenEventLogW / ReadEventLogW and RegisterEventSourceW /
// ReportEventW.

#include <windows.h>

#include <climits>

#include "platform/win32/last_error_win.h"
#include "platform/win32/sid_win.h"
#include "platform/win32/wide_text_win.h"
#include "platform/win32/win32_parts.h"

namespace platform::win32 {
namespace {

// The server argument: null for the local computer.
const wchar_t* ServerOrNull(const std::wstring& server) {
  return server.empty() ? nullptr : server.c_str();
}

class Win32EventLogReader : public EventLogReader {
 public:
  explicit Win32EventLogReader(HANDLE log) : log_(log) {}
  ~Win32EventLogReader() override { CloseEventLog(log_); }
  Win32EventLogReader(const Win32EventLogReader&) = delete;
  Win32EventLogReader& operator=(const Win32EventLogReader&) = delete;

  [[nodiscard]] Result Read(uint32_t flags, uint32_t record_number, void* buffer, uint32_t size,
                            uint32_t* bytes_read, uint32_t* bytes_needed) override {
    DWORD read = 0, needed = 0;
    const BOOL ok = ReadEventLogW(log_, flags, record_number, buffer, size, &read, &needed);
    const Result r = ok ? kSuccess : LastError();
    if (bytes_read) *bytes_read = read;
    if (bytes_needed) *bytes_needed = needed;
    return r;
  }

  [[nodiscard]] Result OldestRecord(uint32_t* number) override {
    DWORD n = 0;
    if (!GetOldestEventLogRecord(log_, &n)) return LastError();
    *number = n;
    return kSuccess;
  }

  [[nodiscard]] Result NumberOfRecords(uint32_t* count) override {
    DWORD n = 0;
    if (!GetNumberOfEventLogRecords(log_, &n)) return LastError();
    *count = n;
    return kSuccess;
  }

 private:
  HANDLE log_;
};

class Win32EventSource : public EventSource {
 public:
  explicit Win32EventSource(HANDLE source) : source_(source) {}
  ~Win32EventSource() override { DeregisterEventSource(source_); }
  Win32EventSource(const Win32EventSource&) = delete;
  Win32EventSource& operator=(const Win32EventSource&) = delete;

  [[nodiscard]] Result Report(uint16_t type, uint16_t category, uint32_t event_id,
                              const std::vector<uint8_t>& user_sid,
                              const std::vector<std::u16string>& strings,
                              const std::vector<uint8_t>& data) override {
    // ReportEventW takes at most 0xFFFF strings; a SID it reads must be a whole, valid one.
    if (strings.size() > 0xFFFF || data.size() > ULONG_MAX) return kErrorInvalidParameter;
    PSID sid = nullptr;
    if (!user_sid.empty()) {
      sid = CheckedSid(user_sid.data(), user_sid.size());
      if (sid == nullptr) return kErrorInvalidParameter;
    }
    // The u16strings are NUL-terminated and stay alive for the call.
    std::vector<LPCWSTR> texts;
    texts.reserve(strings.size());
    for (const auto& s : strings) texts.push_back(reinterpret_cast<LPCWSTR>(s.c_str()));
    const BOOL ok =
        ReportEventW(source_, type, category, event_id, sid, static_cast<WORD>(texts.size()),
                     static_cast<DWORD>(data.size()), texts.empty() ? nullptr : texts.data(),
                     data.empty() ? nullptr : const_cast<uint8_t*>(data.data()));
    return ok ? kSuccess : LastError();
  }

 private:
  HANDLE source_;
};

// Windows opens the "Application" log instead of a log name it does not know; callers that must
// not read a stand-in check the log's key under SYSTEM\CurrentControlSet\Services\EventLog.
class Win32EventLog : public EventLog {
 public:
  [[nodiscard]] Result Open(std::u16string_view server, std::u16string_view log,
                            std::unique_ptr<EventLogReader>* out) override {
    const std::wstring server_w = ToWide(server);
    HANDLE h = OpenEventLogW(ServerOrNull(server_w), ToWide(log).c_str());
    if (h == nullptr) return LastError();
    *out = std::make_unique<Win32EventLogReader>(h);
    return kSuccess;
  }

  [[nodiscard]] Result RegisterSource(std::u16string_view server, std::u16string_view source,
                                      std::unique_ptr<EventSource>* out) override {
    const std::wstring server_w = ToWide(server);
    HANDLE h = RegisterEventSourceW(ServerOrNull(server_w), ToWide(source).c_str());
    if (h == nullptr) return LastError();
    *out = std::make_unique<Win32EventSource>(h);
    return kSuccess;
  }

  [[nodiscard]] Result Clear(std::u16string_view server, std::u16string_view log) override {
    const std::wstring server_w = ToWide(server);
    HANDLE h = OpenEventLogW(ServerOrNull(server_w), ToWide(log).c_str());
    if (h == nullptr) return LastError();
    const Result r = ClearEventLogW(h, nullptr) ? kSuccess : LastError();
    CloseEventLog(h);
    return r;
  }
};

}  // namespace

std::unique_ptr<EventLog> MakeEventLog() { return std::make_unique<Win32EventLog>(); }

}  // namespace platform::win32
