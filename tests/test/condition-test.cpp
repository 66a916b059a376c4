// The condition evaluator, run as the built program: each row is the
// words of an expression, the exit status and what standard error says.

#include <dirent.h>
#include <elf.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "process.h"

namespace {

using Words = std::vector<std::string>;

struct Row {
  Words words;
  int status;
  std::string message;  // without the program-name prefix; empty for none
};

const std::string &program() {
  static const std::string path = testsupport::build_path("src/test");
  return path;
}

std::string describe(const Words &words) {
  std::string s;
  for (const std::string &w : words) s += (s.empty() ? "[" : " [") + w + "]";
  return s.empty() ? "(no words)" : s;
}

void check(const std::vector<Row> &rows, const testsupport::RunOptions &options = {}) {
  for (const Row &row : rows) {
    Words argv = {program()};
    argv.insert(argv.end(), row.words.begin(), row.words.end());
    testsupport::Outcome r = testsupport::run(argv, options);
    const std::string expected_err = row.message.empty() ? "" : program() + ": " + row.message + "\n";
    EXPECT_EQ(r.status, row.status) << describe(row.words);
    EXPECT_EQ(r.err, expected_err) << describe(row.words);
    EXPECT_EQ(r.out, "") << describe(row.words);
  }
}

// --- words, counting rules and grammar --------------------------------------

TEST(Condition, CountingRulesOfShortExpressions) {
  check({
      {{}, 1, ""},
      {{""}, 1, ""},
      {{"-z"}, 0, ""},
      {{"-n"}, 0, ""},
      {{"!"}, 0, ""},
      {{"("}, 0, ""},
      {{"-f"}, 0, ""},
      {{"--help"}, 0, ""},
      {{"--version"}, 0, ""},
      {{"]"}, 0, ""},
      {{"a", "=", "a", "]"}, 2, "extra argument ‘]’"},  // a closing "]" is a word too
      {{"!", "x"}, 1, ""},
      {{"!", ""}, 0, ""},
      {{"!", "!"}, 1, ""},
      {{"x", "y"}, 2, "missing argument after ‘y’"},
      {{"-q", "x"}, 2, "‘-q’: unary operator expected"},
      {{"--", "x"}, 2, "‘--’: unary operator expected"},
      {{"-n", ""}, 1, ""},
      {{"-z", ""}, 0, ""},
      {{"-x", "-a"}, 1, ""},  // a unary test of the file "-a"
      // A binary operator in the middle wins over "!" and parentheses.
      {{"!", "=", "!"}, 0, ""},
      {{"(", "=", ")"}, 1, ""},
      {{"!", "-n", ""}, 0, ""},
      {{"(", "", ")"}, 1, ""},
      {{"(", "x", ")"}, 0, ""},
      {{"(", "a", "b"}, 2, "‘a’: binary operator expected"},
      {{"a", "b", "c"}, 2, "‘b’: binary operator expected"},
      {{"x", "-a", ""}, 1, ""},
      {{"x", "-o", ""}, 0, ""},
      {{"!", "x", "-o", "x"}, 1, ""},  // four words: the negation of the rest
      {{"(", "!", "x", ")"}, 1, ""},
      {{"(", "-n", "x", ")"}, 0, ""},
      {{"!", "!", "=", "!"}, 1, ""},
      // The words after the expression are reported from the first left.
      {{"a", "b", "c", "d"}, 2, "extra argument ‘b’"},
  });
}

TEST(Condition, GeneralGrammar) {
  check({
      // -a binds tighter than -o, both to the left.
      {{"", "-a", "b", "-o", "c"}, 0, ""},
      {{"a", "-o", "b", "-a", ""}, 0, ""},
      {{"", "-o", "b", "-a", ""}, 1, ""},
      {{"a", "-a", "b", "-a", ""}, 1, ""},
      // With more than four words "!" applies to the next primary only.
      {{"!", "x", "-o", "x", "-a", "x"}, 0, ""},
      {{"!", "!", "x", "-a", "x"}, 0, ""},
      {{"1", "-eq", "1", "-a", "-n", "x"}, 0, ""},
      {{"(", "a", "-a", "b", ")", "-a", ""}, 1, ""},
      {{"(", "!", "", ")", "-o", ""}, 0, ""},
      {{"(", "a", "-a", "b"}, 2, "‘)’ expected"},
      {{"(", "a", ")", "b"}, 2, "extra argument ‘b’"},
      {{"(", "a", "-a", "b", "c", "d"}, 2, "‘)’ expected, found ‘c’"},
      {{"x", "-a", "-f"}, 2, "missing argument after ‘-f’"},
      {{"x", "-a", "!"}, 2, "missing argument after ‘!’"},
      {{"x", "-a", "x", "-o"}, 2, "missing argument after ‘-o’"},
      {{"x", "-a", "("}, 2, "missing argument after ‘(’"},
      // Every operand is evaluated: no short-circuit past a false -a or a
      // true -o.
      {{"", "-a", "-t", "x"}, 2, "invalid integer ‘x’"},
      {{"a", "-o", "1", "-eq", "x"}, 2, "invalid integer ‘x’"},
  });
}

// --- integers and strings ----------------------------------------------------

TEST(Condition, IntegerComparisons) {
  check({
      {{" 12 ", "-eq", "+12"}, 0, ""},
      {{"012", "-eq", "12"}, 0, ""},
      {{"\t5", "-eq", "5\t"}, 0, ""},
      {{"-0", "-eq", "0"}, 0, ""},
      {{"-0", "-lt", "0"}, 1, ""},
      {{"0", "-gt", "-000"}, 1, ""},
      {{"12345678901234567890123", "-gt", "1"}, 0, ""},
      {{"12345678901234567890123", "-gt", "12345678901234567890124"}, 1, ""},
      {{"-12345678901234567890123", "-lt", "-12345678901234567890122"}, 0, ""},
      {{"-12345678901234567890123", "-lt", "1"}, 0, ""},
      {{"99999999999999999999", "-lt", "100000000000000000000"}, 0, ""},
      {{"0010", "-gt", "9"}, 0, ""},
      {{"1", "-lt", "2"}, 0, ""},
      {{"2", "-lt", "1"}, 1, ""},
      {{"2", "-le", "2"}, 0, ""},
      {{"3", "-le", "2"}, 1, ""},
      {{"2", "-gt", "1"}, 0, ""},
      {{"1", "-gt", "1"}, 1, ""},
      {{"1", "-ge", "1"}, 0, ""},
      {{"0", "-ge", "1"}, 1, ""},
      {{"1", "-ne", "2"}, 0, ""},
      {{"1", "-ne", "1"}, 1, ""},
      {{"-5", "-lt", "3"}, 0, ""},
      {{"3", "-gt", "-5"}, 0, ""},
      {{"-5", "-lt", "-3"}, 0, ""},
      {{"-3", "-lt", "-5"}, 1, ""},
      {{"1.5", "-eq", "1"}, 2, "invalid integer ‘1.5’"},
      {{"x", "-eq", "1"}, 2, "invalid integer ‘x’"},
      {{"1", "-eq", ""}, 2, "invalid integer ‘’"},
      {{"1 2", "-eq", "12"}, 2, "invalid integer ‘1 2’"},
      {{"+-1", "-eq", "1"}, 2, "invalid integer ‘+-1’"},
      {{"-", "-eq", "1"}, 2, "invalid integer ‘-’"},
      {{"x\ny", "-eq", "1"}, 2, "invalid integer ‘x\\ny’"},
      // Length forms.
      {{"-l", "abc", "-eq", "3"}, 0, ""},
      {{"3", "-eq", "-l", "abc"}, 0, ""},
      {{"-l", "", "-eq", "0"}, 0, ""},
      {{"-l", "abcd", "-gt", "-l", "abc"}, 0, ""},
      {{"-l", "abc", "-nt", "x"}, 2, "-nt does not accept -l"},
      {{"x", "-ot", "-l", "y"}, 2, "-ot does not accept -l"},
      {{"-l", "x", "-ef", "-l", "y"}, 2, "-ef does not accept -l"},
  });
}

TEST(Condition, StringComparisons) {
  check({
      {{"a", "=", "a"}, 0, ""},
      {{"a", "==", "a"}, 0, ""},
      {{"a", "=", "b"}, 1, ""},
      {{"a", "!=", "b"}, 0, ""},
      {{"a", "!=", "a"}, 1, ""},
      {{"", "=", ""}, 0, ""},
      {{"a", "=", "a "}, 1, ""},
      // With three words there is no length form: "-l" is the operand.
      {{"a", "=", "-l"}, 1, ""},
      {{"-l", "=", "-l"}, 0, ""},
      // A string operator takes no length form: "-l" is skipped on either
      // side and the word after it is compared.
      {{"-l", "a", "=", "a"}, 0, ""},
      {{"a", "=", "-l", "a"}, 0, ""},
      {{"a", "!=", "-l", "a"}, 1, ""},
      // There are no ordering operators.
      {{"a", "<", "b"}, 2, "‘<’: binary operator expected"},
  });
}

TEST(Condition, MessagesUseThePosixLocaleMarks) {
  testsupport::RunOptions posix;
  posix.env["LC_ALL"] = "POSIX";
  check(
      {
          {{"-q", "x"}, 2, "'-q': unary operator expected"},
          {{"x", "y"}, 2, "missing argument after 'y'"},
          {{"(", "a", "-a", "b", "c", "d"}, 2, "')' expected, found 'c'"},
          {{"it's", "-eq", "1"}, 2, "invalid integer 'it\\'s'"},
          {{"é", "-eq", "1"}, 2, "invalid integer '\\303\\251'"},
      },
      posix);
}

// --- files -------------------------------------------------------------------

class ConditionFiles : public testing::Test {
 protected:
  void SetUp() override {
    chmod(dir_.path().c_str(), 0755);  // reachable for an unprivileged run too
    options_.cwd = dir_.path();
    testsupport::write_file(dir_ / "reg", "data\n");
    testsupport::write_file(dir_ / "empty", "");
    ASSERT_EQ(mkdir((dir_ / "dir").c_str(), 0755), 0);
    ASSERT_EQ(symlink("reg", (dir_ / "link").c_str()), 0);
    ASSERT_EQ(symlink("missing", (dir_ / "dangling").c_str()), 0);
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0644), 0);
    make_socket(dir_ / "sock");
    make_file("suid", 04755);
    make_file("sgid", 02755);
    ASSERT_EQ(mkdir((dir_ / "sticky").c_str(), 0755), 0);
    ASSERT_EQ(chmod((dir_ / "sticky").c_str(), 01777), 0);
  }

  void make_file(const std::string &name, mode_t mode) {
    testsupport::write_file(dir_ / name, "x");
    ASSERT_EQ(chmod((dir_ / name).c_str(), mode), 0);
  }

  void make_socket(const std::string &path) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    close(fd);
  }

  void set_times(const std::string &name, timespec atime, timespec mtime) {
    timespec times[2] = {atime, mtime};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir_ / name).c_str(), times, 0), 0);
  }

  testsupport::TempDir dir_;
  testsupport::RunOptions options_;
};

