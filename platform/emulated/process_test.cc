#include "platform/emulated/process.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/test_platform.h"

namespace platform::emulated {
namespace {

class ProcessTest : public ::testing::Test {
 protected:
  testsupport::TempComputer computer_;
  Process& process() { return computer_.platform().process(); }
};

TEST_F(ProcessTest, ProgramPathAndItsShortForm) {
  std::u16string path, short_path;
  ASSERT_EQ(kSuccess, process().ProgramPath(&path));
  char buffer[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", buffer, sizeof buffer - 1), 0);
  EXPECT_EQ(Utf8ToUtf16(buffer), path);
  ASSERT_EQ(kSuccess, process().ShortPath(path, &short_path));
  EXPECT_EQ(path, short_path);
  EXPECT_EQ(kErrorFileNotFound, process().ShortPath(u"/no/such/file", &short_path));
  EXPECT_EQ(kErrorFileNotFound, process().ShortPath(u"C:\\missing.exe", &short_path));
}

TEST_F(ProcessTest, LowestThreadPriorityLowersOnlyTheCallingThread) {
  const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
  int thread_nice = 0;
  Result r = kErrorInvalidData;
  std::thread([&] {
    r = process().SetCurrentThreadLowestPriority();
    thread_nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
  }).join();
  EXPECT_EQ(kSuccess, r);
  EXPECT_EQ(std::min(base + kNiceLowestThreadOffset, kNiceIdleClass), thread_nice);
  EXPECT_EQ(base, getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())));
}

TEST_F(ProcessTest, IdleClassSetsEveryThread) {
  // In a child, since a process cannot raise its priority again.
  const auto in_child = [&] {
    int other = 0;
    bool go = false;
    std::mutex m;
    std::condition_variable cv;
    std::thread t([&] {
      std::unique_lock<std::mutex> lock(m);
      cv.wait(lock, [&] { return go; });
      other = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    });
    const Result r = process().SetProcessIdleClass();
    {
      std::lock_guard<std::mutex> lock(m);
      go = true;
    }
    cv.notify_all();
    t.join();
    const int self = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    return r == kSuccess && self == kNiceIdleClass && other == kNiceIdleClass ? 0 : 1;
  };
  EXPECT_EQ(0, testsupport::RunInChildProcess(in_child));
}

TEST_F(ProcessTest, StartProcessRunsACommandLineWithoutWaiting) {
  const std::string marker = computer_.dir() + "/started marker";
  ASSERT_EQ(kSuccess,
            process().StartProcess(
                Utf8ToUtf16("sh -c \"echo $0 > '" + marker + "'\" \"quoted argument\""), nullptr));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  std::string line;
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream in(marker);
    if (std::getline(in, line) && !line.empty()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ("quoted argument", line);
  EXPECT_EQ(kErrorFileNotFound, process().StartProcess(u"no-such-program-here -i", nullptr));
  // A name with ".exe" is also found without it.
  EXPECT_EQ(kSuccess, process().StartProcess(u"true.exe", nullptr));
}

TEST_F(ProcessTest, AStartedProcessGivesItsExitCodeWithinItsBound) {
  std::unique_ptr<StartedProcess> quick, slow, killed;
  ASSERT_EQ(kSuccess, process().StartProcess(u"sh -c \"exit 7\"", &quick));
  uint32_t code = 0;
  ASSERT_EQ(kSuccess, quick->Wait(30000, &code));
  EXPECT_EQ(7u, code);
  // Asking again gives the same answer.
  ASSERT_EQ(kSuccess, quick->Wait(0, &code));
  EXPECT_EQ(7u, code);

  ASSERT_EQ(kSuccess, process().StartProcess(u"sleep 3", &slow));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(kErrorWaitTimeout, slow->Wait(100, &code));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
  EXPECT_EQ(kErrorWaitTimeout, slow->Wait(0, &code));

  ASSERT_EQ(kSuccess, process().StartProcess(u"sh -c \"kill -TERM $$\"", &killed));
  ASSERT_EQ(kSuccess, killed->Wait(30000, &code));
  EXPECT_EQ(128u + 15u, code);
}

TEST_F(ProcessTest, ABareNameIsLookedForInTheProgramsOwnFolderFirst) {
  // One script of the same name in this test program's folder and in the current folder.
  std::u16string self;
  ASSERT_EQ(kSuccess, process().ProgramPath(&self));
  const std::string own = Utf16ToUtf8(self.substr(0, self.rfind(u'/')));
  const std::string name = "own-folder-probe-" + std::to_string(getpid());
  const std::string marker = computer_.dir() + "/which";
  auto write_script = [&](const std::string& path, const char* who) {
    std::ofstream(path) << "#!/bin/sh\necho " << who << " > '" << marker << "'\n";
    return chmod(path.c_str(), 0755) == 0;
  };
  char cwd[4096];
  ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
  ASSERT_EQ(0, chdir(computer_.dir().c_str()));
  ASSERT_TRUE(write_script(own + "/" + name, "own"));
  ASSERT_TRUE(write_script(computer_.dir() + "/" + name, "current"));
  std::unique_ptr<StartedProcess> started;
  const Result r = process().StartProcess(Utf8ToUtf16(name), &started);
  uint32_t code = 1;
  if (r == kSuccess) {
    EXPECT_EQ(kSuccess, started->Wait(30000, &code));
  }
  unlink((own + "/" + name).c_str());
  ASSERT_EQ(0, chdir(cwd));
  ASSERT_EQ(kSuccess, r);
  EXPECT_EQ(0u, code);
  std::string which;
  std::getline(std::ifstream(marker), which);
  EXPECT_EQ("own", which);
}

}  // namespace
}  // namespace platform::emulated
