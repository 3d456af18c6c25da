#include "platform/emulated/message_library.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/code_page.h"
#include "platform/emulated/message_compiler.h"

namespace platform::emulated {
namespace {

constexpr uint32_t kServiceFlags =
    kFormatMessageFromHmodule | kFormatMessageArgumentArray | kFormatMessageMaxWidthMask;

const char kSource[] =
    "LanguageNames=(German=0x407:MSG00407)\n"
    "MessageId=7036\nLanguage=English\nThe %1 service entered the %2 state.\n.\n"
    "Language=German\nDer Dienst %1 hat den Status %2 erreicht.\n.\n"
    "MessageId=7037\nLanguage=English\nFirst %1.\nSecond %2%n%3!04d!\n.\n"
    "MessageId=9\nLanguage=English\nPrinter%0\n.\n";

// A computer whose C:\WINDOWS\system32 is a temporary host directory.
class MessageLibraryTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "msglib.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    McDocument doc;
    McError error;
    ASSERT_TRUE(CompileMessageText(kSource, &doc, &error)) << error.message;
    const std::vector<uint8_t> dll = BuildMessageDll(doc);
    Write("app.dll", std::string(dll.begin(), dll.end()));
    const std::vector<uint8_t> empty = BuildMessageDll(McDocument{});
    Write("nomessages.dll", std::string(empty.begin(), empty.end()));
    Write("notes.txt", "MZ and some text, no PE image");
    Write("empty.dll", "");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }

  EmulatedMessageLibrary library_{[this](std::u16string_view path) -> std::string {
    const std::u16string_view prefix = u"C:\\WINDOWS\\system32\\";
    if (!path.starts_with(prefix)) return {};
    return (dir_ / Utf16ToUtf8(path.substr(prefix.size()))).string();
  }};
  std::filesystem::path dir_;
};

TEST_F(MessageLibraryTest, LoadResults) {
  std::unique_ptr<MessageModule> module;
  EXPECT_EQ(library_.Load(u"C:\\WINDOWS\\system32\\app.dll", kLoadLibraryAsDatafile, &module),
            kSuccess);
  EXPECT_NE(module, nullptr);
  EXPECT_EQ(library_.Load(u"C:\\WINDOWS\\system32\\missing.dll", 0, &module), kErrorModNotFound);
  EXPECT_EQ(module, nullptr);
  EXPECT_EQ(library_.Load(u"D:\\elsewhere.dll", 0, &module), kErrorModNotFound);
  // As a data file a missing module is a missing file (also on a drive the computer lacks).
  EXPECT_EQ(library_.Load(u"D:\\elsewhere.dll", kLoadLibraryAsDatafile, &module),
            kErrorFileNotFound);
  EXPECT_EQ(library_.Load(u"C:\\WINDOWS\\system32\\notes.txt", 0, &module), kErrorBadExeFormat);
  EXPECT_EQ(library_.Load(u"C:\\WINDOWS\\system32\\empty.dll", 0, &module), kErrorBadExeFormat);
  EXPECT_EQ(library_.Load(u"C:\\WINDOWS\\system32\\nomessages.dll", 0, &module), kSuccess);
  std::u16string text;
  EXPECT_EQ(library_.Format(kServiceFlags, module.get(), 7036, 1024, nullptr, 0, 100, &text),
            kErrorResourceTypeNotFound);
}

// A module stays loaded for a whole pass of the service while other processes may rewrite or cut
// its file: it keeps the messages it was loaded with (and must not fault on a shorter file).
TEST_F(MessageLibraryTest, ALoadedModuleKeepsItsMessagesWhenItsFileChanges) {
  std::unique_ptr<MessageModule> module;
  ASSERT_EQ(library_.Load(u"C:\\WINDOWS\\system32\\app.dll", kLoadLibraryAsDatafile, &module),
            kSuccess);
  const uintptr_t args[] = {reinterpret_cast<uintptr_t>(u"Alerter"),
                            reinterpret_cast<uintptr_t>(u"stopped")};
  Write("app.dll", "");
  std::u16string text;
  ASSERT_EQ(library_.Format(kServiceFlags, module.get(), 7036, 1024, args, 2, 1000, &text),
            kSuccess);
  EXPECT_EQ(Utf16ToUtf8(text), "The Alerter service entered the stopped state. ");
  std::unique_ptr<MessageModule> again;
  EXPECT_EQ(library_.Load(u"C:\\WINDOWS\\system32\\app.dll", kLoadLibraryAsDatafile, &again),
            kErrorBadExeFormat);
}

