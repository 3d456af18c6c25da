// ntbox rc FILE.rc -o FILE.dll: compiles the VERSIONINFO statement of a resource script into a
// resource-only DLL (RT_VERSION), the version carrier of a host program (see the emulated
// platform's version_resource.h).
#include <cstdio>
#include <string>
#include <vector>

#include "platform/emulated/message_compiler.h"
#include "platform/emulated/version_resource.h"
#include "tools/ntbox/commands.h"
#include "tools/ntbox/source_file.h"

namespace ntbox {

int RunRc(const Args& args) {
  std::string source, output;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) {
      output = args[++i];
    } else if (source.empty() && !args[i].empty() && args[i][0] != '-') {
      source = args[i];
    } else {
      source.clear();
      break;
    }
  }
  if (source.empty() || output.empty()) {
    std::fputs("usage: ntbox rc FILE.rc -o FILE.dll\n", stderr);
    return 2;
  }
  std::string script;
  if (!ReadFile(source, &script)) {
    std::fprintf(stderr, "ntbox: %s: cannot read the file\n", source.c_str());
    return 1;
  }
  platform::emulated::VersionInfoScript info;
  int line = 0;
  std::string error;
  if (!platform::emulated::CompileVersionInfo(script, &info, &line, &error)) {
    std::fprintf(stderr, "ntbox: %s:%d: %s\n", source.c_str(), line, error.c_str());
    return 1;
  }
  const std::vector<uint8_t> dll =
      platform::emulated::BuildResourceDll(platform::emulated::kRtVersion, info.resource_name,
                                           {{platform::emulated::VersionResourceLanguage(info),
                                             platform::emulated::BuildVersionResource(info)}});
  if (!WriteFile(output, dll.data(), dll.size())) {
    std::fprintf(stderr, "ntbox: %s: cannot write the file\n", output.c_str());
    return 1;
  }
  return 0;
}

}  // namespace ntbox
