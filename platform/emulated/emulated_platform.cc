#include "platform/emulated/emulated_platform.h"

#include <cstdlib>

#include "platform/emulated/computer_setup.h"
#include "platform/emulated/message_library.h"
#include "platform/emulated/system_parts.h"

namespace platform::emulated {
namespace {

std::u16string ReadText(RegKey& root, std::u16string_view path, std::u16string_view name) {
  // A fact that is not there reads as empty: the caller has a default for each.
  std::unique_ptr<RegKey> key;
  std::u16string value;
  if (root.OpenKey(path, RegAccess::kRead, &key) != kSuccess ||
      QueryString(*key, name, &value) != kSuccess) {
    return {};
  }
  return value;
}

uint32_t ToNumber(const std::u16string& text, uint32_t fallback) {
  if (text.empty()) return fallback;
  uint32_t v = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return fallback;
    v = v * 10 + static_cast<uint32_t>(c - u'0');
  }
  return v;
}

// A code page for registries whose narrow views nobody reads: ISO 8859-1, without tables.
class LatinOneCodePage : public CodePage {
 public:
  uint32_t AnsiCodePage() override { return 28591; }
  std::string WideToAnsi(std::u16string_view text) override {
    std::string out;
    for (char16_t c : text) out.push_back(c < 0x100 ? static_cast<char>(c) : '?');
    return out;
  }
  std::u16string AnsiToWide(std::string_view text) override {
    std::u16string out;
    for (char c : text) out.push_back(static_cast<unsigned char>(c));
    return out;
  }
};

}  // namespace

EmulatedPlatform::~EmulatedPlatform() = default;

bool EmulatedPlatform::Init(std::shared_ptr<Machine> machine, std::string* error) {
  machine_ = std::move(machine);
  // The registry needs a code page for its narrow views; facts come from the registry. Read the
  // code page through a provisional registry first, whose narrow view is never used.
  LatinOneCodePage provisional;
  std::u16string acp_text, name, host, version, zone;
  {
    EmulatedRegistry bare(machine_, provisional);
    std::unique_ptr<RegKey> hklm;
    if (bare.OpenRoot(RegRoot::kLocalMachine, &hklm) != kSuccess) {
      *error = machine_->dir() + ": cannot open the registry";
      return false;
    }
    acp_text = ReadText(*hklm, kCodePageKey, u"ACP");
    name = ReadText(*hklm, kComputerNameKey, u"ComputerName");
    host = ReadText(*hklm, kTcpipParametersKey, u"Hostname");
    version = ReadText(*hklm, kCurrentVersionKey, u"CurrentVersion");
    zone = ReadText(*hklm, kTimeZoneKey, u"TimeZoneKeyName");
  }
  const uint32_t acp = ToNumber(acp_text, 1252);
  code_page_ = EmulatedCodePage::Create(acp);
  if (!code_page_) {
    *error = machine_->dir() + ": the ANSI code page " + std::to_string(acp) + " is not available";
    return false;
  }
  uint32_t major = 5, minor = 0;
  const std::string v = Utf16ToUtf8(version);
  if (!v.empty()) {
    major = static_cast<uint32_t>(std::atoi(v.c_str()));
    const size_t dot = v.find('.');
    minor = dot == std::string::npos ? 0 : static_cast<uint32_t>(std::atoi(v.c_str() + dot + 1));
  }
  time_zone_ = zone.empty() ? HostTimeZone() : Utf16ToUtf8(zone);
  registry_ = std::make_unique<EmulatedRegistry>(machine_, *code_page_);
  computer_ = std::make_unique<EmulatedComputer>(
      name.empty() ? u"SRV1" : name, Utf16ToUtf8(host.empty() ? u"srv1" : host), major, minor);
  clock_ = std::make_unique<EmulatedClock>(time_zone_);
  event_log_ = std::make_unique<EmulatedEventLog>(machine_, *registry_, *computer_, *clock_);
  debug_ = std::make_unique<EmulatedDebugOutput>();
  std::shared_ptr<Machine> m = machine_;
  message_library_ = std::make_unique<EmulatedMessageLibrary>(
      [m](std::u16string_view path) { return m->HostPath(path); });
  accounts_ = std::make_unique<EmulatedAccounts>(machine_);
  const std::u16string system_root =
      (major < 5 || (major == 5 && minor == 0)) ? u"C:\\WINNT" : u"C:\\WINDOWS";
  environment_ =
      std::make_unique<EmulatedEnvironment>(*registry_, system_root, computer_->NetBiosName());
  network_ = std::make_unique<EmulatedNetwork>(
      *computer_, [m](std::u16string_view path) { return m->HostPath(path); }, system_root);
  service_manager_ =
      std::make_unique<EmulatedServiceManager>(machine_, *code_page_, computer_->NetBiosName());
  service_dispatcher_ = std::make_unique<EmulatedServiceDispatcher>(machine_, *code_page_);
  process_ = std::make_unique<EmulatedProcess>(machine_);
  network_browser_ = std::make_unique<EmulatedNetworkBrowser>(machine_);
  shell_ = std::make_unique<EmulatedShell>(machine_);
  files_ = std::make_unique<EmulatedFiles>(machine_);
  EmulatedNetwork* network = network_.get();
  http_ = std::make_unique<EmulatedHttp>([network](std::string_view name, uint32_t* address) {
    return network->LookUpHostsFile(name, address);
  });
  return true;
}

std::unique_ptr<EmulatedPlatform> EmulatedPlatform::Open(const std::string& dir,
                                                         std::string* error) {
  auto machine = Machine::Open(dir, error);
  if (!machine) return nullptr;
  std::unique_ptr<EmulatedPlatform> p(new EmulatedPlatform());
  if (!p->Init(std::move(machine), error)) return nullptr;
  return p;
}

std::unique_ptr<EmulatedPlatform> EmulatedPlatform::Create(const std::string& dir,
                                                           const ComputerOptions& options,
                                                           std::string* error) {
  auto machine = Machine::Create(dir, error);
  if (!machine) return nullptr;
  {
    auto cp = EmulatedCodePage::Create(options.acp);
    if (!cp) {
      *error = "the ANSI code page " + std::to_string(options.acp) + " is not available";
      return nullptr;
    }
    EmulatedRegistry bare(machine, *cp);
    if (WriteComputerFacts(bare, options) != kSuccess) {
      *error = dir + ": cannot write the computer's facts";
      return nullptr;
    }
  }
  std::unique_ptr<EmulatedPlatform> p(new EmulatedPlatform());
  if (!p->Init(std::move(machine), error)) return nullptr;
  if (!SetUpComputer(*p, options, error)) return nullptr;
  return p;
}

}  // namespace platform::emulated

namespace platform {

std::unique_ptr<Platform> OpenHostPlatform(std::string* error) {
  using emulated::EmulatedPlatform;
  const char* named = std::getenv("NTBOX_MACHINE");
  if (named && *named) return EmulatedPlatform::Open(named, error);
  const std::string dir = emulated::DefaultMachineDir();
  std::string ignored;
  if (auto p = EmulatedPlatform::Open(dir, &ignored)) return p;
  if (auto p = EmulatedPlatform::Create(dir, emulated::ComputerOptions{}, error)) return p;
  // Another process may have created it at the same moment.
  return EmulatedPlatform::Open(dir, error);
}

}  // namespace platform
