#include "dirchownmod.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t all_mode_bits = 07777;
constexpr mode_t exec_bits = S_IXUSR | S_IXGRP | S_IXOTH;

}  // namespace

int
dirchownmod(int fd, const char *dir, mode_t mkdir_mode, uid_t owner, gid_t group,
            mode_t mode, mode_t mode_bits)
{
  bool just_created = mkdir_mode != static_cast<mode_t>(-1);
  struct stat st;
  int result = fd >= 0 ? fstat(fd, &st) : stat(dir, &st);

  if (result == 0)
    {
      mode_t dir_mode = st.st_mode;
      if (!S_ISDIR(dir_mode))
        {
          errno = ENOTDIR;
          result = -1;
        }
      else
        {
          // A change of owner may clear the set-user-ID and set-group-ID
          // bits of a searchable directory, so they must be set again.
          mode_t indeterminate = 0;
          if ((owner != static_cast<uid_t>(-1) && owner != st.st_uid)
              || (group != static_cast<gid_t>(-1) && group != st.st_gid))
            {
              result = fd >= 0       ? fchown(fd, owner, group)
                       : just_created ? lchown(dir, owner, group)
                                      : chown(dir, owner, group);
              if (result == 0 && (dir_mode & exec_bits))
                indeterminate = S_ISUID | S_ISGID;
            }

          if (result == 0 && (((dir_mode ^ mode) | indeterminate) & mode_bits))
            {
              mode_t chmod_mode = mode | (dir_mode & all_mode_bits & ~mode_bits);
              result = fd >= 0       ? fchmod(fd, chmod_mode)
                       : just_created ? fchmodat(AT_FDCWD, dir, chmod_mode, AT_SYMLINK_NOFOLLOW)
                                      : chmod(dir, chmod_mode);
            }
        }
    }

  if (fd >= 0)
    {
      if (result == 0)
        result = close(fd);
      else
        {
          int e = errno;
          close(fd);
          errno = e;
        }
    }
  return result;
}
