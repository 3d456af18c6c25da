#include "service/base/event_message.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/code_page.h"
#include "service/base/render_fixture.h"
#include "tests/support/test_platform.h"

namespace sentrel {
namespace {

using platform::EventRecordFields;
using rendertest::Record;

constexpr char kMessages[] = R"(MessageId=7036
Language=English
The %1 service entered the %2 state.
.
MessageId=3
Language=English
Needs three: %1, %2 and %3.
.
MessageId=10
Language=English
Value %1 end
.
MessageId=11
Language=English
Tail %1%0
.
MessageId=12
Language=English
[%1|%2|%99|%100]%0
.
MessageId=7
Severity=Error
Language=English
Full identifier %1.
.
)";

constexpr char kOnlyOne[] = R"(MessageId=1
Language=English
Something else.
.
)";

constexpr char kParameters[] = R"(MessageId=5000
Language=English
Param text
.
MessageId=5001
Language=English
Other
.
)";

std::string Utf8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }

class EventMessageTest : public ::testing::Test {
 protected:
  EventMessageTest() {
    rendertest::InstallMessageDll(platform(), u"C:\\WINNT\\system32\\msgs.dll", kMessages);
    rendertest::InstallMessageDll(platform(), u"C:\\WINNT\\system32\\one.dll", kOnlyOne);
    rendertest::InstallMessageDll(platform(), u"C:\\WINNT\\system32\\params.dll", kParameters);
    rendertest::RegisterSource(platform(), u"System", u"Test Source",
                               u"%SystemRoot%\\system32\\msgs.dll",
                               u"%SystemRoot%\\system32\\params.dll");
  }

  platform::emulated::EmulatedPlatform& platform() { return computer_.platform(); }

  std::string Render(uint32_t id, std::vector<std::u16string> strings,
                     std::u16string source = u"Test Source", size_t size = 50001) {
    EventRecordFields f;
    f.event_id = id;
    f.source = std::move(source);
    f.computer = u"SRV1";
    f.strings = std::move(strings);
    Record record(f);
    return Utf8(ReadEventMessage(platform(), record.view(), u"System", size));
  }

  testsupport::TempComputer computer_;
  ModuleCache modules_{computer_.platform().message_library()};
};

TEST_F(EventMessageTest, TemplateFromTheSourcesLibraryWithoutTrailingSpace) {
  EXPECT_EQ(Render(7036, {u"Alerter", u"stopped"}),
            "The Alerter service entered the stopped state.");
  // The full 32 bits select the message.
  EXPECT_EQ(Render(0xC0000007, {u"x"}), "Full identifier x.");
}

TEST_F(EventMessageTest, MissingInsertKeepsItsReference) {
  EXPECT_EQ(Render(3, {u"a", u"b"}), "Needs three: a, b and %3.");
  EXPECT_EQ(Render(3, {}), "Needs three: %1, %2 and %3.");
}

TEST_F(EventMessageTest, OnlyTheFirstHundredStringsReachTheTemplate) {
  std::vector<std::u16string> strings;
  for (int i = 1; i <= 120; ++i)
    strings.push_back(platform::Utf8ToUtf16("<" + std::to_string(i) + ">"));
  // %100 is insert 10 followed by "0": the template cannot name more than 99.
  EXPECT_EQ(Render(12, strings), "[<1>|<2>|<99>|<10>0");
  // Without a library the fallback lists all 120.
  const std::string fallback = Render(12, strings, u"Unknown Source");
  EXPECT_NE(fallback.find(" <99> <100> <101>"), std::string::npos);
  EXPECT_TRUE(fallback.ends_with(" <119> <120>"));
}

TEST_F(EventMessageTest, ModulesAreTriedInOrder) {
  rendertest::RegisterSource(platform(), u"System", u"Two Modules",
                             u"%SystemRoot%\\system32\\one.dll;%SystemRoot%\\system32\\msgs.dll;");
  EXPECT_EQ(Render(7036, {u"A", u"B"}, u"Two Modules"), "The A service entered the B state.");
  // The first module has the id: it wins.
  EXPECT_EQ(Render(1, {}, u"Two Modules"), "Something else.");
  rendertest::RegisterSource(platform(), u"System", u"Missing First",
                             u"C:\\nowhere\\none.dll;;%SystemRoot%\\system32\\msgs.dll");
  EXPECT_EQ(Render(7036, {u"A", u"B"}, u"Missing First"), "The A service entered the B state.");
}

TEST_F(EventMessageTest, FallbackDescription) {
  EXPECT_EQ(Render(7036, {u"Alerter", u"stopped"}, u"No Such Source"),
            "The description for Event ID ( 7036 ) in Source ( No Such Source ) could not be "
            "found. It contains the following insertion string(s): Alerter stopped");
  // Unknown id, low 16 bits shown, no strings: the sentence ends in the colon.
  EXPECT_EQ(Render(0x40010002, {}),
            "The description for Event ID ( 2 ) in Source ( Test Source ) could not be found. It "
            "contains the following insertion string(s):");
  // A key without EventMessageFile.
  rendertest::RegisterSource(platform(), u"System", u"No Value", u"");
  EXPECT_EQ(Render(7036, {u"A"}, u"No Value").substr(0, 38),
            "The description for Event ID ( 7036 ) ");
  // The buffer bound: size counts the terminator.
  const std::string cut = Render(7036, {u"Alerter", u"stopped"}, u"No Such Source", 30);
  EXPECT_EQ(cut, "The description for Event ID ");
}

