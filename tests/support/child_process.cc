#include "tests/support/child_process.h"

#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

pid_t StartChildProcess(const std::function<int()>& work) {
  const pid_t child = fork();
  if (child == 0) _exit(work());  // _exit: the parent's test framework must not run here
  return child < 0 ? -1 : child;
}

int WaitForChildProcess(pid_t child) {
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

}  // namespace testsupport
