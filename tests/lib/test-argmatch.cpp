#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "argmatch.h"
#include "backupfile.h"
#include "child.h"
#include "progname.h"

namespace {

class Argmatch : public ::testing::Test {
 protected:
  void SetUp() override { set_program_name("install"); }
};

TEST_F(Argmatch, ExactAbbreviatedAmbiguousAndUnknown)
{
  struct Case {
    const char *arg;
    ptrdiff_t index;
  } cases[] = {
      {"none", 0},   {"off", 1},       {"simple", 2}, {"nev", 3},  {"ex", 4},
      {"nil", 5},    {"nu", 6},        {"t", 7},      {"numbered", 6},
      {"n", -2},     {"s", 2},         {"o", 1},      {"x", -1},  {"simplex", -1},
      {"", -2},      {"NONE", -1},
  };
  for (const Case &c : cases)
    EXPECT_EQ(argmatch(c.arg, backup_args, backup_types, sizeof backup_types[0]), c.index)
        << '"' << c.arg << '"';
}

TEST_F(Argmatch, SynonymsAreNotAmbiguousButOnlyWithValues)
{
  const char *const words[] = {"yes", "yesterday", "yep", "no", nullptr};
  const int values[] = {1, 2, 1, 0};
  // "ye" abbreviates three keywords with two distinct values.
  EXPECT_EQ(argmatch("ye", words, values, sizeof values[0]), -2);
  const char *const synonyms[] = {"always", "aye", "never", nullptr};
  const int same[] = {1, 1, 0};
  EXPECT_EQ(argmatch("a", synonyms, same, sizeof same[0]), 0);
  EXPECT_EQ(argmatch("a", synonyms, nullptr, 0), -2);
}

TEST_F(Argmatch, AnExactMatchWinsOverEarlierLongerKeywords)
{
  const char *const words[] = {"abc", "abcd", "ab", nullptr};
  EXPECT_EQ(argmatch("ab", words, nullptr, 0), 2);
  EXPECT_EQ(argmatch("abc", words, nullptr, 0), 0);
  EXPECT_EQ(argmatch("abcd", words, nullptr, 0), 1);
}

TEST_F(Argmatch, ReportsAndListsValidKeywords)
{
  libtest::ChildResult r = libtest::run_in_child([] {
    argmatch_invalid("backup type", "n", -2);
    argmatch_invalid("backup type", "bogus", -1);
    argmatch_valid(backup_args, backup_types, sizeof backup_types[0]);
    return 0;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "install: ambiguous argument 'n' for 'backup type'\n"
            "install: invalid argument 'bogus' for 'backup type'\n"
            "Valid arguments are:\n"
            "  - 'none', 'off'\n"
            "  - 'simple', 'never'\n"
            "  - 'existing', 'nil'\n"
            "  - 'numbered', 't'\n");
}

TEST_F(Argmatch, BadKeywordEndsTheProgramThroughUsage)
{
  const char *const words[] = {"first", "second", nullptr};
  const int values[] = {1, 2};
  libtest::ChildResult r = libtest::run_in_child([&] {
    __xargmatch_internal("--mode", "th", words, values, sizeof values[0], argmatch_die, true);
    return 0;
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "install: invalid argument 'th' for '--mode'\n"
            "Valid arguments are:\n"
            "  - 'first'\n"
            "  - 'second'\n"
            "Try 'install --help' for more information.\n");
}

TEST_F(Argmatch, AbbreviationsOnlyWhenAllowed)
{
  const char *const words[] = {"first", "second", nullptr};
  const int values[] = {1, 2};
  EXPECT_EQ(__xargmatch_internal("c", "sec", words, values, sizeof values[0], argmatch_die, true),
            1);
  libtest::ChildResult r = libtest::run_in_child([&] {
    __xargmatch_internal("c", "sec", words, values, sizeof values[0], [] { exit(3); }, false);
    return 0;
  });
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("invalid argument 'sec' for 'c'"), std::string::npos) << r.err;
}

}  // namespace
