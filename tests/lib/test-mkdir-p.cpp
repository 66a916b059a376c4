#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "child.h"
#include "dirchownmod.h"
#include "file-name.h"
#include "mkancesdirs.h"
#include "mkdir-p.h"
#include "process.h"
#include "progname.h"
#include "savewd.h"

namespace {

// What the make-directory and announce callbacks saw.
struct Log {
  std::vector<std::string> calls;
  int fail_errno = 0;  // when set, the callback fails with it and makes nothing
};

int
make_and_log(const char *full, const char *component, void *data)
{
  auto *log = static_cast<Log *>(data);
  log->calls.push_back(std::string(full) + " | " + component);
  if (log->fail_errno)
    {
      errno = log->fail_errno;
      return -1;
    }
  return mkdir(component, 0755);
}

void
announce_and_log(const char *dir, void *data)
{
  auto *log = static_cast<Log *>(data);
  struct stat st;
  std::string mode = "?";
  // The working directory is the new directory's parent.
  if (stat(last_component(dir), &st) == 0)
    {
      char buf[16];
      snprintf(buf, sizeof buf, "%04o", static_cast<unsigned>(st.st_mode & 07777));
      mode = buf;
    }
  log->calls.push_back(std::string("announce ") + dir + " " + mode);
}

std::vector<char>
writable(const std::string &s)
{
  std::vector<char> v(s.begin(), s.end());
  v.push_back('\0');
  return v;
}

mode_t
mode_of(const std::string &path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class DirTest : public ::testing::Test {
 protected:
  void SetUp() override { set_program_name("install"); }
  testsupport::TempDir tmp;
};

TEST_F(DirTest, AncestorsAreMadeAndEnteredInOrder)
{
  struct Case {
    const char *name;
    std::vector<std::string> calls;
    ptrdiff_t prefix;
    const char *must_exist;
  } cases[] = {
      {"a/b/c", {"a | a", "a/b | b"}, 4, "a/b"},
      {"x", {}, 0, nullptr},
      {"p//q///r", {"p | p", "p//q | q"}, 7, "p/q"},
      {"./m/n", {"./m | m"}, 4, "m"},
      // ".." is entered without an attempt to make it.
      {"u/../v/w", {"u | u", "u/../v | v"}, 7, "v"},
      {"t/", {}, 0, nullptr},
      {"k/l/", {"k | k"}, 2, "k"},
  };
  for (const Case &c : cases)
    {
      SCOPED_TRACE(c.name);
      libtest::ChildResult r = libtest::run_in_child([&] {
        if (chdir(tmp.path().c_str()) != 0)
          return 10;
        Log log;
        savewd wd;
        savewd_init(&wd);
        std::vector<char> name = writable(c.name);
        ptrdiff_t prefix = mkancesdirs(name.data(), &wd, make_and_log, &log);
        for (const std::string &call : log.calls)
          printf("%s\n", call.c_str());
        printf("prefix %td\n", prefix);
        // The name is whole again and the working directory is the last
        // ancestor.
        if (strcmp(name.data(), c.name) != 0)
          return 11;
        struct stat here, last;
        if (stat(".", &here) != 0 || stat((tmp.path() + "/" + std::string(c.name, prefix)).c_str(), &last) != 0)
          return 12;
        return here.st_ino == last.st_ino ? 0 : 13;
      });
      EXPECT_EQ(r.status, 0) << r.err;
      std::string expected;
      for (const std::string &call : c.calls)
        expected += call + "\n";
      expected += "prefix " + std::to_string(c.prefix) + "\n";
      EXPECT_EQ(r.out, expected);
      if (c.must_exist)
        {
          struct stat st;
          ASSERT_EQ(stat((tmp / c.must_exist).c_str(), &st), 0) << c.must_exist;
          EXPECT_TRUE(S_ISDIR(st.st_mode));
        }
    }
}

TEST_F(DirTest, AncestorsOfAnAbsoluteNameStartAtTheRoot)
{
  std::string name = tmp / "abs/x/y";
  libtest::ChildResult r = libtest::run_in_child([&] {
    Log log;
    savewd wd;
    savewd_init(&wd);
    std::vector<char> buf = writable(name);
    ptrdiff_t prefix = mkancesdirs(buf.data(), &wd, make_and_log, &log);
    return prefix == static_cast<ptrdiff_t>(name.size() - 1) ? 0 : 10;
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(access((tmp / "abs/x").c_str(), F_OK), 0);
}

TEST_F(DirTest, AFileInTheWayStopsTheWalk)
{
  testsupport::write_file(tmp / "f", "");
  libtest::ChildResult r = libtest::run_in_child([&] {
    if (chdir(tmp.path().c_str()) != 0)
      return 10;
    Log log;
    savewd wd;
    savewd_init(&wd);
    char name[] = "f/x/y";
    ptrdiff_t prefix = mkancesdirs(name, &wd, make_and_log, &log);
    // The error is the failed change of directory's; the name stays cut
    // at the ancestor that failed.
    printf("%td %s %s", prefix, strerror(errno), name);
    return 0;
  });
  EXPECT_EQ(r.out, "-1 Not a directory f");
}

TEST_F(DirTest, AFailedCreationExplainsAMissingAncestor)
{
  libtest::ChildResult r = libtest::run_in_child([&] {
    if (chdir(tmp.path().c_str()) != 0)
      return 10;
    Log log;
    log.fail_errno = EROFS;
    savewd wd;
    savewd_init(&wd);
    char name[] = "gone/x";
    ptrdiff_t prefix = mkancesdirs(name, &wd, make_and_log, &log);
    printf("%td %s", prefix, strerror(errno));
    return 0;
  });
  EXPECT_EQ(r.out, "-1 Read-only file system");
}

// make_dir_parents as the installer calls it for -d.
struct Request {
  const char *name;
  mode_t mode;
  mode_t mode_bits;
  uid_t owner;
  gid_t group;
  bool preserve_existing;
};

libtest::ChildResult
make_dirs(const std::string &dir, const Request &req, bool as_nobody = false)
{
  return libtest::run_in_child(
      [&] {
        if (chdir(dir.c_str()) != 0)
          return 10;
        umask(022);
        Log log;
        savewd wd;
        savewd_init(&wd);
        std::vector<char> name = writable(req.name);
        bool ok = make_dir_parents(name.data(), &wd, make_and_log, &log, req.mode,
                                   announce_and_log, req.mode_bits, req.owner, req.group,
                                   req.preserve_existing);
        savewd_restore(&wd, 0);
        savewd_finish(&wd);
        for (const std::string &call : log.calls)
          printf("%s\n", call.c_str());
        return ok ? 0 : 1;
      },
      as_nobody);
}

constexpr uid_t keep_uid = static_cast<uid_t>(-1);
constexpr gid_t keep_gid = static_cast<gid_t>(-1);

TEST_F(DirTest, MakesEveryMissingDirectoryAndThenNothing)
{
  Request req = {"a/b/c", 0750, 0777, keep_uid, keep_gid, false};
  libtest::ChildResult r = make_dirs(tmp.path(), req);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "a | a\na/b | b\nannounce a/b/c 0750\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(mode_of(tmp / "a/b/c"), 0750u);

  // Again: the ancestors exist (their creation fails, which is fine) and
  // the final directory is merely given its mode.
  ASSERT_EQ(chmod((tmp / "a/b/c").c_str(), 0700), 0);
  r = make_dirs(tmp.path(), req);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "a | a\na/b | b\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(mode_of(tmp / "a/b/c"), 0750u);
}

TEST_F(DirTest, ModeBitsBeyondTheUmaskAreSetAfterCreation)
{
  // 0777 under umask 022 is created 0755, then made 0777.
  Request req = {"open", 0777, 0777, keep_uid, keep_gid, false};
  libtest::ChildResult r = make_dirs(tmp.path(), req);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "announce open 0755\n");
  EXPECT_EQ(mode_of(tmp / "open"), 0777u);
}

TEST_F(DirTest, PreserveExistingLeavesAnExistingDirectoryAlone)
{
  ASSERT_EQ(mkdir((tmp / "old").c_str(), 0700), 0);
  Request req = {"old", 0755, 0777, keep_uid, keep_gid, true};
  libtest::ChildResult r = make_dirs(tmp.path(), req);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(mode_of(tmp / "old"), 0700u);
}

TEST_F(DirTest, FailuresAreReportedWithTheDirectoryName)
{
  testsupport::write_file(tmp / "f", "");
  struct Case {
    const char *name;
    const char *err;
  } cases[] = {
      {"f", "install: cannot create directory 'f': File exists\n"},
      {"f/sub", "install: cannot create directory 'f': Not a directory\n"},
  };
  for (const Case &c : cases)
    {
      Request req = {c.name, 0755, 0777, keep_uid, keep_gid, false};
      libtest::ChildResult r = make_dirs(tmp.path(), req);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.err, c.err);
    }
}

TEST_F(DirTest, NewOwnerGetsTheDirectoryOnlyAfterItIsClosedToOthers)
{
  // The announcement comes right after mkdir: still root's, no group or
  // other permissions.
  Request req = {"owned/set", 02755, 07777, libtest::nobody_uid(), libtest::nobody_gid(), false};
  libtest::ChildResult r = make_dirs(tmp.path(), req);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "owned | owned\nannounce owned/set 0700\n");
  struct stat st;
  ASSERT_EQ(stat((tmp / "owned/set").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, libtest::nobody_uid());
  EXPECT_EQ(st.st_gid, libtest::nobody_gid());
  EXPECT_EQ(st.st_mode & 07777, 02755u);
}

TEST_F(DirTest, PermissionFailuresAsAnotherUser)
{
  ASSERT_EQ(chmod(tmp.path().c_str(), 0777), 0);
  if (!libtest::nobody_can_enter(tmp.path()))
    GTEST_SKIP() << "the user nobody cannot reach " << tmp.path();
  ASSERT_EQ(mkdir((tmp / "roots").c_str(), 0755), 0);
  struct Case {
    Request req;
    const char *err;
  } cases[] = {
      {{"roots", 0700, 0777, keep_uid, keep_gid, false},
       "install: cannot change permissions of 'roots': Operation not permitted\n"},
      {{"roots", 0700, 0777, libtest::nobody_uid(), keep_gid, false},
       "install: cannot change owner and permissions of 'roots': Operation not permitted\n"},
      {{"roots/new", 0700, 0777, keep_uid, keep_gid, false},
       "install: cannot create directory 'roots/new': Permission denied\n"},
  };
  for (const Case &c : cases)
    {
      SCOPED_TRACE(c.req.name);
      libtest::ChildResult r = make_dirs(tmp.path(), c.req, true);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.err, c.err);
    }
  EXPECT_EQ(mode_of(tmp / "roots"), 0755u);
}

TEST_F(DirTest, NamesLongerThanThePathLimit)
{
  std::string component(100, 'd');
  std::string name;
  for (int i = 0; i < 50; i++)
    name += (i ? "/" : "") + component + std::to_string(i);
  ASSERT_GT(name.size(), 4096u);

  Request req = {name.c_str(), 0750, 0777, keep_uid, keep_gid, false};
  libtest::ChildResult r = make_dirs(tmp.path(), req);
  EXPECT_EQ(r.status, 0) << r.err.substr(0, 300);
  EXPECT_EQ(r.err, "");

  // Walk down by descriptor to check every level.
  int fd = open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  for (int i = 0; i < 50; i++)
    {
      std::string part = component + std::to_string(i);
      int next = openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
      ASSERT_GE(next, 0) << "level " << i;
      if (i == 49)
        {
          struct stat st;
          ASSERT_EQ(fstat(next, &st), 0);
          EXPECT_EQ(st.st_mode & 07777, 0750u);
        }
      close(fd);
      fd = next;
    }
  close(fd);
  int top = open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY);
  libtest::remove_tree_at(top, component + "0");
  close(top);
}

