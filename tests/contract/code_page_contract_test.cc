// CodePage: conversion between UTF-16 and the ANSI code page. The run is started for one code
// page (1252, or 932 with a Japanese locale) and checks that one.

#include <gtest/gtest.h>

#include <string>

#include "platform/code_page.h"
#include "tests/contract/contract_target.h"

namespace contract {
namespace {

TEST(CodePageContract, TheRunsCodePage) {
  EXPECT_EQ(GetPlatform().code_page().AnsiCodePage(), GetTarget().ExpectedAnsiCodePage());
}

TEST(CodePageContract, Windows1252) {
  if (GetTarget().ExpectedAnsiCodePage() != 1252) GTEST_SKIP() << "a run for another code page";
  platform::CodePage& cp = GetPlatform().code_page();
  EXPECT_EQ(cp.WideToAnsi(u"caf\u00e9 \u20ac \u0178"), "caf\xe9 \x80 \x9f");
  EXPECT_EQ(cp.AnsiToWide("caf\xe9 \x80 \x9f"), u"caf\u00e9 \u20ac \u0178");
  // A character the code page lacks is '?', never a look-alike ("best fit" would give 'O', 'a').
  EXPECT_EQ(cp.WideToAnsi(u"a\u03a9b\u0101\u65e5"), "a?b??");
  EXPECT_EQ(cp.WideToAnsi(u""), "");
  EXPECT_EQ(cp.AnsiToWide(""), u"");
}

TEST(CodePageContract, Japanese932) {
  if (GetTarget().ExpectedAnsiCodePage() != 932) GTEST_SKIP() << "a run for another code page";
  platform::CodePage& cp = GetPlatform().code_page();
  // Kanji (two bytes), half-width katakana (one byte), ASCII.
  EXPECT_EQ(cp.WideToAnsi(u"\u65e5\u672c\u8a9e \uff71 A"), "\x93\xfa\x96\x7b\x8c\xea \xb1 A");
  EXPECT_EQ(cp.AnsiToWide("\x93\xfa\x96\x7b\x8c\xea \xb1 A"), u"\u65e5\u672c\u8a9e \uff71 A");
  // Characters outside the code page are '?': one per character, not per byte.
  EXPECT_EQ(cp.WideToAnsi(u"\u00e9\u20ac\u0101x"), "???x");
}

}  // namespace
}  // namespace contract
