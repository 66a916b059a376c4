#include "full-rw.h"

#include <cerrno>
#include <unistd.h>

namespace {

// The largest transfer that no kernel refuses as too big.
constexpr size_t sys_bufsize_max = 0x7ff00000;

}  // namespace

ssize_t safe_read(int fd, void *buf, size_t count)
{
  for (;;) {
    ssize_t n = read(fd, buf, count);
    if (n >= 0)
      return n;
    if (errno == EINTR)
      continue;
    if (errno == EINVAL && count > sys_bufsize_max) {
      count = sys_bufsize_max;
      continue;
    }
    return n;
  }
}

ssize_t safe_write(int fd, const void *buf, size_t count)
{
  for (;;) {
    ssize_t n = write(fd, buf, count);
    if (n >= 0)
      return n;
    if (errno == EINTR)
      continue;
    if (errno == EINVAL && count > sys_bufsize_max) {
      count = sys_bufsize_max;
      continue;
    }
    return n;
  }
}

size_t full_read(int fd, void *buf, size_t count)
{
  size_t total = 0;
  auto *p = static_cast<char *>(buf);
  while (count > 0) {
    ssize_t n = safe_read(fd, p, count);
    if (n < 0)
      break;
    if (n == 0) {
      errno = 0;
      break;
    }
    total += n;
    p += n;
    count -= n;
  }
  return total;
}

size_t full_write(int fd, const void *buf, size_t count)
{
  size_t total = 0;
  auto *p = static_cast<const char *>(buf);
  while (count > 0) {
    ssize_t n = safe_write(fd, p, count);
    if (n < 0)
      break;
    if (n == 0) {
      errno = ENOSPC;
      break;
    }
    total += n;
    p += n;
    count -= n;
  }
  return total;
}
