// Relabeling an existing tree without a labeling handle: every entry gets
// the process's file-creation context, and with none to apply each one
// fails. What must hold is how failures of the entries and of the walk
// come back to the caller.

#include <gtest/gtest.h>

#include <cerrno>
#include <selinux/selinux.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "process.h"
#include "selinux.h"

namespace {

using testsupport::TempDir;

TEST(Restorecon, FailuresOfEntriesAndOfTheWalk)
{
  // The error that relabeling one entry gives here: no creation context.
  char *con = nullptr;
  errno = 0;
  int entry_errno;
  if (getfscreatecon(&con) < 0)
    entry_errno = errno;
  else if (!con)
    entry_errno = ENODATA;
  else
    {
      freecon(con);
      GTEST_SKIP() << "a file-creation context is set; relabeling could succeed";
    }

  TempDir dir;
  ASSERT_EQ(mkdir((dir / "tree").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "tree/sub").c_str(), 0755), 0);
  testsupport::write_file(dir / "tree/sub/f", "x");
  ASSERT_EQ(symlink("/", (dir / "tree/root").c_str()), 0);

  struct Case {
    std::string name;
    bool recurse;
    int error;
  } cases[] = {
      {dir / "tree", true, entry_errno},
      {dir / "tree/sub/f", false, entry_errno},
      {dir / "tree/sub/f", true, entry_errno},
      // The walk cannot start: its own error, not a relabeling's.
      {dir / "missing", true, ENOENT},
      {dir / "tree/sub/f/x", true, ENOTDIR},
  };
  for (const Case &c : cases)
    {
      SCOPED_TRACE(c.name + (c.recurse ? " recursive" : ""));
      errno = 0;
      EXPECT_FALSE(restorecon(nullptr, c.name.c_str(), c.recurse));
      EXPECT_EQ(errno, c.error);
    }
}

}  // namespace
