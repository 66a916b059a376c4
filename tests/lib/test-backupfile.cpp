#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "backupfile.h"
#include "child.h"
#include "process.h"
#include "progname.h"
#include "renameatu.h"

namespace {

struct Free {
  void operator()(char *p) const { free(p); }
};
using Text = std::unique_ptr<char, Free>;

class Backup : public ::testing::Test {
 protected:
  void SetUp() override
  {
    set_program_name("install");
    set_simple_backup_suffix("~");
    dirfd = open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dirfd, 0);
  }
  void TearDown() override { close(dirfd); }

  void touch(const std::string &name, const std::string &contents = "")
  {
    testsupport::write_file(tmp / name, contents);
  }

  bool exists(const std::string &name)
  {
    struct stat st;
    return fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  }

  testsupport::TempDir tmp;
  int dirfd = -1;
};

TEST_F(Backup, NamesForEachMethod)
{
  struct Case {
    backup_type type;
    std::vector<std::string> present;
    const char *file;
    const char *backup;
  } cases[] = {
      {BACKUP_EXISTING, {}, "f", "f~"},
      {BACKUP_EXISTING, {"f.~1~", "f.~3~"}, "f", "f.~4~"},
      {BACKUP_EXISTING, {"f.~9~"}, "f", "f.~10~"},
      {BACKUP_EXISTING, {"f.~0~", "f.~1x~", "f.~1~x", "g.~5~", "fx.~4~", "f.~~", "f~"}, "f", "f~"},
      {BACKUP_NUMBERED, {}, "f", "f.~1~"},
      {BACKUP_NUMBERED, {"f.~2~", "f.~10~", "f.~7~"}, "f", "f.~11~"},
      {BACKUP_NUMBERED, {"f.~99~", "f.~100~"}, "f", "f.~101~"},
      {BACKUP_NUMBERED, {"f.~999~"}, "f", "f.~1000~"},
      // Compared as digit strings, so any width works.
      {BACKUP_NUMBERED, {"f.~12345678901234567890123~"}, "f", "f.~12345678901234567890124~"},
      {BACKUP_NUMBERED, {"f.~99999999999999999999~", "f.~5~"}, "f", "f.~100000000000000000000~"},
      {BACKUP_SIMPLE, {"f.~3~"}, "f", "f~"},
      {BACKUP_NUMBERED, {"sub/f.~2~"}, "sub/f", "sub/f.~3~"},
      {BACKUP_EXISTING, {}, "sub/f", "sub/f~"},
      // Trailing slashes do not count.
      {BACKUP_NUMBERED, {"sub/d.~1~"}, "sub/d/", "sub/d.~2~"},
  };
  ASSERT_EQ(mkdir((tmp / "sub").c_str(), 0755), 0);
  int n = 0;
  for (const Case &c : cases)
    {
      SCOPED_TRACE(::testing::Message() << "case " << n++ << ": " << c.backup);
      for (const std::string &name : c.present)
        touch(name);
      Text name(find_backup_file_name(dirfd, c.file, c.type));
      EXPECT_STREQ(name.get(), c.backup);
      for (const std::string &name : c.present)
        unlinkat(dirfd, name.c_str(), 0);
    }
}

TEST_F(Backup, RenamingMakesSuccessiveNumberedBackups)
{
  touch("f", "one");
  Text first(backup_file_rename(dirfd, "f", BACKUP_NUMBERED));
  ASSERT_STREQ(first.get(), "f.~1~");
  EXPECT_FALSE(exists("f"));
  touch("f", "two");
  Text second(backup_file_rename(dirfd, "f", BACKUP_NUMBERED));
  ASSERT_STREQ(second.get(), "f.~2~");
  EXPECT_EQ(testsupport::read_file(tmp / "f.~1~"), "one");
  EXPECT_EQ(testsupport::read_file(tmp / "f.~2~"), "two");
}

TEST_F(Backup, SimpleBackupReplacesAnOlderOne)
{
  set_simple_backup_suffix(".bak");
  touch("f", "new");
  touch("f.bak", "old");
  Text name(backup_file_rename(dirfd, "f", BACKUP_SIMPLE));
  ASSERT_STREQ(name.get(), "f.bak");
  EXPECT_EQ(testsupport::read_file(tmp / "f.bak"), "new");
  // Existing without numbered backups falls back to the simple suffix.
  touch("g", "g");
  Text g(backup_file_rename(dirfd, "g", BACKUP_EXISTING));
  EXPECT_STREQ(g.get(), "g.bak");
}