// The first block device in /dev, if the system shows one.
std::string find_block_device() {
  DIR *d = opendir("/dev");
  if (d == nullptr) return "";
  std::string found;
  while (dirent *e = readdir(d)) {
    struct stat st;
    std::string path = std::string("/dev/") + e->d_name;
    if (stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
      found = path;
      break;
    }
  }
  closedir(d);
  return found;
}

TEST_F(ConditionFiles, TypesAndModeBits) {
  check(
      {
          {{"-e", "reg"}, 0, ""},      {{"-e", "missing"}, 1, ""},
          {{"-e", "dangling"}, 1, ""}, {{"-e", ""}, 1, ""},
          {{"-f", "reg"}, 0, ""},      {{"-f", "dir"}, 1, ""},
          {{"-f", "link"}, 0, ""},  // symbolic links are followed
          {{"-f", "missing"}, 1, ""},  {{"-d", "dir"}, 0, ""},
          {{"-d", "reg"}, 1, ""},      {{"-h", "link"}, 0, ""},
          {{"-L", "link"}, 0, ""},     {{"-L", "dangling"}, 0, ""},
          {{"-h", "reg"}, 1, ""},      {{"-h", "missing"}, 1, ""},
          {{"-p", "fifo"}, 0, ""},     {{"-p", "reg"}, 1, ""},
          {{"-S", "sock"}, 0, ""},     {{"-S", "fifo"}, 1, ""},
          {{"-c", "/dev/null"}, 0, ""}, {{"-c", "reg"}, 1, ""},
          {{"-b", "reg"}, 1, ""},      {{"-b", "/dev/null"}, 1, ""},
          {{"-s", "reg"}, 0, ""},      {{"-s", "empty"}, 1, ""},
          {{"-s", "missing"}, 1, ""},  {{"-u", "suid"}, 0, ""},
          {{"-u", "sgid"}, 1, ""},     {{"-g", "sgid"}, 0, ""},
          {{"-g", "suid"}, 1, ""},     {{"-k", "sticky"}, 0, ""},
          {{"-k", "dir"}, 1, ""},      {{"-O", "reg"}, 0, ""},
          {{"-G", "reg"}, 0, ""},      {{"-O", "missing"}, 1, ""},
          {{"-e"}, 0, ""},  // one word: a non-empty string
          {{"-d", "dir", "-a", "-f", "reg", "-a", "!", "-e", "missing"}, 0, ""},
          {{"-f", "reg", "-a", "-e"}, 2, "missing argument after ‘-e’"},
      },
      options_);

  const std::string block = find_block_device();
  if (block.empty()) GTEST_SKIP() << "no block device visible in /dev";
  check({{{"-b", block}, 0, ""}, {{"-c", block}, 1, ""}}, options_);
}

