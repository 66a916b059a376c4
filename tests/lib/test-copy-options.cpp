#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "child.h"
#include "copy-options.h"

namespace {

// 1 when every field but the privilege ones and rename_result is zero.
int
rest_is_zero(const cp_options &x)
{
  return x.backup_type == BACKUP_NONE && x.symlink_deref == 0 && x.prompt_mode == 0
         && x.sparse_mode == 0 && x.create_mode == 0 && !x.specials_as_regular
         && !x.unlink_before_open && !x.unlink_after_failed_open && !x.hard_link
         && !x.rename_first && !x.installer_mode && !x.stay_on_file_system && !x.keep_owner
         && !x.keep_mode && !x.keep_times && !x.mode_preservation_refused && !x.label_handle
         && !x.keep_links && !x.copy_data && !x.strict_keep && !x.keep_context
         && !x.strict_context && !x.keep_xattrs && !x.strict_xattrs && !x.quiet_attr_errors
         && !x.recurse && !x.use_create_mode && !x.symbolic_link && !x.only_newer
         && !x.verbose && !x.stdin_is_tty && !x.open_dangling_dest && !x.final_operand
         && x.rename_result == -1 && x.reflink_mode == REFLINK_NEVER && !x.dest_info
         && !x.src_info;
}

TEST(CopyOptions, DefaultForRoot)
{
  ASSERT_EQ(geteuid(), 0u) << "the suite runs as root";
  cp_options x;
  memset(&x, 0x5a, sizeof x);  // whatever was there before
  cp_options_default(&x);
  EXPECT_TRUE(x.may_chown_any);
  EXPECT_TRUE(x.may_act_as_owner);
  EXPECT_TRUE(rest_is_zero(x));
}

TEST(CopyOptions, DefaultForAnyOtherUser)
{
  libtest::ChildResult r = libtest::run_in_child(
      [] {
        cp_options x;
        memset(&x, 0x5a, sizeof x);
        cp_options_default(&x);
        if (x.may_chown_any || x.may_act_as_owner)
          return 10;
        return rest_is_zero(x) ? 0 : 11;
      },
      true);
  EXPECT_EQ(r.status, 0);
}

}  // namespace
