#include "fd-safer.h"

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <unistd.h>

int
fd_safer(int fd)
{
  if (fd < STDIN_FILENO || fd > STDERR_FILENO)
    return fd;
  int copy = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  int saved = errno;
  if (copy >= 0)
    {
      // Keep the close-on-exec setting of the original.
      int flags = fcntl(fd, F_GETFD);
      if (flags >= 0 && !(flags & FD_CLOEXEC))
        fcntl(copy, F_SETFD, 0);
    }
  close(fd);
  errno = saved;
  return copy;
}

namespace {

mode_t
mode_argument(int flags, va_list args)
{
  if (flags & (O_CREAT | O_TMPFILE))
    return static_cast<mode_t>(va_arg(args, int));
  return 0;
}

}  // namespace

int
open_safer(const char *file, int flags, ...)
{
  va_list args;
  va_start(args, flags);
  mode_t mode = mode_argument(flags, args);
  va_end(args);
  return fd_safer(open(file, flags, mode));
}

int
openat_safer(int dirfd, const char *file, int flags, ...)
{
  va_list args;
  va_start(args, flags);
  mode_t mode = mode_argument(flags, args);
  va_end(args);
  return fd_safer(openat(dirfd, file, flags, mode));
}
