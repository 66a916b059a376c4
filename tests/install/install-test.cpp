// The install program, run by its path in scratch directories.

#include <gtest/gtest.h>

#include <acl/libacl.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/acl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "process.h"

namespace {

using testsupport::Outcome;
using testsupport::RunOptions;
using testsupport::TempDir;
using testsupport::read_file;
using testsupport::write_file;

const std::string P = testsupport::build_path("src/install");

std::string try_help()
{
  return "Try '" + P + " --help' for more information.\n";
}

std::string diag(const std::string &msg)
{
  return P + ": " + msg + "\n";
}

struct stat stat_of(const std::string &path)
{
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0)
    ADD_FAILURE() << "lstat " << path << ": " << strerror(errno);
  return st;
}

bool exists(const std::string &path)
{
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

mode_t mode_of(const std::string &path)
{
  return stat_of(path).st_mode & 07777;
}

// A scratch directory with a few sources; install runs inside it.
class Install : public ::testing::Test {
 protected:
  TempDir dir;

  void SetUp() override
  {
    write_file(dir / "a", "contents of a\n");
    write_file(dir / "b", "contents of b\n");
    mkdir((dir / "dir").c_str(), 0755);
  }

  std::string path(const std::string &name) const { return dir / name; }

  RunOptions in_dir() const
  {
    RunOptions o;
    o.cwd = dir.path();
    return o;
  }

  Outcome install(const std::vector<std::string> &args, RunOptions opts = {})
  {
    std::vector<std::string> argv = {P};
    argv.insert(argv.end(), args.begin(), args.end());
    if (opts.cwd.empty())
      opts.cwd = dir.path();
    return testsupport::run(argv, opts);
  }

  void expect(const Outcome &o, int status, const std::string &out, const std::string &err)
  {
    EXPECT_EQ(o.status, status);
    EXPECT_EQ(o.out, out);
    EXPECT_EQ(o.err, err);
  }

  // A strip program for -s: a script that runs body with the file in $1.
  std::string make_strip(const std::string &name, const std::string &body)
  {
    std::string p = dir / name;
    write_file(p, "#!/bin/sh\n" + body + "\n");
    chmod(p.c_str(), 0755);
    return p;
  }
};

// Usage errors and fatal checks of the command line: nothing is
// installed, and the message and status are exact.
TEST_F(Install, CommandLineErrors)
{
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{}, diag("missing file operand") + try_help()},
      {{"a"}, diag("missing destination file operand after 'a'") + try_help()},
      {{"-T", "a", "b", "c"}, diag("extra operand 'c'") + try_help()},
      {{"-d"}, diag("missing file operand") + try_help()},
      {{"-d", "-T", "x", "y", "z"}, diag("extra operand 'z'") + try_help()},
      {{"-t", "dir"}, diag("missing file operand") + try_help()},
      {{"a", "b", "missing"}, diag("target 'missing': No such file or directory")},
      {{"a", "b", "c d"}, diag("target 'c d': No such file or directory")},
      {{"-t", "dir", "-T", "a"},
       diag("cannot combine --target-directory (-t) and --no-target-directory (-T)")},
      {{"-t", "nodir", "a"}, diag("failed to access 'nodir': No such file or directory")},
      {{"-t", "a", "b"}, diag("failed to access 'a': Not a directory")},
      {{"-t", "dir", "-t", "dir", "a"}, diag("multiple target directories specified")},
      {{"-d", "-s", "x"}, diag("the strip option may not be used when installing a directory")},
      {{"-d", "-t", "dir", "x"},
       diag("target directory not allowed when installing a directory")},
      {{"-m", "xyz", "a", "x"}, diag("invalid mode \u2018xyz\u2019")},
      {{"-m", "10000", "a", "x"}, diag("invalid mode \u201810000\u2019")},
      {{"-o", "no-such-user-here", "a", "x"}, diag("invalid user \u2018no-such-user-here\u2019")},
      {{"-o", "4294967296", "a", "x"}, diag("invalid user \u20184294967296\u2019")},
      {{"-o", "12k", "a", "x"}, diag("invalid user \u201812k\u2019")},
      {{"-g", "no-such-group-here", "a", "x"},
       diag("invalid group \u2018no-such-group-here\u2019")},
      {{"-C", "-p", "a", "x"},
       diag("options --compare (-C) and --preserve-timestamps are mutually exclusive")
           + try_help()},
      {{"-C", "-s", "a", "x"},
       diag("options --compare (-C) and --strip are mutually exclusive") + try_help()},
      {{"--backup=n", "a", "x"},
       diag("ambiguous argument \u2018n\u2019 for \u2018backup type\u2019")
           + "Valid arguments are:\n"
             "  - \u2018none\u2019, \u2018off\u2019\n"
             "  - \u2018simple\u2019, \u2018never\u2019\n"
             "  - \u2018existing\u2019, \u2018nil\u2019\n"
             "  - \u2018numbered\u2019, \u2018t\u2019\n"
           + try_help()},
      {{"--backup=bogus", "a", "x"},
       diag("invalid argument \u2018bogus\u2019 for \u2018backup type\u2019")
           + "Valid arguments are:\n"
             "  - \u2018none\u2019, \u2018off\u2019\n"
             "  - \u2018simple\u2019, \u2018never\u2019\n"
             "  - \u2018existing\u2019, \u2018nil\u2019\n"
             "  - \u2018numbered\u2019, \u2018t\u2019\n"
           + try_help()},
  };
  for (const auto &c : cases) {
    std::string joined;
    for (const auto &a : c.args)
      joined += a + " ";
    SCOPED_TRACE(joined);
    expect(install(c.args), 1, "", c.err);
    EXPECT_FALSE(exists(path("x")));
  }
}

