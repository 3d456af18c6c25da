#include "client/core/registry.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "client/core/connection.h"
#include "tests/support/registry_snapshot.h"
#include "tests/support/test_platform.h"

namespace sentrel::client {
namespace {

using platform::RegKey;

class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest() { overlay_.debug_ = &trace_; }

  testsupport::TempComputer computer_;
  testsupport::CapturingDebugOutput trace_;
  platform::OverlayPlatform overlay_{computer_.platform()};
  Registry registry_{overlay_};
  std::unique_ptr<RegKey> key_ = testsupport::MachineKey(computer_.platform(), u"SOFTWARE\\Test");
};

// The 255/256-character buffer, empty texts and typed numbers are in the platform contract test.
TEST_F(RegistryTest, AMissingTextGivesTheDefaultAndATrace) {
  std::u16string text;
  EXPECT_EQ(registry_.ReadRegString(key_.get(), u"missing", &text, u"dflt"),
            platform::kErrorFileNotFound);
  EXPECT_EQ(text, u"dflt");
  EXPECT_EQ(registry_.last_result(), platform::kErrorFileNotFound);
  EXPECT_TRUE(trace_.Contains(
      "Warning - STRING missing in Registry does not exists (Using default) - code : 2\r\n"));
  EXPECT_EQ(registry_.ReadRegString(nullptr, u"x", &text, u"n"), platform::kErrorInvalidHandle);
  EXPECT_EQ(text, u"n");
}

TEST_F(RegistryTest, NumbersReadFourBytesOrTheDefault) {
  const uint16_t narrow = 7;
  const uint64_t wide = 9;
  ASSERT_EQ(platform::SetDword(*key_, u"n", 0xFFFFFFFF), platform::kSuccess);
  ASSERT_EQ(key_->SetValue(u"narrow", platform::kRegBinary, &narrow, 2), platform::kSuccess);
  ASSERT_EQ(key_->SetValue(u"wide", platform::kRegBinary, &wide, 8), platform::kSuccess);
  int32_t value = 0;
  bool found = false;
  EXPECT_EQ(registry_.ReadRegDword(key_.get(), u"n", &value, 5, &found), platform::kSuccess);
  EXPECT_EQ(value, -1);
  EXPECT_TRUE(found);
  EXPECT_EQ(registry_.ReadRegDword(key_.get(), u"narrow", &value, 5), platform::kSuccess);
  EXPECT_EQ(value, 7);
  EXPECT_NE(registry_.ReadRegDword(key_.get(), u"wide", &value, 5, &found), platform::kSuccess);
  EXPECT_EQ(value, 5);
  EXPECT_FALSE(found);
  EXPECT_TRUE(trace_.Contains("Warning - DWORD wide in Registry does not exists (Using default)"));
}

TEST_F(RegistryTest, TheFirstFailedSaveIsRememberedWithItsName) {
  ASSERT_EQ(testsupport::DeleteMachineKey(computer_.platform(), u"SOFTWARE\\Test"),
            platform::kSuccess);
  EXPECT_EQ(registry_.SaveRegDword(key_.get(), u"first", 1), platform::kErrorKeyDeleted);
  EXPECT_EQ(registry_.SaveRegString(key_.get(), u"second", u"x", false),
            platform::kErrorKeyDeleted);
  ASSERT_TRUE(registry_.save_failure());
  EXPECT_EQ(registry_.save_failure()->value, u"first");
  EXPECT_EQ(registry_.save_failure()->code, platform::kErrorKeyDeleted);
  EXPECT_TRUE(trace_.Contains("Error - Could not save DWORD first in Registry - code : 1018\r\n"));
  EXPECT_TRUE(
      trace_.Contains("Error - Could not save STRING second in Registry - code : 1018\r\n"));
}

TEST(ParseUnsignedTest, AcceptsDigitsUpToTheLimitOnly) {
  EXPECT_EQ(ParseUnsigned(u"0", 10), 0u);
  EXPECT_EQ(ParseUnsigned(u"007", 10), 7u);
  EXPECT_EQ(ParseUnsigned(u"4294967295", 4294967295u), 4294967295u);
  for (const char16_t* bad : {u"", u"11", u"-1", u" 1", u"1e3", u"99999999999999999999"}) {
    EXPECT_FALSE(ParseUnsigned(bad, 10)) << platform::Utf16ToUtf8(bad);
  }
}

// --- CreateKeyHandles on this computer ---

class ConnectionTest : public ::testing::Test {
 protected:
  ConnectionTest() { overlay_.debug_ = &trace_; }
  // Parameters, or the key `below` it.
  void MakeParameters(std::u16string_view below = u"") {
    testsupport::MachineKey(computer_.platform(),
                            std::u16string(kParametersPath) + std::u16string(below));
  }

  testsupport::TempComputer computer_;
  testsupport::CapturingDebugOutput trace_;
  platform::OverlayPlatform overlay_{computer_.platform()};
  Registry registry_{overlay_};
  Connection connection_{registry_};
};

TEST_F(ConnectionTest, WithParametersTheMissingLogKeysAreCreated) {
  // No Parameters key: the service is not installed.
  EXPECT_EQ(connection_.CreateKeyHandles(u"LOCALHOST").state, ConnectState::kNotInstalled);
  EXPECT_FALSE(connection_.connected());
  EXPECT_TRUE(trace_.Contains("ERROR Creating Keyhandle for Parameters: 2\r\n"));

  MakeParameters();
  const ConnectResult result = connection_.CreateKeyHandles(u"");
  EXPECT_EQ(result.state, ConnectState::kConnected);
  EXPECT_TRUE(result.messages.empty());
  EXPECT_EQ(connection_.target(), u"LOCALHOST");
  for (const LogInfo& log : kLogs) EXPECT_NE(connection_.log_key(log.id), nullptr);
  EXPECT_TRUE(trace_.Contains("ERROR Creating Keyhandle for Parameters\\DNS Server: 2\r\n"));
  EXPECT_TRUE(trace_.Contains("SUCCESS Creating Keyhandles on LOCAL MACHINE\r\n"));
}

// A denied log key ends the connection with the key's name and the system's text (a denied
// Parameters key's box is checked through the main window).
TEST_F(ConnectionTest, ADeniedLogKeyEndsTheConnectionWithItsBox) {
  MakeParameters(u"\\System");
  ASSERT_EQ(
      computer_.platform().emulated_registry().SetAccessDenied(
          platform::RegRoot::kLocalMachine, std::u16string(kParametersPath) + u"\\System", true),
      platform::kSuccess);
  const ConnectResult result = connection_.CreateKeyHandles(u"");
  EXPECT_EQ(result.state, ConnectState::kFailed);
  EXPECT_FALSE(connection_.connected());
  ASSERT_EQ(result.messages.size(), 1u);
  EXPECT_EQ(result.messages[0].icon, MessageIcon::kCritical);
  EXPECT_EQ(platform::Utf16ToUtf8(result.messages[0].text),
            "Can't open the configuration key of this log.\r\nParameters\\System: Access is "
            "denied.");
  EXPECT_TRUE(trace_.Contains("ERROR Creating Key for Parameters\\System: 5\r\n"));
}

}  // namespace
}  // namespace sentrel::client
