// The contract tests' target on Windows: the computer the program runs on, through the Win32
// platform. Under Wine the script that starts the run supplies the rest in the environment:
//   CONTRACT_FIXTURES  the fixture directory as a Windows path (default: "fixtures" beside the
//                      program)
//   CONTRACT_ACP       the ANSI code page the run was started for (default 1252)
//   CONTRACT_ECHO_PORT the port of the Linux echo listener on 127.0.0.1 (default 50007)
//   CONTRACT_WINDOWS_ASSERTIONS=1  keep the assertions that are skipped under Wine, to see
//                      whether a new Wine still differs there

#include <windows.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "tests/contract/contract_target.h"

namespace contract {
namespace {

std::u16string ProgramDirectory() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::u16string text(reinterpret_cast<const char16_t*>(path), n);
  return text.substr(0, text.find_last_of(u'\\'));
}

class Win32Target : public Target {
 public:
  Win32Target() {
    std::string error;
    platform_ = platform::OpenHostPlatform(&error);
    if (!platform_) throw std::runtime_error("cannot open the host platform: " + error);
    const char* fixtures = std::getenv("CONTRACT_FIXTURES");
    fixtures_ = fixtures && *fixtures ? platform::Utf8ToUtf16(fixtures)
                                      : ProgramDirectory() + u"\\fixtures";
  }

  platform::Platform& platform() override { return *platform_; }

  // Wine's ntdll exports its version; Windows' does not.
  bool IsWine() override {
    if (EnvNumber("CONTRACT_WINDOWS_ASSERTIONS", 0) == 1) return false;
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }

  std::u16string FixturePath(std::u16string_view name) override {
    return fixtures_ + u"\\" + std::u16string(name);
  }

  bool HasFixture(std::u16string_view name) override {
    const std::u16string path = FixturePath(name);
    return GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str())) !=
           INVALID_FILE_ATTRIBUTES;
  }

  uint32_t ExpectedAnsiCodePage() override { return EnvNumber("CONTRACT_ACP", 1252); }
  uint16_t EchoPort() override {
    return static_cast<uint16_t>(EnvNumber("CONTRACT_ECHO_PORT", 50007));
  }

 private:
  std::unique_ptr<platform::Platform> platform_;
  std::u16string fixtures_;
};

}  // namespace

Target& GetTarget() {
  static Win32Target target;
  return target;
}

}  // namespace contract
