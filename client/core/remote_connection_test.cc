// Connections to other computers of the emulated network (sibling computers): the target's
// version, each failure's box and the return to this computer, and that a connection that fails
// half way never leaves keys of two computers in use.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "client/core/client_session.h"
#include "client/i18n/messages.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/test_platform.h"

namespace sentrel::client {
namespace {

using platform::RegKey;
using platform::emulated::EmulatedPlatform;
using testsupport::MachineKey;

// The service's configuration keys (but `skip_log`'s), with nSleepTime set.
void InstallConfiguration(platform::Platform& computer, uint32_t sleep_time,
                          std::u16string_view skip_log = u"") {
  ASSERT_EQ(platform::SetDword(*MachineKey(computer, kParametersPath), u"nSleepTime", sleep_time),
            platform::kSuccess);
  for (const LogInfo& log : kLogs) {
    if (log.key_name == skip_log) continue;
    MachineKey(computer, std::u16string(kParametersPath) + u"\\" + std::u16string(log.key_name));
  }
}

class RemoteConnectionTest : public ::testing::Test {
 protected:
  RemoteConnectionTest() { InstallConfiguration(computer_.platform(), 1111); }

  // A computer of the same network.
  EmulatedPlatform& AddSibling(const std::string& name) {
    auto options = testsupport::TempComputer::DefaultOptions();
    options.name = name;
    std::string error;
    siblings_.push_back(EmulatedPlatform::Create(computer_.parent() + "/" + name, options, &error));
    EXPECT_NE(siblings_.back(), nullptr) << error;
    return *siblings_.back();
  }
  static int32_t SleepTime(ClientSession& session, RegKey* key) {
    int32_t value = -1;
    (void)session.registry().ReadRegDword(key, u"nSleepTime", &value, -1);
    return value;
  }

  testsupport::TempComputer computer_;
  std::vector<std::unique_ptr<EmulatedPlatform>> siblings_;
  ClientSession session_{computer_.platform()};
};

TEST_F(RemoteConnectionTest, AComputerMissingOneLogKeyIsNotHalfUsed) {
  EmulatedPlatform& srv2 = AddSibling("SRV2");
  InstallConfiguration(srv2, 2222);
  EmulatedPlatform& srv3 = AddSibling("SRV3");
  InstallConfiguration(srv3, 3333, u"DNS Server");
  ASSERT_EQ(session_.CreateKeyHandles(u"SRV2").state, ConnectState::kConnected);

  const ConnectResult result = session_.CreateKeyHandles(u"SRV3");
  EXPECT_TRUE(result.reverted);
  // Every key now belongs to this computer: a save reaches neither SRV2 nor SRV3.
  const Connection& c = session_.connection();
  EXPECT_EQ(c.target(), kLocalTargetName);
  EXPECT_EQ(SleepTime(session_, c.parameters()), 1111);
  const auto srv2_before = testsupport::SnapshotKey(srv2, kParametersPath);
  const auto srv3_before = testsupport::SnapshotKey(srv3, kParametersPath);
  for (const LogInfo& log : kLogs) {
    ASSERT_NE(c.log_key(log.id), nullptr);
    EXPECT_EQ(session_.registry().SaveRegDword(c.log_key(log.id), u"nFacility", 9),
              platform::kSuccess);
  }
  EXPECT_EQ(testsupport::SnapshotKey(srv2, kParametersPath), srv2_before);
  EXPECT_EQ(testsupport::SnapshotKey(srv3, kParametersPath), srv3_before);
  EXPECT_EQ(
      testsupport::SnapshotDword(testsupport::SnapshotKey(computer_.platform(), kParametersPath),
                                 "DNS Server\\nFacility"),
      9);
}

// A registry whose remote connections fail with a chosen code; this computer's stays real.
class RefusingRegistry : public platform::Registry {
 public:
  RefusingRegistry(platform::Registry& base, Result code) : base_(base), code_(code) {}
  Result OpenRoot(platform::RegRoot root, std::unique_ptr<RegKey>* out) override {
    return base_.OpenRoot(root, out);
  }
  Result Connect(std::u16string_view, platform::RegRoot, std::unique_ptr<RegKey>*) override {
    return code_;
  }

