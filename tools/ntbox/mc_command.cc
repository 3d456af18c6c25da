// ntbox mc FILE.mc -o FILE.dll [-H FILE.h | -h DIR]: builds a message library (a resource-only
// DLL with RT_MESSAGETABLE resources) and optionally its C header.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/emulated/message_compiler.h"
#include "tools/ntbox/commands.h"
#include "tools/ntbox/source_file.h"

namespace ntbox {
namespace {

// The header named after the source: DIR/name.h for name.mc.
std::string HeaderInDirectory(const std::string& dir, const std::string& source) {
  std::string base = source.substr(source.find_last_of('/') + 1);
  if (const size_t dot = base.rfind('.'); dot != std::string::npos) base.resize(dot);
  return (dir.empty() ? std::string(".") : dir) + "/" + base + ".h";
}

int Usage() {
  std::fputs("usage: ntbox mc FILE.mc -o FILE.dll [-H FILE.h | -h DIR]\n", stderr);
  return 2;
}

}  // namespace

int RunMc(const Args& args) {
  std::string source, output, header, header_dir;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-o" || a == "-H" || a == "-h") {
      if (i + 1 >= args.size()) return Usage();
      const std::string& value = args[++i];
      if (a == "-o") {
        output = value;
      } else if (a == "-H") {
        header = value;
      } else {
        header_dir = value;
      }
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "ntbox: mc: unknown option '%s'\n", a.c_str());
      return Usage();
    } else if (source.empty()) {
      source = a;
    } else {
      return Usage();
    }
  }
  if (source.empty() || output.empty()) return Usage();
  if (!header_dir.empty()) header = HeaderInDirectory(header_dir, source);

  std::string bytes;
  if (!ReadFile(source, &bytes)) {
    std::fprintf(stderr, "ntbox: %s: cannot read the file\n", source.c_str());
    return 1;
  }
  platform::emulated::McDocument document;
  platform::emulated::McError error;
  if (!platform::emulated::CompileMessageText(bytes, &document, &error)) {
    std::fprintf(stderr, "ntbox: %s:%d: %s\n", source.c_str(), error.line, error.message.c_str());
    return 1;
  }
  const std::vector<uint8_t> dll = platform::emulated::BuildMessageDll(document);
  if (!WriteFile(output, dll.data(), dll.size())) {
    std::fprintf(stderr, "ntbox: %s: cannot write the file\n", output.c_str());
    return 1;
  }
  if (!header.empty() && !WriteFile(header, document.header.data(), document.header.size())) {
    std::fprintf(stderr, "ntbox: %s: cannot write the file\n", header.c_str());
    return 1;
  }
  return 0;
}

}  // namespace ntbox
