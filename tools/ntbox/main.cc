// ntbox: administers an emulated Windows computer (a directory, named by NTBOX_MACHINE).
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/ntbox/commands.h"

namespace {

void PrintUsage() {
  std::fputs(
      "usage: ntbox COMMAND [ARGS]\n"
      "  init [--name NAME] [--hostname HOST] [--version X.Y] [--acp N] [--tz ZONE] [DIR]\n"
      "  reg query|add|delete|export|import ...   (reg.exe syntax)\n"
      "  evt write|query|clear LOG ...\n"
      "  eventcreate /L LOG /T TYPE /SO SOURCE /ID N /D TEXT\n"
      "  mc FILE.mc -o FILE.dll\n"
      "  rc FILE.rc -o FILE.dll   (the VERSIONINFO resource)\n"
      "  sc [\\\\COMPUTER] query|start|stop|create|delete NAME ...   (sc.exe syntax)\n"
      "  boot   (starts every service whose Start is automatic)\n"
      "The computer is the directory named by NTBOX_MACHINE, else the default computer.\n",
      stderr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help")) {
    PrintUsage();
    return argc < 2 ? 2 : 0;
  }
  const std::string command = argv[1];
  const ntbox::Args args(argv + 2, argv + argc);
  if (command == "init") return ntbox::RunInit(args);
  if (command == "reg") return ntbox::RunReg(args);
  if (command == "evt") return ntbox::RunEvt(args);
  if (command == "eventcreate") return ntbox::RunEventCreate(args);
  if (command == "mc") return ntbox::RunMc(args);
  if (command == "rc") return ntbox::RunRc(args);
  if (command == "sc") return ntbox::RunSc(args);
  if (command == "boot") return ntbox::RunBoot(args);
  std::fprintf(stderr, "ntbox: unknown command '%s'\n", command.c_str());
  PrintUsage();
  return 2;
}