TEST_F(ConditionFiles, ModificationAfterAccess) {
  make_file("newer", 0644);
  make_file("older", 0644);
  make_file("nanos", 0644);
  set_times("newer", {1000, 0}, {2000, 0});
  set_times("older", {2000, 0}, {1000, 0});
  set_times("nanos", {1000, 5}, {1000, 6});
  check({{{"-N", "newer"}, 0, ""},
         {{"-N", "older"}, 1, ""},
         {{"-N", "nanos"}, 0, ""},
         {{"-N", "missing"}, 1, ""}},
        options_);
}

TEST_F(ConditionFiles, ModificationTimesAndIdentity) {
  make_file("old", 0644);
  make_file("new", 0644);
  // Only the nanoseconds differ.
  set_times("old", {1000, 0}, {1000, 100});
  set_times("new", {1000, 0}, {1000, 200});
  ASSERT_EQ(link((dir_ / "old").c_str(), (dir_ / "hard").c_str()), 0);
  ASSERT_EQ(symlink("new", (dir_ / "soft").c_str()), 0);
  check(
      {
          {{"new", "-nt", "old"}, 0, ""},
          {{"old", "-nt", "new"}, 1, ""},
          {{"old", "-nt", "old"}, 1, ""},
          {{"old", "-ot", "new"}, 0, ""},
          {{"new", "-ot", "old"}, 1, ""},
          {{"old", "-ot", "old"}, 1, ""},
          {{"old", "-nt", "missing"}, 0, ""},
          {{"missing", "-nt", "old"}, 1, ""},
          {{"missing", "-nt", "missing"}, 1, ""},
          {{"missing", "-ot", "old"}, 0, ""},
          {{"old", "-ot", "missing"}, 1, ""},
          {{"missing", "-ot", "missing"}, 1, ""},
          {{"soft", "-nt", "old"}, 0, ""},  // links are followed
          {{"old", "-ef", "hard"}, 0, ""},
          {{"old", "-ef", "new"}, 1, ""},
          {{"soft", "-ef", "new"}, 0, ""},
          {{"old", "-ef", "missing"}, 1, ""},
          {{"missing", "-ef", "missing"}, 1, ""},
      },
      options_);
}

