// test: evaluates the conditional expression given as its arguments and
// reports the result through the exit status alone: 0 true, 1 false,
// 2 for a syntax error or any other failure.
//
// Parsing and evaluation are one left-to-right pass over the words. The
// short forms of one to four words follow their own counting rules; longer
// expressions go through the general grammar, which evaluates every
// operand (there is no short-circuit: every file test is performed).

#include <ctype.h>
#include <errno.h>
#include <libintl.h>
#include <limits.h>
#include <locale.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

#include "closeout.h"
#include "exitfail.h"
#include "package.h"
#include "progname.h"
#include "quotearg.h"
#include "verror.h"

namespace {

constexpr int test_true = 0;
constexpr int test_false = 1;
constexpr int test_failure = 2;

const char *_(const char *msgid) { return gettext(msgid); }

// The parser's state: the words and the index of the next one to consume.
char **argv;
int argc;
int pos;

bool streq(const char *a, std::string_view b) { return a != nullptr && a == b; }

bool is_digit(char c) { return static_cast<unsigned>(c - '0') <= 9; }

bool is_blank(char c) { return isblank(static_cast<unsigned char>(c)) != 0; }

[[noreturn]] __attribute__((format(printf, 1, 2))) void test_syntax_error(const char *format,
                                                                          ...) {
  va_list args;
  va_start(args, format);
  verror(0, 0, format, args);
  va_end(args);
  exit(test_failure);
}

// A word was required but the words ended; the message names the last word
// of the whole command line.
[[noreturn]] void beyond() { test_syntax_error(_("missing argument after %s"), quote(argv[argc - 1])); }

// Consumes a word; with CHECK, another one must follow.
void advance(bool check) {
  ++pos;
  if (check && pos >= argc) beyond();
}

// Consumes a unary operator, which needs an operand, and its operand.
void unary_advance() {
  advance(true);
  ++pos;
}

// "-" followed by one character.
bool unary_shape(const char *word) { return word[0] == '-' && word[1] != '\0' && word[2] == '\0'; }

bool binop(const char *word) {
  static constexpr std::string_view ops[] = {"=",   "!=",  "==",  "-nt", "-ot", "-ef",
                                             "-eq", "-ne", "-lt", "-le", "-gt", "-ge"};
  for (std::string_view op : ops)
    if (streq(word, op)) return true;
  return false;
}

// Checks that TEXT is [blanks][+ or -]digits[blanks] and returns the
// number's text: from its "-" or first digit ("+" dropped, trailing blanks
// kept).
const char *find_int(const char *text) {
  const char *p = text;
  while (is_blank(*p)) ++p;
  const char *number_start;
  if (*p == '+') {
    number_start = ++p;
  } else {
    number_start = p;
    if (*p == '-') ++p;
  }
  if (is_digit(*p)) {
    while (is_digit(*p)) ++p;
    while (is_blank(*p)) ++p;
    if (*p == '\0') return number_start;
  }
  test_syntax_error(_("invalid integer %s"), quote(text));
}

// The sign of A - B for digit strings without sign or leading zeros, each
// possibly followed by blanks.
int magnitude_cmp(const char *a, const char *b) {
  while (is_digit(*a) && *a == *b) {
    ++a;
    ++b;
  }
  const int first_difference = static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
  size_t a_left = 0;
  while (is_digit(a[a_left])) ++a_left;
  size_t b_left = 0;
  while (is_digit(b[b_left])) ++b_left;
  if (a_left != b_left) return a_left < b_left ? -1 : 1;
  if (a_left == 0) return 0;
  return first_difference < 0 ? -1 : 1;
}

const char *skip_zeros(const char *p) {
  while (*p == '0') ++p;
  return p;
}

// Compares two integers as find_int returns them, of any length, without
// converting them.
int strintcmp(const char *a, const char *b) {
  const bool a_negative = *a == '-';
  const bool b_negative = *b == '-';
  const char *a_digits = skip_zeros(a + a_negative);
  const char *b_digits = skip_zeros(b + b_negative);
  const bool a_nonzero = is_digit(*a_digits);
  const bool b_nonzero = is_digit(*b_digits);

  if (a_negative && !b_negative) return a_nonzero || b_nonzero ? -1 : 0;
  if (b_negative && !a_negative) return a_nonzero || b_nonzero ? 1 : 0;
  const int cmp = magnitude_cmp(a_digits, b_digits);
  return a_negative ? -cmp : cmp;
}

// Writes I in decimal, right-aligned, into BUF and returns its first digit.
char *umaxtostr(uintmax_t i, char (&buf)[21]) {
  char *p = buf + sizeof buf - 1;
  *p = '\0';
  do {
    *--p = static_cast<char>('0' + i % 10);
    i /= 10;
  } while (i != 0);
  return p;
}

int timespec_cmp(const timespec &a, const timespec &b) {
  if (a.tv_sec != b.tv_sec) return a.tv_sec < b.tv_sec ? -1 : 1;
  if (a.tv_nsec != b.tv_nsec) return a.tv_nsec < b.tv_nsec ? -1 : 1;
  return 0;
}

bool or_expr();

bool expr() {
  if (pos >= argc) beyond();
  return or_expr();
}

// Evaluates the binary operation whose left operand (or its "-l") is at
// pos; L_IS_L tells that the left operand has the length form.
bool binary_operator(bool l_is_l) {
  if (l_is_l) advance(false);
  const int op = pos + 1;

  bool r_is_l = false;
  if (op < argc - 2 && streq(argv[op + 1], "-l")) {
    r_is_l = true;
    advance(false);
  }
  const char *left = argv[op - 1];
  const char *right = r_is_l ? argv[op + 2] : argv[op + 1];
  const std::string_view name = argv[op];
  pos += 3;

  if (name == "-eq" || name == "-ne" || name == "-lt" || name == "-le" || name == "-gt" ||
      name == "-ge") {
    char lbuf[21], rbuf[21];
    const char *l = l_is_l ? umaxtostr(strlen(left), lbuf) : find_int(left);
    const char *r = r_is_l ? umaxtostr(strlen(right), rbuf) : find_int(right);
    const int cmp = strintcmp(l, r);
    if (name == "-eq") return cmp == 0;
    if (name == "-ne") return cmp != 0;
    if (name == "-lt") return cmp < 0;
    if (name == "-le") return cmp <= 0;
    if (name == "-gt") return cmp > 0;
    return cmp >= 0;
  }

  if (name == "-nt" || name == "-ot" || name == "-ef") {
    if (l_is_l || r_is_l) {
      if (name == "-nt") test_syntax_error(_("-nt does not accept -l"));
      if (name == "-ot") test_syntax_error(_("-ot does not accept -l"));
      test_syntax_error(_("-ef does not accept -l"));
    }
    struct stat lst, rst;
    const bool lexists = stat(left, &lst) == 0;
    const bool rexists = stat(right, &rst) == 0;
    if (name == "-nt") return lexists && (!rexists || timespec_cmp(lst.st_mtim, rst.st_mtim) > 0);
    if (name == "-ot") return rexists && (!lexists || timespec_cmp(lst.st_mtim, rst.st_mtim) < 0);
    return lexists && rexists && lst.st_dev == rst.st_dev && lst.st_ino == rst.st_ino;
  }

  // String comparisons take no length forms: a "-l" on either side is
  // skipped and the word after it is compared.
  const bool equal = strcmp(left, right) == 0;
  return name == "!=" ? !equal : equal;
}

// Evaluates the unary operator at pos and its operand.
bool unary_operator() {
  struct stat st;
  const char *word = argv[pos];
  auto operand = [] { return argv[pos - 1]; };
  auto with_stat = [&](auto &&test) {
    unary_advance();
    return stat(operand(), &st) == 0 && test(st);
  };

  switch (word[1]) {
    case 'e':
      return with_stat([](const struct stat &) { return true; });
    case 'f':
      return with_stat([](const struct stat &s) { return S_ISREG(s.st_mode); });
    case 'd':
      return with_stat([](const struct stat &s) { return S_ISDIR(s.st_mode); });
    case 'b':
      return with_stat([](const struct stat &s) { return S_ISBLK(s.st_mode); });
    case 'c':
      return with_stat([](const struct stat &s) { return S_ISCHR(s.st_mode); });
    case 'p':
      return with_stat([](const struct stat &s) { return S_ISFIFO(s.st_mode); });
    case 'S':
      return with_stat([](const struct stat &s) { return S_ISSOCK(s.st_mode); });
    case 's':
      return with_stat([](const struct stat &s) { return s.st_size > 0; });
    case 'u':
      return with_stat([](const struct stat &s) { return (s.st_mode & S_ISUID) != 0; });
    case 'g':
      return with_stat([](const struct stat &s) { return (s.st_mode & S_ISGID) != 0; });
    case 'k':
      return with_stat([](const struct stat &s) { return (s.st_mode & S_ISVTX) != 0; });
    case 'N':
      return with_stat(
          [](const struct stat &s) { return timespec_cmp(s.st_mtim, s.st_atim) > 0; });
    case 'O':
      return with_stat([](const struct stat &s) {
        errno = 0;
        const uid_t euid = geteuid();
        if (euid == static_cast<uid_t>(-1) && errno != 0) return false;
        return euid == s.st_uid;
      });
    case 'G':
      return with_stat([](const struct stat &s) {
        errno = 0;
        const gid_t egid = getegid();
        if (egid == static_cast<gid_t>(-1) && errno != 0) return false;
        return egid == s.st_gid;
      });
    case 'h':
    case 'L':
      unary_advance();
      return lstat(operand(), &st) == 0 && S_ISLNK(st.st_mode);
    case 'r':
      unary_advance();
      return euidaccess(operand(), R_OK) == 0;
    case 'w':
      unary_advance();
      return euidaccess(operand(), W_OK) == 0;
    case 'x':
      unary_advance();
      return euidaccess(operand(), X_OK) == 0;
    case 't': {
      unary_advance();
      const char *arg = find_int(operand());
      errno = 0;
      const long fd = strtol(arg, nullptr, 10);
      return errno != ERANGE && 0 <= fd && fd <= INT_MAX && isatty(static_cast<int>(fd));
    }
    case 'n':
      unary_advance();
      return operand()[0] != '\0';
    case 'z':
      unary_advance();
      return operand()[0] == '\0';
    default:
      test_syntax_error(_("%s: unary operator expected"), quote(word));
  }
}

bool posixtest(int nargs);

// One operand: negations, a parenthesised group, a binary or unary
// operation, or a word that is true when it is not empty.
bool primary() {
  bool negated = false;
  while (pos < argc && streq(argv[pos], "!")) {
    advance(true);
    negated = !negated;
  }
  if (pos >= argc) beyond();

  bool value;
  if (streq(argv[pos], "(")) {
    advance(true);
    // A ")" is looked for among the next few words only; a longer group is
    // everything that is left.
    int count = 1;
    while (pos + count < argc && !streq(argv[pos + count], ")")) {
      if (count == 4) {
        count = argc - pos;
        break;
      }
      ++count;
    }
    value = posixtest(count);
    if (pos >= argc)
      test_syntax_error(_("%s expected"), quote(")"));
    else if (!streq(argv[pos], ")"))
      test_syntax_error(_("%s expected, found %s"), quote_n(0, ")"), quote_n(1, argv[pos]));
    advance(false);
  } else if (argc - pos >= 4 && streq(argv[pos], "-l") && binop(argv[pos + 2])) {
    value = binary_operator(true);
  } else if (argc - pos >= 3 && binop(argv[pos + 1])) {
    value = binary_operator(false);
  } else if (unary_shape(argv[pos])) {
    value = unary_operator();
  } else {
    value = argv[pos][0] != '\0';
    advance(false);
  }
  return negated ? !value : value;
}

// The -a level: binds tighter than -o; every operand is evaluated.
bool conjunction() {
  bool value = true;
  for (;;) {
    value &= primary();
    if (pos < argc && streq(argv[pos], "-a")) {
      advance(false);
      continue;
    }
    return value;
  }
}

bool or_expr() {
  bool value = false;
  for (;;) {
    value |= conjunction();
    if (pos < argc && streq(argv[pos], "-o")) {
      advance(false);
      continue;
    }
    return value;
  }
}

bool two_arguments() {
  if (streq(argv[pos], "!")) {
    advance(false);
    const bool value = argv[pos][0] == '\0';
    advance(false);
    return value;
  }
  if (unary_shape(argv[pos])) return unary_operator();
  beyond();
}

bool three_arguments() {
  if (binop(argv[pos + 1])) return binary_operator(false);
  if (streq(argv[pos], "!")) {
    advance(true);
    return !two_arguments();
  }
  if (streq(argv[pos], "(") && streq(argv[pos + 2], ")")) {
    const bool value = argv[pos + 1][0] != '\0';
    pos += 3;
    return value;
  }
  if (streq(argv[pos + 1], "-a") || streq(argv[pos + 1], "-o")) return expr();
  test_syntax_error(_("%s: binary operator expected"), quote(argv[pos + 1]));
}

// Evaluates NARGS words by the counting rules for short expressions.
bool posixtest(int nargs) {
  switch (nargs) {
    case 1: {
      const bool value = argv[pos][0] != '\0';
      advance(false);
      return value;
    }
    case 2:
      return two_arguments();
    case 3:
      return three_arguments();
    case 4:
      if (streq(argv[pos], "!")) {
        advance(true);
        return !three_arguments();
      }
      if (streq(argv[pos], "(") && streq(argv[pos + 3], ")")) {
        advance(false);
        const bool value = two_arguments();
        advance(false);
        return value;
      }
      return expr();
    default:
      return expr();
  }
}

}  // namespace

int main(int main_argc, char **main_argv) {
  set_program_name(main_argv[0]);
  setlocale(LC_ALL, "");
  bindtextdomain(package_domain, package_catalog_dir());
  textdomain(package_domain);
  exit_failure = test_failure;
  atexit(close_stdout);

  argv = main_argv;
  argc = main_argc;
  pos = 1;

  if (argc < 2) return test_false;

  const bool value = posixtest(argc - 1);
  if (pos != argc) test_syntax_error(_("extra argument %s"), quote(argv[pos]));
  return value ? test_true : test_false;
}
