// The platform contract tests: one set of GoogleTest tests, written against the platform
// interfaces only, built once against the emulated computer (target_posix.cc) and once against
// the Win32 implementation (target_win.cc, run on Windows or under Wine). What differs between
// the two runs is supplied here by the target; the expectations themselves are shared.
#ifndef TESTS_CONTRACT_CONTRACT_TARGET_H_
#define TESTS_CONTRACT_CONTRACT_TARGET_H_

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace contract {

class Target {
 public:
  virtual ~Target() = default;

  virtual platform::Platform& platform() = 0;
  // True under Wine: the few assertions where Wine is known to differ from Windows state the
  // Windows behaviour and are skipped there, with the reason.
  virtual bool IsWine() = 0;
  // A file of the run's fixture directory (the message tables built for these tests) as a path
  // of the platform's computer. The file need not exist: that is how a missing module is named.
  virtual std::u16string FixturePath(std::u16string_view name) = 0;
  virtual bool HasFixture(std::u16string_view name) = 0;
  // The ANSI code page the run was started for: CONTRACT_ACP, 1252 when unset.
  virtual uint32_t ExpectedAnsiCodePage() = 0;
  // A Linux listener on 127.0.0.1 that echoes every UDP datagram and every TCP byte back (port
  // in host byte order).
  virtual uint16_t EchoPort() = 0;
};

// The target of this build, made on first use.
Target& GetTarget();

inline platform::Platform& GetPlatform() { return GetTarget().platform(); }

// The decimal number in environment variable `name`, or `fallback` when it is unset or empty.
inline uint32_t EnvNumber(const char* name, uint32_t fallback) {
  const char* value = std::getenv(name);
  return value && *value ? static_cast<uint32_t>(std::strtoul(value, nullptr, 10)) : fallback;
}

// The skip for an assertion where Wine differs from Windows.
#define CONTRACT_SKIP_UNDER_WINE(reason)                                           \
  do {                                                                             \
    if (::contract::GetTarget().IsWine()) GTEST_SKIP() << "Wine differs: " reason; \
  } while (0)

}  // namespace contract

// Tests that need fixed ports run in a private network namespace. The Windows run is started in
// one as a whole by its script; the emulated run re-runs each such test in one of its own.
#ifdef _WIN32
#define CONTRACT_RUN_IN_PRIVATE_NETWORK() \
  do {                                    \
  } while (0)
#else
#include "tests/support/netns.h"
#define CONTRACT_RUN_IN_PRIVATE_NETWORK() TESTSUPPORT_RUN_IN_PRIVATE_NETWORK()
#endif

#endif  // TESTS_CONTRACT_CONTRACT_TARGET_H_