TEST_F(ConditionFiles, PermissionsOfTheEffectiveUser) {
  // The same bits for owner, group and others, so that the owner's view
  // and an outsider's agree.
  make_file("none", 0000);
  make_file("readable", 0444);
  make_file("writable", 0222);
  make_file("executable", 0111);
  ASSERT_EQ(mkdir((dir_ / "closed-dir").c_str(), 0755), 0);
  make_file("closed-dir/inner", 0644);
  ASSERT_EQ(chmod((dir_ / "closed-dir").c_str(), 0000), 0);

  struct Case {
    const char *op;
    const char *file;
    int as_root;
    int unprivileged;
  } cases[] = {
      {"-r", "none", 0, 1},       {"-w", "none", 0, 1},       {"-x", "none", 1, 1},
      {"-r", "readable", 0, 0},   {"-w", "readable", 0, 1},   {"-x", "readable", 1, 1},
      {"-r", "writable", 0, 1},   {"-w", "writable", 0, 0},   {"-x", "writable", 1, 1},
      {"-r", "executable", 0, 1}, {"-w", "executable", 0, 1}, {"-x", "executable", 0, 0},
      {"-x", "closed-dir", 0, 1}, {"-r", "missing", 1, 1},
      // A name that cannot be looked up is no file at all.
      {"-e", "closed-dir/inner", 0, 1}, {"-f", "closed-dir/inner", 0, 1},
  };
  std::vector<Row> own, outsider;
  for (const Case &c : cases) {
    own.push_back({{c.op, c.file}, geteuid() == 0 ? c.as_root : c.unprivileged, ""});
    outsider.push_back({{c.op, c.file}, c.unprivileged, ""});
  }
  check(own, options_);

  if (geteuid() != 0) GTEST_SKIP() << "not root: the unprivileged rows ran as ourselves";
  testsupport::RunOptions nobody = options_;
  nobody.uid = 65534;
  nobody.gid = 65534;
  check(outsider, nobody);
  // Owner and group are judged against the effective IDs too.
  check({{{"-O", "reg"}, 1, ""}, {{"-G", "reg"}, 1, ""}}, nobody);
}

