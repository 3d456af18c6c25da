// The whole seam between the programs and the operating system. Core code receives a Platform
// and never includes an operating system header; tests hand it fakes or an emulated computer.
//
// Each interface says which of its calls block and for how long, and which may be called from
// several threads. No method name is one that <windows.h> defines as a macro, so a file may
// include both in any order.
#ifndef PLATFORM_PLATFORM_H_
#define PLATFORM_PLATFORM_H_

#include <memory>

#include "platform/accounts.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/computer.h"
#include "platform/debug_output.h"
#include "platform/event_log.h"
#include "platform/files.h"
#include "platform/http.h"
#include "platform/message_library.h"
#include "platform/network.h"
#include "platform/network_browse.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/service_manager.h"
#include "platform/shell.h"

namespace platform {

class Platform {
 public:
  virtual ~Platform() = default;

  virtual Registry& registry() = 0;
  virtual EventLog& event_log() = 0;
  virtual CodePage& code_page() = 0;
  virtual Computer& computer() = 0;
  virtual Clock& clock() = 0;
  virtual DebugOutput& debug() = 0;
  virtual MessageLibrary& message_library() = 0;
  virtual Accounts& accounts() = 0;
  virtual Environment& environment() = 0;
  virtual Network& network() = 0;
  virtual ServiceManager& service_manager() = 0;
  virtual ServiceDispatcher& service_dispatcher() = 0;
  virtual Process& process() = 0;
  virtual NetworkBrowser& network_browser() = 0;
  virtual Shell& shell() = 0;
  virtual Files& files() = 0;
  virtual Http& http() = 0;
};

// A platform whose parts can be replaced one by one; parts not replaced come from `base`.
// Tests use it to put a fake clock or a capturing debug output in front of an emulated computer.
class OverlayPlatform : public Platform {
 public:
  explicit OverlayPlatform(Platform& base) : base_(base) {}

  Registry& registry() override { return registry_ ? *registry_ : base_.registry(); }
  EventLog& event_log() override { return event_log_ ? *event_log_ : base_.event_log(); }
  CodePage& code_page() override { return code_page_ ? *code_page_ : base_.code_page(); }
  Computer& computer() override { return computer_ ? *computer_ : base_.computer(); }
  Clock& clock() override { return clock_ ? *clock_ : base_.clock(); }
  DebugOutput& debug() override { return debug_ ? *debug_ : base_.debug(); }
  MessageLibrary& message_library() override {
    return message_library_ ? *message_library_ : base_.message_library();
  }
  Accounts& accounts() override { return accounts_ ? *accounts_ : base_.accounts(); }
  Environment& environment() override { return environment_ ? *environment_ : base_.environment(); }
  Network& network() override { return network_ ? *network_ : base_.network(); }
  ServiceManager& service_manager() override {
    return service_manager_ ? *service_manager_ : base_.service_manager();
  }
  ServiceDispatcher& service_dispatcher() override {
    return service_dispatcher_ ? *service_dispatcher_ : base_.service_dispatcher();
  }
  Process& process() override { return process_ ? *process_ : base_.process(); }
  NetworkBrowser& network_browser() override {
    return network_browser_ ? *network_browser_ : base_.network_browser();
  }
  Shell& shell() override { return shell_ ? *shell_ : base_.shell(); }
  Files& files() override { return files_ ? *files_ : base_.files(); }
  Http& http() override { return http_ ? *http_ : base_.http(); }

  Registry* registry_ = nullptr;
  EventLog* event_log_ = nullptr;
  CodePage* code_page_ = nullptr;
  Computer* computer_ = nullptr;
  Clock* clock_ = nullptr;
  DebugOutput* debug_ = nullptr;
  MessageLibrary* message_library_ = nullptr;
  Accounts* accounts_ = nullptr;
  Environment* environment_ = nullptr;
  Network* network_ = nullptr;
  ServiceManager* service_manager_ = nullptr;
  ServiceDispatcher* service_dispatcher_ = nullptr;
  Process* process_ = nullptr;
  NetworkBrowser* network_browser_ = nullptr;
  Shell* shell_ = nullptr;
  Files* files_ = nullptr;
  Http* http_ = nullptr;

 private:
  Platform& base_;
};

// The platform of the computer this process runs on: the Windows API on Windows; elsewhere the
// emulated computer named by NTBOX_MACHINE, or the default emulated computer (created on first
// use). Fails (null, with a message in *error) when the computer cannot be opened.
std::unique_ptr<Platform> OpenHostPlatform(std::string* error);

}  // namespace platform

#endif  // PLATFORM_PLATFORM_H_
