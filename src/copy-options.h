// The record that configures the copy engine. The installing driver resets
// one record with cp_options_default, gives it the values it installs
// with, and passes it to every copy. Switches for configurations the
// installer never selects (moving, linking, recursion, prompting) are part
// of the record too.
#pragma once

#include <stdbool.h>
#include <sys/types.h>

#include "backupfile.h"
#include "hash.h"

struct selabel_handle;

// Which symbolic links among the sources are followed.
enum Dereference_symlink {
  FOLLOW_NEVER = 2,
  FOLLOW_COMMAND_LINE = 3,  // only those named as operands
  FOLLOW_ALWAYS = 4,
};

// Whether to ask before replacing a destination.
enum Prompt_mode {
  PROMPT_ALWAYS_YES = 1,  // replace without asking
  PROMPT_ALWAYS_NO = 2,   // never replace
  PROMPT_ASK = 3,
  PROMPT_UNSET = 4,
};

// How holes in the source are treated.
enum Sparse_type {
  SPARSE_NEVER = 1,
  SPARSE_AUTO = 2,
  SPARSE_ALWAYS = 3,
};

// Whether data is cloned instead of copied.
enum Reflink_type {
  REFLINK_NEVER = 0,
  REFLINK_AUTO = 1,    // try, and copy when cloning fails
  REFLINK_ALWAYS = 2,  // a failure to clone is an error
};

struct cp_options {
  enum backup_type backup_type;
  enum Dereference_symlink symlink_deref;
  enum Prompt_mode prompt_mode;
  enum Sparse_type sparse_mode;
  // Permission bits for new destinations when use_create_mode is set.
  mode_t create_mode;
  // A source that is neither a directory nor a symbolic link is read like a
  // regular file.
  bool specials_as_regular;
  // An existing non-directory destination is removed before the new file
  // is created.
  bool unlink_before_open;
  // Remove and retry when opening an existing destination fails.
  bool unlink_after_failed_open;
  bool hard_link;
  // Move semantics: try rename first.
  bool rename_first;
  // The caller is the installer.
  bool installer_mode;
  // The process may give files to any owner; without it EPERM or EINVAL
  // from a change of owner is tolerated.
  bool may_chown_any;
  // The process is privileged over files it does not own.
  bool may_act_as_owner;
  bool stay_on_file_system;
  bool keep_owner;
  bool keep_mode;
  bool keep_times;
  bool mode_preservation_refused;
  // When set, new files get the policy's default context for their name.
  struct selabel_handle *label_handle;
  bool keep_links;
  // Copy contents (false copies attributes only).
  bool copy_data;
  // A failure to keep times or permission bits fails the copy.
  bool strict_keep;
  // New files get the source's security context.
  bool keep_context;
  bool strict_context;
  bool keep_xattrs;
  bool strict_xattrs;
  bool quiet_attr_errors;
  bool recurse;
  // Create new files with create_mode instead of the source's mode.
  bool use_create_mode;
  bool symbolic_link;
  bool only_newer;
  // Report each action on standard output.
  bool verbose;
  bool stdin_is_tty;
  // Write through a destination that is a dangling symbolic link.
  bool open_dangling_dest;
  bool final_operand;
  // Outcome of a rename done by the caller: -1 none tried, 0 done, else
  // its errno.
  int rename_result;
  enum Reflink_type reflink_mode;
  // Destinations created in this run, and sources seen in this run.
  Hash_table *dest_info;
  Hash_table *src_info;
};

// Sets every field to zero or false, rename_result to -1, and
// may_chown_any and may_act_as_owner to whether the effective user is root.
void cp_options_default(struct cp_options *x);
