// ntbox init: creates an emulated computer.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/code_page.h"
#include "platform/emulated/emulated_platform.h"
#include "tools/ntbox/commands.h"

namespace ntbox {
namespace {

bool ParseVersion(const std::string& text, uint32_t* major, uint32_t* minor) {
  char* end = nullptr;
  const unsigned long ma = std::strtoul(text.c_str(), &end, 10);
  if (end == text.c_str()) return false;
  unsigned long mi = 0;
  if (*end == '.') {
    const char* start = end + 1;
    mi = std::strtoul(start, &end, 10);
    if (end == start) return false;
  }
  if (*end != '\0' || ma < 3 || ma > 10 || mi > 99) return false;
  *major = static_cast<uint32_t>(ma);
  *minor = static_cast<uint32_t>(mi);
  return true;
}

bool KnownTimeZone(const std::string& zone) {
  if (zone.empty() || zone.find("..") != std::string::npos || zone[0] == '/') return false;
  std::FILE* f = std::fopen(("/usr/share/zoneinfo/" + zone).c_str(), "rb");
  if (!f) return false;
  std::fclose(f);
  return true;
}

bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > 15) return false;
  for (char c : name) {
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_')) return false;
  }
  return true;
}

}  // namespace

int RunInit(const Args& args) {
  platform::emulated::ComputerOptions options;
  std::string dir;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "ntbox init: %s needs a value\n", a.c_str());
        return false;
      }
      *out = args[++i];
      return true;
    };
    std::string v;
    if (a == "--name") {
      if (!value(&options.name)) return 2;
      if (!ValidName(options.name)) {
        std::fprintf(stderr, "ntbox init: '%s' is not a computer name (1-15 letters, digits, -)\n",
                     options.name.c_str());
        return 2;
      }
    } else if (a == "--hostname") {
      if (!value(&options.hostname)) return 2;
    } else if (a == "--version") {
      if (!value(&v)) return 2;
      if (!ParseVersion(v, &options.major_version, &options.minor_version)) {
        std::fprintf(stderr, "ntbox init: '%s' is not a Windows version such as 4.0 or 5.2\n",
                     v.c_str());
        return 2;
      }
    } else if (a == "--acp") {
      if (!value(&v)) return 2;
      options.acp = static_cast<uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
    } else if (a == "--tz") {
      if (!value(&options.time_zone)) return 2;
      if (!KnownTimeZone(options.time_zone)) {
        std::fprintf(stderr, "ntbox init: unknown time zone '%s'\n", options.time_zone.c_str());
        return 2;
      }
    } else if (a == "--no-samples") {
      options.seed = false;
    } else if (a == "-h" || a == "--help") {
      std::puts(
          "usage: ntbox init [--name NAME] [--hostname HOST] [--version X.Y] [--acp N] "
          "[--tz ZONE] [--no-samples] [DIR]\n"
          "Creates an emulated computer in DIR (default: $NTBOX_MACHINE, else the default "
          "computer).");
      return 0;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "ntbox init: unknown option '%s'\n", a.c_str());
      return 2;
    } else if (dir.empty()) {
      dir = a;
    } else {
      std::fprintf(stderr, "ntbox init: more than one directory given\n");
      return 2;
    }
  }
  if (dir.empty()) {
    const char* named = std::getenv("NTBOX_MACHINE");
    dir = named && *named ? named : platform::emulated::DefaultMachineDir();
  }
  std::string error;
  auto computer = platform::emulated::EmulatedPlatform::Create(dir, options, &error);
  if (!computer) {
    std::fprintf(stderr, "ntbox init: %s\n", error.c_str());
    return 1;
  }
  std::printf("Created computer %s (Windows %u.%u, code page %u, time zone %s) in %s\n",
              platform::Utf16ToUtf8(computer->computer().NetBiosName()).c_str(),
              computer->computer().OsMajorVersion(), computer->computer().OsMinorVersion(),
              computer->code_page().AnsiCodePage(), computer->time_zone().c_str(), dir.c_str());
  return 0;
}

}  // namespace ntbox
