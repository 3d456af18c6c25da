#include "platform/emulated/registry.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <thread>

#include "platform/emulated/emulated_platform.h"
#include "tests/support/child_process.h"
#include "tests/support/test_platform.h"

namespace platform::emulated {
namespace {

using testsupport::TempComputer;
using testsupport::TempDir;

std::unique_ptr<RegKey> Root(Platform& p, RegRoot root = RegRoot::kLocalMachine) {
  std::unique_ptr<RegKey> key;
  EXPECT_EQ(p.registry().OpenRoot(root, &key), kSuccess);
  return key;
}

std::unique_ptr<RegKey> Create(RegKey& parent, std::u16string_view path) {
  std::unique_ptr<RegKey> key;
  EXPECT_EQ(parent.CreateKey(path, &key), kSuccess);
  return key;
}

std::vector<std::string> Subkeys(RegKey& key) {
  std::vector<std::string> names;
  std::u16string name;
  for (uint32_t i = 0; key.EnumKey(i, 256, &name) == kSuccess; ++i) {
    names.push_back(Utf16ToUtf8(name));
  }
  return names;
}

std::vector<std::string> ValueNames(RegKey& key) {
  std::vector<std::string> names;
  std::u16string name;
  for (uint32_t i = 0; key.EnumValue(i, &name, nullptr, nullptr) == kSuccess; ++i) {
    names.push_back(Utf16ToUtf8(name));
  }
  return names;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(RegistryTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
  TempComputer computer;
  auto hklm = Root(computer.platform());
  auto app = Create(*hklm, u"Software\\Vendor\\MyApp");
  ASSERT_EQ(SetDword(*app, u"LogLevel", 1), kSuccess);

  std::unique_ptr<RegKey> again;
  ASSERT_EQ(hklm->OpenKey(u"SOFTWARE\\VENDOR\\myapp", RegAccess::kReadWrite, &again), kSuccess);
  bool created = true;
  std::unique_ptr<RegKey> same;
  ASSERT_EQ(hklm->CreateKey(u"software\\vendor\\MYAPP", &same, &created), kSuccess);
  EXPECT_FALSE(created);
  ASSERT_EQ(SetString(*again, u"LOGLEVEL", u"high"), kSuccess);

  std::unique_ptr<RegKey> vendor;
  ASSERT_EQ(hklm->OpenKey(u"software\\vendor", RegAccess::kRead, &vendor), kSuccess);
  EXPECT_EQ(Subkeys(*vendor), std::vector<std::string>{"MyApp"});
  EXPECT_EQ(ValueNames(*same), std::vector<std::string>{"LogLevel"});
  std::u16string text;
  ASSERT_EQ(QueryString(*same, u"loglevel", &text), kSuccess);
  EXPECT_EQ(text, u"high");
  uint32_t type = 0;
  ASSERT_EQ(same->QueryValue(u"LogLevel", &type, nullptr, nullptr), kSuccess);
  EXPECT_EQ(type, kRegSz);
}

TEST(RegistryTest, SubkeysSortByUpperCaseNameAndValuesKeepCreationOrder) {
  TempComputer computer;
  auto hklm = Root(computer.platform());
  auto parent = Create(*hklm, u"Software\\Order");
  // '_' sorts after the upper-case letters but before the lower-case ones.
  for (auto name : {u"zeta", u"_under", u"Beta", u"alpha", u"\u00E9mile"}) Create(*parent, name);
  EXPECT_EQ(Subkeys(*parent),
            (std::vector<std::string>{"alpha", "Beta", "zeta", "_under", "\xC3\xA9mile"}));
  std::u16string name;
  EXPECT_EQ(parent->EnumKey(0, 5, &name), kErrorMoreData);  // "alpha" needs 6 with terminator
  EXPECT_EQ(parent->EnumKey(0, 6, &name), kSuccess);
  EXPECT_EQ(parent->EnumKey(5, 256, &name), kErrorNoMoreItems);

  for (auto v : {u"z", u"a", u"m"}) ASSERT_EQ(SetDword(*parent, v, 1), kSuccess);
  ASSERT_EQ(SetDword(*parent, u"A", 2), kSuccess);  // rewriting keeps the place
  ASSERT_EQ(parent->DeleteValue(u"z"), kSuccess);
  ASSERT_EQ(SetDword(*parent, u"b", 3), kSuccess);
  EXPECT_EQ(ValueNames(*parent), (std::vector<std::string>{"a", "m", "b"}));
  uint32_t type = 0;
  std::vector<uint8_t> data;
  ASSERT_EQ(parent->EnumValue(0, &name, &type, &data), kSuccess);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(data, (std::vector<uint8_t>{2, 0, 0, 0}));
  EXPECT_EQ(parent->EnumValue(3, &name, &type, &data), kErrorNoMoreItems);
}

TEST(RegistryTest, WideAndNarrowViewsFollowTheBufferRules) {
  TempComputer computer;
  auto key = Create(*Root(computer.platform()), u"Software\\Sizes");
  ASSERT_EQ(SetString(*key, u"s", u"caf\u00E9"), kSuccess);

  uint32_t type = 0, size = 0;
  ASSERT_EQ(key->QueryValue(u"s", &type, nullptr, &size), kSuccess);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(type, kRegSz);
  char16_t wide[8] = {};
  size = 9;
  EXPECT_EQ(key->QueryValue(u"s", &type, wide, &size), kErrorMoreData);
  EXPECT_EQ(size, 10u);
  size = 10;
  ASSERT_EQ(key->QueryValue(u"s", &type, wide, &size), kSuccess);
  EXPECT_EQ(std::u16string(wide), u"caf\u00E9");

  // Code page 1252: one byte per character, the terminator counted.
  ASSERT_EQ(key->QueryValueAnsi(u"s", &type, nullptr, &size), kSuccess);
  EXPECT_EQ(size, 5u);
  char narrow[8] = {};
  size = 4;
  EXPECT_EQ(key->QueryValueAnsi(u"s", &type, narrow, &size), kErrorMoreData);
  EXPECT_EQ(size, 5u);
  ASSERT_EQ(key->QueryValueAnsi(u"s", &type, narrow, &size), kSuccess);
  EXPECT_EQ(std::string(narrow, 5), std::string("caf\xE9\0", 5));

  // A text stored without its terminator comes back as stored, in both views.
  ASSERT_EQ(key->SetValue(u"bare", kRegSz, u"abc", 6), kSuccess);
  ASSERT_EQ(key->QueryValue(u"bare", &type, nullptr, &size), kSuccess);
  EXPECT_EQ(size, 6u);
  ASSERT_EQ(key->QueryValueAnsi(u"bare", &type, nullptr, &size), kSuccess);
  EXPECT_EQ(size, 3u);
  std::u16string text;
  ASSERT_EQ(QueryString(*key, u"bare", &text), kSuccess);
  EXPECT_EQ(text, u"abc");

  // Multi-strings convert every string; numbers pass through the narrow view unchanged.
  ASSERT_EQ(key->SetValue(u"m", kRegMultiSz, u"a\0bc\0", 12), kSuccess);
  size = sizeof narrow;
  ASSERT_EQ(key->QueryValueAnsi(u"m", &type, narrow, &size), kSuccess);
  EXPECT_EQ(std::string(narrow, size), std::string("a\0bc\0\0", 6));
  ASSERT_EQ(SetDword(*key, u"d", 0x12345678), kSuccess);
  uint32_t number = 0;
  size = 4;
  ASSERT_EQ(key->QueryValueAnsi(u"d", &type, &number, &size), kSuccess);
  EXPECT_EQ(number, 0x12345678u);

  // Narrow writes are read in the code page and stored as UTF-16.
  ASSERT_EQ(key->SetValueAnsi(u"n", kRegExpandSz, "%x%\x80"), kSuccess);
  ASSERT_EQ(QueryString(*key, u"n", &text), kSuccess);
  EXPECT_EQ(text, u"%x%\u20AC");
}

TEST(RegistryTest, JapaneseComputerUsesCodePage932) {
  auto options = TempComputer::DefaultOptions();
  options.acp = 932;
  TempComputer computer(options);
  EXPECT_EQ(computer.platform().code_page().AnsiCodePage(), 932u);
  auto key = Create(*Root(computer.platform()), u"Software\\Jp");
  ASSERT_EQ(SetString(*key, u"lang", u"\u65E5\u672C\u8A9E \u00E9"), kSuccess);
  char narrow[16] = {};
  uint32_t type = 0, size = 0;
  ASSERT_EQ(key->QueryValueAnsi(u"lang", &type, nullptr, &size), kSuccess);
  EXPECT_EQ(size, 9u);  // three double-byte characters, a space, '?', terminator
  size = 8;
  EXPECT_EQ(key->QueryValueAnsi(u"lang", &type, narrow, &size), kErrorMoreData);
  EXPECT_EQ(size, 9u);
  ASSERT_EQ(key->QueryValueAnsi(u"lang", &type, narrow, &size), kSuccess);
  EXPECT_EQ(std::string(narrow, 9), std::string("\x93\xFA\x96\x7B\x8C\xEA ?\0", 9));

  ASSERT_EQ(key->SetValueAnsi(u"back", kRegSz, "\x93\xFA\x96\x7B"), kSuccess);
  std::u16string text;
  ASSERT_EQ(QueryString(*key, u"back", &text), kSuccess);
  EXPECT_EQ(text, u"\u65E5\u672C");
}

TEST(RegistryTest, MissingKeysAndValuesAnswerFileNotFound) {
  TempComputer computer;
  auto hklm = Root(computer.platform());
  auto key = Create(*hklm, u"Software\\Here");
  std::unique_ptr<RegKey> out;
  EXPECT_EQ(hklm->OpenKey(u"Software\\Nowhere", RegAccess::kRead, &out), kErrorFileNotFound);
  EXPECT_EQ(hklm->OpenKey(u"Software\\Nowhere\\Deeper", RegAccess::kRead, &out),
            kErrorFileNotFound);
  EXPECT_EQ(hklm->DeleteKey(u"Software\\Nowhere"), kErrorFileNotFound);
  uint32_t size = 0;
  EXPECT_EQ(key->QueryValue(u"none", nullptr, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(key->QueryValueAnsi(u"none", nullptr, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(key->DeleteValue(u"none"), kErrorFileNotFound);
  uint32_t number = 0;
  EXPECT_EQ(QueryDword(*key, u"none", &number), kErrorFileNotFound);
}

TEST(RegistryTest, DeletingAKeyWithSubkeysIsRefused) {
  TempComputer computer;
  auto hklm = Root(computer.platform());
  auto child = Create(*hklm, u"Software\\Parent\\Child");
  ASSERT_EQ(SetDword(*child, u"v", 1), kSuccess);
  EXPECT_EQ(hklm->DeleteKey(u"Software\\Parent"), kErrorAccessDenied);
  uint32_t v = 0;
  EXPECT_EQ(QueryDword(*child, u"v", &v), kSuccess);
  ASSERT_EQ(hklm->DeleteKey(u"Software\\Parent\\Child"), kSuccess);
  ASSERT_EQ(hklm->DeleteKey(u"software\\parent"), kSuccess);
  std::unique_ptr<RegKey> out;
  EXPECT_EQ(hklm->OpenKey(u"Software\\Parent", RegAccess::kRead, &out), kErrorFileNotFound);
}

TEST(RegistryTest, DeleteKeyTreeTakesEverythingBelowOrStopsAtADeniedKey) {
  TempComputer computer;
  auto hklm = Root(computer.platform());
  for (const char16_t* path : {u"Software\\Tree\\A\\Deep\\Deeper", u"Software\\Tree\\B",
                               u"Software\\Tree\\C\\Locked\\Inner", u"Software\\Kept"}) {
    auto key = Create(*hklm, path);
    ASSERT_EQ(SetDword(*key, u"v", 1), kSuccess);
  }
  ASSERT_EQ(DeleteKeyTree(*hklm, u"software\\tree\\a"), kSuccess);
  std::unique_ptr<RegKey> out;
  EXPECT_EQ(hklm->OpenKey(u"Software\\Tree\\A", RegAccess::kRead, &out), kErrorFileNotFound);
  EXPECT_EQ(DeleteKeyTree(*hklm, u"Software\\Tree\\Nothing"), kErrorFileNotFound);

  // A subkey that may not be opened stops the delete with its code; what was deleted before
  // stays deleted, the rest stays.
  auto& registry = computer.platform().emulated_registry();
  ASSERT_EQ(registry.SetAccessDenied(RegRoot::kLocalMachine, u"Software\\Tree\\C\\Locked", true),
            kSuccess);
  EXPECT_EQ(DeleteKeyTree(*hklm, u"Software\\Tree"), kErrorAccessDenied);
  EXPECT_EQ(hklm->OpenKey(u"Software\\Tree\\C", RegAccess::kRead, &out), kSuccess);
  ASSERT_EQ(registry.SetAccessDenied(RegRoot::kLocalMachine, u"Software\\Tree\\C\\Locked", false),
            kSuccess);
  ASSERT_EQ(DeleteKeyTree(*hklm, u"Software\\Tree"), kSuccess);
  EXPECT_EQ(hklm->OpenKey(u"Software\\Tree", RegAccess::kRead, &out), kErrorFileNotFound);
  EXPECT_EQ(hklm->OpenKey(u"Software\\Kept", RegAccess::kRead, &out), kSuccess);
}

TEST(RegistryTest, DeniedKeysAnswerAccessDenied) {
  TempComputer computer;
  auto hklm = Root(computer.platform());
  Create(*hklm, u"Software\\Vault\\Secret\\Inner");
  auto& registry = computer.platform().emulated_registry();
  ASSERT_EQ(registry.SetAccessDenied(RegRoot::kLocalMachine, u"SOFTWARE\\VAULT\\secret", true),
            kSuccess);
  std::unique_ptr<RegKey> out;
  EXPECT_EQ(hklm->OpenKey(u"Software\\Vault\\Secret", RegAccess::kRead, &out), kErrorAccessDenied);
  EXPECT_EQ(hklm->OpenKey(u"Software\\Vault\\Secret\\Inner", RegAccess::kRead, &out),
            kErrorAccessDenied);
  EXPECT_EQ(hklm->CreateKey(u"Software\\Vault\\Secret\\New", &out), kErrorAccessDenied);
  EXPECT_EQ(hklm->DeleteKey(u"Software\\Vault\\Secret\\Inner"), kErrorAccessDenied);
  std::unique_ptr<RegKey> vault;
  ASSERT_EQ(hklm->OpenKey(u"Software\\Vault", RegAccess::kRead, &vault), kSuccess);
  EXPECT_EQ(Subkeys(*vault), std::vector<std::string>{"Secret"});  // still listed
  // Another process sees the mark too.
  auto other = computer.Reopen();
  EXPECT_EQ(Root(*other)->OpenKey(u"Software\\Vault\\Secret", RegAccess::kRead, &out),
            kErrorAccessDenied);

  ASSERT_EQ(registry.SetAccessDenied(RegRoot::kLocalMachine, u"Software\\Vault\\Secret", false),
            kSuccess);
  EXPECT_EQ(hklm->OpenKey(u"Software\\Vault\\Secret\\Inner", RegAccess::kRead, &out), kSuccess);
  EXPECT_EQ(registry.SetAccessDenied(RegRoot::kLocalMachine, u"Software\\Absent", true),
            kErrorFileNotFound);
}

TEST(RegistryTest, ReadOnlyHandlesCannotWrite) {
  TempComputer computer;
  auto hklm = Root(computer.platform());
  auto writable = Create(*hklm, u"Software\\Ro");
  ASSERT_EQ(SetDword(*writable, u"v", 7), kSuccess);
  std::unique_ptr<RegKey> ro;
  ASSERT_EQ(hklm->OpenKey(u"Software\\Ro", RegAccess::kRead, &ro), kSuccess);
  EXPECT_EQ(SetDword(*ro, u"v", 8), kErrorAccessDenied);
  EXPECT_EQ(ro->SetValueAnsi(u"s", kRegSz, "x"), kErrorAccessDenied);
  EXPECT_EQ(ro->DeleteValue(u"v"), kErrorAccessDenied);
  std::unique_ptr<RegKey> out;
  EXPECT_EQ(ro->CreateKey(u"Sub", &out), kErrorAccessDenied);
  uint32_t v = 0;
  ASSERT_EQ(QueryDword(*ro, u"v", &v), kSuccess);
  EXPECT_EQ(v, 7u);
  EXPECT_TRUE(Subkeys(*ro).empty());
}

TEST(RegistryTest, HandlesToDeletedKeysAnswerKeyDeleted) {
  TempComputer computer;
  auto hklm = Root(computer.platform());
  auto doomed = Create(*hklm, u"Software\\Doomed");
  ASSERT_EQ(SetDword(*doomed, u"v", 1), kSuccess);
  ASSERT_EQ(hklm->DeleteKey(u"Software\\Doomed"), kSuccess);
  // A key made afterwards must not be reached through the old handle.
  auto newcomer = Create(*hklm, u"Software\\Newcomer");
  ASSERT_EQ(SetDword(*newcomer, u"v", 2), kSuccess);

  uint32_t v = 0, size = 4;
  std::unique_ptr<RegKey> out;
  std::u16string name;
  EXPECT_EQ(doomed->QueryValue(u"v", nullptr, &v, &size), kErrorKeyDeleted);
  EXPECT_EQ(SetDword(*doomed, u"w", 1), kErrorKeyDeleted);
  EXPECT_EQ(doomed->DeleteValue(u"v"), kErrorKeyDeleted);
  EXPECT_EQ(doomed->OpenKey(u"", RegAccess::kRead, &out), kErrorKeyDeleted);
  EXPECT_EQ(doomed->CreateKey(u"Sub", &out), kErrorKeyDeleted);
  EXPECT_EQ(doomed->EnumKey(0, 256, &name), kErrorKeyDeleted);
  EXPECT_EQ(doomed->EnumValue(0, &name, nullptr, nullptr), kErrorKeyDeleted);
  ASSERT_EQ(QueryDword(*newcomer, u"v", &v), kSuccess);
  EXPECT_EQ(v, 2u);
}

TEST(RegistryTest, ConnectOpensSiblingComputers) {
  TempComputer computer;
  auto options = TempComputer::DefaultOptions();
  options.name = "SRV2";
  std::string error;
  {
    auto srv2 = EmulatedPlatform::Create(computer.parent() + "/SRV2", options, &error);
    ASSERT_TRUE(srv2) << error;
    auto key = Create(*Root(*srv2), u"Software\\Remote");
    ASSERT_EQ(SetString(*key, u"where", u"srv2"), kSuccess);
  }
  auto& registry = computer.platform().registry();
  std::unique_ptr<RegKey> remote;
  ASSERT_EQ(registry.Connect(u"\\\\srv2", RegRoot::kLocalMachine, &remote), kSuccess);
  std::unique_ptr<RegKey> key;
  ASSERT_EQ(remote->OpenKey(u"Software\\Remote", RegAccess::kReadWrite, &key), kSuccess);
  std::u16string text;
  ASSERT_EQ(QueryString(*key, u"where", &text), kSuccess);
  EXPECT_EQ(text, u"srv2");
  ASSERT_EQ(SetDword(*key, u"written", 1), kSuccess);
  // The write went to SRV2, not to this computer.
  std::unique_ptr<RegKey> local;
  EXPECT_EQ(Root(computer.platform())->OpenKey(u"Software\\Remote", RegAccess::kRead, &local),
            kErrorFileNotFound);

  // Our own name is this computer.
  std::unique_ptr<RegKey> self;
  ASSERT_EQ(registry.Connect(u"\\\\SRV1", RegRoot::kLocalMachine, &self), kSuccess);
  EXPECT_EQ(self->OpenKey(u"Software\\Remote", RegAccess::kRead, &local), kErrorFileNotFound);
  ASSERT_EQ(registry.Connect(u"", RegRoot::kCurrentUser, &self), kSuccess);

  EXPECT_EQ(registry.Connect(u"\\\\SRV9", RegRoot::kLocalMachine, &remote), kErrorBadNetpath);
  EXPECT_EQ(registry.Connect(u"..", RegRoot::kLocalMachine, &remote), kErrorBadNetpath);
  EXPECT_EQ(registry.Connect(u"SRV2", RegRoot::kCurrentUser, &remote), kErrorInvalidHandle);
}

TEST(RegistryTest, OneMegabyteValueRoundTrips) {
  TempComputer computer;
  auto key = Create(*Root(computer.platform()), u"Software\\Big");
  std::vector<uint8_t> big(1 << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7 + (i >> 12));
  ASSERT_EQ(key->SetValue(u"blob", kRegBinary, big.data(), static_cast<uint32_t>(big.size())),
            kSuccess);

  auto other = computer.Reopen();
  std::unique_ptr<RegKey> read;
  ASSERT_EQ(Root(*other)->OpenKey(u"Software\\Big", RegAccess::kRead, &read), kSuccess);
  uint32_t type = 0, size = 0;
  ASSERT_EQ(read->QueryValue(u"blob", &type, nullptr, &size), kSuccess);
  EXPECT_EQ(size, big.size());
  std::vector<uint8_t> small(4096);
  size = static_cast<uint32_t>(small.size());
  EXPECT_EQ(read->QueryValue(u"blob", &type, small.data(), &size), kErrorMoreData);
  EXPECT_EQ(size, big.size());
  std::vector<uint8_t> back(big.size());
  ASSERT_EQ(read->QueryValue(u"blob", &type, back.data(), &size), kSuccess);
  EXPECT_EQ(type, kRegBinary);
  EXPECT_TRUE(back == big);
}

// Writes `count` values named PREFIX-N under Software\Race of the computer in `dir`; the exit
// status is the number of failed writes (capped).
int WriteValuesInChild(const std::string& dir, const char* prefix, int count, int start_fd) {
  char go = 0;
  if (read(start_fd, &go, 1) != 1) return 100;
  std::string error;
  auto p = EmulatedPlatform::Open(dir, &error);
  if (!p) return 101;
  std::unique_ptr<RegKey> hklm, key;
  if (p->registry().OpenRoot(RegRoot::kLocalMachine, &hklm) != kSuccess) return 102;
  if (hklm->CreateKey(u"Software\\Race", &key) != kSuccess) return 102;
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    const std::u16string name = Utf8ToUtf16(std::string(prefix) + "-" + std::to_string(i));
    if (SetDword(*key, name, static_cast<uint32_t>(i)) != kSuccess) ++failures;
  }
  return failures > 99 ? 99 : failures;
}

TEST(RegistryTest, TwoProcessesWritingAtOnceBothSucceed) {
  TempComputer computer;
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  pid_t children[2];
  const char* prefixes[2] = {"first", "second"};
  for (int c = 0; c < 2; ++c) {
    children[c] = testsupport::StartChildProcess([&] {
      close(start[1]);
      return WriteValuesInChild(computer.dir(), prefixes[c], 300, start[0]);
    });
    ASSERT_GE(children[c], 0);
  }
  close(start[0]);
  ASSERT_EQ(write(start[1], "gg", 2), 2);  // release both at the same moment
  close(start[1]);
  for (pid_t child : children) EXPECT_EQ(testsupport::WaitForChildProcess(child), 0);
  std::unique_ptr<RegKey> key;
  ASSERT_EQ(Root(computer.platform())->OpenKey(u"Software\\Race", RegAccess::kRead, &key),
            kSuccess);
  const auto names = ValueNames(*key);
  EXPECT_EQ(names.size(), 600u);
  for (const char* prefix : prefixes) {
    for (int i : {0, 150, 299}) {
      uint32_t v = 0;
      const std::u16string name = Utf8ToUtf16(std::string(prefix) + "-" + std::to_string(i));
      EXPECT_EQ(QueryDword(*key, name, &v), kSuccess);
      EXPECT_EQ(v, static_cast<uint32_t>(i));
    }
  }
}

TEST(RegistryTest, DamagedOrForeignDatabasesAreReportedAndLeftAlone) {
  TempDir temp;
  std::string error;
  EXPECT_FALSE(EmulatedPlatform::Open(temp.path() + "/NONE", &error));
  EXPECT_NE(error.find(temp.path() + "/NONE"), std::string::npos) << error;

  const std::string bad_dir = temp.path() + "/BAD";
  ASSERT_EQ(mkdir(bad_dir.c_str(), 0755), 0);
  const std::string bad_file = Machine::DatabasePath(bad_dir);
  std::string garbage(8192, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 131 + 7);
  WriteFile(bad_file, garbage);
  error.clear();
  EXPECT_FALSE(EmulatedPlatform::Open(bad_dir, &error));
  EXPECT_NE(error.find(bad_file), std::string::npos) << error;
  EXPECT_TRUE(ReadFile(bad_file) == garbage) << "the damaged file was changed";

  const std::string foreign_dir = temp.path() + "/FOREIGN";
  ASSERT_EQ(mkdir(foreign_dir.c_str(), 0755), 0);
  const std::string foreign_file = Machine::DatabasePath(foreign_dir);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(foreign_file.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE songs(title TEXT); INSERT INTO songs VALUES('x');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  const std::string before = ReadFile(foreign_file);
  error.clear();
  EXPECT_FALSE(EmulatedPlatform::Open(foreign_dir, &error));
  EXPECT_NE(error.find(foreign_file), std::string::npos) << error;
  EXPECT_TRUE(ReadFile(foreign_file) == before) << "the foreign database was changed";
}

// Runs `change` on the computer in `dir` in a child process, with its own connection and its
// own memory of the registry, and waits for it; the child's exit status is `change`'s answer.
void ChangeInAnotherProcess(const std::string& dir, const std::function<int(Platform&)>& change) {
  ASSERT_EQ(testsupport::RunInChildProcess([&] {
              std::string error;
              auto p = EmulatedPlatform::Open(dir, &error);
              return p ? change(*p) : 100;
            }),
            0);
}

uint32_t Dword(RegKey& key, std::u16string_view name, Result* result) {
  uint32_t value = 0;
  *result = QueryDword(key, name, &value);
  return value;
}

TEST(RegistryTest, ReadsKeptInMemorySeeTheNextWriteOfAnotherProcess) {
  TempComputer computer;
  auto fresh = Create(*Root(computer.platform()), u"Software\\Fresh");
  ASSERT_EQ(SetDword(*fresh, u"v", 1), kSuccess);
  std::unique_ptr<RegKey> sub;
  // Every kind of read, twice, so that the answers are the ones kept in memory.
  for (int i = 0; i < 2; ++i) {
    Result r;
    EXPECT_EQ(Dword(*fresh, u"v", &r), 1u);
    EXPECT_EQ(Dword(*fresh, u"w", &r), 0u);
    EXPECT_EQ(r, kErrorFileNotFound);
    EXPECT_EQ(fresh->OpenKey(u"Sub", RegAccess::kRead, &sub), kErrorFileNotFound);
    EXPECT_EQ(Subkeys(*fresh), std::vector<std::string>{});
    EXPECT_EQ(ValueNames(*fresh), std::vector<std::string>{"v"});
  }

  ChangeInAnotherProcess(computer.dir(), [](Platform& p) {
    auto key = Create(*Root(p), u"Software\\Fresh");
    const bool ok = SetDword(*key, u"v", 2) == kSuccess && SetDword(*key, u"w", 3) == kSuccess &&
                    Create(*key, u"Sub") != nullptr;
    return ok ? 0 : 1;
  });
  Result r;
  EXPECT_EQ(Dword(*fresh, u"v", &r), 2u);
  EXPECT_EQ(Dword(*fresh, u"w", &r), 3u);
  ASSERT_EQ(fresh->OpenKey(u"sub", RegAccess::kRead, &sub), kSuccess);
  EXPECT_EQ(Subkeys(*fresh), std::vector<std::string>{"Sub"});
  EXPECT_EQ(ValueNames(*fresh), (std::vector<std::string>{"v", "w"}));
  EXPECT_EQ(sub->QueryValue(u"none", nullptr, nullptr, nullptr), kErrorFileNotFound);

  ChangeInAnotherProcess(computer.dir(), [](Platform& p) {
    auto key = Create(*Root(p), u"Software\\Fresh");
    return key->DeleteValue(u"v") == kSuccess && key->DeleteKey(u"Sub") == kSuccess ? 0 : 1;
  });
  Dword(*fresh, u"v", &r);
  EXPECT_EQ(r, kErrorFileNotFound);
  EXPECT_EQ(sub->QueryValue(u"none", nullptr, nullptr, nullptr), kErrorKeyDeleted);
  EXPECT_EQ(fresh->OpenKey(u"Sub", RegAccess::kRead, &sub), kErrorFileNotFound);

  ChangeInAnotherProcess(computer.dir(), [](Platform& p) {
    auto& registry = dynamic_cast<EmulatedRegistry&>(p.registry());
    return registry.SetAccessDenied(RegRoot::kLocalMachine, u"Software\\Fresh", true);
  });
  EXPECT_EQ(Root(computer.platform())->OpenKey(u"Software\\Fresh", RegAccess::kRead, &sub),
            kErrorAccessDenied);
}

TEST(RegistryTest, WhatAnOpenTransactionWroteIsNeverReadByAnotherThread) {
  TempComputer computer;
  auto key = Create(*Root(computer.platform()), u"Software\\Pending");
  ASSERT_EQ(SetDword(*key, u"v", 1), kSuccess);
  Result r;
  ASSERT_EQ(Dword(*key, u"v", &r), 1u);

  std::promise<void> written;
  std::thread writer([&] {
    Transaction t(computer.platform().machine().db(), Transaction::kWrite);
    EXPECT_EQ(SetDword(*key, u"v", 5), kSuccess);
    Result inside;
    EXPECT_EQ(Dword(*key, u"v", &inside), 5u);  // its own write, not yet committed
    written.set_value();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // Rolled back when t ends.
  });
  written.get_future().wait();
  EXPECT_EQ(Dword(*key, u"v", &r), 1u);
  writer.join();
  EXPECT_EQ(Dword(*key, u"v", &r), 1u);

  {
    Transaction t(computer.platform().machine().db(), Transaction::kWrite);
    ASSERT_EQ(SetDword(*key, u"v", 6), kSuccess);
    t.Commit();
  }
  EXPECT_EQ(Dword(*key, u"v", &r), 6u);
}

}  // namespace
}  // namespace platform::emulated
