#include "platform/emulated/format_message.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/message_library.h"

namespace platform::emulated {
namespace {

uintptr_t Str(const char16_t* s) { return reinterpret_cast<uintptr_t>(s); }

// Formats with the given flags; the result code goes to *result when asked for.
std::u16string Fmt(std::u16string_view pattern, std::vector<uintptr_t> args = {},
                   uint32_t flags = 0, Result* result = nullptr) {
  std::u16string out = u"<untouched>";
  const Result r = FormatMessageTemplate(pattern, flags, args.data(), args.size(), &out);
  if (result != nullptr) *result = r;
  return r == kSuccess ? out : u"<error>";
}

Result FmtError(std::u16string_view pattern, std::vector<uintptr_t> args = {}, uint32_t flags = 0) {
  Result r;
  Fmt(pattern, std::move(args), flags, &r);
  return r;
}

TEST(FormatMessageTest, Escapes) {
  EXPECT_EQ(Fmt(u"a%%b%.c%!d% e%tf%rg%nh"), u"a%b.c!d e\tf\rg\r\nh");
  EXPECT_EQ(Fmt(u"unknown %x and %q"), u"unknown x and q");
  EXPECT_EQ(Fmt(u"stop here%0 not this%1"), u"stop here");
  EXPECT_EQ(Fmt(u"Line\r\n%0"), u"Line\r\n");
  // The template ends at an embedded NUL as the C string would.
  EXPECT_EQ(Fmt(std::u16string_view(u"abc\0def", 7)), u"abc");
}

TEST(FormatMessageTest, InsertsAndPrintfForms) {
  const char16_t* alerter = u"Alerter";
  const char16_t* stopped = u"stopped";
  EXPECT_EQ(Fmt(u"The %1 service entered the %2 state.", {Str(alerter), Str(stopped)}),
            u"The Alerter service entered the stopped state.");
  EXPECT_EQ(Fmt(u"%2 %1!s! %2", {Str(alerter), Str(stopped)}), u"stopped Alerter stopped");
  EXPECT_EQ(Fmt(u"[%1!5d!][%1!-5d!][%1!05d!][%2!x!][%2!X!][%2!o!][%2!#x!]", {42, 255}),
            u"[   42][42   ][00042][ff][FF][377][0xff]");
  EXPECT_EQ(Fmt(u"[%1!d!][%1!u!][%1!i!]", {static_cast<uintptr_t>(-5)}), u"[-5][4294967291][-5]");
  EXPECT_EQ(Fmt(u"[%1!I64u!][%1!lu!]", {uintptr_t{0x100000001}}), u"[4294967297][1]");
  EXPECT_EQ(Fmt(u"[%1!-8s!][%1!8s!][%1!5.2s!][%1!.3s!]", {Str(alerter)}),
            u"[Alerter ][ Alerter][   Al][Ale]");
  EXPECT_EQ(Fmt(u"[%1!c!][%2!C!][%2!3c!]", {u'\u00e9', 0x80}), u"[\u00e9][\u20ac][  \u0080]");
  // S and hs read narrow strings in code page 1252.
  const char narrow[] = "caf\xe9 \x80";
  EXPECT_EQ(Fmt(u"%1!S!|%1!hs!|%2!ls!", {reinterpret_cast<uintptr_t>(narrow), Str(stopped)}),
            u"caf\u00e9 \u20ac|caf\u00e9 \u20ac|stopped");
  // Two digits at most: %100 is insert 10 followed by "0".
  std::vector<uintptr_t> ten(10, Str(u"x"));
  ten[9] = Str(u"tenth");
  EXPECT_EQ(Fmt(u"%100", ten), u"tenth0");
  // A null entry prints "(null)", as Windows does for an empty slot of the insertion table.
  EXPECT_EQ(Fmt(u"%1 and %2", {Str(alerter), 0}), u"Alerter and (null)");
  // Inserted text is never scanned again, and keeps its raw line breaks under a width.
  EXPECT_EQ(Fmt(u"<%1>", {Str(u"%%5 %1 %n\r\n\t")}, kFormatMessageMaxWidthMask),
            u"<%%5 %1 %n\r\n\t>");
  // IGNORE_INSERTS leaves the inserts as written, printf forms included.
  EXPECT_EQ(Fmt(u"%1 and %2!5d! %%", {}, kFormatMessageIgnoreInserts), u"%1 and %2!5d! %");
}

TEST(FormatMessageTest, WidthMask) {
  const std::u16string_view two_lines = u"Line one\r\nline two\r\n";
  // Width 0: every literal line break comes out as CR LF, whether the table stored CR LF, a lone
  // LF (a message compiler that kept LF line ends) or a lone CR; %r stays a bare CR.
  EXPECT_EQ(Fmt(two_lines), two_lines);
  EXPECT_EQ(Fmt(u"hi\n"), u"hi\r\n");
  EXPECT_EQ(Fmt(u"\r"), u"\r\n");
  EXPECT_EQ(Fmt(u"a\n\rb\r\r\nc%rd"), u"a\r\n\r\nb\r\n\r\nc\rd");
  EXPECT_EQ(Fmt(u"<%1>", {Str(u"x\ny")}), u"<x\ny>");  // inserts are not line-broken
  // Width 255: every literal line break becomes one space, the final one included.
  EXPECT_EQ(Fmt(two_lines, {}, kFormatMessageMaxWidthMask), u"Line one line two ");
  EXPECT_EQ(Fmt(u"lf\nonly\rcr\n\r", {}, kFormatMessageMaxWidthMask), u"lf only cr  ");
  // Hard breaks stay.
  EXPECT_EQ(Fmt(u"a%nb%rc\r\n", {}, kFormatMessageMaxWidthMask), u"a\r\nb\rc ");
  // Other widths wrap at the last space before the width, or hard when a word is too long.
  EXPECT_EQ(Fmt(u"aaa bbb ccc ddd\r\n", {}, 8), u"aaa bbb\r\nccc ddd ");
  EXPECT_EQ(Fmt(u"abcdefghij", {}, 4), u"abcd\r\nefgh\r\nij");
  EXPECT_EQ(Fmt(u"ab%ncd efg", {}, 4), u"ab\r\ncd\r\nefg");
}

TEST(FormatMessageTest, MalformedTemplatesAndMissingArguments) {
  EXPECT_EQ(FmtError(u"lone percent at the end %"), kErrorInvalidParameter);
  EXPECT_EQ(FmtError(u"%1!s", {Str(u"x")}), kErrorInvalidParameter);
  EXPECT_EQ(FmtError(u"%1!q!", {Str(u"x")}), kErrorInvalidParameter);
  EXPECT_EQ(FmtError(u"%1!*s!", {Str(u"x")}), kErrorInvalidParameter);
  EXPECT_EQ(FmtError(u"%1!99999d!", {1}), kErrorInvalidParameter);
  // A template reaching past the argument array fails instead of reading beyond it.
  EXPECT_EQ(FmtError(u"%1 %2 %3", {Str(u"a"), Str(u"b")}), kErrorInvalidParameter);
  EXPECT_EQ(FmtError(u"%1"), kErrorInvalidParameter);
  EXPECT_EQ(FmtError(u"%99", std::vector<uintptr_t>(98, Str(u"a"))), kErrorInvalidParameter);
  EXPECT_EQ(FormatMessageTemplate(u"%1", 0, nullptr, 5, nullptr), kErrorInvalidParameter);
  // Nothing malformed once the inserts are ignored, except a lone '%' at the end.
  EXPECT_EQ(FmtError(u"%7 %8!d!", {}, kFormatMessageIgnoreInserts), kSuccess);
  EXPECT_EQ(FmtError(u"%7 %", {}, kFormatMessageIgnoreInserts), kErrorInvalidParameter);
}

TEST(FormatMessageTest, BufferSize) {
  // The text and its terminator must fit.
  EXPECT_EQ(CheckFormatBufferSize(0, 11, 10), kSuccess);
  EXPECT_EQ(CheckFormatBufferSize(0, 10, 10), kErrorInsufficientBuffer);
  EXPECT_EQ(CheckFormatBufferSize(0, 0, 0), kErrorInsufficientBuffer);
  EXPECT_EQ(CheckFormatBufferSize(kFormatMessageMaxWidthMask, 50001, 50000), kSuccess);
  // With ALLOCATE_BUFFER the size is a minimum, not a limit.
  EXPECT_EQ(CheckFormatBufferSize(kFormatMessageAllocateBuffer, 1024, 5000), kSuccess);
  EXPECT_EQ(CheckFormatBufferSize(kFormatMessageAllocateBuffer, 0, 0), kSuccess);
}

}  // namespace
}  // namespace platform::emulated
