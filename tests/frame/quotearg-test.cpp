// Quoting of names in messages: every style in the UTF-8 and the POSIX
// locale, flags, extra characters, custom quotes, slots, errno.

#include "quotearg.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <libintl.h>
#include <limits.h>
#include <locale.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "child.h"

namespace {

using namespace std::string_view_literals;

class Locale {
 public:
  explicit Locale(const char *name) { ok_ = frametest::use_locale(name); }
  ~Locale() {
    unsetenv("LOCPATH");
    setlocale(LC_ALL, "C.UTF-8");
  }
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

std::string quoted_mem(quoting_style style, std::string_view arg) {
  return quotearg_style_mem(style, arg.data(), arg.size());
}

// --- the three styles of the messages, in both locales ---------------------

struct LocaleCase {
  const char *what;
  std::function<std::string()> call;
  const char *utf8;
  const char *posix;
};

const LocaleCase message_cases[] = {
    {"quote abc", [] { return std::string(quote("abc")); }, "‘abc’", "'abc'"},
    {"quote a newline b", [] { return std::string(quote("a\nb")); }, "‘a\\nb’", "'a\\nb'"},
    {"quote it's", [] { return std::string(quote("it's")); }, "‘it's’", "'it\\'s'"},
    {"quote a’b", [] { return std::string(quote("a’b")); }, "‘a\\’b’", "'a\\342\\200\\231b'"},
    {"quote backslash", [] { return std::string(quote("a\\b")); }, "‘a\\\\b’", "'a\\\\b'"},
    {"quote controls", [] { return std::string(quote("\a\b\f\r\t\v")); },
     "‘\\a\\b\\f\\r\\t\\v’", "'\\a\\b\\f\\r\\t\\v'"},
    {"quote escape byte", [] { return std::string(quote("\x1b[0m")); }, "‘\\033[0m’",
     "'\\033[0m'"},
    {"quote invalid byte", [] { return std::string(quote("a\xff" "b")); }, "‘a\\377b’",
     "'a\\377b'"},
    {"quote cut-off character", [] { return std::string(quote("a\xe2\x80")); },
     "‘a\\342\\200’", "'a\\342\\200'"},
    {"quote é", [] { return std::string(quote("é")); }, "‘é’", "'\\303\\251'"},
    {"quote empty", [] { return std::string(quote("")); }, "‘’", "''"},
    {"quote_mem null byte", [] { return std::string(quote_mem("a\0b", 3)); }, "‘a\\0b’",
     "'a\\0b'"},
    {"quote_mem null before digit", [] { return std::string(quote_mem("a\0" "1", 3)); },
     "‘a\\0001’", "'a\\0001'"},

    {"shell-escape-always abc",
     [] { return std::string(quotearg_style(shell_escape_always_quoting_style, "abc")); },
     "'abc'", "'abc'"},
    {"shell-escape-always a b",
     [] { return std::string(quotearg_style(shell_escape_always_quoting_style, "a b")); },
     "'a b'", "'a b'"},
    {"shell-escape-always it's",
     [] { return std::string(quotearg_style(shell_escape_always_quoting_style, "it's")); },
     "\"it's\"", "\"it's\""},
    {"shell-escape-always #it's",
     [] { return std::string(quotearg_style(shell_escape_always_quoting_style, "#it's x")); },
     "\"#it's x\"", "\"#it's x\""},
    {"shell-escape-always it's $HOME",
     [] { return std::string(quotearg_style(shell_escape_always_quoting_style, "it's $HOME")); },
     "'it'\\''s $HOME'", "'it'\\''s $HOME'"},
    {"shell-escape-always a newline b",
     [] { return std::string(quotearg_style(shell_escape_always_quoting_style, "a\nb")); },
     "'a'$'\\n''b'", "'a'$'\\n''b'"},
    {"shell-escape-always a byte 01",
     [] { return std::string(quotearg_style(shell_escape_always_quoting_style, "a\x01")); },
     "'a'$'\\001'", "'a'$'\\001'"},
    {"shell-escape-always two escapes in a row",
     [] { return std::string(quotearg_style(shell_escape_always_quoting_style, "\t\ta")); },
     "''$'\\t\\t''a'", "''$'\\t\\t''a'"},
    {"shell-escape-always quote after an escape",
     [] { return std::string(quotearg_style(shell_escape_always_quoting_style, "\n'$")); },
     "''$'\\n'\\''$'", "''$'\\n'\\''$'"},
    {"shell-escape-always é",
     [] { return std::string(quotearg_style(shell_escape_always_quoting_style, "é")); },
     "'é'", "''$'\\303\\251'"},
    {"shell-escape-always empty",
     [] { return std::string(quotearg_style(shell_escape_always_quoting_style, "")); }, "''",
     "''"},

    {"shell-escape colon dir/file.c",
     [] { return std::string(quotearg_n_style_colon(0, shell_escape_quoting_style, "dir/file.c")); },
     "dir/file.c", "dir/file.c"},
    {"shell-escape colon a:b",
     [] { return std::string(quotearg_n_style_colon(0, shell_escape_quoting_style, "a:b")); },
     "'a:b'", "'a:b'"},
    {"shell-escape colon a b",
     [] { return std::string(quotearg_n_style_colon(0, shell_escape_quoting_style, "a b")); },
     "'a b'", "'a b'"},
    {"shell-escape colon empty",
     [] { return std::string(quotearg_n_style_colon(0, shell_escape_quoting_style, "")); },
     "''", "''"},
    {"shell-escape colon plain bytes",
     [] {
       return std::string(quotearg_n_style_colon(0, shell_escape_quoting_style, "x@y#z~{a}_+%,.-]"));
     },
     "x@y#z~{a}_+%,.-]", "x@y#z~{a}_+%,.-]"},
    {"shell-escape colon é",
     [] { return std::string(quotearg_n_style_colon(0, shell_escape_quoting_style, "é")); },
     "é", "''$'\\303\\251'"},
};

class MessageStyles : public testing::TestWithParam<const char *> {};

TEST_P(MessageStyles, MatchTheLocale) {
  Locale locale(GetParam());
  ASSERT_TRUE(locale.ok()) << GetParam();
  const bool utf8 = strcmp(GetParam(), "C.UTF-8") == 0;
  for (const LocaleCase &c : message_cases) {
    EXPECT_EQ(c.call(), utf8 ? c.utf8 : c.posix) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(Locales, MessageStyles, testing::Values("C.UTF-8", "POSIX"));

// --- every other style ------------------------------------------------------

TEST(Styles, ByteRulesOfEachStyle) {
  Locale locale("C.UTF-8");
  struct Case {
    quoting_style style;
    std::string_view arg;
    const char *expected;
  } cases[] = {
      {literal_quoting_style, "a\nb", "a\nb"},
      {literal_quoting_style, "a\0b"sv, "ab"},  // slots leave null bytes out

      {shell_quoting_style, "abc", "abc"},
      {shell_quoting_style, "a b", "'a b'"},
      {shell_quoting_style, "", "''"},
      {shell_quoting_style, "a\nb", "'a\nb'"},
      {shell_quoting_style, "it's", "\"it's\""},
      {shell_quoting_style, "~x", "'~x'"},
      {shell_quoting_style, "x~", "x~"},
      {shell_quoting_style, "{", "'{'"},
      {shell_quoting_style, "{}", "{}"},
      {shell_quoting_style, "a\\b", "'a\\b'"},
      {shell_quoting_style, "a*", "'a*'"},
      {shell_quoting_style, "?", "'?'"},

      {shell_always_quoting_style, "abc", "'abc'"},
      {shell_always_quoting_style, "a'b$", "'a'\\''b$'"},
      {shell_always_quoting_style, "a\tb", "'a\tb'"},

      {shell_escape_quoting_style, "abc", "abc"},
      {shell_escape_quoting_style, "a\tb", "'a'$'\\t''b'"},
      {shell_escape_quoting_style, "a\\b", "'a\\b'"},
      {shell_escape_quoting_style, "a:b", "a:b"},  // ":" only with the colon variant

      {c_quoting_style, "a\"b", "\"a\\\"b\""},
      {c_quoting_style, "a\tb\\", "\"a\\tb\\\\\""},
      {c_quoting_style, "a\x7f", "\"a\\177\""},
      {c_quoting_style, "it's", "\"it's\""},
      {c_quoting_style, "a\0" "1"sv, "\"a\\0001\""},
      {c_quoting_style, "a\0b"sv, "\"a\\0b\""},
      {c_quoting_style, "?\?(", "\"?\?(\""},  // trigraphs kept without the flag

      {c_maybe_quoting_style, "abc", "abc"},
      {c_maybe_quoting_style, "a b", "a b"},
      {c_maybe_quoting_style, "a\"b", "\"a\\\"b\""},
      {c_maybe_quoting_style, "a\nb", "\"a\\nb\""},

      {escape_quoting_style, "a b\n\\", "a b\\n\\\\"},
      {escape_quoting_style, "\"'", "\"'"},
      {escape_quoting_style, "\x01", "\\001"},

      {clocale_quoting_style, "abc", "‘abc’"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(quoted_mem(c.style, c.arg), c.expected)
        << quoting_style_args[c.style] << " of " << quote_mem(c.arg.data(), c.arg.size());
  }
}

TEST(Styles, ClocaleFallsBackToDoubleQuotes) {
  Locale locale("POSIX");
  EXPECT_STREQ(quotearg_style(clocale_quoting_style, "abc"), "\"abc\"");
  EXPECT_STREQ(quotearg_style(clocale_quoting_style, "a\"b"), "\"a\\\"b\"");
  EXPECT_STREQ(quotearg_style(locale_quoting_style, "a\"b"), "'a\"b'");
}

TEST(Styles, CustomQuotes) {
  Locale locale("C.UTF-8");
  EXPECT_STREQ(quotearg_custom("<<", ">>", "a>>b"), "<<a\\>>b>>");
  EXPECT_STREQ(quotearg_custom("<<", ">>", "a<<b>"), "<<a<<b>>>");
  EXPECT_STREQ(quotearg_n_custom_mem(1, "[", "]", "a]\0b", 4), "[a\\]\\0b]");
  EXPECT_STREQ(quotearg_custom("«", "»", "a»b"), "«a\\»b»");
}

TEST(Styles, NamesAndValuesArePaired) {
  const char *const names[] = {"literal", "shell",  "shell-always", "shell-escape",
                               "shell-escape-always", "c", "c-maybe", "escape",
                               "locale",  "clocale"};
  size_t i = 0;
  for (; quoting_style_args[i] != nullptr; ++i) {
    ASSERT_LT(i, std::size(names));
    EXPECT_STREQ(quoting_style_args[i], names[i]);
    EXPECT_EQ(quoting_style_vals[i], static_cast<quoting_style>(i));
  }
  EXPECT_EQ(i, std::size(names));
}

// --- the public operations -------------------------------------------------

TEST(Operations, EachUsesItsSlotAndSettings) {
  Locale locale("C.UTF-8");
  quotearg_free();
  struct Case {
    const char *what;
    std::function<const char *()> call;
    int slot;
    std::string_view expected;
  } cases[] = {
      {"quotearg", [] { return quotearg("a b\n"); }, 0, "a b\n"},
      {"quotearg_n", [] { return quotearg_n(2, "a'b"); }, 2, "a'b"},
      {"quotearg_mem", [] { return quotearg_mem("a\0b", 3); }, 0, "ab"},
      {"quotearg_n_mem", [] { return quotearg_n_mem(3, "a\0b", 3); }, 3, "ab"},
      {"quotearg_style", [] { return quotearg_style(c_quoting_style, "a b"); }, 0, "\"a b\""},
      {"quotearg_n_style", [] { return quotearg_n_style(4, escape_quoting_style, "a\tb"); }, 4,
       "a\\tb"},
      {"quotearg_style_mem", [] { return quotearg_style_mem(c_quoting_style, "a\0b", 3); }, 0,
       "\"a\\0b\""},
      {"quotearg_n_style_mem",
       [] { return quotearg_n_style_mem(5, shell_escape_always_quoting_style, "a\0b", 3); }, 5,
       "'a'$'\\0''b'"},
      {"quotearg_n_style_colon", [] { return quotearg_n_style_colon(6, c_quoting_style, "a:b"); },
       6, "\"a\\:b\""},
      {"quotearg_custom", [] { return quotearg_custom("<", ">", "a>b"); }, 0, "<a\\>b>"},
      {"quotearg_n_custom", [] { return quotearg_n_custom(7, "<", ">", "x"); }, 7, "<x>"},
      {"quotearg_custom_mem", [] { return quotearg_custom_mem("<", ">", "a\0b", 3); }, 0,
       "<a\\0b>"},
      {"quote_n_mem", [] { return quote_n_mem(8, "a\0b", 3); }, 8, "‘a\\0b’"},
      {"quote_n", [] { return quote_n(9, "x"); }, 9, "‘x’"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const char *result = c.call();
    EXPECT_EQ(result, c.expected);
    // A slot keeps its buffer while results fit: a later short result in
    // the same slot lands where this one did.
    EXPECT_EQ(quotearg_n(c.slot, "z"), result);
  }
  quotearg_free();
}

// --- settings records ------------------------------------------------------

std::string buffered(std::string_view arg, const quote_settings *o) {
  size_t len = quotearg_buffer(nullptr, 0, arg.data(), arg.size(), o);
  std::string out(len + 1, '#');
  EXPECT_EQ(quotearg_buffer(out.data(), out.size(), arg.data(), arg.size(), o), len);
  EXPECT_EQ(out[len], '\0');
  out.resize(len);
  return out;
}

TEST(Settings, FlagsExtraCharactersAndCustomQuotes) {
  Locale locale("C.UTF-8");
  struct Case {
    const char *what;
    quoting_style style;
    int flags;
    const char *extra;
    std::string_view arg;
    std::string_view expected;
  } cases[] = {
      {"null bytes shown without the flag", literal_quoting_style, 0, "", "a\0b"sv, "a\0b"sv},
      {"null bytes dropped", literal_quoting_style, drop_null_bytes, "", "a\0b"sv, "ab"},
      {"null bytes escaped regardless", c_quoting_style, drop_null_bytes, "", "a\0b"sv,
       "\"a\\0b\""},
      {"trigraph broken", c_quoting_style, break_trigraphs, "", "?\?(x", "\"?\"\"?(x\""},
      {"trigraph needs its third character", c_quoting_style, break_trigraphs, "", "??x",
       "\"??x\""},
      {"outer quotes omitted", locale_quoting_style, omit_outer_quotes, "", "abc", "abc"},
      {"closing mark forces them", locale_quoting_style, omit_outer_quotes, "", "a’b",
       "‘a\\’b’"},
      {"an escape forces them", locale_quoting_style, omit_outer_quotes, "", "a\nb", "‘a\\nb’"},
      {"backslash kept when quotes are omitted", locale_quoting_style, omit_outer_quotes, "",
       "a\\b", "a\\b"},
      {"c without quotes", c_quoting_style, omit_outer_quotes, "", "a b", "a b"},
      {"extra characters escaped", escape_quoting_style, 0, ":x", "a:xb", "a\\:\\xb"},
      {"extra characters need escapes", literal_quoting_style, 0, ":", "a:b", "a:b"},
      {"extra characters in the shell force quotes", shell_quoting_style, 0, "z", "aza",
       "'aza'"},
      {"extras dropped on restart", shell_escape_quoting_style, 0, "z", "a z", "'a z'"},
      {"shell-always with omitted quotes", shell_always_quoting_style, omit_outer_quotes, "",
       "abc", "abc"},
      {"shell-escape-always with omitted quotes restarts", shell_escape_always_quoting_style,
       omit_outer_quotes, "", "a b", "'a b'"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    quote_settings *o = clone_quoting_options(nullptr);
    set_quoting_style(o, c.style);
    set_quoting_flags(o, c.flags);
    for (const char *p = c.extra; *p; ++p) set_char_quoting(o, *p, 1);
    EXPECT_EQ(buffered(c.arg, o), c.expected);
    free(o);
  }
}

TEST(Settings, RecordOperationsReturnTheOldState) {
  quote_settings *o = clone_quoting_options(nullptr);
  EXPECT_EQ(get_quoting_style(o), literal_quoting_style);
  EXPECT_EQ(set_char_quoting(o, ':', 1), 0);
  EXPECT_EQ(set_char_quoting(o, ':', 1), 1);
  EXPECT_EQ(set_char_quoting(o, ':', 0), 1);
  EXPECT_EQ(set_char_quoting(o, ':', 0), 0);
  EXPECT_EQ(set_char_quoting(o, '\xff', 1), 0);
  EXPECT_EQ(o->extra_chars[7], 1u << 31);
  EXPECT_EQ(set_quoting_flags(o, omit_outer_quotes), 0);
  EXPECT_EQ(set_quoting_flags(o, 0), omit_outer_quotes);

  // A clone is a copy, not a view.
  set_quoting_style(o, c_quoting_style);
  quote_settings *copy = clone_quoting_options(o);
  set_quoting_style(o, escape_quoting_style);
  EXPECT_EQ(get_quoting_style(copy), c_quoting_style);
  EXPECT_EQ(copy->extra_chars[7], 1u << 31);
  free(copy);
  free(o);

  // Without a record the process-wide defaults change.
  set_quoting_style(nullptr, escape_quoting_style);
  EXPECT_STREQ(quotearg_colon("a:b"), "a\\:b");
  EXPECT_STREQ(quotearg_char("a:b", 'b'), "a:\\b");
  EXPECT_STREQ(quotearg_colon_mem("a:b\0c", 5), "a\\:b\\0c");
  EXPECT_STREQ(quotearg_char_mem("a:b\0c", 5, 'c'), "a:b\\0\\c");
  set_quoting_style(nullptr, literal_quoting_style);
  EXPECT_STREQ(quotearg_colon("a:b"), "a:b");
  EXPECT_EQ(get_quoting_style(nullptr), literal_quoting_style);
}

TEST(Buffer, WritesWhatFitsAndReturnsTheFullLength) {
  Locale locale("C.UTF-8");
  quote_settings *o = clone_quoting_options(nullptr);
  struct Case {
    quoting_style style;
    const char *arg;
    size_t size;
    std::string_view written;  // the first SIZE bytes of the buffer
    size_t full;
  } cases[] = {
      {literal_quoting_style, "abcdef", 4, "abcd", 6},
      {literal_quoting_style, "abcdef", 6, "abcdef", 6},    // no room for the terminator
      {literal_quoting_style, "abcdef", 7, "abcdef\0"sv, 6},
      {locale_quoting_style, "abc", 2, "\xe2\x80", 9},
      // The shell pass that only measures must still write the result.
      {shell_escape_always_quoting_style, "it's $HOME", 5, "'it'\\", 15},
      {shell_escape_always_quoting_style, "it's $HOME", 16, "'it'\\''s $HOME'\0"sv, 15},
      {shell_escape_always_quoting_style, "it's", 7, "\"it's\"\0"sv, 6},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.arg << " in " << c.size);
    set_quoting_style(o, c.style);
    std::string buf(c.size + 4, '#');
    EXPECT_EQ(quotearg_buffer(buf.data(), c.size, c.arg, SIZE_MAX, o), c.full);
    EXPECT_EQ(std::string_view(buf).substr(0, c.size), c.written);
    EXPECT_EQ(buf.substr(c.size), "####") << "nothing written beyond the size";
  }
  free(o);
}

TEST(Buffer, FreshAllocations) {
  size_t size = 0;
  char *kept = quotearg_alloc_mem("a\0b", 3, &size, nullptr);
  EXPECT_EQ(std::string_view(kept, size), "a\0b"sv);
  free(kept);
  char *dropped = quotearg_alloc("a\0b", 3, nullptr);
  EXPECT_STREQ(dropped, "ab");
  free(dropped);
  const std::string long_arg(300, 'x');
  char *s = quotearg_alloc(long_arg.c_str(), SIZE_MAX, &quote_quoting_options);
  EXPECT_EQ(std::string(s), std::string(quote(long_arg.c_str())));
  free(s);
}

// --- slots -----------------------------------------------------------------

TEST(Slots, EachSlotKeepsItsResult) {
  Locale locale("C.UTF-8");
  quotearg_free();
  const char *first = quote("a");
  const char *second = quote_n(1, "b");
  EXPECT_NE(first, second);
  const char *far = quote_n(20, "c");
  EXPECT_STREQ(first, "‘a’");
  EXPECT_STREQ(second, "‘b’");
  EXPECT_STREQ(far, "‘c’");
  EXPECT_EQ(quote("a"), first) << "slot 0 keeps its buffer while results fit";

  // The first slot starts in a static buffer of 256 bytes.
  const std::string long_arg(300, 'x');
  const char *long_result = quote(long_arg.c_str());
  EXPECT_NE(long_result, first);
  EXPECT_EQ(std::string(long_result), "‘" + long_arg + "’");
  EXPECT_STREQ(quote_n(1, "b"), "‘b’");
  // A slot only grows.
  EXPECT_EQ(quote("a"), long_result);

  quotearg_free();
  EXPECT_EQ(quote("a"), first) << "back to the static buffer";

  // Results of up to 255 bytes need no allocation in the first slot; the
  // marks take three bytes each here.
  EXPECT_EQ(quote(std::string(249, 'y').c_str()), first);
  EXPECT_NE(quote(std::string(250, 'y').c_str()), first);
  quotearg_free();
}

TEST(Slots, FirstGrowthCoversTheRequestedSlot) {
  // Growing from the single static slot straight to slot 8, 9 or 100.
  for (int n : {1, 8, 9, 100}) {
    SCOPED_TRACE(n);
    quotearg_free();
    std::vector<const char *> results(static_cast<size_t>(n) + 1);
    for (int i = n; i >= 0; --i)
      results[static_cast<size_t>(i)] =
          quotearg_n_style(i, literal_quoting_style, std::to_string(i).c_str());
    for (int i = 0; i <= n; ++i) EXPECT_EQ(results[static_cast<size_t>(i)], std::to_string(i));
  }
  quotearg_free();
}

TEST(Slots, ErrnoIsPreserved) {
  std::function<void()> calls[] = {
      [] { quote("abc"); },
      [] { quote_n(40, "abc"); },
      [] { quote(std::string(1000, 'z').c_str()); },
      [] { quotearg_n_style(3, shell_escape_always_quoting_style, "it's $x"); },
      [] { quotearg_n_style_colon(0, shell_escape_quoting_style, "a:b"); },
      [] { free(quotearg_alloc("a", 1, nullptr)); },
      [] {
        char buf[4];
        quotearg_buffer(buf, sizeof buf, "abcdef", SIZE_MAX, nullptr);
      },
      [] { free(clone_quoting_options(nullptr)); },
      [] { quotearg_free(); },
  };
  for (auto &call : calls) {
    errno = EXDEV;
    call();
    EXPECT_EQ(errno, EXDEV);
  }
}

TEST(Slots, MisuseAborts) {
  struct Case {
    const char *what;
    void (*call)();
  } cases[] = {
      {"style operation given the custom style",
       [] { quotearg_style(custom_quoting_style, "x"); }},
      {"slot style operation given the custom style",
       [] { quotearg_n_style(1, custom_quoting_style, "x"); }},
      {"null left quote", [] { quotearg_custom(nullptr, ">", "x"); }},
      {"null right quote", [] { quotearg_n_custom(2, "<", nullptr, "x"); }},
      {"set_custom_quoting with a null quote",
       [] { set_custom_quoting(clone_quoting_options(nullptr), "<", nullptr); }},
      {"negative slot", [] { quote_n(-1, "x"); }},
      {"slot INT_MAX", [] { quote_n(INT_MAX, "x"); }},
  };
  for (const Case &c : cases) {
    auto r = frametest::in_child([&] { c.call(); });
    EXPECT_EQ(r.signal, SIGABRT) << c.what;
  }
}

// --- other character sets and translated marks ------------------------------

TEST(LocaleMarks, Gb18030) {
  Locale locale("zh_CN.GB18030");
  if (!locale.ok()) GTEST_SKIP() << "zh_CN.GB18030 cannot be generated here (localedef)";
  EXPECT_STREQ(quote("abc"), "\xa1\xae" "abc" "\xa1\xaf");
  // A character whose second byte is a backslash is one printable
  // character, not a byte to escape...
  EXPECT_STREQ(quote("\x81\x5c"), "\xa1\xae\x81\x5c\xa1\xaf");
  // ...but some shells would read that byte on its own.
  EXPECT_STREQ(quotearg_style(shell_escape_quoting_style, "\x81\x5c"), "'\x81\x5c'");
  EXPECT_STREQ(quotearg_style(shell_escape_quoting_style, "\xb0\xa1"), "\xb0\xa1");
  // The start of a four-byte character cut off by the end.
  EXPECT_STREQ(quote("\x81\x30"), "\xa1\xae\\201\\060\xa1\xaf");
}

TEST(LocaleMarks, CatalogueTranslationComesFirst) {
  const std::string mo = testsupport::build_path("tests/frame/frame-quotes.mo");
  testsupport::TempDir dir;
  ASSERT_EQ(mkdir((dir / "de").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir / "de/LC_MESSAGES").c_str(), 0755), 0);
  testsupport::write_file(dir / "de/LC_MESSAGES/frame-quotes.mo", testsupport::read_file(mo));

  auto r = frametest::in_child([&] {
    setenv("LANGUAGE", "de", 1);
    setlocale(LC_ALL, "C.UTF-8");
    bindtextdomain("frame-quotes", dir.path().c_str());
    textdomain("frame-quotes");
    fputs(quote("abc"), stdout);
    fputs(" ", stdout);
    fputs(quote("a»b"), stdout);
    fputs(" ", stdout);
    fputs(quotearg_style(clocale_quoting_style, "x"), stdout);
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "«abc» «a\\»b» «x»");
}

}  // namespace
