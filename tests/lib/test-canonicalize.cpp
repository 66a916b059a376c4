#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "canonicalize.h"
#include "child.h"
#include "process.h"

namespace {

struct Free {
  void operator()(char *p) const { free(p); }
};
using Text = std::unique_ptr<char, Free>;

// A tree with the kinds of names that resolution has to get right:
//   d/e/          directories
//   f             a regular file
//   ld -> d/e     a relative link two levels down
//   labs -> /…/d  an absolute link
//   lf -> f       a link to a file
//   loop1 <-> loop2, self -> self
//   dangling -> nowhere
class Canonicalize : public ::testing::Test {
 protected:
  void SetUp() override
  {
    ASSERT_EQ(mkdir((tmp / "d").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((tmp / "d/e").c_str(), 0755), 0);
    testsupport::write_file(tmp / "f", "x");
    ASSERT_EQ(symlink("d/e", (tmp / "ld").c_str()), 0);
    ASSERT_EQ(symlink((tmp / "d").c_str(), (tmp / "labs").c_str()), 0);
    ASSERT_EQ(symlink("f", (tmp / "lf").c_str()), 0);
    ASSERT_EQ(symlink("loop2", (tmp / "loop1").c_str()), 0);
    ASSERT_EQ(symlink("loop1", (tmp / "loop2").c_str()), 0);
    ASSERT_EQ(symlink("self", (tmp / "self").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (tmp / "dangling").c_str()), 0);
  }

  testsupport::TempDir tmp;
};

TEST_F(Canonicalize, NamesRelativeToTheWorkingDirectory)
{
  struct Case {
    const char *name;
    int mode;
    const char *result;  // below the fixture's directory; null for failure
    int error;
  } cases[] = {
      {"d/e", CAN_EXISTING, "/d/e", 0},
      {"./d//e/", CAN_EXISTING, "/d/e", 0},
      {"d/../f", CAN_EXISTING, "/f", 0},
      {"ld", CAN_EXISTING, "/d/e", 0},
      // ".." after a link climbs from where the link leads.
      {"ld/..", CAN_EXISTING, "/d", 0},
      {"ld/../../f", CAN_EXISTING, "/f", 0},
      {"labs/e", CAN_EXISTING, "/d/e", 0},
      {"lf", CAN_EXISTING, "/f", 0},
      {"lf/", CAN_EXISTING, nullptr, ENOTDIR},
      {"f/x", CAN_EXISTING, nullptr, ENOTDIR},
      {"f/x", CAN_ALL_BUT_LAST, nullptr, ENOTDIR},
      {"f/x", CAN_MISSING, "/f/x", 0},
      {"loop1", CAN_EXISTING, nullptr, ELOOP},
      {"self/x", CAN_MISSING, nullptr, ELOOP},
      {"dangling", CAN_EXISTING, nullptr, ENOENT},
      {"dangling", CAN_ALL_BUT_LAST, "/nowhere", 0},
      {"dangling", CAN_MISSING, "/nowhere", 0},
      {"missing", CAN_EXISTING, nullptr, ENOENT},
      {"missing", CAN_ALL_BUT_LAST, "/missing", 0},
      {"missing/x", CAN_ALL_BUT_LAST, nullptr, ENOENT},
      {"missing/x", CAN_MISSING, "/missing/x", 0},
      // Links after a missing component that was climbed out of still count.
      {"missing/../ld", CAN_MISSING, "/d/e", 0},
      {"ld", CAN_EXISTING | CAN_NOLINKS, "/ld", 0},
      {"ld/..", CAN_EXISTING | CAN_NOLINKS, "", 0},
      {"dangling/x", CAN_MISSING | CAN_NOLINKS, "/dangling/x", 0},
      {"missing", CAN_EXISTING | CAN_NOLINKS, nullptr, ENOENT},
      {"", CAN_MISSING, nullptr, ENOENT},
      {"d", 3, nullptr, EINVAL},
      {"d", 8, nullptr, EINVAL},
  };
  libtest::ChildResult r = libtest::run_in_child([&] {
    if (chdir(tmp.path().c_str()) != 0)
      return 10;
    char *cwd = getcwd(nullptr, 0);
    std::string base = cwd;
    free(cwd);
    int failures = 0;
    for (const Case &c : cases)
      {
        errno = 0;
        Text got(canonicalize_filename_mode(c.name, static_cast<canonicalize_mode_t>(c.mode)));
        int e = errno;
        std::string want = c.result ? base + c.result : "(null)";
        std::string have = got ? got.get() : "(null)";
        if (have != want || (!c.result && e != c.error))
          {
            fprintf(stderr, "%s (mode %d): got %s, errno %s; want %s, errno %s\n", c.name,
                    c.mode, have.c_str(), strerror(e), want.c_str(), strerror(c.error));
            failures++;
          }
      }
    return failures;
  });
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(Canonicalize, AbsoluteNamesAndTheRoot)
{
  for (const char *root : {"/", "//", "/..", "/./../.", "///.//"})
    {
      SCOPED_TRACE(root);
      Text got(canonicalize_filename_mode(root, CAN_EXISTING));
      ASSERT_TRUE(got) << strerror(errno);
      EXPECT_STREQ(got.get(), "/");
    }

  // The temporary directory may itself lie behind a link.
  Text dir(canonicalize_filename_mode(tmp.path().c_str(), CAN_EXISTING));
  ASSERT_TRUE(dir) << strerror(errno);
  EXPECT_EQ(dir.get()[0], '/');
  Text got(canonicalize_filename_mode((tmp / "labs/../f").c_str(), CAN_EXISTING));
  ASSERT_TRUE(got) << strerror(errno);
  EXPECT_EQ(std::string(got.get()), std::string(dir.get()) + "/f");

  errno = 0;
  EXPECT_EQ(canonicalize_filename_mode(nullptr, CAN_MISSING), nullptr);
  EXPECT_EQ(errno, EINVAL);
}

TEST_F(Canonicalize, ChainsOfLinksUpToTheLimit)
{
  Text dir(canonicalize_filename_mode(tmp.path().c_str(), CAN_EXISTING));
  ASSERT_TRUE(dir) << strerror(errno);
  std::string base = dir.get();
  // Forty links in a row resolve; one more is taken as a loop.
  for (int i = 1; i <= 41; i++)
    {
      std::string target = i == 1 ? "d" : "c" + std::to_string(i - 1);
      ASSERT_EQ(symlink(target.c_str(), (base + "/c" + std::to_string(i)).c_str()), 0);
    }
  Text got(canonicalize_filename_mode((base + "/c40").c_str(), CAN_EXISTING));
  ASSERT_TRUE(got) << strerror(errno);
  EXPECT_EQ(std::string(got.get()), base + "/d");
  errno = 0;
  EXPECT_EQ(canonicalize_filename_mode((base + "/c41").c_str(), CAN_MISSING), nullptr);
  EXPECT_EQ(errno, ELOOP);
}

}  // namespace