TEST_F(DirTest, ChownModChangesOnlyTheBitsAsked)
{
  std::string d = tmp / "d";
  ASSERT_EQ(mkdir(d.c_str(), 0755), 0);
  ASSERT_EQ(chmod(d.c_str(), 0755), 0);
  // Only the group bits are to be set: 0700's group part is 0.
  ASSERT_EQ(dirchownmod(-1, d.c_str(), static_cast<mode_t>(-1), keep_uid, keep_gid, 0700, 070),
            0);
  EXPECT_EQ(mode_of(d), 0705u);

  // Through a descriptor, which is closed afterwards.
  int fd = open(d.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(dirchownmod(fd, d.c_str(), static_cast<mode_t>(-1), libtest::nobody_uid(), keep_gid,
                        02750, 07777),
            0);
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);
  struct stat st;
  ASSERT_EQ(stat(d.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, libtest::nobody_uid());
  EXPECT_EQ(st.st_mode & 07777, 02750u);

  testsupport::write_file(tmp / "file", "");
  EXPECT_EQ(dirchownmod(-1, (tmp / "file").c_str(), static_cast<mode_t>(-1), keep_uid, keep_gid,
                        0700, 0777),
            -1);
  EXPECT_EQ(errno, ENOTDIR);
}

}  // namespace
