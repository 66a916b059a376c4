#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "child.h"
#include "process.h"
#include "savewd.h"

namespace {

std::string
cwd()
{
  char buf[4096];
  return getcwd(buf, sizeof buf) ? buf : "";
}

TEST(Savewd, ChdirAndRestoreThroughTheSavedDescriptor)
{
  testsupport::TempDir tmp;
  ASSERT_EQ(mkdir((tmp / "sub").c_str(), 0755), 0);
  libtest::ChildResult r = libtest::run_in_child([&] {
    if (chdir(tmp.path().c_str()) != 0)
      return 10;
    std::string start = cwd();
    savewd wd;
    savewd_init(&wd);
    if (wd.state != SAVEWD_INITIAL || savewd_errno(&wd) != 0)
      return 11;
    if (savewd_chdir(&wd, "sub", 0, nullptr) != 0 || wd.state != SAVEWD_DESCRIPTOR_AFTER_CHDIR)
      return 12;
    if (cwd() != start + "/sub")
      return 13;
    int fd = wd.value;
    if (fd <= STDERR_FILENO)
      return 14;
    if (savewd_restore(&wd, 0) != 0 || wd.state != SAVEWD_DESCRIPTOR || cwd() != start)
      return 15;
    // Restoring again changes nothing.
    if (savewd_restore(&wd, 0) != 0 || cwd() != start)
      return 16;
    savewd_finish(&wd);
    if (wd.state != SAVEWD_FINAL || fcntl(fd, F_GETFD) >= 0)
      return 17;
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(Savewd, OpenedTargetAndItsOptions)
{
  testsupport::TempDir tmp;
  ASSERT_EQ(mkdir((tmp / "sub").c_str(), 0755), 0);
  ASSERT_EQ(symlink("sub", (tmp / "link").c_str()), 0);
  testsupport::write_file(tmp / "file", "x");
  libtest::ChildResult r = libtest::run_in_child([&] {
    if (chdir(tmp.path().c_str()) != 0)
      return 10;
    std::string start = cwd();
    savewd wd;
    savewd_init(&wd);
    int pair[2] = {-7, -7};

    // A readable target is only opened: nothing saved, nothing changed.
    if (savewd_chdir(&wd, "sub", SAVEWD_CHDIR_SKIP_READABLE, pair) != 0)
      return 11;
    if (pair[0] <= STDERR_FILENO || wd.state != SAVEWD_INITIAL || cwd() != start)
      return 12;
    close(pair[0]);

    // No-follow refuses a symbolic link, but only when the target is opened.
    if (savewd_chdir(&wd, "link", SAVEWD_CHDIR_NOFOLLOW, pair) != -1 || pair[0] != -1
        || (pair[1] != ELOOP && pair[1] != ENOTDIR) || cwd() != start)
      return 13;
    if (savewd_chdir(&wd, "link", SAVEWD_CHDIR_NOFOLLOW, nullptr) != 0
        || cwd() != start + "/sub")
      return 14;
    if (savewd_restore(&wd, 0) != 0)
      return 15;

    // A target that is not a directory fails before anything is saved.
    savewd wd2;
    savewd_init(&wd2);
    if (savewd_chdir(&wd2, "file", 0, pair) != -1 || errno != ENOTDIR
        || wd2.state != SAVEWD_INITIAL)
      return 16;
    // Opened and entered by descriptor.
    if (savewd_chdir(&wd2, "sub", 0, pair) != 0 || cwd() != start + "/sub")
      return 17;
    close(pair[0]);
    savewd_restore(&wd2, 0);
    savewd_finish(&wd2);
    savewd_finish(&wd);
    return cwd() == start ? 0 : 18;
  });
  EXPECT_EQ(r.status, 0) << r.err;
}

// The forking fallback and the states after a lost directory need a user
// that the permission bits apply to; root passes them all.
class SavewdAsNobody : public ::testing::Test {
 protected:
  void SetUp() override
  {
    ASSERT_EQ(chmod(tmp.path().c_str(), 0755), 0);
    if (!libtest::nobody_can_enter(tmp.path()))
      GTEST_SKIP() << "the user nobody cannot reach " << tmp.path();
    start = tmp / "start";
    ASSERT_EQ(mkdir(start.c_str(), 0755), 0);
  }

  void make_owned_dir(const std::string &path, mode_t mode)
  {
    ASSERT_EQ(mkdir(path.c_str(), mode), 0);
    ASSERT_EQ(chown(path.c_str(), libtest::nobody_uid(), libtest::nobody_gid()), 0);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
  }

  testsupport::TempDir tmp;
  std::string start;
};

struct ForkingRun {
  std::vector<int> statuses;  // what the action returns for each name
};

// Enters the name and writes the process ID there.
int
enter_and_mark(char *name, savewd *wd, void *data)
{
  auto *run = static_cast<ForkingRun *>(data);
  int index = name[1] - '1';
  int result = savewd_chdir(wd, name, 0, nullptr);
  if (result == -2)
    return 0;  // the child does it
  if (result != 0)
    return 20;
  FILE *f = fopen("pid", "w");
  if (!f)
    return 21;
  fprintf(f, "%d", static_cast<int>(getpid()));
  fclose(f);
  return run->statuses[index];
}

TEST_F(SavewdAsNobody, UnreadableStartDirectoryHandsTheWorkToChildren)
{
  for (const char *name : {"s1", "s2", "s3"})
    make_owned_dir(start + "/" + name, 0755);
  // Search permission only: "." cannot be opened.
  ASSERT_EQ(chmod(start.c_str(), 0111), 0);

  libtest::ChildResult r = libtest::run_in_child(
      [&] {
        if (chdir(start.c_str()) != 0)
          return 10;
        ForkingRun run{{0, 3, 0}};
        char n1[] = "s1", n2[] = "s2", n3[] = "s3";
        char *names[] = {n1, n2, n3};
        int status = savewd_process_files(3, names, enter_and_mark, &run);
        printf("%d %d", status, static_cast<int>(getpid()));
        return 0;
      },
      true);
  ASSERT_EQ(r.status, 0) << r.err;
  int status = -1, parent = -1;
  ASSERT_EQ(sscanf(r.out.c_str(), "%d %d", &status, &parent), 2) << r.out;
  // The second name's status came back from its child.
  EXPECT_EQ(status, 3);
  // All but the last relative name were done by children; the last one
  // needs no return and is done by the parent itself.
  int pid1 = std::stoi(testsupport::read_file(start + "/s1/pid"));
  int pid2 = std::stoi(testsupport::read_file(start + "/s2/pid"));
  int pid3 = std::stoi(testsupport::read_file(start + "/s3/pid"));
  EXPECT_NE(pid1, parent);
  EXPECT_NE(pid2, parent);
  EXPECT_NE(pid1, pid2);
  EXPECT_EQ(pid3, parent);
}

int
die_of_usr1(char *name, savewd *wd, void *)
{
  int result = savewd_chdir(wd, name, 0, nullptr);
  if (result == -2)
    return 0;
  signal(SIGUSR1, SIG_DFL);
  raise(SIGUSR1);
  return 0;
}

TEST_F(SavewdAsNobody, AChildKilledByASignalIsNeverSuccess)
{
  make_owned_dir(start + "/s1", 0755);
  make_owned_dir(start + "/s2", 0755);
  ASSERT_EQ(chmod(start.c_str(), 0111), 0);
  char n1[] = "s1", n2[] = "s2";
  char *names[] = {n1, n2};

  // The parent dies of the child's signal...
  libtest::ChildResult r = libtest::run_in_child(
      [&] {
        if (chdir(start.c_str()) != 0)
          return 10;
        savewd_process_files(2, names, die_of_usr1, nullptr);
        return 0;
      },
      true);
  EXPECT_EQ(r.signal, SIGUSR1);

  // ...and where it ignores that signal, the work still counts as failed.
  r = libtest::run_in_child(
      [&] {
        if (chdir(start.c_str()) != 0)
          return 10;
        signal(SIGUSR1, SIG_IGN);
        int s1 = 0;
        savewd wd;
        savewd_init(&wd);
        if (die_of_usr1(n1, &wd, nullptr) != 0)
          return 11;
        s1 = savewd_restore(&wd, 0);
        savewd_finish(&wd);
        return s1 == 1 ? 0 : 12;
      },
      true);
  EXPECT_EQ(r.status, 0) << r.err;
}

int
lose_the_start_directory(char *name, savewd *wd, void *data)
{
  const std::string &start = *static_cast<std::string *>(data);
  if (savewd_chdir(wd, name, 0, nullptr) != 0)
    return 20;
  // Without search permission the saved descriptor can no longer be entered.
  if (chmod(start.c_str(), 0600) != 0)
    return 21;
  return 0;
}

int
must_not_run_here(char *name, savewd *wd, void *)
{
  if (name[0] != '/' && savewd_errno(wd) != 0)
    return 7;  // refused, as the directory helpers refuse it
  FILE *f = fopen(name, "w");
  if (f)
    fclose(f);
  return 0;
}

TEST_F(SavewdAsNobody, ALostStartDirectoryRefusesLaterRelativeNames)
{
  ASSERT_EQ(chown(start.c_str(), libtest::nobody_uid(), libtest::nobody_gid()), 0);
  make_owned_dir(start + "/a", 0755);
  libtest::ChildResult r = libtest::run_in_child(
      [&] {
        if (chdir(start.c_str()) != 0)
          return 10;
        savewd wd;
        savewd_init(&wd);
        char a[] = "a";
        if (lose_the_start_directory(a, &wd, &start) != 0)
          return 11;
        if (savewd_restore(&wd, 0) != -1 || errno != EACCES || savewd_errno(&wd) != EACCES)
          return 12;
        // Finishing keeps the error: a later relative name must not be
        // worked on in the directory we are stuck in.
        savewd_finish(&wd);
        if (savewd_errno(&wd) != EACCES)
          return 13;
        char b[] = "b";
        return must_not_run_here(b, &wd, nullptr);
      },
      true);
  EXPECT_EQ(r.status, 7) << r.err;
  chmod(start.c_str(), 0755);
  EXPECT_NE(access((start + "/a/b").c_str(), F_OK), 0) << "b was created inside a";
}

TEST(Savewd, ProcessFilesRestoresBeforeEachRelativeName)
{
  testsupport::TempDir tmp;
  for (const char *name : {"d1", "d2", "d3"})
    ASSERT_EQ(mkdir((tmp / name).c_str(), 0755), 0);
  std::string abs = tmp / "abs";
  libtest::ChildResult r = libtest::run_in_child([&] {
    if (chdir(tmp.path().c_str()) != 0)
      return 10;
    char d1[] = "d1", d2[] = "d2", d3[] = "d3";
    std::vector<char> a(abs.begin(), abs.end());
    a.push_back('\0');
    // Each action enters its directory and creates "mark" there; an
    // absolute name works wherever the directory is.
    char *names[] = {d1, a.data(), d2, d3};
    auto act = [](char *name, savewd *wd, void *) -> int {
      if (name[0] == '/')
        return mkdir(name, 0755) == 0 ? 1 : 30;
      if (savewd_chdir(wd, name, 0, nullptr) != 0)
        return 31;
      return mkdir("mark", 0755) == 0 ? 2 : 32;
    };
    return savewd_process_files(4, names, act, nullptr);
  });
  EXPECT_EQ(r.status, 2) << r.err;
  for (const char *name : {"d1/mark", "d2/mark", "d3/mark", "abs"})
    EXPECT_EQ(access((tmp / name).c_str(), F_OK), 0) << name;
}

}  // namespace
