#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "chdir-long.h"
#include "child.h"
#include "process.h"

namespace {

// A chain of directories whose full name is longer than PATH_MAX, built
// and removed through descriptors. The deepest directory holds a file.
class ChdirLong : public ::testing::Test {
 protected:
  void SetUp() override
  {
    std::string component(200, 'd');
    int fd = open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    while (deep.size() <= PATH_MAX)
      {
        ASSERT_EQ(mkdirat(fd, component.c_str(), 0755), 0) << strerror(errno);
        int sub = openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        ASSERT_GE(sub, 0);
        fd = sub;
        deep += (deep.empty() ? "" : "/") + component;
      }
    int file = openat(fd, "file", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(file, 0);
    close(file);
    ASSERT_EQ(fstat(fd, &deepest), 0);
    close(fd);
    ASSERT_EQ(stat(tmp.path().c_str(), &top), 0);
  }

  void TearDown() override
  {
    int fd = open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    libtest::remove_tree_at(fd, std::string(200, 'd'));
    close(fd);
  }

  static bool at(const struct stat &dir)
  {
    struct stat st;
    return stat(".", &st) == 0 && st.st_dev == dir.st_dev && st.st_ino == dir.st_ino;
  }

  testsupport::TempDir tmp;
  std::string deep;  // relative to tmp
  struct stat deepest;
  struct stat top;
};

TEST_F(ChdirLong, EntersAndRefuses)
{
  struct Case {
    std::string name;
    bool absolute;
    int error;  // 0: ends in the deepest directory
  } cases[] = {
      {deep, false, 0},
      {deep, true, 0},
      {"./" + deep + "//", false, 0},
      {deep + "/../" + std::string(200, 'd'), false, 0},
      {deep + "/missing", false, ENOENT},
      {deep + "/file", false, ENOTDIR},
      {deep + "/file/x", true, ENOTDIR},
      {deep + "/" + std::string(NAME_MAX + 1, 'x'), false, ENAMETOOLONG},
  };
  for (const Case &c : cases)
    {
      std::string name = c.absolute ? tmp.path() + "/" + c.name : c.name;
      SCOPED_TRACE(name.substr(name.size() - 20));
      ASSERT_GT(name.size(), static_cast<size_t>(PATH_MAX));
      libtest::ChildResult r = libtest::run_in_child([&] {
        if (chdir(tmp.path().c_str()) != 0)
          return 10;
        // The plain call really cannot do it.
        if (chdir(name.c_str()) == 0 || errno != ENAMETOOLONG)
          return 11;
        errno = 0;
        int result = chdir_long(name.data());
        if (c.error == 0)
          return result == 0 && at(deepest) ? 0 : 12;
        if (result != -1 || errno != c.error)
          return 13;
        // Nothing changed on failure.
        return at(top) ? 0 : 14;
      });
      EXPECT_EQ(r.status, 0) << r.err;
    }
}

TEST_F(ChdirLong, ShortNamesAsChdir)
{
  libtest::ChildResult r = libtest::run_in_child([&] {
    if (chdir(tmp.path().c_str()) != 0)
      return 10;
    std::string first(200, 'd');
    if (chdir_long(first.data()) != 0)
      return 11;
    char missing[] = "missing";
    if (chdir_long(missing) != -1 || errno != ENOENT)
      return 12;
    char root[] = "/";
    if (chdir_long(root) != 0)
      return 13;
    struct stat st, rootst;
    return stat(".", &st) == 0 && stat("/", &rootst) == 0 && st.st_ino == rootst.st_ino ? 0 : 14;
  });
  EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace
