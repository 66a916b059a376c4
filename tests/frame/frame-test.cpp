// The program frame: program name, diagnostics, allocation, closing of the
// standard streams, version and help texts, yes/no answers.

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <locale.h>
#include <printf.h>
#include <signal.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "child.h"
#include "close-stream.h"
#include "closein.h"
#include "closeout.h"
#include "exitfail.h"
#include "help-footer.h"
#include "package.h"
#include "progname.h"
#include "verror.h"
#include "version-etc.h"
#include "xalloc.h"
#include "xvasprintf.h"
#include "yesno.h"

// Under AddressSanitizer, an allocation that cannot be satisfied should
// fail the way the platform's allocator fails, so that the library's own
// reaction is what the tests see.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

using frametest::ChildStreams;
using frametest::in_child;

// --- program name ---------------------------------------------------------

TEST(ProgramName, TakesTheInstalledNameOfALibtoolWrapper) {
  struct Case {
    const char *argv0;
    const char *name;
    bool short_name_changed;
  } cases[] = {
      {"/build/src/.libs/lt-install", "install", true},
      {"/build/src/.libs/install", "install", false},
      {"/.libs/lt-x", "x", true},               // exactly seven characters before the base
      {".libs/install", ".libs/install", false}, // only six before the base
      {"lt-install", "lt-install", false},
      {"/build/libs/lt-install", "/build/libs/lt-install", false},
      {"/usr/bin/test", "/usr/bin/test", false},
      {"test", "test", false},
  };
  char *const saved_short = program_invocation_short_name;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.argv0);
    program_invocation_short_name = saved_short;
    set_program_name(c.argv0);
    EXPECT_STREQ(program_name, c.name);
    EXPECT_STREQ(program_invocation_name, c.name);
    if (c.short_name_changed)
      EXPECT_STREQ(program_invocation_short_name, c.name);
    else
      EXPECT_EQ(program_invocation_short_name, saved_short);
  }
  program_invocation_short_name = saved_short;
}

TEST(ProgramName, NullArgv0AbortsWithTheFixedMessage) {
  auto r = in_child([] { set_program_name(nullptr); });
  EXPECT_EQ(r.signal, SIGABRT);
  EXPECT_EQ(r.err, "A NULL argv[0] was passed through an exec system call.\n");
  EXPECT_EQ(r.err.size(), 55u);
}

// --- diagnostics ----------------------------------------------------------

void report(int status, int errnum, const char *format, ...) __attribute__((format(printf, 3, 4)));
void report(int status, int errnum, const char *format, ...) {
  va_list args;
  va_start(args, format);
  verror(status, errnum, format, args);
  va_end(args);
}

TEST(Diagnostics, NameMessageAndSystemTextAfterFlushedOutput) {
  struct Case {
    int status;
    int errnum;
    const char *expected_err;
    int expected_status;
  } cases[] = {
      {3, ENOENT, "prog: a-5: No such file or directory\n", 3},
      {0, 0, "prog: a-5\n", 0},  // status 0 returns
  };
  for (const Case &c : cases) {
    auto r = in_child([&] {
      setlocale(LC_ALL, "C");
      set_program_name("prog");
      fputs("pending output ", stdout);
      report(c.status, c.errnum, "%s-%d", "a", 5);
      fputs("after", stdout);
    });
    EXPECT_EQ(r.status, c.expected_status);
    EXPECT_EQ(r.err, c.expected_err);
    // Output written before the message is flushed first; nothing follows
    // a fatal one.
    EXPECT_EQ(r.out, c.status == 0 ? "pending output after" : "pending output ");
  }
}

// --- allocation -----------------------------------------------------------

// The warning AddressSanitizer adds when it lets an allocation fail is
// not the program's output.
std::string without_sanitizer_warning(const std::string &err) {
  static constexpr std::string_view warning = "WARNING: AddressSanitizer failed to allocate";
  std::string kept;
  size_t start = 0;
  while (start < err.size()) {
    size_t end = err.find('\n', start);
    end = end == std::string::npos ? err.size() : end + 1;
    std::string_view line(err.data() + start, end - start);
    if (!(line.starts_with("==") && line.find(warning) != std::string_view::npos)) kept += line;
    start = end;
  }
  return kept;
}

