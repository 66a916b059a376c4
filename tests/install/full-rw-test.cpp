// Full reads and writes: short counts say why they are short.

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "full-rw.h"
#include "process.h"

namespace {

TEST(FullRead, EndOfFileClearsErrno)
{
  testsupport::TempDir dir;
  std::string f = dir / "r";
  testsupport::write_file(f, "12345");
  int fd = open(f.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  char buf[16];
  errno = EIO;
  EXPECT_EQ(full_read(fd, buf, sizeof buf), 5u);
  EXPECT_EQ(errno, 0);
  EXPECT_EQ(std::string(buf, 5), "12345");
  close(fd);
}

TEST(FullRead, GathersAPipeWrittenInPieces)
{
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(p[0]);
    for (const char *piece : {"ab", "cd", "ef"}) {
      if (write(p[1], piece, 2) != 2)
        _exit(1);
      usleep(10000);
    }
    _exit(0);
  }
  close(p[1]);
  char buf[6];
  EXPECT_EQ(full_read(p[0], buf, sizeof buf), 6u);
  EXPECT_EQ(std::string(buf, 6), "abcdef");
  close(p[0]);
  int status;
  waitpid(pid, &status, 0);
}

TEST(FullRead, ErrorKeepsErrno)
{
  int fd = open("/dev/null", O_WRONLY);
  ASSERT_GE(fd, 0);
  char buf[4];
  EXPECT_EQ(full_read(fd, buf, sizeof buf), 0u);
  EXPECT_EQ(errno, EBADF);
  close(fd);
}

TEST(FullWrite, FullDeviceGivesEnospc)
{
  int fd = open("/dev/full", O_WRONLY);
  ASSERT_GE(fd, 0);
  errno = 0;
  EXPECT_EQ(full_write(fd, "abc", 3), 0u);
  EXPECT_EQ(errno, ENOSPC);
  close(fd);
}

}  // namespace
