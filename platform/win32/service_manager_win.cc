// The service control manager through the Win32 service functions.

#include <windows.h>

#include <mutex>

#include "platform/win32/last_error_win.h"
#include "platform/win32/wide_text_win.h"
#include "platform/win32/win32_parts.h"

namespace platform::win32 {
namespace {

void CopyStatus(const SERVICE_STATUS& from, ServiceStatus* to) {
  to->service_type = from.dwServiceType;
  to->current_state = from.dwCurrentState;
  to->controls_accepted = from.dwControlsAccepted;
  to->win32_exit_code = from.dwWin32ExitCode;
  to->service_specific_exit_code = from.dwServiceSpecificExitCode;
  to->check_point = from.dwCheckPoint;
  to->wait_hint = from.dwWaitHint;
}

// An SC_HANDLE, closed with CloseServiceHandle.
class ScHandle {
 public:
  explicit ScHandle(SC_HANDLE h) : h_(h) {}
  ~ScHandle() {
    if (h_) CloseServiceHandle(h_);
  }
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;
  SC_HANDLE get() const { return h_; }

 private:
  SC_HANDLE h_;
};

class Win32ServiceHandle : public ServiceHandle {
 public:
  explicit Win32ServiceHandle(SC_HANDLE h) : handle_(h) {}

  [[nodiscard]] Result Start(const std::vector<std::u16string>& args) override {
    std::vector<std::wstring> wide;
    for (const auto& a : args) wide.push_back(ToWide(a));
    std::vector<LPCWSTR> pointers;
    for (const auto& w : wide) pointers.push_back(w.c_str());
    if (!StartServiceW(handle_.get(), static_cast<DWORD>(pointers.size()),
                       pointers.empty() ? nullptr : pointers.data())) {
      return LastError();
    }
    return kSuccess;
  }

  [[nodiscard]] Result Control(uint32_t control, ServiceStatus* status) override {
    SERVICE_STATUS st{};
    const BOOL ok = ControlService(handle_.get(), control, &st);
    const Result r = ok ? kSuccess : LastError();
    // The manager fills the record on success and for these three refusals.
    if (ok || r == ERROR_INVALID_SERVICE_CONTROL || r == ERROR_SERVICE_CANNOT_ACCEPT_CTRL ||
        r == ERROR_SERVICE_NOT_ACTIVE) {
      CopyStatus(st, status);
    }
    return r;
  }

  [[nodiscard]] Result QueryStatus(ServiceStatus* status) override {
    SERVICE_STATUS st{};
    if (!QueryServiceStatus(handle_.get(), &st)) return LastError();
    CopyStatus(st, status);
    return kSuccess;
  }

  [[nodiscard]] Result QueryConfig(ServiceConfiguration* config) override {
    DWORD needed = 0;
    QueryServiceConfigW(handle_.get(), nullptr, 0, &needed);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return LastError();
    std::vector<BYTE> buffer(needed);
    auto* c = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(handle_.get(), c, needed, &needed)) return LastError();
    config->service_type = c->dwServiceType;
    config->start_type = c->dwStartType;
    config->error_control = c->dwErrorControl;
    config->binary_path_name = c->lpBinaryPathName ? FromWide(c->lpBinaryPathName) : u"";
    config->service_start_name = c->lpServiceStartName ? FromWide(c->lpServiceStartName) : u"";
    config->display_name = c->lpDisplayName ? FromWide(c->lpDisplayName) : u"";
    return kSuccess;
  }

  [[nodiscard]] Result Delete() override {
    return DeleteService(handle_.get()) ? kSuccess : LastError();
  }

 private:
  ScHandle handle_;
};

class Win32ServiceManagerHandle : public ServiceManagerHandle {
 public:
  explicit Win32ServiceManagerHandle(SC_HANDLE h) : handle_(h) {}

  [[nodiscard]] Result Open(std::u16string_view name, uint32_t access,
                            std::unique_ptr<ServiceHandle>* out) override {
    SC_HANDLE h = OpenServiceW(handle_.get(), ToWide(name).c_str(), access);
    if (!h) return LastError();
    *out = std::make_unique<Win32ServiceHandle>(h);
    return kSuccess;
  }