TEST_F(MessageLibraryTest, FormatsAsTheServiceCallsIt) {
  std::unique_ptr<MessageModule> module;
  ASSERT_EQ(library_.Load(u"C:\\WINDOWS\\system32\\app.dll",
                          kLoadLibraryAsDatafile | kDontResolveDllReferences, &module),
            kSuccess);
  // A 100-entry insertion table with two strings, the rest null.
  std::vector<uintptr_t> table(100, 0);
  const char16_t* alerter = u"Alerter";
  const char16_t* stopped = u"stopped";
  table[0] = reinterpret_cast<uintptr_t>(alerter);
  table[1] = reinterpret_cast<uintptr_t>(stopped);
  std::u16string text;
  ASSERT_EQ(library_.Format(kServiceFlags, module.get(), 7036, 1024, table.data(), table.size(),
                            50001, &text),
            kSuccess);
  EXPECT_EQ(text, u"The Alerter service entered the stopped state. ");
  ASSERT_EQ(library_.Format(kServiceFlags, module.get(), 7037, 0, table.data(), table.size(), 50001,
                            &text),
            kSuccess);
  EXPECT_EQ(text, u"First Alerter. Second stopped\r\n0000 ");
  ASSERT_EQ(library_.Format(kServiceFlags, module.get(), 9, 0x409, nullptr, 0, 50001, &text),
            kSuccess);
  EXPECT_EQ(text, u"Printer");
  ASSERT_EQ(library_.Format(kFormatMessageFromHmodule | kFormatMessageArgumentArray, module.get(),
                            7036, 0x407, table.data(), 2, 100, &text),
            kSuccess);
  EXPECT_EQ(text, u"Der Dienst Alerter hat den Status stopped erreicht.\r\n");

  // Errors leave the output empty.
  EXPECT_EQ(
      library_.Format(kServiceFlags, module.get(), 7035, 1024, table.data(), 100, 50001, &text),
      kErrorMrMidNotFound);
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(
      library_.Format(kServiceFlags, module.get(), 7036, 0x40c, table.data(), 100, 50001, &text),
      kErrorResourceLangNotFound);
  // The template asks for more inserts than the array has.
  EXPECT_EQ(library_.Format(kServiceFlags, module.get(), 7036, 1024, table.data(), 1, 50001, &text),
            kErrorInvalidParameter);
  // 47 characters and the terminator need 48.
  EXPECT_EQ(library_.Format(kServiceFlags, module.get(), 7036, 1024, table.data(), 2, 48, &text),
            kSuccess);
  EXPECT_EQ(library_.Format(kServiceFlags, module.get(), 7036, 1024, table.data(), 2, 47, &text),
            kErrorInsufficientBuffer);
  EXPECT_EQ(library_.Format(kServiceFlags | kFormatMessageAllocateBuffer, module.get(), 7036, 1024,
                            table.data(), 2, 1, &text),
            kSuccess);
  EXPECT_EQ(text.size(), 47u);
}

TEST_F(MessageLibraryTest, SystemMessageTable) {
  std::u16string text;
  ASSERT_EQ(library_.Format(kFormatMessageFromSystem, nullptr, 2, 0, nullptr, 0, 256, &text),
            kSuccess);
  EXPECT_EQ(text, u"The system cannot find the file specified.\r\n");
  ASSERT_EQ(library_.Format(kFormatMessageFromSystem | kFormatMessageMaxWidthMask, nullptr, 10061,
                            0x409, nullptr, 0, 256, &text),
            kSuccess);
  EXPECT_EQ(text, u"No connection could be made because the target machine actively refused it. ");
  EXPECT_EQ(library_.Format(kFormatMessageFromSystem, nullptr, 424242, 0, nullptr, 0, 256, &text),
            kErrorMrMidNotFound);
  EXPECT_EQ(library_.Format(kFormatMessageFromSystem, nullptr, 2, 0x407, nullptr, 0, 256, &text),
            kErrorResourceLangNotFound);
  // 193 has an insert: without arguments it needs IGNORE_INSERTS.
  EXPECT_EQ(library_.Format(kFormatMessageFromSystem, nullptr, 193, 0, nullptr, 0, 256, &text),
            kErrorInvalidParameter);
  ASSERT_EQ(library_.Format(kFormatMessageFromSystem | kFormatMessageIgnoreInserts, nullptr, 193, 0,
                            nullptr, 0, 256, &text),
            kSuccess);
  EXPECT_EQ(text, u"%1 is not a valid Win32 application.\r\n");
  for (uint32_t code :
       {0u,   3u,   5u,    6u,    8u,    13u,   38u,   53u,   87u,    122u,   126u,
        234u, 259u, 1056u, 1060u, 1062u, 1063u, 1332u, 1815u, 10060u, 11001u, 11004u}) {
    EXPECT_TRUE(SystemMessageText(code).ends_with(u".\r\n")) << code;
  }

  // A module that lacks the id falls back to the system table when both are asked for.
  std::unique_ptr<MessageModule> module;
  ASSERT_EQ(library_.Load(u"C:\\WINDOWS\\system32\\app.dll", 0, &module), kSuccess);
  ASSERT_EQ(library_.Format(kFormatMessageFromHmodule | kFormatMessageFromSystem, module.get(), 5,
                            0, nullptr, 0, 256, &text),
            kSuccess);
  EXPECT_EQ(text, u"Access is denied.\r\n");
  EXPECT_EQ(library_.Format(kFormatMessageFromHmodule, module.get(), 5, 0, nullptr, 0, 256, &text),
            kErrorMrMidNotFound);
  EXPECT_EQ(library_.Format(kFormatMessageFromString, nullptr, 5, 0, nullptr, 0, 256, &text),
            kErrorInvalidParameter);
}

}  // namespace
}  // namespace platform::emulated