TEST_F(Backup, AVanishedFileIsReportedAsMissing)
{
  errno = 0;
  EXPECT_EQ(backup_file_rename(dirfd, "absent", BACKUP_SIMPLE), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(Backup, LongNamesAreFittedToTheDirectoryLimit)
{
  long name_max = fpathconf(dirfd, _PC_NAME_MAX);
  if (name_max != 255)
    GTEST_SKIP() << "the temporary directory's name limit is " << name_max << ", not 255";
  struct Case {
    size_t length;
    backup_type type;
    size_t backup_length;
    bool keeps_whole_name;
  } cases[] = {
      // name.~1~ would be 257 bytes: the name and "~" instead.
      {253, BACKUP_NUMBERED, 254, true},
      // 254 is not shorter than the usable 254: its first 253 bytes and "~".
      {254, BACKUP_NUMBERED, 254, false},
      {240, BACKUP_NUMBERED, 244, true},
      {254, BACKUP_EXISTING, 254, false},
      // A simple backup is never shortened.
      {250, BACKUP_SIMPLE, 251, true},
  };
  for (const Case &c : cases)
    {
      SCOPED_TRACE(::testing::Message() << c.length << " bytes, method " << c.type);
      std::string file(c.length, 'n');
      touch(file);
      Text name(backupfile_internal(dirfd, file.c_str(), c.type, true));
      ASSERT_NE(name, nullptr) << strerror(errno);
      EXPECT_EQ(strlen(name.get()), c.backup_length);
      if (c.keeps_whole_name)
        EXPECT_EQ(std::string(name.get()).substr(0, c.length), file);
      else
        EXPECT_EQ(std::string(name.get()), file.substr(0, 253) + "~");
      EXPECT_TRUE(exists(name.get()));
      unlinkat(dirfd, name.get(), 0);
    }
}

TEST_F(Backup, UnreadableDirectoryDoesNotLoopOnATakenNumber)
{
  // Without read permission the scan sees nothing, so the numbered name is
  // always .~1~; when that exists the rename must fail, not repeat.
  std::string d = tmp / "d";
  ASSERT_EQ(chmod(tmp.path().c_str(), 0755), 0);
  if (!libtest::nobody_can_enter(tmp.path()))
    GTEST_SKIP() << "the user nobody cannot reach " << tmp.path();
  ASSERT_EQ(mkdir(d.c_str(), 0700), 0);
  testsupport::write_file(d + "/f", "current");
  testsupport::write_file(d + "/f.~1~", "older");
  for (const std::string &p : {d, d + "/f", d + "/f.~1~"})
    ASSERT_EQ(chown(p.c_str(), libtest::nobody_uid(), libtest::nobody_gid()), 0);
  ASSERT_EQ(chmod(d.c_str(), 0300), 0);

  libtest::ChildResult r = libtest::run_in_child(
      [&] {
        alarm(20);
        char *name = backupfile_internal(AT_FDCWD, (d + "/f").c_str(), BACKUP_NUMBERED, true);
        if (name)
          return 10;
        return errno == EEXIST ? 0 : 11;
      },
      true);
  EXPECT_EQ(r.signal, 0) << "the backup kept retrying";
  EXPECT_EQ(r.status, 0);
  chmod(d.c_str(), 0700);
  EXPECT_EQ(testsupport::read_file(d + "/f"), "current");
  EXPECT_EQ(testsupport::read_file(d + "/f.~1~"), "older");
}

TEST(BackupSuffix, EnvironmentAndRefusedSuffixes)
{
  struct Case {
    const char *arg;
    const char *env;  // null: unset
    const char *suffix;
  } cases[] = {
      {".bak", nullptr, ".bak"},
      {"/tmp/x", nullptr, "~"},
      {"a/b", nullptr, "~"},
      {"", nullptr, "~"},
      {nullptr, ".orig", ".orig"},
      {nullptr, "", "~"},
      {nullptr, "x/y", "~"},
      {nullptr, nullptr, "~"},
      {"_old", ".orig", "_old"},
  };
  for (const Case &c : cases)
    {
      if (c.env)
        setenv("SIMPLE_BACKUP_SUFFIX", c.env, 1);
      else
        unsetenv("SIMPLE_BACKUP_SUFFIX");
      set_simple_backup_suffix(c.arg);
      EXPECT_STREQ(simple_backup_suffix, c.suffix)
          << (c.arg ? c.arg : "(none)") << " with " << (c.env ? c.env : "(unset)");
    }
  unsetenv("SIMPLE_BACKUP_SUFFIX");
  set_simple_backup_suffix("~");
}

TEST(BackupVersion, CommandLineThenEnvironment)
{
  struct Case {
    const char *arg;
    const char *env;
    backup_type type;
  } cases[] = {
      {nullptr, "t", BACKUP_NUMBERED},
      {"nu", nullptr, BACKUP_NUMBERED},
      {"", "never", BACKUP_SIMPLE},
      {nullptr, nullptr, BACKUP_EXISTING},
      {nullptr, "", BACKUP_EXISTING},
      {"off", "t", BACKUP_NONE},
      {"existing", nullptr, BACKUP_EXISTING},
      {"si", nullptr, BACKUP_SIMPLE},
  };
  for (const Case &c : cases)
    {
      if (c.env)
        setenv("VERSION_CONTROL", c.env, 1);
      else
        unsetenv("VERSION_CONTROL");
      EXPECT_EQ(xget_version("backup type", c.arg), c.type)
          << (c.arg ? c.arg : "(none)") << " with " << (c.env ? c.env : "(unset)");
    }
  unsetenv("VERSION_CONTROL");
  setenv("VERSION_CONTROL", "t", 1);
  EXPECT_EQ(get_version("backup type", nullptr), BACKUP_EXISTING);
  unsetenv("VERSION_CONTROL");
}

TEST(BackupVersion, BadNamesEndTheProgram)
{
  struct Case {
    const char *arg;
    const char *env;
    const char *first_line;
  } cases[] = {
      {"n", nullptr, "install: ambiguous argument 'n' for 'backup type'\n"},
      {"bogus", nullptr, "install: invalid argument 'bogus' for 'backup type'\n"},
      {nullptr, "nope", "install: invalid argument 'nope' for '$VERSION_CONTROL'\n"},
  };
  for (const Case &c : cases)
    {
      libtest::ChildResult r = libtest::run_in_child([&] {
        set_program_name("install");
        if (c.env)
          setenv("VERSION_CONTROL", c.env, 1);
        else
          unsetenv("VERSION_CONTROL");
        xget_version("backup type", c.arg);
        return 0;
      });
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.err, std::string(c.first_line)
                           + "Valid arguments are:\n"
                             "  - 'none', 'off'\n"
                             "  - 'simple', 'never'\n"
                             "  - 'existing', 'nil'\n"
                             "  - 'numbered', 't'\n"
                             "Try 'install --help' for more information.\n");
    }
}

TEST(SubstSuffix, ReplacesFromThePosition)
{
  const char *name = "dir/f";
  Text appended(subst_suffix(name, name + 5, "~"));
  EXPECT_STREQ(appended.get(), "dir/f~");
  const char *source = "a.c";
  Text replaced(subst_suffix(source, source + 1, ".o"));
  EXPECT_STREQ(replaced.get(), "a.o");
}

class Rename : public ::testing::Test {
 protected:
  void SetUp() override
  {
    dirfd = open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dirfd, 0);
    testsupport::write_file(tmp / "src", "s");
    testsupport::write_file(tmp / "dst", "d");
    ASSERT_EQ(mkdir((tmp / "dir").c_str(), 0755), 0);
    ASSERT_EQ(symlink("nowhere", (tmp / "dangling").c_str()), 0);
  }
  void TearDown() override { close(dirfd); }

  testsupport::TempDir tmp;
  int dirfd = -1;
};

