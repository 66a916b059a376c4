#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "child.h"
#include "copy-options.h"
#include "file-tables.h"
#include "process.h"
#include "progname.h"

namespace {

struct stat
stat_of(const std::string &path)
{
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st;
}

class FileTables : public ::testing::Test {
 protected:
  void SetUp() override
  {
    set_program_name("install");
    ASSERT_EQ(mkdir((tmp / "d").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((tmp / "e").c_str(), 0755), 0);
    testsupport::write_file(tmp / "d/a", "a");
    ASSERT_EQ(link((tmp / "d/a").c_str(), (tmp / "d/b").c_str()), 0);
    ASSERT_EQ(link((tmp / "d/a").c_str(), (tmp / "e/a").c_str()), 0);
    ASSERT_EQ(symlink("d", (tmp / "ld").c_str()), 0);
  }
  testsupport::TempDir tmp;
};

TEST_F(FileTables, SameNameMeansTheSameDirectoryEntry)
{
  struct Case {
    std::string a, b;
    bool same;
  } cases[] = {
      {tmp / "d/a", tmp / "d/a", true},
      {tmp / "d/a", tmp / "d/./a", true},
      {tmp / "d/a", tmp / "e/../d/a", true},
      {tmp / "d/a/", tmp / "d/a", true},   // trailing slashes do not count
      {tmp / "d/a", tmp / "d/b", false},   // same file, other entry
      {tmp / "d/a", tmp / "e/a", false},   // same last component, other directory
      {tmp / "d/a", tmp / "ld/a", false},  // the link itself is examined, not followed
      {tmp / "d/a", tmp / "d/ab", false},
  };
  for (const Case &c : cases)
    EXPECT_EQ(same_name(c.a.c_str(), c.b.c_str()), c.same) << c.a << " vs " << c.b;

  // Relative to directory descriptors.
  int d = open((tmp / "d").c_str(), O_RDONLY | O_DIRECTORY);
  int top = open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY);
  EXPECT_TRUE(same_nameat(d, "a", top, "d/a"));
  EXPECT_FALSE(same_nameat(d, "a", top, "e/a"));
  close(d);
  close(top);
}

TEST_F(FileTables, AnUnexaminableDirectoryEndsTheProgram)
{
  std::string missing = tmp / "missing/a";
  libtest::ChildResult r = libtest::run_in_child([&] {
    same_name(missing.c_str(), missing.c_str());
    return 0;
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "install: " + tmp / "missing" + ": No such file or directory\n");
}

TEST_F(FileTables, RecordedDestinationsAreSeenByIdentityAndEntry)
{
  cp_options x;
  cp_options_default(&x);
  dest_info_init(&x);
  ASSERT_NE(x.dest_info, nullptr);

  struct stat a = stat_of(tmp / "d/a");
  struct stat other = stat_of(tmp / "d");
  std::string name = tmp / "d/a";
  record_file(x.dest_info, name.c_str(), &a);
  // Recording the same entry again keeps one triple.
  record_file(x.dest_info, name.c_str(), &a);
  EXPECT_EQ(hash_get_n_entries(x.dest_info), 1u);

  // The name takes part in the hash: the engine asks with the name it
  // recorded.
  EXPECT_TRUE(seen_file(x.dest_info, name.c_str(), &a));
  // The same inode under another entry, or another inode under this name.
  EXPECT_FALSE(seen_file(x.dest_info, (tmp / "d/b").c_str(), &a));
  EXPECT_FALSE(seen_file(x.dest_info, (tmp / "e/a").c_str(), &a));
  EXPECT_FALSE(seen_file(x.dest_info, name.c_str(), &other));

  // Without a table nothing is recorded or seen.
  record_file(nullptr, name.c_str(), &a);
  EXPECT_FALSE(seen_file(nullptr, name.c_str(), &a));
  hash_free(x.dest_info);
}

TEST_F(FileTables, SeenSourcesHashByInodeAlone)
{
  cp_options x;
  cp_options_default(&x);
  src_info_init(&x);
  struct stat a = stat_of(tmp / "d/a");
  record_file(x.src_info, (tmp / "d/a").c_str(), &a);
  EXPECT_TRUE(seen_file(x.src_info, (tmp / "d/./a").c_str(), &a));
  EXPECT_FALSE(seen_file(x.src_info, (tmp / "e/a").c_str(), &a));
  hash_free(x.src_info);
}

TEST(FileTriple, LiteralNameComparison)
{
  char a_name[] = "d/a", b_name[] = "d/./a";
  file_triple a = {a_name, 5, 7};
  file_triple b = {b_name, 5, 7};
  file_triple c = {a_name, 5, 8};
  file_triple d = {a_name, 5, 7};
  EXPECT_FALSE(triple_compare_ino_str(&a, &b));
  EXPECT_FALSE(triple_compare_ino_str(&a, &c));
  EXPECT_TRUE(triple_compare_ino_str(&a, &d));
  EXPECT_EQ(triple_hash_no_name(&a, 3), 2u);
  EXPECT_EQ(triple_hash(&a, 61), (hash_pjw("d/a", 61) ^ 5) % 61);
}

TEST(SourceToDestination, RememberLookUpAndForget)
{
  hash_init();
  EXPECT_EQ(src_to_dest_lookup(10, 1), nullptr);
  EXPECT_EQ(remember_copied("first", 10, 1), nullptr);
  EXPECT_EQ(remember_copied("other-device", 10, 2), nullptr);
  // The same source again: the earlier destination is kept and returned.
  const char *earlier = remember_copied("second", 10, 1);
  ASSERT_NE(earlier, nullptr);
  EXPECT_STREQ(earlier, "first");
  EXPECT_STREQ(src_to_dest_lookup(10, 1), "first");
  EXPECT_STREQ(src_to_dest_lookup(10, 2), "other-device");

  forget_created(10, 1);
  EXPECT_EQ(src_to_dest_lookup(10, 1), nullptr);
  EXPECT_STREQ(src_to_dest_lookup(10, 2), "other-device");
  forget_created(99, 9);  // unknown: nothing happens
  forget_created(10, 2);
  EXPECT_EQ(src_to_dest_lookup(10, 2), nullptr);
}

}  // namespace
