#include "copy.h"

#include <assert.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <error.h>
#include <fcntl.h>
#include <libintl.h>
#include <string>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "backupfile.h"
#include "copy-data.h"
#include "file-name.h"
#include "file-tables.h"
#include "quotearg.h"
#include "selinux.h"

// The names given to the current copy call.
const char *top_level_src_name;
const char *top_level_dst_name;

namespace {

const char *q(int n, const char *name)
{
  return quotearg_n_style(n, shell_escape_always_quoting_style, name);
}

bool same_inode(const struct stat &a, const struct stat &b)
{
  return a.st_ino == b.st_ino && a.st_dev == b.st_dev;
}

// Errors that mean the file or file system carries no security context.
bool ignorable_ctx_err(int err)
{
  return err == ENOTSUP || err == ENODATA;
}

// Stops the process when an invariant of the options record is broken.
void check_option(bool ok, const char *text, unsigned int line)
{
  if (!ok)
    __assert_fail(text, "src/copy.cpp", line, "valid_options");
}

void valid_options(const struct cp_options *co)
{
  check_option(co->backup_type <= BACKUP_NUMBERED, "VALID_BACKUP_TYPE (co->backup_type)",
               __LINE__);
  check_option(SPARSE_NEVER <= co->sparse_mode && co->sparse_mode <= SPARSE_ALWAYS,
               "VALID_SPARSE_MODE (co->sparse_mode)", __LINE__);
  check_option(co->reflink_mode <= REFLINK_ALWAYS, "VALID_REFLINK_MODE (co->reflink_mode)",
               __LINE__);
  check_option(!(co->hard_link && co->symbolic_link), "!(co->hard_link && co->symbolic_link)",
               __LINE__);
  check_option(!(co->reflink_mode == REFLINK_ALWAYS && co->sparse_mode != SPARSE_AUTO),
               "! (co->reflink_mode == REFLINK_ALWAYS && co->sparse_mode != SPARSE_AUTO)",
               __LINE__);
}

// Whether copying the source (examined through its links as src_sb) onto
// the destination (examined as dst_sb, not followed) is allowed although
// both may be one file: installing over another hard link of the source
// is fine, installing a file onto itself is not.
bool same_file_ok(const char *src_name, const struct stat &src_sb, int dst_dirfd,
                  const char *dst_relname, const struct stat &dst_sb,
                  const struct cp_options *x)
{
  if (!same_inode(src_sb, dst_sb))
    return true;

  struct stat src_lsb, dst_lsb;
  if (lstat(src_name, &src_lsb) != 0
      || fstatat(dst_dirfd, dst_relname, &dst_lsb, AT_SYMLINK_NOFOLLOW) != 0)
    return true;
  bool same_link = same_inode(src_lsb, dst_lsb);

  if (x->backup_type != BACKUP_NONE) {
    // The backup moves the destination name away, so only a name copied
    // onto itself, or a link copied onto its target, loses the data.
    if (same_link)
      return !same_nameat(AT_FDCWD, src_name, dst_dirfd, dst_relname);
    return !(S_ISLNK(src_lsb.st_mode) && !S_ISLNK(dst_lsb.st_mode));
  }

  if (S_ISLNK(dst_lsb.st_mode))
    return true;
  if (same_link && dst_lsb.st_nlink > 1
      && !same_nameat(AT_FDCWD, src_name, dst_dirfd, dst_relname))
    return true;
  if (S_ISLNK(src_lsb.st_mode))
    return false;
  if (!same_link)
    return true;
  return false;
}

// Whether the simple backup of the destination would be the source itself.
bool source_is_dst_backup(const char *src_name, const struct stat &src_sb, int dst_dirfd,
                          const char *dst_relname)
{
  const char *srcbase = last_component(src_name);
  const char *dstbase = last_component(dst_relname);
  size_t dstbase_len = strlen(dstbase);
  if (strncmp(srcbase, dstbase, dstbase_len) != 0
      || strcmp(srcbase + dstbase_len, simple_backup_suffix) != 0)
    return false;

  char *dst_back = subst_suffix(dst_relname, dst_relname + strlen(dst_relname),
                                simple_backup_suffix);
  struct stat back_sb;
  int r = fstatat(dst_dirfd, dst_back, &back_sb, 0);
  free(dst_back);
  return r == 0 && same_inode(src_sb, back_sb);
}

// Makes the source's context (with keep_context) or the policy's default
// for the destination (with a labeling handle) the creation context of the
// file about to be made. Failures are reported; the copy goes on.
void prepare_context(const char *src_name, const char *dst_name, const struct stat &src_sb,
                     const struct cp_options *x)
{
  if (x->keep_context) {
    char *con = nullptr;
    if (rpl_lgetfilecon(src_name, &con) >= 0) {
      if (setfscreatecon(con) < 0 && !ignorable_ctx_err(errno))
        error(0, errno, gettext("failed to set default file creation context to %s"),
              quote(con));
      freecon(con);
    } else if (!ignorable_ctx_err(errno)) {
      error(0, errno, gettext("failed to get security context of %s"), q(0, src_name));
    }
  } else if (x->label_handle) {
    if (defaultcon(x->label_handle, dst_name, src_sb.st_mode) < 0 && !ignorable_ctx_err(errno))
      error(0, errno, gettext("failed to set default file creation context for %s"),
            q(0, dst_name));
  }
}

bool copy_internal(const char *src_name, const char *dst_name, int dst_dirfd,
                   const char *dst_relname, int nonexistent_dst, bool command_line_arg,
                   const struct cp_options *x)
{
  struct stat src_sb;
  bool follow = x->symlink_deref == FOLLOW_ALWAYS
                || (x->symlink_deref == FOLLOW_COMMAND_LINE && command_line_arg);
  if (follow_fstatat(AT_FDCWD, src_name, &src_sb, follow ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
    error(0, errno, gettext("cannot stat %s"), q(0, src_name));
    return false;
  }

  if (S_ISDIR(src_sb.st_mode)) {
    if (x->installer_mode)
      error(0, 0, gettext("omitting directory %s"), q(0, src_name));
    else
      error(0, 0, gettext("-r not specified; omitting directory %s"), q(0, src_name));
    return false;
  }

  struct stat dst_sb;
  bool dst_existed = false;
  if (nonexistent_dst <= 0) {
    if (fstatat(dst_dirfd, dst_relname, &dst_sb, AT_SYMLINK_NOFOLLOW) == 0) {
      dst_existed = true;
    } else if (errno != ENOENT) {
      error(0, errno, gettext("cannot stat %s"), q(0, dst_name));
      return false;
    }
  }

  std::string dst_backup;  // full name of the backup made, if any
  std::string dst_backup_rel;
  if (dst_existed) {
    if (!same_file_ok(src_name, src_sb, dst_dirfd, dst_relname, dst_sb, x)) {
      error(0, 0, gettext("%s and %s are the same file"), q(0, src_name), q(1, dst_name));
      return false;
    }

    if (S_ISDIR(dst_sb.st_mode)) {
      error(0, 0, gettext("cannot overwrite directory %s with non-directory"),
            q(0, dst_name));
      return false;
    }

    // A second source with the same last component must not silently
    // replace the first one's copy.
    if (x->dest_info && x->backup_type != BACKUP_NUMBERED
        && seen_file(x->dest_info, dst_relname, &dst_sb)) {
      error(0, 0, gettext("will not overwrite just-created %s with %s"), q(0, dst_name),
            q(1, src_name));
      return false;
    }

    if (x->backup_type != BACKUP_NONE) {
      if (x->backup_type != BACKUP_NUMBERED
          && source_is_dst_backup(src_name, src_sb, dst_dirfd, dst_relname)) {
        error(0, 0, gettext("backing up %s might destroy source;  %s not copied"),
              q(0, dst_name), q(1, src_name));
        return false;
      }
      char *backup = backup_file_rename(dst_dirfd, dst_relname, x->backup_type);
      if (!backup) {
        if (errno != ENOENT) {
          error(0, errno, gettext("cannot backup %s"), q(0, dst_name));
          return false;
        }
      } else {
        dst_backup_rel = backup;
        free(backup);
        // The backup's name is relative to the destination's directory;
        // put the directory part of the destination's name before it.
        size_t name_len = strlen(dst_name), rel_len = strlen(dst_relname);
        size_t dir_len = 0;
        if (rel_len <= name_len && strcmp(dst_name + name_len - rel_len, dst_relname) == 0)
          dir_len = name_len - rel_len;
        dst_backup = std::string(dst_name, dir_len) + dst_backup_rel;
      }
    } else if (x->unlink_before_open) {
      if (unlinkat(dst_dirfd, dst_relname, 0) == 0) {
        if (x->verbose)
          printf(gettext("removed %s\n"), q(0, dst_name));
      } else if (errno != ENOENT) {
        error(0, errno, gettext("cannot remove %s"), q(0, dst_name));
        return false;
      }
    }
  }

  if (x->dest_info && x->backup_type == BACKUP_NONE && dst_existed
      && S_ISLNK(dst_sb.st_mode) && seen_file(x->dest_info, dst_relname, &dst_sb)) {
    error(0, 0, gettext("will not copy %s through just-created symlink %s"), q(0, src_name),
          q(1, dst_name));
    return false;
  }

  if (x->verbose)
    emit_verbose(src_name, dst_name, dst_backup.empty() ? nullptr : dst_backup.c_str());

  mode_t dst_mode_bits = (x->use_create_mode ? x->create_mode : src_sb.st_mode) & 07777;

  prepare_context(src_name, dst_name, src_sb, x);

  bool copied;
  if (S_ISREG(src_sb.st_mode) || (x->specials_as_regular && !S_ISLNK(src_sb.st_mode))) {
    copied = copy_regular(src_name, dst_name, dst_dirfd, dst_relname, x, dst_mode_bits, &src_sb);
  } else {
    error(0, 0, gettext("%s has unknown file type"), q(0, src_name));
    copied = false;
  }

  if (!copied) {
    if (x->keep_context && setfscreatecon(nullptr) < 0)
      error(EXIT_FAILURE, errno, gettext("failed to restore the default file creation context"));
    forget_created(src_sb.st_ino, src_sb.st_dev);
    if (!dst_backup_rel.empty()) {
      if (renameat(dst_dirfd, dst_backup_rel.c_str(), dst_dirfd, dst_relname) != 0)
        error(0, errno, gettext("cannot un-backup %s"), q(0, dst_name));
      else if (x->verbose)
        printf(gettext("%s -> %s (unbackup)\n"), q(0, dst_backup.c_str()), q(1, dst_name));
    }
    return false;
  }

  if (x->dest_info) {
    struct stat new_sb;
    if (fstatat(dst_dirfd, dst_relname, &new_sb, AT_SYMLINK_NOFOLLOW) == 0)
      record_file(x->dest_info, dst_relname, &new_sb);
  }
  return true;
}

}  // namespace

mode_t cached_umask()
{
  static mode_t mask = static_cast<mode_t>(-1);
  if (mask == static_cast<mode_t>(-1)) {
    mask = umask(0);
    umask(mask);
  }
  return mask;
}

int follow_fstatat(int dirfd, const char *file, struct stat *st, int flags)
{
  int r = fstatat(dirfd, file, st, flags);
  if (r == 0 && !(flags & AT_SYMLINK_NOFOLLOW) && S_ISCHR(st->st_mode)) {
    static bool checked;
    static bool stdin_is_fd_device;
    static dev_t stdin_rdev;
    if (!checked) {
      checked = true;
      struct stat sb;
      if (stat("/dev/stdin", &sb) == 0 && S_ISCHR(sb.st_mode) && minor(sb.st_rdev) == 0) {
        stdin_is_fd_device = true;
        stdin_rdev = sb.st_rdev;
      }
    }
    if (stdin_is_fd_device && major(stdin_rdev) == major(st->st_rdev))
      r = fstat(static_cast<int>(minor(st->st_rdev)), st);
  }
  return r;
}

void emit_verbose(const char *src, const char *dst, const char *backup)
{
  printf("%s -> %s", q(0, src), q(1, dst));
  if (backup)
    printf(gettext(" (backup: %s)"), q(2, backup));
  putchar('\n');
}

bool copy(const char *src_name, const char *dst_name, int dst_dirfd, const char *dst_relname,
          int nonexistent_dst, const struct cp_options *options, bool *copy_into_self,
          bool *rename_succeeded)
{
  valid_options(options);
  top_level_src_name = src_name;
  top_level_dst_name = dst_name;
  *copy_into_self = false;
  if (rename_succeeded)
    *rename_succeeded = false;
  return copy_internal(src_name, dst_name, dst_dirfd, dst_relname, nonexistent_dst, true,
                       options);
}