TEST_F(Install, UnknownOptionGivesTryHelp)
{
  Outcome o = install({"--bogus", "a", "x"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "");
  ASSERT_GE(o.err.size(), try_help().size());
  EXPECT_EQ(o.err.substr(o.err.size() - try_help().size()), try_help());
  EXPECT_NE(o.err.find("--bogus"), std::string::npos) << o.err;
}

// Settings that are reported but do not stop the program.
TEST_F(Install, WarningsAndIgnoredOptions)
{
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"--strip-program=foo", "a", "x"},
       diag("WARNING: ignoring --strip-program option as -s option was not specified")},
      {{"--context=system_u:object_r:bin_t:s0", "a", "x"},
       diag("warning: ignoring --context; it requires an SELinux-enabled kernel")},
      {{"--preserve-context", "a", "x"},
       diag("WARNING: ignoring --preserve-context; this kernel is not SELinux-enabled")},
      {{"-Z", "a", "x"}, ""},
      {{"--context", "a", "x"}, ""},
      {{"-c", "a", "x"}, ""},
      {{"-C", "-m", "4755", "a", "x"},
       diag("the --compare (-C) option is ignored when you specify a mode with "
            "non-permission bits")},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.args[0]);
    unlink(path("x").c_str());
    expect(install(c.args), 0, "", c.err);
    EXPECT_EQ(read_file(path("x")), "contents of a\n");
  }
}

