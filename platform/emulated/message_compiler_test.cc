#include "platform/emulated/message_compiler.h"

#include <gtest/gtest.h>

#include "platform/emulated/pe_message_table.h"

namespace platform::emulated {
namespace {

McDocument Compile(std::string_view source) {
  McDocument doc;
  McError error;
  EXPECT_TRUE(CompileMessageText(source, &doc, &error)) << error.line << ": " << error.message;
  return doc;
}

McError CompileError(std::string_view source) {
  McDocument doc;
  McError error;
  EXPECT_FALSE(CompileMessageText(source, &doc, &error));
  return error;
}

std::vector<uint32_t> Ids(const McDocument& doc) {
  std::vector<uint32_t> ids;
  for (const McMessage& m : doc.messages) ids.push_back(m.id);
  return ids;
}

TEST(MessageCompilerTest, MessageIds) {
  const McDocument doc = Compile(
      "FacilityNames=(Io=0x4:FACILITY_IO Rt=0x2)\n"
      "MessageId=\nLanguage=English\na\n.\n"         // 1
      "MessageId=0x10 Severity=Error Facility=Io\n"  // 0xC0040010
      "Language=English\nb\n.\n"
      "MessageId=\nLanguage=English\nc\n.\n"                   // Error, Io carry over: 0xC0040011
      "messageid = +5\nfacility=Rt\nLANGUAGE=english\nd\n.\n"  // last Rt code 0, +5
      "MessageId=\nFacility=Io\nSeverity=Warning\nLanguage=English\ne\n.\n"  // Io: 0x12
      "MessageId=7\nSeverity=Informational\nFacility=Application\nLanguage=English\nf\n.\n");
  EXPECT_EQ(Ids(doc), (std::vector<uint32_t>{0x1, 0xc0040010, 0xc0040011, 0xc0020005, 0x80040012,
                                             0x4fff0007}));
}

TEST(MessageCompilerTest, TextsAndEncodings) {
  const std::string source =
      "LanguageNames=(German=0x407:MSG00407)\r\n"
      "MessageId=1\r\nSymbolicName=MSG_ONE\r\nLanguage=English\r\n"
      "First line %1\r\n..not the end\r\n\r\n. \r\n"
      "Language=German\r\nEinzeilig \xc3\xbc\r\n.\r\n"
      "MessageId=2\nLanguage=English\n.\n";
  const McDocument doc = Compile(source);
  ASSERT_EQ(doc.messages.size(), 2u);
  EXPECT_EQ(doc.messages[0].texts.at(0x409), u"First line %1\r\n..not the end\r\n\r\n");
  EXPECT_EQ(doc.messages[0].texts.at(0x407), u"Einzeilig \u00fc\r\n");
  EXPECT_EQ(doc.messages[0].symbolic_name, "MSG_ONE");
  EXPECT_EQ(doc.messages[1].texts.at(0x409), u"");

  // The same file as UTF-16LE with BOM, and with LF line ends, gives the same texts.
  std::u16string wide = u"\ufeff";
  for (char16_t c :
       u"LanguageNames=(German=0x407:MSG00407)\nMessageId=1\nLanguage=German\n"
       u"Einzeilig \u00fc\n.\n") {
    if (c != 0) wide += c;
  }
  std::string utf16le;
  for (char16_t c : wide) {
    utf16le += static_cast<char>(c & 0xff);
    utf16le += static_cast<char>(c >> 8);
  }
  EXPECT_EQ(Compile(utf16le).messages.at(0).texts.at(0x407), u"Einzeilig \u00fc\r\n");
  EXPECT_EQ(
      Compile("\xef\xbb\xbfMessageId=1\nLanguage=English\nx\n.\n").messages.at(0).texts.at(0x409),
      u"x\r\n");
}

TEST(MessageCompilerTest, Header) {
  const McDocument doc = Compile(
      ";// generated\n"
      "MessageIdTypedef=DWORD\n"
      "SeverityNames=(Error=0x3:STATUS_SEVERITY_ERROR)\n"
      "MessageId=0x100 Severity=Error SymbolicName=MSG_FAILED\nLanguage=English\nIt failed.\n.\n"
      "OutputBase=10\nMessageIdTypedef=WORD\n"
      "MessageId=3 Severity=Success SymbolicName=CAT_THREE\nLanguage=English\nThree\n.\n");
  EXPECT_NE(doc.header.find("// generated\n"), std::string::npos);
  EXPECT_NE(doc.header.find("#define STATUS_SEVERITY_ERROR 0x3\n"), std::string::npos);
  EXPECT_NE(doc.header.find("// It failed.\n"), std::string::npos);
  EXPECT_NE(doc.header.find("#define MSG_FAILED ((DWORD)0xC0000100L)\n"), std::string::npos);
  EXPECT_NE(doc.header.find("#define CAT_THREE ((WORD)3L)\n"), std::string::npos);
}

TEST(MessageCompilerTest, ErrorsNameTheLine) {
  struct Case {
    const char* source;
    int line;
    const char* message_part;
  };
  const Case cases[] = {
      {"MessageId=1\nLanguage=Klingon\nx\n.\n", 2, "unknown language"},
      {"MessageId=1\nLanguage=English\nnever ended\n", 2, "single '.'"},
      {"MessageId=1\nLanguage=English\na\n.\nMessageId=1\nLanguage=English\nb\n.\n", 6,
       "duplicate"},
      {"\n\nBogus=3\n", 3, "unknown keyword"},
      {"MessageId=1\nLanguage=English\na\n.\nSeverity=Error\nLanguage=English\n", 5,
       "before Language"},
      {"MessageId=1\nSymbolicName=X\nMessageId=2\nLanguage=English\nb\n.\n", 1, "without text"},
      {"MessageId=1\nSeverity=Fatal\n", 2, "unknown severity"},
      {"SeverityNames=(Bad=0x4)\n", 1, "out of range"},
      {"MessageId=0x10000\nLanguage=English\nx\n.\n", 2, "out of range"},
      {"MessageId=1\nLanguage=English\nx\n.\nLanguage=English\ny\n.\n", 5, "twice"},
      {"MessageId 1\n", 1, "expected '='"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const McError error = CompileError(c.source);
    EXPECT_EQ(error.line, c.line);
    EXPECT_NE(error.message.find(c.message_part), std::string::npos) << error.message;
  }
  EXPECT_EQ(CompileError("\xff\xfe\x41").line, 1);  // odd-sized UTF-16
}

// A message table entry states its length in 16 bits: 4 header bytes and the UTF-16 text with
// its NUL, padded to 4. The longest text that fits has 32,763 characters; a longer one would
// wrap the length and make a table that reads back wrong, so it is refused.
TEST(MessageCompilerTest, ATextTooLongForATableEntryIsRefused) {
  auto source = [](size_t chars) {  // one line of x and its CR LF
    return "MessageId=1\nLanguage=English\n" + std::string(chars - 2, 'x') + "\n.\n";
  };
  const McDocument doc = Compile(source(32763));
  ASSERT_EQ(doc.messages.size(), 1u);
  const std::vector<uint8_t> dll = BuildMessageDll(doc);
  PeMessageTable table;
  ASSERT_EQ(PeMessageTable::Parse(dll, &table), kSuccess);
  MessageText text;
  ASSERT_EQ(table.Find(1, 0x409, &text), kSuccess);
  EXPECT_EQ(text.text, doc.messages[0].texts.at(0x409));

  const McError error = CompileError(source(32764));
  EXPECT_EQ(error.line, 2);
  EXPECT_NE(error.message.find("32763"), std::string::npos) << error.message;
}

TEST(MessageCompilerTest, MessageTableBlocks) {
  const std::map<uint32_t, std::u16string> messages = {
      {1, u"one"}, {2, u"two!"}, {3, u""}, {10, u"ten"}, {11, u"eleven"}, {0xc0000001, u"error"}};
  const std::vector<uint8_t> data = BuildMessageTableResource(messages);
  ASSERT_GE(data.size(), 4u);
  EXPECT_EQ(data[0], 3);  // blocks 1-3, 10-11, 0xC0000001
  for (const auto& [id, text] : messages) {
    std::u16string found;
    ASSERT_EQ(FindInMessageData(data, id, &found), kSuccess) << id;
    EXPECT_EQ(found, text);
  }
  std::u16string found;
  EXPECT_EQ(FindInMessageData(data, 4, &found), kErrorMrMidNotFound);
  // Entries are Unicode and padded to 4 bytes: "one" + NUL is 8 bytes, the entry 12.
  const uint32_t first_entry = data[12] | data[13] << 8;
  EXPECT_EQ(data[first_entry], 12);
  EXPECT_EQ(data[first_entry + 2], 1);
  EXPECT_EQ(data.size() % 4, 0u);
}

}  // namespace
}  // namespace platform::emulated
