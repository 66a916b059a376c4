#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "child.h"
#include "process.h"
#include "xfts.h"

namespace {

int
by_name(const FTSENT **a, const FTSENT **b)
{
  return strcmp((*a)->fts_name, (*b)->fts_name);
}

const char *
info_name(int info)
{
  switch (info)
    {
    case FTS_D: return "D";
    case FTS_DP: return "DP";
    case FTS_F: return "F";
    case FTS_SL: return "SL";
    case FTS_SLNONE: return "SLNONE";
    case FTS_NS: return "NS";
    case FTS_DNR: return "DNR";
    case FTS_DC: return "DC";
    case FTS_ERR: return "ERR";
    default: return "?";
    }
}

// The walk as "path type" lines, paths relative to ROOT's parent.
std::vector<std::string>
walk(const std::string &root, int options)
{
  std::string name = root;
  char *argv[] = {name.data(), nullptr};
  FTS *fts = xfts_open(argv, options, by_name);
  EXPECT_NE(fts, nullptr) << strerror(errno);
  std::vector<std::string> seen;
  if (!fts)
    return seen;
  std::string::size_type strip = root.rfind('/') + 1;
  while (FTSENT *ent = fts_read(fts))
    {
      std::string line = std::string(ent->fts_path).substr(strip) + " " + info_name(ent->fts_info);
      if (ent->fts_info == FTS_NS)
        line += std::string(" ") + strerror(ent->fts_errno);
      seen.push_back(line);
    }
  EXPECT_EQ(errno, 0);
  EXPECT_EQ(fts_close(fts), 0);
  return seen;
}

TEST(Xfts, PhysicalWalkOfASmallTree)
{
  // top/a, top/b/c, top/b/up -> .., top/l -> b, top/z -> nowhere
  testsupport::TempDir tmp;
  ASSERT_EQ(mkdir((tmp / "top").c_str(), 0755), 0);
  testsupport::write_file(tmp / "top/a", "a");
  ASSERT_EQ(mkdir((tmp / "top/b").c_str(), 0755), 0);
  testsupport::write_file(tmp / "top/b/c", "c");
  ASSERT_EQ(symlink("..", (tmp / "top/b/up").c_str()), 0);
  ASSERT_EQ(symlink("b", (tmp / "top/l").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", (tmp / "top/z").c_str()), 0);

  // Links are entries of their own and never followed, whether or not the
  // walk changes directory.
  std::vector<std::string> expected = {
      "top D", "top/a F", "top/b D", "top/b/c F", "top/b/up SL", "top/b DP",
      "top/l SL", "top/z SL", "top DP",
  };
  for (int options : {FTS_PHYSICAL, FTS_PHYSICAL | FTS_NOCHDIR})
    {
      SCOPED_TRACE(options);
      errno = 0;
      EXPECT_EQ(walk(tmp / "top", options), expected);
    }
}

TEST(Xfts, MissingStartAndEmptyName)
{
  testsupport::TempDir tmp;
  errno = 0;
  EXPECT_EQ(walk(tmp / "missing", FTS_PHYSICAL),
            std::vector<std::string>{std::string("missing NS ") + strerror(ENOENT)});

  char empty[] = "";
  char *argv[] = {empty, nullptr};
  errno = 0;
  EXPECT_EQ(xfts_open(argv, FTS_PHYSICAL, nullptr), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

TEST(Xfts, InvalidOptionsAreACallerError)
{
  testsupport::TempDir tmp;
  std::string name = tmp.path();
  libtest::ChildResult r = libtest::run_in_child([&] {
    char *argv[] = {name.data(), nullptr};
    xfts_open(argv, FTS_PHYSICAL | 0x40000, nullptr);
    return 0;
  });
  EXPECT_EQ(r.signal, SIGABRT) << r.err;
  EXPECT_NE(r.err.find("EINVAL"), std::string::npos) << r.err;
}

}  // namespace