// --- terminals and streams -----------------------------------------------------

class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const char *name = ptsname(master_);
    if (name != nullptr) slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  ~Pty() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }
  int slave() const { return slave_; }

 private:
  int master_ = -1;
  int slave_ = -1;
};

TEST(ConditionTerminal, DescriptorsOnATerminalAndOnAPipe) {
  Pty pty;
  ASSERT_GE(pty.slave(), 0) << "no pseudo-terminal";
  int pipe_fds[2];
  ASSERT_EQ(pipe2(pipe_fds, O_CLOEXEC), 0);

  testsupport::RunOptions options;
  options.fds = {{pty.slave(), 5}, {pipe_fds[0], 6}};
  check(
      {
          {{"-t", "5"}, 0, ""},
          {{"-t", "5 "}, 0, ""},
          {{"-t", "1 "}, 1, ""},  // accepted; standard output is a pipe here
          {{"-t", " +5"}, 0, ""},
          {{"-t", "6"}, 1, ""},
          {{"-t", "1"}, 1, ""},  // standard output is a pipe here
          {{"-t", "7"}, 1, ""},  // not open
          {{"-t", "-1"}, 1, ""},
          {{"-t", "99999999999"}, 1, ""},
          {{"-t", "99999999999999999999999"}, 1, ""},
          {{"-t", "x"}, 2, "invalid integer ‘x’"},
          {{"-t", ""}, 2, "invalid integer ‘’"},
      },
      options);

  testsupport::RunOptions on_stdout;
  on_stdout.fds = {{pty.slave(), 1}};
  Words argv = {program(), "-t", "1"};
  EXPECT_EQ(testsupport::run(argv, on_stdout).status, 0);
  close(pipe_fds[0]);
  close(pipe_fds[1]);
}

