// Permission bits of new copies: a minimal ACL replaces inherited entries,
// special bits go through a mode change.

#include <gtest/gtest.h>

#include <acl/libacl.h>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "process.h"
#include "set-permissions.h"

namespace {

using testsupport::TempDir;

struct AclFree {
  acl_t acl;
  ~AclFree()
  {
    if (acl)
      acl_free(acl);
  }
};

// Gives dir a default ACL that grants the user with id 65534 access, so
// that new files inherit a named-user entry. False when the file system
// refuses ACLs.
bool give_default_acl(const std::string &dir)
{
  AclFree acl{acl_from_text("u::rwx,u:65534:rwx,g::r-x,m::rwx,o::r-x")};
  return acl.acl && acl_set_file(dir.c_str(), ACL_TYPE_DEFAULT, acl.acl) == 0;
}

TEST(SetAcl, MinimalAclReplacesInheritedEntries)
{
  TempDir dir;
  if (!give_default_acl(dir.path()))
    GTEST_SKIP() << "no ACL support in " << dir.path();
  std::string f = dir / "new";
  int fd = open(f.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  {
    AclFree inherited{acl_get_fd(fd)};
    ASSERT_NE(inherited.acl, nullptr);
    ASSERT_EQ(acl_access_nontrivial(inherited.acl), 1) << "the fixture must inherit";
  }

  ASSERT_EQ(set_acl(f.c_str(), fd, 0600), 0);

  AclFree now{acl_get_fd(fd)};
  ASSERT_NE(now.acl, nullptr);
  EXPECT_EQ(acl_access_nontrivial(now.acl), 0);
  struct stat st;
  ASSERT_EQ(fstat(fd, &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  close(fd);
}

TEST(SetAcl, ByNameWithoutDescriptor)
{
  TempDir dir;
  if (!give_default_acl(dir.path()))
    GTEST_SKIP() << "no ACL support in " << dir.path();
  std::string f = dir / "new";
  testsupport::write_file(f, "x");
  ASSERT_EQ(qset_acl(f.c_str(), -1, 0640), 0);
  AclFree now{acl_get_file(f.c_str(), ACL_TYPE_ACCESS)};
  ASSERT_NE(now.acl, nullptr);
  EXPECT_EQ(acl_access_nontrivial(now.acl), 0);
  struct stat st;
  ASSERT_EQ(stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(SetAcl, SpecialBitsSurvive)
{
  TempDir dir;
  std::string f = dir / "suid";
  testsupport::write_file(f, "x");
  for (mode_t mode : {04755u, 02750u, 01777u, 06711u}) {
    ASSERT_EQ(qset_acl(f.c_str(), -1, mode), 0) << std::oct << mode;
    struct stat st;
    ASSERT_EQ(stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode) << std::oct << mode;
  }
}

TEST(SetAcl, FailureIsReported)
{
  testing::internal::CaptureStderr();
  EXPECT_EQ(set_acl("/nonexistent/x", -1, 0600), -1);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(": setting permissions for '/nonexistent/x': No such file or directory\n"),
            std::string::npos)
      << err;
}

TEST(AclTriviality, Table)
{
  struct Case {
    const char *text;
    int access;
    bool deflt;
  } cases[] = {
      {"u::rw-,g::r--,o::---", 0, true},
      {"u::rw-,u:65534:r--,g::r--,m::r--,o::---", 1, true},
      {"u::rw-,g::r--,g:65534:r--,m::r--,o::---", 1, true},
  };
  for (const auto &c : cases) {
    AclFree acl{acl_from_text(c.text)};
    ASSERT_NE(acl.acl, nullptr) << c.text;
    EXPECT_EQ(acl_access_nontrivial(acl.acl), c.access) << c.text;
    EXPECT_EQ(acl_default_nontrivial(acl.acl), c.deflt) << c.text;
  }
  AclFree empty{acl_init(0)};
  EXPECT_FALSE(acl_default_nontrivial(empty.acl));
}

}  // namespace
