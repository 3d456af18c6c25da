#!/bin/sh
# Builds the message DLLs of this directory with the mingw-w64 tools, an independent producer
# of message tables and PE files. Run once; the outputs are checked in so that the unit tests do
# not need mingw-w64. Needs binutils-mingw-w64-x86-64 and gcc-mingw-w64-x86-64.
set -eu
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build() {  # build OUTPUT.dll WINDMC-OPTIONS...
  out=$1
  shift
  x86_64-w64-mingw32-windmc "$@" -h "$work" -r "$work" messages.mc
  x86_64-w64-mingw32-windres -i "$work/messages.rc" -o "$work/messages.o"
  x86_64-w64-mingw32-gcc -shared -nostdlib -Wl,-e,0 -s -o "$out" "$work/messages.o"
}
# Unicode message table (entries flagged 0x0001).
build mingw_messages.dll -U
# ANSI message table (entries flagged 0x0000).
build mingw_messages_ansi.dll -A