TEST(ConditionStreams, ClosedOrFullStandardOutputIsNoFailure) {
  // Nothing is written to standard output, so nothing can be lost there.
  testsupport::RunOptions closed;
  closed.closed_fds = {1};
  check({{{"a"}, 0, ""}, {{""}, 1, ""}, {{"x", "y"}, 2, "missing argument after ‘y’"}}, closed);

  int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  testsupport::RunOptions to_full;
  to_full.fds = {{full, 1}};
  check({{{"a"}, 0, ""}, {{""}, 1, ""}}, to_full);
  close(full);
}

// --- the program itself -------------------------------------------------------

// The shared libraries an ELF file names as needed, from its dynamic section.
std::vector<std::string> needed_libraries(const std::string &elf) {
  std::vector<std::string> names;
  if (elf.size() < sizeof(Elf64_Ehdr) || elf.compare(0, SELFMAG, ELFMAG) != 0 ||
      elf[EI_CLASS] != ELFCLASS64) {
    ADD_FAILURE() << "not a 64-bit ELF file";
    return names;
  }
  Elf64_Ehdr header;
  memcpy(&header, elf.data(), sizeof header);
  auto section = [&](size_t i) {
    Elf64_Shdr sh = {};
    const size_t at = header.e_shoff + i * header.e_shentsize;
    if (at + sizeof sh <= elf.size()) memcpy(&sh, elf.data() + at, sizeof sh);
    return sh;
  };
  for (size_t i = 0; i < header.e_shnum; ++i) {
    const Elf64_Shdr dynamic = section(i);
    if (dynamic.sh_type != SHT_DYNAMIC) continue;
    const Elf64_Shdr strings = section(dynamic.sh_link);
    const size_t end = std::min<size_t>(dynamic.sh_offset + dynamic.sh_size, elf.size());
    for (size_t at = dynamic.sh_offset; at + sizeof(Elf64_Dyn) <= end; at += sizeof(Elf64_Dyn)) {
      Elf64_Dyn entry;
      memcpy(&entry, elf.data() + at, sizeof entry);
      if (entry.d_tag == DT_NULL) break;
      if (entry.d_tag != DT_NEEDED) continue;
      const size_t name_at = strings.sh_offset + entry.d_un.d_val;
      if (name_at < elf.size()) names.emplace_back(elf.c_str() + name_at);
    }
  }
  return names;
}

TEST(ConditionProgram, LinksOnlyTheStandardLibraries) {
  const std::vector<std::string> needed = needed_libraries(testsupport::read_file(program()));
  EXPECT_NE(std::find(needed.begin(), needed.end(), "libc.so.6"), needed.end());
  for (const std::string &name : needed) {
    const std::string_view n = name;
    // The C and C++ libraries and what the compiler brings along, including
    // the runtimes of a sanitizer build.
    const bool standard = n == "libc.so.6" || n == "libm.so.6" || n == "libstdc++.so.6" ||
                          n == "libgcc_s.so.1" || n.starts_with("ld-linux") ||
                          n.starts_with("libasan.so") || n.starts_with("libubsan.so");
    EXPECT_TRUE(standard) << name;
  }
}

}  // namespace