TEST(Allocation, ExhaustedMemoryIsOneMessageAndAnOrdinaryExit) {
  struct Case {
    const char *what;
    void (*allocate)();
  } cases[] = {
      {"xmalloc", [] { (void)xmalloc(SIZE_MAX); }},
      {"xnmalloc overflow", [] { (void)xnmalloc(SIZE_MAX / 2, 4); }},
      {"ximalloc negative", [] { (void)ximalloc(-1); }},
      {"xpalloc overflow",
       [] {
         idx_t n = 0;
         (void)xpalloc(nullptr, &n, PTRDIFF_MAX, -1, 2);
       }},
      {"xpalloc above the maximum",
       [] {
         idx_t n = 10;
         // Static: still reachable when the process ends in xalloc_die.
         static void *p = xmalloc(10);
         (void)xpalloc(p, &n, 20, 15, 1);
       }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    auto r = in_child([&] {
      set_program_name("prog");
      exit_failure = 4;
      // Exit handlers still run after the message.
      atexit([] { fputs("handler ran", stdout); });
      c.allocate();
    });
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(without_sanitizer_warning(r.err), "prog: memory exhausted\n");
    EXPECT_EQ(r.out, "handler ran");
  }
}

TEST(Allocation, ArrayGrowth) {
  struct Case {
    idx_t old_count;  // items in an existing block; -1 for a null block
    idx_t incr_min;
    ptrdiff_t max;
    idx_t size;
    idx_t expected;
  } cases[] = {
      {-1, 1, -1, 1, 128},    // small blocks start at 128 bytes
      {-1, 1, -1, 16, 8},     // 128 / 16
      {-1, 1, -1, 200, 1},    // an item above 128 bytes: just the minimum
      {-1, 300, -1, 1, 300},  // the minimum wins over the small-block size
      {10, 1, -1, 1, 128},    // 15 bytes would be below 128
      {100, 1, -1, 4, 150},   // grows by half
      {100, 1, 120, 4, 120},  // capped by the maximum
      {100, 80, -1, 4, 180},  // half is not enough
      {100, 20, 120, 4, 120},
      {10, 1, 12, 1, 12},     // a small block stays within the maximum
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.old_count << " items of " << c.size);
    void *p = nullptr;
    idx_t n = 0;
    if (c.old_count >= 0) {
      n = c.old_count;
      p = xnmalloc(static_cast<size_t>(c.old_count), static_cast<size_t>(c.size));
      memset(p, 'k', static_cast<size_t>(c.old_count * c.size));
    }
    p = xpalloc(p, &n, c.incr_min, c.max, c.size);
    EXPECT_EQ(n, c.expected);
    // The old items survive and the new ones can be written.
    for (idx_t i = 0; i < (c.old_count > 0 ? c.old_count * c.size : 0); ++i)
      ASSERT_EQ(static_cast<char *>(p)[i], 'k');
    memset(p, 0, static_cast<size_t>(n * c.size));
    free(p);
  }
}

TEST(Allocation, ZeroSizedResizeAndAlignment) {
  void *p = xirealloc(xmalloc(8), 0);
  EXPECT_NE(p, nullptr);
  free(p);
  for (idx_t alignment : {1, 2, 64, 4096}) {
    void *q = xalignalloc(alignment, 10);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(q) % static_cast<uintptr_t>(alignment), 0u);
    free(q);
  }
}

// --- formatting into fresh allocations ------------------------------------

