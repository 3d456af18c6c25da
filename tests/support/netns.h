// Tests that need fixed ports (a mail server on port 25, a syslog receiver on 514) run in a
// private network namespace of their own, where those ports are free and nothing else listens.
//
// The test binary re-runs the one test in a child process of itself: the child enters a new user
// and network namespace (or only a network namespace when run as root without user namespaces),
// brings its loopback interface up, and then executes the binary again with a filter naming the
// test. In the parent the test passes or fails with the child's result; where namespaces are not
// permitted it is skipped.
//
//   TEST(MailServer, Greets) {
//     TESTSUPPORT_RUN_IN_PRIVATE_NETWORK();
//     ... listen on 127.0.0.1:25 ...
//   }
#ifndef TESTS_SUPPORT_NETNS_H_
#define TESTS_SUPPORT_NETNS_H_

#include <string>

#include <gtest/gtest.h>

namespace testsupport {

// True in the child that runs a test inside its private network namespace.
bool InPrivateNetworkNamespace();

struct PrivateNetworkRun {
  enum Outcome { kPassed, kFailed, kUnsupported } outcome = kFailed;
  std::string output;  // the child's standard output and error, or why it could not run
};

// Runs the current test again in a child in a private network namespace and waits for it.
PrivateNetworkRun RerunCurrentTestInPrivateNetwork();

}  // namespace testsupport

// In the parent: re-runs the test in its own namespace, reports its result and returns. In the
// child: does nothing, and the test body goes on.
#define TESTSUPPORT_RUN_IN_PRIVATE_NETWORK()                                             \
  do {                                                                                   \
    if (!::testsupport::InPrivateNetworkNamespace()) {                                   \
      const ::testsupport::PrivateNetworkRun run_ =                                      \
          ::testsupport::RerunCurrentTestInPrivateNetwork();                             \
      if (run_.outcome == ::testsupport::PrivateNetworkRun::kUnsupported) {              \
        GTEST_SKIP() << "no private network namespace: " << run_.output;                 \
      }                                                                                  \
      ASSERT_EQ(run_.outcome, ::testsupport::PrivateNetworkRun::kPassed) << run_.output; \
      return;                                                                            \
    }                                                                                    \
  } while (0)

#endif  // TESTS_SUPPORT_NETNS_H_