 private:
  platform::Registry& base_;
  Result code_;
};

// Computers of the emulated network (refused: 0), and connections refused with a code.
TEST_F(RemoteConnectionTest, EachFailureShowsItsBoxAndEndsOnThisComputer) {
  AddSibling("BARE");  // a computer without the service
  const std::u16string revert = GetMessageText(180);
  struct Case {
    std::u16string name;
    Result refused;
    std::u16string box;
  };
  const Case cases[] = {
      // Only "LOCALHOST" in capitals is this computer; in lower case it names a computer.
      {u"localhost", 0, GetMessageText(182) + u" localhost.\r\n" + revert},
      {u"BARE", 0, GetMessageText(185) + u"\r\n" + revert},
      {u"SRV9", platform::kErrorAccessDenied,
       GetMessageText(181) + u" SRV9.\r\n" + GetMessageText(2028) + u"\r\n\r\n" + revert},
      {u"SRV9", platform::kErrorBadNetpath, GetMessageText(182) + u" SRV9.\r\n" + revert},
      {u"SRV9", platform::kErrorFileNotFound, GetMessageText(183) + u"\r\n" + revert},
      {u"SRV9", 1722, GetMessageText(184) + u" SRV9-1722\r\n" + revert},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::Utf16ToUtf8(c.name) + " " + std::to_string(c.refused));
    RefusingRegistry refusing(computer_.platform().registry(), c.refused);
    platform::OverlayPlatform overlay(computer_.platform());
    if (c.refused != 0) overlay.registry_ = &refusing;
    ClientSession session(overlay);
    const ConnectResult result = session.CreateKeyHandles(c.name);
    EXPECT_TRUE(result.reverted);
    EXPECT_EQ(result.state, ConnectState::kConnected);
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(result.messages[0].icon, MessageIcon::kCritical);
    EXPECT_EQ(result.messages[0].text, c.box);
    EXPECT_EQ(session.connection().target(), kLocalTargetName);
    EXPECT_EQ(SleepTime(session, session.connection().parameters()), 1111);
  }
}

TEST(NormalizeComputerNameTest, BlanksAndLeadingBackslashesGo) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"  SRV2\t", u"SRV2"}, {u" \\\\srv2 ", u"srv2"}, {u"   ", u""},
      {u"a b", u"a b"},       {u"SRV2\\x", u"SRV2\\x"},
  };
  for (const auto& [typed, name] : cases) EXPECT_EQ(NormalizeComputerName(typed), name);
}

TEST(ReadRegistryVersionTest, ReadsMajorAndMinor) {
  testsupport::TempComputer computer;
  std::unique_ptr<RegKey> key =
      MachineKey(computer.platform(), u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
  std::unique_ptr<RegKey> hklm;
  ASSERT_EQ(computer.platform().registry().OpenRoot(platform::RegRoot::kLocalMachine, &hklm),
            platform::kSuccess);
  const std::pair<std::u16string, int> cases[] = {{u"4.0", 400}, {u"5.2", 502}, {u"10.0", 1000},
                                                  {u"6", 600},   {u"x.1", -1},  {u"", -1}};
  for (const auto& [text, expected] : cases) {
    ASSERT_EQ(platform::SetString(*key, u"CurrentVersion", text), platform::kSuccess);
    uint32_t major = 0, minor = 0;
    const bool ok = ReadRegistryVersion(*hklm, &major, &minor);
    EXPECT_EQ(ok ? static_cast<int>(major * 100 + minor) : -1, expected);
  }
}

}  // namespace
}  // namespace sentrel::client
