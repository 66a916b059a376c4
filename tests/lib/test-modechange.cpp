#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>

#include "filemode.h"
#include "modechange.h"

namespace {

struct Free {
  void operator()(mode_edit *p) const { free(p); }
};
using Edits = std::unique_ptr<mode_edit, Free>;

struct Case {
  const char *text;
  mode_t old_mode;
  bool dir;
  mode_t umask_value;
  mode_t expected;
};

void
check(const Case &c)
{
  SCOPED_TRACE(::testing::Message() << c.text << " from 0" << std::oct << c.old_mode
                                    << (c.dir ? " (directory)" : " (file)"));
  Edits edits(mode_compile(c.text));
  ASSERT_NE(edits, nullptr);
  EXPECT_EQ(mode_adjust(c.old_mode, c.dir, c.umask_value, edits.get(), nullptr), c.expected)
      << std::oct << mode_adjust(c.old_mode, c.dir, c.umask_value, edits.get(), nullptr);
}

TEST(ModeCompile, NumericAndSymbolicForms)
{
  const Case cases[] = {
      {"0755", 0, false, 0, 0755},
      {"755", 0, false, 0, 0755},
      {"u=rwx,go=rx", 0, false, 0, 0755},
      {"7777", 0, false, 0, 07777},
      {"0", 07777, false, 0, 0},
      // Short numbers keep a directory's set-user-ID and set-group-ID bits.
      {"755", 02755, true, 0, 02755},
      {"755", 06700, true, 0, 06755},
      {"00755", 02755, true, 0, 0755},
      {"2755", 0, true, 0, 02755},
      {"755", 06755, false, 0, 0755},
      {"g-s", 02755, true, 0, 0755},
      {"u=rwx", 06755, true, 0, 06755},
      {"u-s", 06755, true, 0, 02755},
      {"a+X", 0600, true, 0, 0711},
      {"a+X", 0600, false, 0, 0600},
      {"a+X", 0640 | S_IXGRP, false, 0, 0751},
      {"u=rw,g=u", 0, false, 0, 0660},
      {"go=u-w", 0700, false, 0, 0755},
      {"o=g", 0750, false, 0, 0755},
      {"+x", 0, false, 022, 0111},
      {"=w", 0777, false, 022, 0200},
      {"=rw", 0, false, 027, 0640},
      {"u=", 0755, false, 0, 0055},
      {"+", 0644, false, 0, 0644},
      {"+5", 0640, false, 0, 0645},
      {"=5", 02750, true, 0, 05},
      {"u+s,g+s,+t", 0755, false, 0, 07755},
      {"a-w+t", 0777, false, 0, 01555},
      {"ug+rw-x", 0711, false, 0, 0661},
  };
  for (const Case &c : cases)
    check(c);
}

TEST(ModeCompile, InvalidTexts)
{
  const char *invalid[] = {
      "",       "17777", "8",    "75x",   "u+5",  "g+w,,o-r", "u+x,",
      "a",      "u",     "z=r",  "u+rz",  "+5x",  "+5,u",     "=77777",
      "u=r g",  "-,",
  };
  for (const char *text : invalid)
    {
      SCOPED_TRACE(text);
      EXPECT_EQ(Edits(mode_compile(text)), nullptr);
    }
  // "+5," followed by another clause is fine.
  EXPECT_NE(Edits(mode_compile("+5,u+x")), nullptr);
}

TEST(ModeCompile, ArrayHasRoomForEveryOperator)
{
  // One record per operator plus the end record.
  Edits edits(mode_compile("u+r-w=x,g+s"));
  ASSERT_NE(edits, nullptr);
  EXPECT_EQ(edits.get()[0].op, '+');
  EXPECT_EQ(edits.get()[1].op, '-');
  EXPECT_EQ(edits.get()[2].op, '=');
  EXPECT_EQ(edits.get()[3].op, '+');
  EXPECT_EQ(edits.get()[4].flag, edit_end);
}

TEST(ModeAdjust, ReportsTouchedBits)
{
  struct BitsCase {
    const char *text;
    bool dir;
    mode_t touched;
  } cases[] = {
      {"755", false, 07777},
      {"755", true, 01777},     // set-ID bits of a directory left alone
      {"00755", true, 07777},
      {"u+x", false, 0100},
      {"g-w", false, 020},
      {"u=rw", true, 0700},     // "=" touches all the class's bits, not set-user-ID
      {"=", false, 07777},
      {"+", false, 0},
  };
  for (const BitsCase &c : cases)
    {
      SCOPED_TRACE(c.text);
      Edits edits(mode_compile(c.text));
      ASSERT_NE(edits, nullptr);
      mode_t touched = 0xdead;
      mode_adjust(0, c.dir, 0, edits.get(), &touched);
      EXPECT_EQ(touched, c.touched) << std::oct << touched;
    }
}

TEST(StrMode, TypeAndPermissionLetters)
{
  struct StrCase {
    mode_t mode;
    const char *text;
  } cases[] = {
      {S_IFDIR | 02755, "drwxr-sr-x "},
      {S_IFREG | 0644, "-rw-r--r-- "},
      {S_IFREG | 04755, "-rwsr-xr-x "},
      {S_IFREG | 04644, "-rwSr--r-- "},
      {S_IFREG | 02604, "-rw---Sr-- "},
      {S_IFDIR | 01777, "drwxrwxrwt "},
      {S_IFDIR | 01776, "drwxrwxrwT "},
      {S_IFLNK | 0777, "lrwxrwxrwx "},
      {S_IFBLK | 0660, "brw-rw---- "},
      {S_IFCHR | 0600, "crw------- "},
      {S_IFIFO | 0000, "p--------- "},
      {S_IFSOCK | 0755, "srwxr-xr-x "},
      {0644, "?rw-r--r-- "},
  };
  for (const StrCase &c : cases)
    {
      char buf[12];
      strmode(c.mode, buf);
      EXPECT_STREQ(buf, c.text);
    }
}

}  // namespace