std::string formatted(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string formatted(const char *format, ...) {
  va_list args;
  va_start(args, format);
  char *s = xvasprintf(format, args);
  va_end(args);
  std::string result = s != nullptr ? s : "(null)";
  free(s);
  return result;
}

std::string concatenated(size_t count, ...) {
  va_list args;
  va_start(args, count);
  char *s = xstrcat(count, args);
  va_end(args);
  std::string result = s;
  free(s);
  return result;
}

// xstrcat without a conversion to std::string, for results that may be null.
char *concatenated_raw(size_t count, ...) {
  va_list args;
  va_start(args, count);
  char *s = xstrcat(count, args);
  va_end(args);
  return s;
}

TEST(Formatting, ResultsAboveTheIntLimitFailWithEoverflow) {
  // Eight copies of 2^28 bytes make 2^31, one byte more than a result may
  // have; the sum is found before anything that large is allocated.
  const std::string part(size_t{1} << 28, 'x');
  const char *s = part.c_str();
  errno = 0;
  EXPECT_EQ(concatenated_raw(8, s, s, s, s, s, s, s, s), nullptr);
  EXPECT_EQ(errno, EOVERFLOW);
  errno = 0;
  EXPECT_EQ(xasprintf("%s%s%s%s%s%s%s%s", s, s, s, s, s, s, s, s), nullptr);
  EXPECT_EQ(errno, EOVERFLOW);

  // A diagnostic that cannot be made says so and aborts.
  auto r = in_child([&] {
    setlocale(LC_ALL, "C");
    set_program_name("prog");
    report(1, ENOENT, "%s%s%s%s%s%s%s%s", s, s, s, s, s, s, s, s);
  });
  EXPECT_EQ(r.signal, SIGABRT);
  EXPECT_EQ(r.err,
            "prog: unable to display error message: Value too large for defined data type\n");
}

TEST(Formatting, ResultsOfConcatenationAndOfTheFormatter) {
  EXPECT_EQ(formatted("%s%s", "ab", "cd"), "abcd");
  EXPECT_EQ(formatted("%s", ""), "");
  EXPECT_EQ(formatted("%d-%s", 5, "x"), "5-x");
  EXPECT_EQ(formatted("%s%%", "x"), "x%");
  EXPECT_EQ(formatted("plain"), "plain");
  EXPECT_EQ(concatenated(3, "a", "", "bc"), "abc");
  EXPECT_EQ(concatenated(0), "");
}

// A printf conversion for "%s" that marks its output, so that a result can
// tell whether the general formatter produced it.
int marked_string(FILE *stream, const printf_info *, const void *const *args) {
  const char *s = *static_cast<const char *const *>(args[0]);
  // Not through printf: that would come back here.
  fputc('<', stream);
  fputs(s, stream);
  fputc('>', stream);
  return static_cast<int>(strlen(s)) + 2;
}
int one_pointer_arg(const printf_info *, size_t n, int *types, int *) {
  if (n > 0) types[0] = PA_STRING;
  return 1;
}

TEST(Formatting, OnlyStringDirectivesBypassTheFormatter) {
  auto r = in_child([] {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    register_printf_specifier('s', marked_string, one_pointer_arg);
#pragma GCC diagnostic pop
    char *direct = xasprintf("%s%s", "ab", "cd");
    char *general = xasprintf("%s-%s", "ab", "cd");
    fputs(direct, stdout);
    fputs(" ", stdout);
    fputs(general, stdout);
    free(direct);
    free(general);
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "abcd <ab>-<cd>");
}

// --- closing the standard streams -----------------------------------------

enum class Sink { pipe, full, closed, broken_pipe };

int sink_fd(Sink sink, int &to_close) {
  to_close = -1;
  switch (sink) {
    case Sink::full:
      return to_close = open("/dev/full", O_WRONLY | O_CLOEXEC);
    case Sink::broken_pipe: {
      int p[2];
      if (pipe2(p, O_CLOEXEC) != 0) return -1;
      close(p[0]);
      return to_close = p[1];
    }
    default:
      return -1;
  }
}

TEST(CloseStdout, ReportsLostOutputAndEndsAtOnce) {
  struct Case {
    const char *what;
    Sink out;
    bool write_out;
    bool stderr_full;
    int status;
    const char *err;
  } cases[] = {
      // 42: the exit handler registered before close_stdout ran as well.
      {"output delivered", Sink::pipe, true, false, 42, ""},
      {"full device", Sink::full, true, false, 3, "prog: write error: No space left on device\n"},
      {"broken pipe", Sink::broken_pipe, true, false, 3, "prog: write error: Broken pipe\n"},
      {"closed, nothing written", Sink::closed, false, false, 42, ""},
      {"closed, output lost", Sink::closed, true, false, 3, "prog: write error: Bad file descriptor\n"},
      {"standard error lost", Sink::pipe, false, true, 3, nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    int to_close = -1;
    ChildStreams streams;
    streams.stdout_fd = sink_fd(c.out, to_close);
    streams.close_stdout = c.out == Sink::closed;
    int err_fd = -1;
    if (c.stderr_full) streams.stderr_fd = err_fd = open("/dev/full", O_WRONLY | O_CLOEXEC);
    auto r = in_child(
        [&] {
          signal(SIGPIPE, SIG_IGN);
          setlocale(LC_ALL, "C");
          set_program_name("prog");
          exit_failure = 3;
          // Registered first, so it runs after close_stdout, unless that
          // ends the process.
          atexit([] { _exit(42); });
          atexit(close_stdout);
          if (c.write_out) fputs("hello\n", stdout);
          if (c.stderr_full) fputs("lost\n", stderr);
          exit(0);
        },
        streams);
    if (to_close >= 0) close(to_close);
    if (err_fd >= 0) close(err_fd);
    EXPECT_EQ(r.status, c.status);
    if (c.err != nullptr) {
      EXPECT_EQ(r.err, c.err);
    }
    if (c.out == Sink::pipe && c.write_out) {
      EXPECT_EQ(r.out, "hello\n");
    }
  }
}

TEST(CloseStream, EarlierFailureWithoutAFailedClose) {
  // An unbuffered write fails at once: the error indicator is set and
  // nothing is left for the close to lose.
  FILE *f = fopen("/dev/full", "w");
  ASSERT_NE(f, nullptr);
  setvbuf(f, nullptr, _IONBF, 0);
  EXPECT_EQ(fputc('x', f), EOF);
  ASSERT_TRUE(ferror(f));
  errno = EINVAL;
  EXPECT_EQ(close_stream(f), EOF);
  EXPECT_EQ(errno, 0) << "no system text explains the failure";
}

TEST(CloseStream, PendingOutputOnAFullDevice) {
  FILE *f = fopen("/dev/full", "w");
  ASSERT_NE(f, nullptr);
  fputs("x", f);
  EXPECT_EQ(close_stream(f), EOF);
  EXPECT_EQ(errno, ENOSPC);
}

TEST(CloseStdin, GivesBackUnreadInputOfASeekableFile) {
  testsupport::TempDir dir;
  testsupport::write_file(dir / "in", "first\nsecond\nthird\n");
  int fd = open((dir / "in").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ChildStreams streams;
  streams.stdin_fd = fd;
  auto r = in_child(
      [] {
        set_program_name("prog");
        atexit(close_stdin);
        char line[32];
        if (fgets(line, sizeof line, stdin) == nullptr) _exit(9);
        fputs(line, stdout);
        exit(0);
      },
      streams);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "first\n");
  EXPECT_EQ(r.err, "");
  // The child shared our open file: its offset is right after the line.
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 6);
  close(fd);
}

TEST(CloseStdin, ReportsAFailedInputAfterClosingOutput) {
  testsupport::TempDir dir;
  // Reading a directory fails and leaves the error indicator set.
  int fd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ChildStreams streams;
  streams.stdin_fd = fd;
  auto r = in_child(
      [] {
        set_program_name("prog");
        exit_failure = 5;
        atexit(close_stdin);
        fputs("written", stdout);
        (void)getchar();
        exit(0);
      },
      streams);
  close(fd);
  EXPECT_EQ(r.status, 5);
  EXPECT_EQ(r.out, "written");
  EXPECT_EQ(r.err, "prog: error closing file\n");
}

TEST(CloseStdin, PipeWithUnreadInputIsNoFailure) {
  ChildStreams streams;
  streams.stdin_data = "one\ntwo\n";
  auto r = in_child(
      [] {
        atexit(close_stdin);
        (void)getchar();
        exit(0);
      },
      streams);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

// --- version and help texts -----------------------------------------------

std::string version_text(std::vector<const char *> authors) {
  char *buf = nullptr;
  size_t size = 0;
  FILE *f = open_memstream(&buf, &size);
  authors.resize(12, nullptr);
  version_etc(f, "prog", "pkg", "1.0", authors[0], authors[1], authors[2], authors[3], authors[4],
              authors[5], authors[6], authors[7], authors[8], authors[9], authors[10], authors[11],
              static_cast<const char *>(nullptr));
  fclose(f);
  std::string text(buf, size);
  free(buf);
  return text;
}

TEST(VersionText, HeaderThenTheAuthorsInTheFormOfTheirNumber) {
  const std::vector<const char *> names = {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K"};
  struct Case {
    size_t count;
    const char *authors;
  } cases[] = {
      {0, ""},
      {1, "Written by A.\n"},
      {2, "Written by A and B.\n"},
      {3, "Written by A, B, and C.\n"},
      {4, "Written by A, B, C,\nand D.\n"},
      {5, "Written by A, B, C,\nD, and E.\n"},
      {6, "Written by A, B, C,\nD, E, and F.\n"},
      {7, "Written by A, B, C,\nD, E, F, and G.\n"},
      {8, "Written by A, B, C,\nD, E, F, G,\nand H.\n"},
      {9, "Written by A, B, C,\nD, E, F, G,\nH, and I.\n"},
      {10, "Written by A, B, C,\nD, E, F, G,\nH, I, and others.\n"},
      {11, "Written by A, B, C,\nD, E, F, G,\nH, I, and others.\n"},
  };
  const std::string header = version_text({});
  EXPECT_EQ(header.rfind("prog (pkg) 1.0\nCopyright (C) 2022 ", 0), 0u) << header;
  EXPECT_EQ(header.substr(header.size() - 3), ".\n\n") << "a blank line ends the licence";
  for (const Case &c : cases) {
    SCOPED_TRACE(c.count);
    std::vector<const char *> authors(names.begin(), names.begin() + static_cast<long>(c.count));
    EXPECT_EQ(version_text(authors), header + c.authors);
  }
}

std::string help_footer_in(const char *locale_name) {
  frametest::generated_locales();  // once, here rather than in every child
  auto r = in_child([&] {
    if (locale_name == nullptr) {
      // No language anywhere in the environment: the default locale.
      for (const char *v : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"}) unsetenv(v);
      setlocale(LC_ALL, "");
    } else if (!frametest::use_locale(locale_name)) {
      _exit(77);
    }
    emit_help_footer("install");
  });
  if (r.status == 77) return "no locale";
  EXPECT_EQ(r.status, 0);
  return r.out;
}

TEST(HelpFooter, TranslationReportsAreInvitedOutsideEnglish) {
  const std::string home = package_home_page;
  const std::string common_end = "Full documentation <" + home + "install>\n" +
                                 "or available locally via: info '(tullwerk) install invocation'\n";
  const std::string head = "\nqent tullwerk online help: <" + home + ">\n";
  const std::string reports =
      "Report any translation bugs to <https://www.varnet.org/software/tullwerk/translations/>\n";

  EXPECT_EQ(help_footer_in(nullptr), head + reports + common_end);
  EXPECT_EQ(help_footer_in("C.UTF-8"), head + reports + common_end);
  const std::string english = help_footer_in("en_US.UTF-8");
  if (english == "no locale") GTEST_SKIP() << "en_US.UTF-8 cannot be generated here";
  EXPECT_EQ(english, head + common_end);
}

// --- yes/no answers --------------------------------------------------------

TEST(YesNo, OneLineJudgedByTheLocale) {
  struct Case {
    const char *input;
    bool yes;
  } cases[] = {
      {"", false},  {"y\n", true},     {"y", true},   {"yes\n", true}, {"Y\nn\n", true},
      {"n\n", false}, {"no\n", false}, {"\n", false}, {"maybe\n", false},
  };
  const bool english = frametest::use_locale("en_US.UTF-8");
  setlocale(LC_ALL, "C.UTF-8");
  if (!english) GTEST_SKIP() << "en_US.UTF-8 cannot be generated here";
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.input << '"');
    ChildStreams streams;
    streams.stdin_data = c.input;
    auto r = in_child(
        [] {
          frametest::use_locale("en_US.UTF-8");
          _exit(yesno() ? 10 : 11);
        },
        streams);
    EXPECT_EQ(r.status, c.yes ? 10 : 11);
  }
}

}  // namespace