  [[nodiscard]] Result Create(std::u16string_view name, std::u16string_view display_name,
                              uint32_t access, uint32_t service_type, uint32_t start_type,
                              uint32_t error_control, std::u16string_view binary_path,
                              std::u16string_view account,
                              std::unique_ptr<ServiceHandle>* out) override {
    const std::wstring display = ToWide(display_name.empty() ? name : display_name);
    const std::wstring who = ToWide(account);
    SC_HANDLE h =
        CreateServiceW(handle_.get(), ToWide(name).c_str(), display.c_str(), access, service_type,
                       start_type, error_control, ToWide(binary_path).c_str(), nullptr, nullptr,
                       nullptr, account.empty() ? nullptr : who.c_str(), nullptr);
    if (!h) return LastError();
    *out = std::make_unique<Win32ServiceHandle>(h);
    return kSuccess;
  }

 private:
  ScHandle handle_;
};

class Win32ServiceManager : public ServiceManager {
 public:
  [[nodiscard]] Result Open(std::u16string_view computer, uint32_t access,
                            std::unique_ptr<ServiceManagerHandle>* out) override {
    const std::wstring machine = ToWide(computer);
    SC_HANDLE h = OpenSCManagerW(computer.empty() ? nullptr : machine.c_str(),
                                 SERVICES_ACTIVE_DATABASEW, access);
    if (!h) return LastError();
    *out = std::make_unique<Win32ServiceManagerHandle>(h);
    return kSuccess;
  }
};

// StartServiceCtrlDispatcherW calls a plain function without context, so the entry routine of
// the process's one service is kept here (process-wide by the nature of the dispatcher).
std::mutex g_main_mutex;
ServiceMainFunction* g_main = nullptr;

void WINAPI ServiceMainTrampoline(DWORD argc, LPWSTR* argv) {
  std::vector<std::u16string> args;
  for (DWORD i = 0; i < argc; ++i) args.push_back(FromWide(argv[i]));
  ServiceMainFunction* main;
  {
    std::lock_guard<std::mutex> lock(g_main_mutex);
    main = g_main;
  }
  if (main) (*main)(args);
}

DWORD WINAPI HandlerTrampoline(DWORD control, DWORD, LPVOID, LPVOID context) {
  (*static_cast<ServiceControlHandler*>(context))(control);
  return NO_ERROR;
}

class Win32ServiceDispatcher : public ServiceDispatcher {
 public:
  [[nodiscard]] Result StartDispatcher(std::u16string_view name,
                                       ServiceMainFunction main) override {
    std::wstring wide_name = ToWide(name);
    {
      std::lock_guard<std::mutex> lock(g_main_mutex);
      g_main = &main;
    }
    SERVICE_TABLE_ENTRYW table[] = {{wide_name.data(), ServiceMainTrampoline}, {nullptr, nullptr}};
    const Result r = StartServiceCtrlDispatcherW(table) ? kSuccess : LastError();
    std::lock_guard<std::mutex> lock(g_main_mutex);
    g_main = nullptr;
    return r;
  }

  // RegisterServiceCtrlHandlerExW carries a context, so the handler needs no global; it lives
  // as long as this dispatcher.
  [[nodiscard]] Result RegisterControlHandler(std::u16string_view name,
                                              ServiceControlHandler handler,
                                              ServiceStatusHandle* out) override {
    auto owned = std::make_unique<ServiceControlHandler>(std::move(handler));
    SERVICE_STATUS_HANDLE h =
        RegisterServiceCtrlHandlerExW(ToWide(name).c_str(), HandlerTrampoline, owned.get());
    if (!h) return LastError();
    std::lock_guard<std::mutex> lock(mutex_);
    handlers_.push_back(std::move(owned));
    *out = reinterpret_cast<ServiceStatusHandle>(h);
    return kSuccess;
  }

  [[nodiscard]] Result SetStatus(ServiceStatusHandle handle, const ServiceStatus& status) override {
    SERVICE_STATUS st{status.service_type,
                      status.current_state,
                      status.controls_accepted,
                      status.win32_exit_code,
                      status.service_specific_exit_code,
                      status.check_point,
                      status.wait_hint};
    if (!SetServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(handle), &st)) {
      return LastError();
    }
    return kSuccess;
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<ServiceControlHandler>> handlers_;
};

}  // namespace

std::unique_ptr<ServiceManager> MakeServiceManager() {
  return std::make_unique<Win32ServiceManager>();
}

std::unique_ptr<ServiceDispatcher> MakeServiceDispatcher() {
  return std::make_unique<Win32ServiceDispatcher>();
}

}  // namespace platform::win32
