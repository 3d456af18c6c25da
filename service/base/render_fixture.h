// Helpers for the rendering tests and benchmark: message libraries compiled from message text
// and installed on an emulated computer, event sources registered for them, and records laid out
// as the event log hands them out.
#ifndef SERVICE_BASE_RENDER_FIXTURE_H_
#define SERVICE_BASE_RENDER_FIXTURE_H_

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/emulated_platform.h"
#include "platform/emulated/message_compiler.h"
#include "platform/event_record.h"
#include "platform/registry.h"
#include "service/base/record_view.h"

namespace sentrel::rendertest {

// Writes `bytes` to the file the computer knows as `windows_path` (C:\...).
inline void InstallFile(platform::emulated::EmulatedPlatform& computer,
                        std::u16string_view windows_path, const std::vector<uint8_t>& bytes) {
  const std::filesystem::path host = computer.machine().HostPath(windows_path);
  std::filesystem::create_directories(host.parent_path());
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + host.string());
}

// Compiles message text (.mc) into a resource-only DLL at `windows_path` of the computer.
inline void InstallMessageDll(platform::emulated::EmulatedPlatform& computer,
                              std::u16string_view windows_path, std::string_view mc_text) {
  platform::emulated::McDocument document;
  platform::emulated::McError error;
  if (!platform::emulated::CompileMessageText(mc_text, &document, &error)) {
    throw std::runtime_error("message text line " + std::to_string(error.line) + ": " +
                             error.message);
  }
  InstallFile(computer, windows_path, platform::emulated::BuildMessageDll(document));
}

// Creates the source's key below the log's EventLog key with the given library lists
// (REG_EXPAND_SZ); an empty list is not written.
inline void RegisterSource(platform::Platform& platform, std::u16string_view log,
                           std::u16string_view source, std::u16string_view message_file,
                           std::u16string_view parameter_file = {}) {
  std::unique_ptr<platform::RegKey> hklm, key;
  std::u16string path(platform::emulated::kEventLogKey);
  path.append(u"\\").append(log).append(u"\\").append(source);
  if (platform.registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm) != 0 ||
      hklm->CreateKey(path, &key) != 0) {
    throw std::runtime_error("cannot create the source key");
  }
  if (!message_file.empty() &&
      platform::SetString(*key, u"EventMessageFile", message_file, platform::kRegExpandSz) != 0) {
    throw std::runtime_error("cannot set the source's EventMessageFile");
  }
  if (!parameter_file.empty() && platform::SetString(*key, u"ParameterMessageFile", parameter_file,
                                                     platform::kRegExpandSz) != 0) {
    throw std::runtime_error("cannot set the source's ParameterMessageFile");
  }
}

// A record's bytes, kept with the view that reads them.
class Record {
 public:
  explicit Record(const platform::EventRecordFields& fields)
      : bytes_(platform::BuildEventRecord(fields)) {
    auto view = RecordView::Parse(bytes_.data(), bytes_.size());
    if (!view) throw std::runtime_error("record does not parse");
    view_ = *view;
  }
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;
  const RecordView& view() const { return view_; }

 private:
  std::vector<uint8_t> bytes_;
  RecordView view_;
};

}  // namespace sentrel::rendertest

#endif  // SERVICE_BASE_RENDER_FIXTURE_H_