TEST_F(Install, HelpAndVersion)
{
  Outcome help = install({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  const std::string text =
      "Usage: " + P + " [OPTION]... [-T] SOURCE DEST\n"
      "  or:  " + P + " [OPTION]... SOURCE... DIRECTORY\n"
      "  or:  " + P + " [OPTION]... -t DIRECTORY SOURCE...\n"
      "  or:  " + P + " [OPTION]... -d DIRECTORY...\n"
      "\n"
      "This install program copies files (often just compiled) into destination\n"
      "locations you choose.  If you want to download and install a ready-to-use\n"
      "package on a qent/Linux system, you should instead be using a package manager\n"
      "like yum(1) or apt-get(1).\n"
      "\n"
      "In the first three forms, copy SOURCE to DEST or multiple SOURCE(s) to\n"
      "the existing DIRECTORY, while setting permission modes and owner/group.\n"
      "In the 4th form, create all components of the given DIRECTORY(ies).\n"
      "\n"
      "Mandatory arguments to long options are mandatory for short options too.\n"
      "      --backup[=CONTROL]  make a backup of each existing destination file\n"
      "  -b                  like --backup but does not accept an argument\n"
      "  -c                  (ignored)\n"
      "  -C, --compare       compare content of source and destination files, and\n"
      "                        if no change to content, ownership, and permissions,\n"
      "                        do not modify the destination at all\n"
      "  -d, --directory     treat all arguments as directory names; create all\n"
      "                        components of the specified directories\n"
      "  -D                  create all leading components of DEST except the last,\n"
      "                        or all components of --target-directory,\n"
      "                        then copy SOURCE to DEST\n"
      "  -g, --group=GROUP   set group ownership, instead of process' current group\n"
      "  -m, --mode=MODE     set permission mode (as in chmod), instead of rwxr-xr-x\n"
      "  -o, --owner=OWNER   set ownership (super-user only)\n"
      "  -p, --preserve-timestamps   apply access/modification times of SOURCE files\n"
      "                        to corresponding destination files\n"
      "  -s, --strip         strip symbol tables\n"
      "      --strip-program=PROGRAM  program used to strip binaries\n"
      "  -S, --suffix=SUFFIX  override the usual backup suffix\n"
      "  -t, --target-directory=DIRECTORY  copy all SOURCE arguments into DIRECTORY\n"
      "  -T, --no-target-directory  treat DEST as a normal file\n"
      "  -v, --verbose       print the name of each directory as it is created\n"
      "      --preserve-context  preserve SELinux security context\n"
      "  -Z                      set SELinux security context of destination\n"
      "                            file and each created directory to default type\n"
      "      --context[=CTX]     like -Z, or if CTX is specified then set the\n"
      "                            SELinux or SMACK security context to CTX\n"
      "      --help        display this help and exit\n"
      "      --version     output version information and exit\n"
      "\n"
      "The backup suffix is '~', unless set with --suffix or SIMPLE_BACKUP_SUFFIX.\n"
      "The version control method may be selected via the --backup option or through\n"
      "the VERSION_CONTROL environment variable.  Here are the values:\n"
      "\n"
      "  none, off       never make backups (even if --backup is given)\n"
      "  numbered, t     make numbered backups\n"
      "  existing, nil   numbered if numbered backups exist, simple otherwise\n"
      "  simple, never   always make simple backups\n";
  ASSERT_GE(help.out.size(), text.size());
  EXPECT_EQ(help.out.substr(0, text.size()), text);
  // Then the frame's footer, for this program.
  const std::string footer = help.out.substr(text.size());
  EXPECT_EQ(footer.substr(0, 29), "\nqent tullwerk online help: <");
  const std::string last = "or available locally via: info '(tullwerk) install invocation'\n";
  ASSERT_GE(footer.size(), last.size());
  EXPECT_EQ(footer.substr(footer.size() - last.size()), last);

  Outcome version = install({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.err, "");
  EXPECT_EQ(version.out.substr(0, version.out.find('\n') + 1), "install (qent tullwerk) 9.1\n");
  EXPECT_NE(version.out.find("\nWritten by "), std::string::npos);

  // Long options may be abbreviated.
  EXPECT_EQ(install({"--vers"}).out, version.out);

  // Output that cannot be written is a failure, not a silent success.
  for (const char *option : {"--version", "--help"}) {
    SCOPED_TRACE(option);
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0) << strerror(errno);
    RunOptions opts;
    opts.fds = {{full, 1}};
    Outcome lost = install({option}, opts);
    close(full);
    expect(lost, 1, "", diag("write error: No space left on device"));
  }
}

// The forms that name a single destination or a target directory.
TEST_F(Install, FormsChooseTheDestination)
{
  expect(install({"a", "new"}), 0, "", "");
  EXPECT_EQ(read_file(path("new")), "contents of a\n");
  EXPECT_EQ(mode_of(path("new")), 0755u);

  expect(install({"a", "b", "dir"}), 0, "", "");
  EXPECT_EQ(read_file(path("dir/a")), "contents of a\n");
  EXPECT_EQ(read_file(path("dir/b")), "contents of b\n");

  expect(install({"-m", "644", "-t", "dir", "a"}), 0, "", "");
  EXPECT_EQ(mode_of(path("dir/a")), 0644u);

  // An existing regular file as the second operand is replaced.
  expect(install({"a", "b"}), 0, "", "");
  EXPECT_EQ(read_file(path("b")), "contents of a\n");

  // -T takes a directory as the destination's own name.
  expect(install({"-T", "a", "dir"}), 1, "",
         diag("cannot overwrite directory 'dir' with non-directory"));
}

TEST_F(Install, DotTargetUsesTheWorkingDirectory)
{
  mkdir(path("sub").c_str(), 0755);
  RunOptions in_sub;
  in_sub.cwd = path("sub");
  for (const char *dot : {".", "./", "./.", ".//./"}) {
    SCOPED_TRACE(dot);
    unlink(path("sub/a").c_str());
    expect(install({"-t", dot, "../a"}, in_sub), 0, "", "");
    EXPECT_EQ(read_file(path("sub/a")), "contents of a\n");
  }
}

TEST_F(Install, LeadingDirectoriesWithD)
{
  expect(install({"-D", "-m", "600", "a", "x/y/z"}), 0, "", "");
  EXPECT_EQ(read_file(path("x/y/z")), "contents of a\n");
  EXPECT_EQ(mode_of(path("x")), 0755u);
  EXPECT_EQ(mode_of(path("x/y")), 0755u);
  EXPECT_EQ(mode_of(path("x/y/z")), 0600u);

  expect(install({"-D", "-v", "-t", "new/dir", "a", "b"}), 0,
         P + ": creating directory 'new'\n" + P + ": creating directory 'new/dir'\n"
             "'a' -> 'new/dir/a'\n'b' -> 'new/dir/b'\n",
         "");
  EXPECT_EQ(read_file(path("new/dir/b")), "contents of b\n");

  // A file where a leading directory should be: the report names the
  // component where the walk stopped.
  expect(install({"-D", "a", "b/c"}), 1, "", diag("cannot create directory 'b': Not a directory"));
  expect(install({"-D", "a", "x/y/z/b/c"}), 1, "",
         diag("cannot create directory 'x/y/z': Not a directory"));
  // Only a missing -t directory is created; any other failure is fatal.
  expect(install({"-D", "-t", "b/c", "a", "b"}), 1, "",
         diag("failed to access 'b/c': Not a directory"));
  // The first source creates the directory; when that fails, every
  // source fails, and only the first says why.
  ASSERT_EQ(symlink("/nonexistent-target", path("dangling").c_str()), 0);
  expect(install({"-D", "-t", "dangling/sub", "a", "b"}), 1, "",
         diag("cannot create directory 'dangling': File exists"));
}

TEST_F(Install, DirectoriesWithd)
{
  expect(install({"-d", "-m", "700", "x/y"}), 0, "", "");
  EXPECT_EQ(mode_of(path("x")), 0755u);
  EXPECT_EQ(mode_of(path("x/y")), 0700u);

  // An existing directory is given the mode too.
  expect(install({"-d", "-m", "700", "dir"}), 0, "", "");
  EXPECT_EQ(mode_of(path("dir")), 0700u);
  if (geteuid() == 0) {
    expect(install({"-d", "-o", "65534", "-g", "65534", "owned"}), 0, "", "");
    EXPECT_EQ(stat_of(path("owned")).st_uid, 65534u);
    EXPECT_EQ(stat_of(path("owned")).st_gid, 65534u);
    EXPECT_EQ(mode_of(path("owned")), 0755u);
  }

  expect(install({"-d", "-v", "p/q/r"}), 0,
         P + ": creating directory 'p'\n" + P + ": creating directory 'p/q'\n" + P
             + ": creating directory 'p/q/r'\n",
         "");
  // Again: nothing to create, nothing said.
  expect(install({"-d", "-v", "p/q/r"}), 0, "", "");

  expect(install({"-d", "a/sub"}), 1, "",
         diag("cannot create directory \u2018a\u2019: Not a directory"));
  expect(install({"-d", "a"}), 1, "",
         diag("cannot create directory \u2018a\u2019: File exists"));
  // The other operands are still made.
  expect(install({"-d", "a/sub", "ok1", "ok2/deeper"}), 1, "",
         diag("cannot create directory \u2018a\u2019: Not a directory"));
  EXPECT_TRUE(S_ISDIR(stat_of(path("ok1")).st_mode));
  EXPECT_TRUE(S_ISDIR(stat_of(path("ok2/deeper")).st_mode));
}

TEST_F(Install, VerboseLinesAndBackups)
{
  expect(install({"-v", "a", "b"}), 0, "removed 'b'\n'a' -> 'b'\n", "");
  write_file(path("b"), "old b\n");
  expect(install({"-v", "-b", "a", "b"}), 0, "'a' -> 'b' (backup: 'b~')\n", "");
  EXPECT_EQ(read_file(path("b~")), "old b\n");

  write_file(path("b"), "contents of b\n");
  expect(install({"-v", "--backup=numbered", "a", "dir"}), 0, "'a' -> 'dir/a'\n", "");
  expect(install({"-v", "--backup=numbered", "b", "dir/a"}), 0,
         "'b' -> 'dir/a' (backup: 'dir/a.~1~')\n", "");
  expect(install({"-v", "--backup=nu", "a", "dir"}), 0,
         "'a' -> 'dir/a' (backup: 'dir/a.~2~')\n", "");
  EXPECT_EQ(read_file(path("dir/a.~1~")), "contents of a\n");
  EXPECT_EQ(read_file(path("dir/a.~2~")), "contents of b\n");

  RunOptions env;
  env.env["VERSION_CONTROL"] = "t";
  expect(install({"-b", "a", "dir"}, env), 0, "", "");
  EXPECT_TRUE(exists(path("dir/a.~3~")));

  env.env["VERSION_CONTROL"] = std::nullopt;
  env.env["SIMPLE_BACKUP_SUFFIX"] = ".orig";
  expect(install({"-b", "a", "b"}, env), 0, "", "");
  EXPECT_TRUE(exists(path("b.orig")));
  // A suffix with a directory part is refused in favour of "~".
  unlink(path("b~").c_str());
  expect(install({"-S", "/tmp/x", "a", "b"}), 0, "", "");
  EXPECT_TRUE(exists(path("b~")));
}

TEST_F(Install, BackupMightDestroySource)
{
  write_file(path("f"), "f itself\n");
  write_file(path("f.bak"), "backup of f\n");
  expect(install({"-b", "-S", ".bak", "f.bak", "f"}), 1, "",
         diag("backing up 'f' might destroy source;  'f.bak' not copied"));
  EXPECT_EQ(read_file(path("f")), "f itself\n");
  EXPECT_EQ(read_file(path("f.bak")), "backup of f\n");

  expect(install({"--backup=numbered", "-S", ".bak", "f.bak", "f"}), 0, "", "");
  EXPECT_EQ(read_file(path("f")), "backup of f\n");
  EXPECT_EQ(read_file(path("f.~1~")), "f itself\n");
}

TEST_F(Install, SameBaseNameTwiceInOneRun)
{
  mkdir(path("x").c_str(), 0755);
  mkdir(path("y").c_str(), 0755);
  write_file(path("x/s"), "from x\n");
  write_file(path("y/s"), "from y\n");
  expect(install({"x/s", "y/s", "dir"}), 1, "",
         diag("will not overwrite just-created 'dir/s' with 'y/s'"));
  EXPECT_EQ(read_file(path("dir/s")), "from x\n");

  unlink(path("dir/s").c_str());
  expect(install({"--backup=numbered", "x/s", "y/s", "dir"}), 0, "", "");
  EXPECT_EQ(read_file(path("dir/s")), "from y\n");
  EXPECT_EQ(read_file(path("dir/s.~1~")), "from x\n");

  // The single-file form never refuses on these grounds.
  expect(install({"x/s", "q"}), 0, "", "");
  expect(install({"y/s", "q"}), 0, "", "");
}

TEST_F(Install, SameFileRule)
{
  ASSERT_EQ(symlink("a", path("link").c_str()), 0);
  ASSERT_EQ(link(path("a").c_str(), path("hard").c_str()), 0);

  expect(install({"a", "a"}), 1, "", diag("'a' and 'a' are the same file"));
  expect(install({"-b", "a", "./a"}), 1, "", diag("'a' and './a' are the same file"));
  expect(install({"link", "a"}), 1, "", diag("'link' and 'a' are the same file"));
  expect(install({"-b", "link", "a"}), 1, "", diag("'link' and 'a' are the same file"));
  EXPECT_EQ(read_file(path("a")), "contents of a\n");

  // Another hard link of the source may be replaced: the names become
  // separate files.
  expect(install({"a", "hard"}), 0, "", "");
  EXPECT_NE(stat_of(path("a")).st_ino, stat_of(path("hard")).st_ino);
  EXPECT_EQ(stat_of(path("a")).st_nlink, 1u);
  EXPECT_EQ(read_file(path("hard")), "contents of a\n");

  // A symbolic link as destination is replaced itself; its target stays.
  expect(install({"b", "link"}), 0, "", "");
  EXPECT_TRUE(S_ISREG(stat_of(path("link")).st_mode));
  EXPECT_EQ(read_file(path("link")), "contents of b\n");
  EXPECT_EQ(read_file(path("a")), "contents of a\n");
}

TEST_F(Install, SourcesThatAreNotRegularFiles)
{
  expect(install({"dir", "x"}), 1, "", diag("omitting directory 'dir'"));
  expect(install({"missing", "x"}), 1, "",
         diag("cannot stat 'missing': No such file or directory"));
  expect(install({"-p", "missing", "x"}), 1, "",
         diag("cannot stat 'missing': No such file or directory"));

  // The null device gives an empty file; -p applies the device's times.
  expect(install({"-p", "/dev/null", "empty"}), 0, "", "");
  struct stat dev = stat_of("/dev/null");
  struct stat st = stat_of(path("empty"));
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_size, 0);
  EXPECT_EQ(st.st_mtim.tv_sec, dev.st_mtim.tv_sec);
  EXPECT_EQ(st.st_mtim.tv_nsec, dev.st_mtim.tv_nsec);

  // A named pipe is read until its writer closes it.
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  std::thread writer([&] {
    std::ofstream w(path("fifo"));
    w << "through the pipe\n";
  });
  Outcome o = install({"fifo", "piped"});
  writer.join();
  expect(o, 0, "", "");
  EXPECT_EQ(read_file(path("piped")), "through the pipe\n");
  EXPECT_TRUE(S_ISREG(stat_of(path("piped")).st_mode));

  // A destination name ending in a slash that does not exist.
  expect(install({"a", "nonexistent/"}), 1, "",
         diag("cannot create regular file 'nonexistent/': Not a directory"));
}

TEST_F(Install, PreserveTimestamps)
{
  struct timespec ts[2] = {{1000000000, 111111111}, {1100000000, 222222222}};
  ASSERT_EQ(utimensat(AT_FDCWD, path("a").c_str(), ts, 0), 0);
  expect(install({"-p", "a", "x"}), 0, "", "");
  struct stat st = stat_of(path("x"));
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
  EXPECT_EQ(st.st_atim.tv_nsec, 111111111);
  EXPECT_EQ(st.st_mtim.tv_sec, 1100000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 222222222);

  // Stripping rewrites the file; the times are set again afterwards.
  std::string strip = make_strip("fake-strip", "echo stripped >> \"$1\"");
  expect(install({"-p", "-s", "--strip-program=" + strip, "a", "y"}), 0, "", "");
  EXPECT_EQ(read_file(path("y")), "contents of a\nstripped\n");
  st = stat_of(path("y"));
  EXPECT_EQ(st.st_mtim.tv_sec, 1100000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 222222222);
}

TEST_F(Install, Strip)
{
  std::string ok = make_strip("strip-ok", "echo \"$0 $#\" > \"$1.args\"");
  std::string fails = make_strip("strip-fails", "exit 1");
  std::string killed = make_strip("strip-killed", "kill -9 $$");

  expect(install({"-s", "--strip-program=" + ok, "a", "x"}), 0, "", "");
  EXPECT_EQ(read_file(path("x.args")), ok + " 1\n");
  EXPECT_EQ(mode_of(path("x")), 0755u);

  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"-s", "--strip-program=" + fails, "a", "x"},
       diag("strip process terminated abnormally")},
      {{"-s", "--strip-program=" + killed, "a", "x"},
       diag("strip process terminated abnormally")},
      {{"-s", "--strip-program=/nonexistent", "a", "x"},
       diag("cannot run '/nonexistent': No such file or directory")
           + diag("strip process terminated abnormally")},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.args[1]);
    write_file(path("x"), "old");
    expect(install(c.args), 1, "", c.err);
    EXPECT_FALSE(exists(path("x")));
  }

  // The default program is found through PATH.
  mkdir(path("bin").c_str(), 0755);
  make_strip("bin/strip", "echo found > \"$1.args\"");
  RunOptions env;
  env.env["PATH"] = path("bin") + ":/usr/bin:/bin";
  expect(install({"-s", "a", "z"}, env), 0, "", "");
  EXPECT_EQ(read_file(path("z.args")), "found\n");
}