TEST_F(Rename, NoReplaceNativeAndEmulated)
{
  using RenameFn = int (*)(int, const char *, int, const char *, unsigned int);
  struct Case {
    const char *src;
    const char *dst;
    unsigned flags;
    int error;  // 0: succeeds
  } cases[] = {
      {"src", "dst", RENAME_NOREPLACE, EEXIST},
      {"src", "dangling", RENAME_NOREPLACE, EEXIST},  // a link counts, not its target
      {"src", "dir", RENAME_NOREPLACE, EEXIST},
      {"src", "new", RENAME_NOREPLACE, 0},
      {"new", "src/", 0, ENOTDIR},
      {"new/", "other", 0, ENOTDIR},
      {"new", "dst", 0, 0},
      {"dst", "dir", 0, EISDIR},
      {"dst", "x", RENAME_EXCHANGE | RENAME_NOREPLACE, -1},
  };
  for (RenameFn fn : {renameatu, renameatu_fallback})
    {
      bool emulated = fn == renameatu_fallback;
      testsupport::write_file(tmp / "src", "s");
      testsupport::write_file(tmp / "dst", "d");
      for (const Case &c : cases)
        {
          SCOPED_TRACE(::testing::Message() << (emulated ? "emulated " : "native ") << c.src
                                            << " -> " << c.dst);
          if (c.error == -1)
            {
              // Flags other than no-replace cannot be emulated.
              EXPECT_EQ(fn(dirfd, c.src, dirfd, c.dst, c.flags), -1);
              EXPECT_EQ(errno, EOPNOTSUPP) << strerror(errno);
              continue;
            }
          errno = 0;
          int result = fn(dirfd, c.src, dirfd, c.dst, c.flags);
          if (c.error == 0)
            EXPECT_EQ(result, 0) << strerror(errno);
          else
            {
              EXPECT_EQ(result, -1);
              EXPECT_EQ(errno, c.error) << strerror(errno);
            }
        }
      EXPECT_EQ(testsupport::read_file(tmp / "dst"), "s");
      unlinkat(dirfd, "dst", 0);
    }
}

}  // namespace
