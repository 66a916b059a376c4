// Setting times with nanoseconds, and the checks on the times given.

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "process.h"
#include "utimens.h"

namespace {

using testsupport::TempDir;

TEST(Fdutimens, SetsNanosecondsThroughDescriptorAndName)
{
  TempDir dir;
  std::string f = dir / "t";
  testsupport::write_file(f, "x");
  int fd = open(f.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);

  struct timespec ts[2] = {{1000000000, 123456789}, {1200000000, 987654321}};
  ASSERT_EQ(fdutimensat(fd, AT_FDCWD, f.c_str(), ts, 0), 0);
  struct stat st;
  ASSERT_EQ(stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
  EXPECT_EQ(st.st_atim.tv_nsec, 123456789);
  EXPECT_EQ(st.st_mtim.tv_sec, 1200000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 987654321);

  // By name alone, leaving the access time as it is.
  struct timespec ts2[2] = {{5, UTIME_OMIT}, {1300000000, 1}};
  ASSERT_EQ(fdutimensat(-1, AT_FDCWD, f.c_str(), ts2, 0), 0);
  ASSERT_EQ(stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
  EXPECT_EQ(st.st_atim.tv_nsec, 123456789);
  EXPECT_EQ(st.st_mtim.tv_sec, 1300000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 1);
  close(fd);
}

TEST(Fdutimens, RejectsMalformedTimes)
{
  TempDir dir;
  std::string f = dir / "t";
  testsupport::write_file(f, "x");
  int fd = open(f.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  struct stat before;
  ASSERT_EQ(fstat(fd, &before), 0);
  for (long nsec : {-1L, 1000000000L, static_cast<long>(UTIME_NOW) + 1}) {
    struct timespec ts[2] = {{1, 0}, {2, nsec}};
    errno = 0;
    EXPECT_EQ(fdutimens(fd, nullptr, ts), -1) << nsec;
    EXPECT_EQ(errno, EINVAL) << nsec;
  }
  struct stat after;
  ASSERT_EQ(fstat(fd, &after), 0);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  close(fd);
}

TEST(Fdutimens, NoDescriptorAndNoName)
{
  struct timespec ts[2] = {{1, 0}, {2, 0}};
  errno = 0;
  EXPECT_EQ(fdutimensat(-1, AT_FDCWD, nullptr, ts, 0), -1);
  EXPECT_EQ(errno, EBADF);
}

}  // namespace