TEST_F(Install, StripOutputIsNotRepeated)
{
  // With a failing exec in the child, buffered verbose output must still
  // appear once.
  expect(install({"-v", "-s", "--strip-program=/nonexistent", "a", "x"}), 1,
         "'a' -> 'x'\n",
         diag("cannot run '/nonexistent': No such file or directory")
             + diag("strip process terminated abnormally"));
}

TEST_F(Install, RealStripProgram)
{
  if (access("/usr/bin/strip", X_OK) != 0 || access("/bin/true", R_OK) != 0)
    GTEST_SKIP() << "no strip program or no binary to strip";
  expect(install({"-s", "--strip-program=/usr/bin/strip", "/bin/true", "stripped-true"}), 0, "",
         "");
  EXPECT_LE(stat_of(path("stripped-true")).st_size, stat_of("/bin/true").st_size);
  Outcome o = testsupport::run({path("stripped-true")});
  EXPECT_EQ(o.status, 0);
}

TEST_F(Install, CompareSkipsUnchangedDestinations)
{
  expect(install({"-C", "-m", "644", "a", "x"}), 0, "", "");
  struct stat first = stat_of(path("x"));
  struct timespec old[2] = {{1000, 0}, {1000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path("x").c_str(), old, 0), 0);

  // Identical: not copied again.
  expect(install({"-C", "-m", "644", "a", "x"}), 0, "", "");
  struct stat second = stat_of(path("x"));
  EXPECT_EQ(second.st_ino, first.st_ino);
  EXPECT_EQ(second.st_mtim.tv_sec, 1000);

  // Each difference makes a new copy.
  struct Case {
    const char *what;
    std::vector<std::string> args;
    std::function<void()> prepare;
  } cases[] = {
      {"mode", {"-C", "-m", "600", "a", "x"}, [] {}},
      {"content", {"-C", "-m", "600", "a", "x"},
       [&] {
         write_file(path("x"), "contents of b\n");
         chmod(path("x").c_str(), 0600);
       }},
      {"owner", {"-C", "-m", "600", "a", "x"},
       [&] { ASSERT_EQ(chown(path("x").c_str(), 65534, -1), 0); }},
      {"group", {"-C", "-m", "600", "a", "x"},
       [&] { ASSERT_EQ(chown(path("x").c_str(), -1, 65534), 0); }},
      {"special bits", {"-C", "-m", "4755", "a", "x"}, [] {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    c.prepare();
    ASSERT_EQ(utimensat(AT_FDCWD, path("x").c_str(), old, 0), 0);
    Outcome o = install(c.args);
    EXPECT_EQ(o.status, 0) << o.err;
    struct stat after = stat_of(path("x"));
    EXPECT_NE(after.st_mtim.tv_sec, 1000);
    EXPECT_EQ(read_file(path("x")), "contents of a\n");
  }

  // A symbolic link as destination is never judged unchanged.
  unlink(path("x").c_str());
  ASSERT_EQ(symlink("a", path("x").c_str()), 0);
  expect(install({"-C", "-m", "644", "a", "x"}), 0, "", "");
  EXPECT_TRUE(S_ISREG(stat_of(path("x")).st_mode));
}

// A source that fails to read is no proof that nothing changed: the copy
// is attempted and its failure reported.
TEST_F(Install, CompareWithUnreadableSource)
{
  // Reading the first page of a process's own memory fails with EIO,
  // while its status says: regular file, size 0.
  write_file(path("x"), "");
  chmod(path("x").c_str(), 0755);
  expect(install({"-C", "/proc/self/mem", "x"}), 1, "",
         diag("error reading '/proc/self/mem': Input/output error"));
  EXPECT_FALSE(exists(path("x")));
}

TEST_F(Install, OwnerAndGroup)
{
  struct passwd *nobody = getpwnam("nobody");
  struct group *nogroup = getgrnam("nogroup");
  if (geteuid() != 0 || !nobody || !nogroup)
    GTEST_SKIP() << "needs root and the user nobody and the group nogroup";
  uid_t nobody_uid = nobody->pw_uid;
  gid_t nogroup_gid = nogroup->gr_gid;

  struct Case {
    std::vector<std::string> args;
    uid_t uid;
    gid_t gid;
  } cases[] = {
      {{"-o", "nobody", "-g", "nogroup"}, nobody_uid, nogroup_gid},
      {{"-o", "0", "-g", "0"}, 0, 0},
      {{"-o", std::to_string(nobody_uid)}, nobody_uid, 0},
      {{"-g", "0x" + [] { char b[16]; snprintf(b, sizeof b, "%x", 4242); return std::string(b); }()},
       0, 4242},
      {{"-o", "4294967295"}, 0, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.args[1]);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-m", "4755", "a", "x"});
    expect(install(args), 0, "", "");
    struct stat st = stat_of(path("x"));
    EXPECT_EQ(st.st_uid, c.uid);
    EXPECT_EQ(st.st_gid, c.gid);
    // The mode comes after the owner, so the set-user-ID bit survives.
    EXPECT_EQ(st.st_mode & 07777, 04755u);
  }
}

// Runs install as the user nobody, in a directory nobody may write.
TEST_F(Install, UnprivilegedOwnershipFailure)
{
  struct passwd *nobody = getpwnam("nobody");
  if (geteuid() != 0 || !nobody || access("/usr/bin/setpriv", X_OK) != 0)
    GTEST_SKIP() << "needs root, the user nobody and setpriv";
  chmod(dir.path().c_str(), 0777);
  chmod(path("a").c_str(), 0644);
  std::string uid = std::to_string(nobody->pw_uid);
  std::string gid = std::to_string(nobody->pw_gid);
  Outcome o = testsupport::run({"/usr/bin/setpriv", "--reuid=" + uid, "--regid=" + gid,
                                "--clear-groups", P, "-o", "root", "a", "x"},
                               in_dir());
  expect(o, 1, "", diag("cannot change ownership of 'x': Operation not permitted"));
  // The mode change was skipped: the file stays as created.
  EXPECT_EQ(mode_of(path("x")), 0600u);
  EXPECT_EQ(stat_of(path("x")).st_uid, nobody->pw_uid);

  // Without -o the same user installs normally.
  o = testsupport::run({"/usr/bin/setpriv", "--reuid=" + uid, "--regid=" + gid,
                        "--clear-groups", P, "-C", "a", "y"},
                       in_dir());
  expect(o, 0, "", "");
  EXPECT_EQ(mode_of(path("y")), 0755u);
}

TEST_F(Install, DefaultAclOfTheDirectoryIsNotInherited)
{
  acl_t acl = acl_from_text("u::rwx,u:65534:rwx,g::r-x,m::rwx,o::r-x");
  ASSERT_NE(acl, nullptr);
  int r = acl_set_file(path("dir").c_str(), ACL_TYPE_DEFAULT, acl);
  acl_free(acl);
  if (r != 0)
    GTEST_SKIP() << "no ACL support here: " << strerror(errno);

  expect(install({"-m", "640", "a", "dir/f"}), 0, "", "");
  acl_t got = acl_get_file(path("dir/f").c_str(), ACL_TYPE_ACCESS);
  ASSERT_NE(got, nullptr);
  char *text = acl_to_any_text(got, nullptr, ',', 0);
  EXPECT_STREQ(text, "user::rw-,group::r--,other::---");
  acl_free(text);
  acl_free(got);
  EXPECT_EQ(mode_of(path("dir/f")), 0640u);
}

// The data extents of a file as (start, end) pairs.
std::vector<std::pair<off_t, off_t>> extents(const std::string &file)
{
  std::vector<std::pair<off_t, off_t>> r;
  int fd = open(file.c_str(), O_RDONLY);
  off_t pos = 0;
  for (;;) {
    off_t data = lseek(fd, pos, SEEK_DATA);
    if (data < 0)
      break;
    off_t hole = lseek(fd, data, SEEK_HOLE);
    r.emplace_back(data, hole);
    pos = hole;
  }
  close(fd);
  return r;
}

TEST_F(Install, SparseFilesKeepTheirHoles)
{
  const off_t mib = 1 << 20;
  {
    int fd = open(path("sparse").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(ftruncate(fd, 64 * mib), 0);
    std::string data(mib, 's');
    ASSERT_EQ(pwrite(fd, data.data(), data.size(), 0), mib);
    ASSERT_EQ(pwrite(fd, data.data(), data.size(), 63 * mib), mib);
    close(fd);
    fd = open(path("holes-only").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(ftruncate(fd, 10 * mib), 0);
    close(fd);
  }
  if (extents(path("holes-only")).size() != 0)
    GTEST_SKIP() << "the file system does not report holes";

  expect(install({"sparse", "holes-only", "dir"}), 0, "", "");
  struct stat src = stat_of(path("sparse"));
  struct stat dst = stat_of(path("dir/sparse"));
  EXPECT_EQ(dst.st_size, src.st_size);
  EXPECT_EQ(extents(path("dir/sparse")), extents(path("sparse")));
  EXPECT_LE(dst.st_blocks, src.st_blocks);
  EXPECT_EQ(read_file(path("dir/sparse")), read_file(path("sparse")));

  struct stat hole = stat_of(path("dir/holes-only"));
  EXPECT_EQ(hole.st_size, 10 * mib);
  EXPECT_EQ(hole.st_blocks, 0);
}

// A small file system of its own, mounted for the test and always
// unmounted again.
class SmallFileSystem {
 public:
  explicit SmallFileSystem(const std::string &where) : where_(where)
  {
    mkdir(where.c_str(), 0755);
    mounted_ = mount("tmpfs", where.c_str(), "tmpfs", 0, "size=256k") == 0;
    error_ = errno;
  }
  ~SmallFileSystem()
  {
    if (mounted_)
      umount2(where_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  int error() const { return error_; }

 private:
  std::string where_;
  bool mounted_;
  int error_;
};

TEST_F(Install, WriteFailureOnAFullFileSystem)
{
  if (geteuid() != 0)
    GTEST_SKIP() << "mounting a small file system needs root";
  SmallFileSystem fs(path("small"));
  if (!fs.mounted())
    GTEST_SKIP() << "cannot mount a tmpfs here: " << strerror(fs.error());

  std::string big(1 << 20, 'B');
  write_file(path("big"), big);
  write_file(path("small/old"), "the old file\n");

  // With a backup, the old file is put back.
  Outcome o = install({"-b", "big", "small/old"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, diag("error writing 'small/old': No space left on device"));
  EXPECT_EQ(read_file(path("small/old")), "the old file\n");
  EXPECT_FALSE(exists(path("small/old~")));

  // Without one, no partly written copy is left under the name.
  o = install({"big", "small/new"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, diag("error writing 'small/new': No space left on device"));
  EXPECT_FALSE(exists(path("small/new")));

  o = install({"-v", "-b", "big", "small/old"});
  EXPECT_EQ(o.out, "'big' -> 'small/old' (backup: 'small/old~')\n"
                   "'small/old~' -> 'small/old' (unbackup)\n");
}

}  // namespace