TEST_F(EventMessageTest, TooLongTextFromTheLibraryFallsBack) {
  // 16 characters plus the terminator do not fit 16: the module fails like FormatMessageW with
  // a small buffer, and the fallback fills what fits.
  EXPECT_EQ(Render(10, {u"12345"}, u"Test Source", 16), "The description");
  EXPECT_EQ(Render(10, {u"12345"}, u"Test Source", 17), "Value 12345 end");
}

TEST_F(EventMessageTest, LibraryListsAreExpanded) {
  EXPECT_EQ(Utf8(ReadMsgLib(platform(), u"Test Source", u"System")),
            "C:\\WINNT\\system32\\msgs.dll");
  EXPECT_EQ(Utf8(ReadParamLib(platform(), u"test source", u"SYSTEM")),
            "C:\\WINNT\\system32\\params.dll");
  EXPECT_EQ(ReadMsgLib(platform(), u"Nobody", u"System"), u"");
  // A value that does not fit 1024 bytes counts as missing.
  rendertest::RegisterSource(platform(), u"System", u"Long", std::u16string(600, u'a'));
  EXPECT_EQ(ReadMsgLib(platform(), u"Long", u"System"), u"");
  rendertest::RegisterSource(platform(), u"System", u"Fits", std::u16string(511, u'a'));
  EXPECT_EQ(ReadMsgLib(platform(), u"Fits", u"System").size(), 511u);
  // An expansion that needs more than 1024 characters fails.
  std::unique_ptr<platform::RegKey> hklm, env;
  ASSERT_EQ(platform().registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm), 0u);
  ASSERT_EQ(hklm->CreateKey(platform::emulated::kEnvironmentKey, &env), 0u);
  EXPECT_EQ(0u, platform::SetString(*env, u"LONGVAR", std::u16string(1000, u'b')));
  rendertest::RegisterSource(platform(), u"System", u"Grows",
                             u"%LONGVAR%" + std::u16string(23, u'c'));
  EXPECT_EQ(ReadMsgLib(platform(), u"Grows", u"System").size(), 1023u);
  rendertest::RegisterSource(platform(), u"System", u"Grows",
                             u"%LONGVAR%" + std::u16string(24, u'c'));
  EXPECT_EQ(ReadMsgLib(platform(), u"Grows", u"System"), u"");
}

TEST_F(EventMessageTest, ParameterTextFromTheFirstLibraryThatHasIt) {
  const auto list = u"C:\\WINNT\\system32\\msgs.dll;C:\\WINNT\\system32\\params.dll";
  const auto text = LoadParameterText(modules_, list, 5000, kLanguageUserDefault);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text, u"Param text\r\n");
  EXPECT_FALSE(LoadParameterText(modules_, list, 4999, kLanguageUserDefault).has_value());
  EXPECT_FALSE(LoadParameterText(modules_, u"", 5000, kLanguageUserDefault).has_value());
}

TEST_F(EventMessageTest, ParameterReferences) {
  // The reference in an insertion string takes the parameter's text without its last character,
  // and the space after the number goes with it.
  EXPECT_EQ(Render(10, {u"%%5000"}), "Value Param text\rend");
  // A reference that ends the text ends the scan.
  EXPECT_EQ(Render(11, {u"%%5001"}), "Tail Other");
  // An unresolved reference next to a resolved one stays as written.
  EXPECT_EQ(Render(10, {u"%%5000 and %%77 x"}), "Value Param text\rand %%77 x end");
  // With nothing resolved the text is untouched.
  EXPECT_EQ(Render(10, {u"100%% %%77"}), "Value 100%% %%77 end");
}

TEST_F(EventMessageTest, ExpandParameterStringsCutsToTheBuffer) {
  Record record([] {
    EventRecordFields f;
    f.source = u"Test Source";
    f.computer = u"SRV1";
    return f;
  }());
  std::u16string text = u"ab%%5000";
  ExpandParameterStrings(platform(), modules_, record.view(), u"System", &text, 50001);
  EXPECT_EQ(text, u"abParam text\r");
  text = u"ab%%5000 cd";
  ExpandParameterStrings(platform(), modules_, record.view(), u"System", &text, 6);
  EXPECT_EQ(text, u"abPar");
  text = u"%%";  // number 0, which no library has
  ExpandParameterStrings(platform(), modules_, record.view(), u"System", &text, 50001);
  EXPECT_EQ(text, u"%%");
}

TEST_F(EventMessageTest, MingwBuiltLibrary) {
  const std::filesystem::path dll =
      std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() /
      "platform/emulated/testdata/mingw_messages.dll";
  if (!std::filesystem::exists(dll)) GTEST_SKIP() << "no " << dll;
  std::ifstream in(dll, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  rendertest::InstallFile(platform(), u"C:\\WINNT\\system32\\mingw.dll", bytes);
  rendertest::RegisterSource(platform(), u"System", u"Mingw", u"%SystemRoot%\\system32\\mingw.dll");
  // Informational, facility 0x101, code 7036.
  EXPECT_EQ(Render(0x41011B7C, {u"Alerter", u"stopped"}, u"Mingw"),
            "The Alerter service entered the stopped state.");
  // Two template lines become one, joined by a space; the escaped %% stays a %.
  EXPECT_EQ(Render(0xC1011B7D, {u"data"}, u"Mingw"),
            "First line with data. Second line, 100% sure.");
  // Its lines end in a lone LF (windmc kept the LF of its source); a parameter text read from it
  // ends in CR LF all the same, as from any other table.
  const auto text = LoadParameterText(modules_, u"C:\\WINNT\\system32\\mingw.dll", 1, 0x407);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text, u"Allgemein\r\n");
}

}  // namespace
}  // namespace sentrel
