#include "renameatu.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

namespace {

bool
has_trailing_slash(const char *name)
{
  size_t len = strlen(name);
  return len > 0 && name[len - 1] == '/';
}

}  // namespace

int
renameatu_fallback(int fd1, const char *src, int fd2, const char *dst, unsigned int flags)
{
  if (flags & ~RENAME_NOREPLACE)
    {
      errno = EOPNOTSUPP;
      return -1;
    }

  struct stat dst_st;
  bool dst_exists = fstatat(fd2, dst, &dst_st, AT_SYMLINK_NOFOLLOW) == 0;
  if (!dst_exists && errno != ENOENT)
    {
      if (flags & RENAME_NOREPLACE && errno == EOVERFLOW)
        {
          errno = EEXIST;
          return -1;
        }
      if (errno != ENOTDIR || !has_trailing_slash(dst))
        return -1;
    }
  if ((flags & RENAME_NOREPLACE) && dst_exists)
    {
      errno = EEXIST;
      return -1;
    }

  // A name ending in a slash must be a directory; a plain rename may follow
  // a symbolic link or accept a file there, so check first and report what
  // the flag-taking rename would.
  bool src_slash = has_trailing_slash(src);
  bool dst_slash = has_trailing_slash(dst);
  if (src_slash || dst_slash)
    {
      struct stat src_st;
      if (fstatat(fd1, src, &src_st, AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
      if (!S_ISDIR(src_st.st_mode))
        {
          errno = ENOTDIR;
          return -1;
        }
      if (dst_exists && !S_ISDIR(dst_st.st_mode))
        {
          errno = ENOTDIR;
          return -1;
        }
    }
  else if (dst_exists && S_ISDIR(dst_st.st_mode))
    {
      struct stat src_st;
      if (fstatat(fd1, src, &src_st, AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
      if (!S_ISDIR(src_st.st_mode))
        {
          errno = EISDIR;
          return -1;
        }
    }

  return renameat(fd1, src, fd2, dst);
}

int
renameatu(int fd1, const char *src, int fd2, const char *dst, unsigned int flags)
{
  int ret = renameat2(fd1, src, fd2, dst, flags);
  if (ret == 0)
    return 0;
  int err = errno;
  if (err != EINVAL && err != ENOSYS && err != ENOTSUP)
    return ret;
  if (flags == 0 && err == EINVAL)
    return ret;  // a real EINVAL, such as moving a directory into itself
  return renameatu_fallback(fd1, src, fd2, dst, flags);
}
