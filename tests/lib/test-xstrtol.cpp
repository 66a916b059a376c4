#include <gtest/gtest.h>

#include <cstdint>

#include "child.h"
#include "xstrtol.h"

namespace {

TEST(Xstrtoumax, ResultBitsAndValues)
{
  struct Case {
    const char *text;
    const char *suffixes;
    strtol_error result;
    uintmax_t value;  // checked when a value is stored
    size_t end;       // offset of the end pointer
  } cases[] = {
      {"0x10", "", LONGINT_OK, 16, 4},
      {"010", "", LONGINT_OK, 8, 3},
      {" 12", "", LONGINT_OK, 12, 3},
      {"0", "", LONGINT_OK, 0, 1},
      {"4294967295", "", LONGINT_OK, 4294967295u, 10},
      {"18446744073709551615", "", LONGINT_OK, UINTMAX_MAX, 20},
      {"18446744073709551616", "", LONGINT_OVERFLOW, UINTMAX_MAX, 20},
      {"99999999999999999999x", "", LONGINT_INVALID_SUFFIX_CHAR_WITH_OVERFLOW, UINTMAX_MAX, 20},
      {"12abc", "", LONGINT_INVALID_SUFFIX_CHAR, 12, 2},
      {"12 ", "", LONGINT_INVALID_SUFFIX_CHAR, 12, 2},
      {"2k", "kM", LONGINT_OK, 2048, 2},
      {"3M", "kM", LONGINT_OK, 3u << 20, 2},
      {"2kx", "kM", LONGINT_INVALID_SUFFIX_CHAR, 2048, 2},
      {"2G", "kM", LONGINT_INVALID_SUFFIX_CHAR, 2, 1},
      {"16E", "E", LONGINT_OVERFLOW, UINTMAX_MAX, 3},
      {"7q", nullptr, LONGINT_OK, 7, 1},
  };
  for (const Case &c : cases)
    {
      SCOPED_TRACE(c.text);
      uintmax_t value = 12345;
      char *end = nullptr;
      EXPECT_EQ(xstrtoumax(c.text, &end, 0, &value, c.suffixes), c.result);
      EXPECT_EQ(value, c.value);
      EXPECT_EQ(end - c.text, static_cast<ptrdiff_t>(c.end));
    }
}

TEST(Xstrtoumax, InvalidTextsStoreNothing)
{
  const char *invalid[] = {"", "-1", " -1", "\t-0", "x", " ", "-"};
  for (const char *text : invalid)
    {
      SCOPED_TRACE(text);
      uintmax_t value = 12345;
      EXPECT_EQ(xstrtoumax(text, nullptr, 0, &value, ""), LONGINT_INVALID);
      EXPECT_EQ(value, 12345u);
    }
}

TEST(Xstrtoumax, OtherBases)
{
  uintmax_t value = 0;
  EXPECT_EQ(xstrtoumax("ff", nullptr, 16, &value, ""), LONGINT_OK);
  EXPECT_EQ(value, 255u);
  EXPECT_EQ(xstrtoumax("777", nullptr, 8, &value, ""), LONGINT_OK);
  EXPECT_EQ(value, 0777u);
  EXPECT_EQ(xstrtoumax("zz", nullptr, 36, &value, ""), LONGINT_OK);
  EXPECT_EQ(value, 36u * 36 - 1);
  EXPECT_EQ(xstrtoumax("010", nullptr, 10, &value, ""), LONGINT_OK);
  EXPECT_EQ(value, 10u);
}

TEST(Xstrtoumax, BadBaseIsAProgrammingError)
{
  libtest::ChildResult r = libtest::run_in_child([] {
    uintmax_t value;
    xstrtoumax("1", nullptr, 37, &value, "");
    return 0;
  });
  EXPECT_EQ(r.signal, SIGABRT);
  EXPECT_NE(r.err.find("lib/xstrtol"), std::string::npos) << r.err;
}

}  // namespace
