// Work done in a process of its own, for tests of what one process sees of another's changes.
#ifndef TESTS_SUPPORT_CHILD_PROCESS_H_
#define TESTS_SUPPORT_CHILD_PROCESS_H_

#include <sys/types.h>

#include <functional>

namespace testsupport {

// Forks a child that runs `work` and exits with its answer; -1 when no child could be made.
pid_t StartChildProcess(const std::function<int()>& work);

// Waits for the child: its exit status, 128 + the signal that ended it, or -1 when it cannot be
// waited for.
int WaitForChildProcess(pid_t child);

// Both at once: runs `work` in a child process and gives its exit status (0: success).
inline int RunInChildProcess(const std::function<int()>& work) {
  return WaitForChildProcess(StartChildProcess(work));
}

}  // namespace testsupport

#endif  // TESTS_SUPPORT_CHILD_PROCESS_H_
