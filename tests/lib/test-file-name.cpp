#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "fd-safer.h"
#include "file-name.h"

namespace {

struct Free {
  void operator()(char *p) const { free(p); }
};
using Text = std::unique_ptr<char, Free>;

TEST(FileName, LastComponentAndBaseLength)
{
  struct Case {
    const char *name;
    const char *last;
    size_t base_len_of_last;
  } cases[] = {
      {"a", "a", 1},
      {"a/b", "b", 1},
      {"a/b/", "b/", 1},
      {"a//bc//", "bc//", 2},
      {"/", "", 0},
      {"///", "", 0},
      {"/usr", "usr", 3},
      {"//usr/lib", "lib", 3},
      {"", "", 0},
  };
  for (const Case &c : cases)
    {
      SCOPED_TRACE(c.name);
      EXPECT_STREQ(last_component(c.name), c.last);
      EXPECT_EQ(base_len(last_component(c.name)), c.base_len_of_last);
    }
  // Only slashes: one is kept.
  EXPECT_EQ(base_len("///"), 1u);
  EXPECT_EQ(base_len("ab//"), 2u);
}

TEST(FileName, DirName)
{
  struct Case {
    const char *name;
    const char *dir;
  } cases[] = {
      {"a", "."},          {"a/", "."},      {"a/b", "a"},        {"a//b", "a"},
      {"a/b/", "a"},       {"a/b/c", "a/b"}, {"/a", "/"},         {"/", "/"},
      {"//a", "/"},        {"/a/b", "/a"},   {"./a", "."},        {"../x/y", "../x"},
  };
  for (const Case &c : cases)
    {
      SCOPED_TRACE(c.name);
      Text dir(dir_name(c.name));
      EXPECT_STREQ(dir.get(), c.dir);
    }
}

TEST(FileName, Concat)
{
  struct Case {
    const char *dir;
    const char *name;
    const char *joined;
  } cases[] = {
      {"d", "f", "d/f"},
      {"d/", "f", "d/f"},
      {"d//", "f", "d/f"},   // up to the end of the last component, then one slash
      {"d", "/f", "d/f"},
      {"/", "f", "/f"},
      {"/", "/f", "/./f"},   // an empty last component and a name with a slash
      {".", "f", "./f"},
      {"", "f", "f"},
      {"a/b", "c/d", "a/b/c/d"},
  };
  for (const Case &c : cases)
    {
      SCOPED_TRACE(std::string(c.dir) + " + " + c.name);
      char *base = nullptr;
      Text joined(file_name_concat(c.dir, c.name, &base));
      EXPECT_STREQ(joined.get(), c.joined);
      // The name itself begins where the result says.
      EXPECT_STREQ(base, c.name);
    }
}

TEST(FdSafer, NeverHandsOutStandardDescriptors)
{
  // With standard input closed, a plain open would return 0.
  int saved = dup(STDIN_FILENO);
  ASSERT_GE(saved, 0);
  close(STDIN_FILENO);
  int fd = open_safer("/dev/null", O_RDONLY);
  int plain = open("/dev/null", O_RDONLY);
  int safer = fd_safer(plain);
  bool low_closed = fcntl(STDIN_FILENO, F_GETFD) < 0;
  dup2(saved, STDIN_FILENO);
  close(saved);

  EXPECT_GT(fd, STDERR_FILENO);
  EXPECT_EQ(plain, STDIN_FILENO);
  EXPECT_GT(safer, STDERR_FILENO);
  EXPECT_TRUE(low_closed) << "fd_safer must close the descriptor it replaced";
  close(fd);
  close(safer);
  EXPECT_EQ(fd_safer(-1), -1);
  EXPECT_EQ(fd_safer(7), 7);
}

}  // namespace
