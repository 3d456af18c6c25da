#include "platform/emulated/watched_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "tests/support/test_platform.h"

namespace platform::emulated {
namespace {

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

struct Seen {
  std::string text;
  uint64_t generation;
};

Seen Read(WatchedFile& file) {
  Seen seen;
  file.Use([&](const std::string& text, uint64_t generation) { seen = {text, generation}; });
  return seen;
}

// Sets the file's times to one fixed moment, as a rewrite within one tick of the file system's
// clock leaves them.
void Backdate(const std::string& path) {
  const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(WatchedFileTest, ARewriteOfTheSameSizeRightAfterAReadIsSeen) {
  testsupport::TempDir dir;
  const std::string path = dir.path() + "/services";
  WatchedFile file([&] { return path; });
  Write(path, "syslog 5514/udp\n");
  Backdate(path);
  const Seen first = Read(file);
  EXPECT_EQ(first.text, "syslog 5514/udp\n");
  // Size and times may all stay the same (the change time too, within one tick).
  Write(path, "syslog 5515/udp\n");
  Backdate(path);
  const Seen second = Read(file);
  EXPECT_EQ(second.text, "syslog 5515/udp\n");
  EXPECT_NE(second.generation, first.generation);
  // Read again but unchanged: what callers derived from it stays valid.
  EXPECT_EQ(Read(file).generation, second.generation);
}

TEST(WatchedFileTest, ASettledCopyIsReplacedWhenTheFileChanges) {
  testsupport::TempDir dir;
  const std::string path = dir.path() + "/services";
  const int64_t settle = 50'000'000;  // 50 ms
  WatchedFile file([&] { return path; }, settle);
  Write(path, "syslog 5514/udp\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(80));
  EXPECT_EQ(Read(file).text, "syslog 5514/udp\n");
  EXPECT_EQ(Read(file).text, "syslog 5514/udp\n");  // now trusted by its signature

  Write(path, "syslog 5516/udp\n");  // same size, later time
  EXPECT_EQ(Read(file).text, "syslog 5516/udp\n");

  std::this_thread::sleep_for(std::chrono::milliseconds(80));
  Read(file);
  // Replaced by another file of the same size: another inode.
  Write(path + ".new", "syslog 5517/udp\n");
  ASSERT_EQ(std::rename((path + ".new").c_str(), path.c_str()), 0);
  EXPECT_EQ(Read(file).text, "syslog 5517/udp\n");
}

TEST(WatchedFileTest, AMissingFileReadsEmptyAndIsLookedForAgain) {
  testsupport::TempDir dir;
  std::string path = dir.path() + "/services";
  WatchedFile file([&] { return path; });
  EXPECT_EQ(Read(file).text, "");
  Write(path, "smtp 25/tcp\n");
  const Seen found = Read(file);
  EXPECT_EQ(found.text, "smtp 25/tcp\n");
  ASSERT_EQ(std::remove(path.c_str()), 0);
  const Seen gone = Read(file);
  EXPECT_EQ(gone.text, "");
  EXPECT_NE(gone.generation, found.generation);
  // The file turns up under another name (another spelling of a directory, say): the path is
  // asked for again once the old one names nothing.
  path = dir.path() + "/SERVICES";
  Write(path, "smtp 2525/tcp\n");
  EXPECT_EQ(Read(file).text, "smtp 2525/tcp\n");
}

}  // namespace
}  // namespace platform::emulated
