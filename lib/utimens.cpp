#include "utimens.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/time.h>

namespace {

// Set once the kernel has said that it has no nanosecond calls.
bool nanosecond_calls_missing = false;

bool valid_nsec(long nsec)
{
  return (0 <= nsec && nsec <= 999999999) || nsec == UTIME_NOW || nsec == UTIME_OMIT;
}

// Checks the two times and clears the seconds of the markers, so that
// the kernel sees one canonical form. Returns false with EINVAL.
bool validate(const struct timespec *in, struct timespec out[2])
{
  for (int i = 0; i < 2; i++) {
    if (!valid_nsec(in[i].tv_nsec)) {
      errno = EINVAL;
      return false;
    }
    out[i] = in[i];
    if (out[i].tv_nsec == UTIME_NOW || out[i].tv_nsec == UTIME_OMIT)
      out[i].tv_sec = 0;
  }
  return true;
}

// The microsecond path: markers become the clock's time or the file's
// current time.
int set_by_microseconds(int fd, const char *name, const struct timespec ts[2])
{
  struct timeval tv[2];
  struct stat st;
  bool have_st = false;
  for (int i = 0; i < 2; i++) {
    struct timespec t = ts[i];
    if (t.tv_nsec == UTIME_NOW) {
      clock_gettime(CLOCK_REALTIME, &t);
    } else if (t.tv_nsec == UTIME_OMIT) {
      if (!have_st) {
        if ((fd >= 0 ? fstat(fd, &st) : stat(name, &st)) != 0)
          return -1;
        have_st = true;
      }
      t = i == 0 ? st.st_atim : st.st_mtim;
    }
    tv[i].tv_sec = t.tv_sec;
    tv[i].tv_usec = t.tv_nsec / 1000;
  }
  return fd >= 0 ? futimes(fd, tv) : utimes(name, tv);
}

}  // namespace

int fdutimens(int fd, const char *name, const struct timespec ts[2])
{
  struct timespec adjusted[2];
  const struct timespec *times = nullptr;
  if (ts) {
    if (!validate(ts, adjusted))
      return -1;
    times = adjusted;
  }
  if (fd < 0 && !name) {
    errno = EBADF;
    return -1;
  }
  if (!nanosecond_calls_missing) {
    int r = fd >= 0 ? futimens(fd, times) : utimensat(AT_FDCWD, name, times, 0);
    if (r == 0 || errno != ENOSYS)
      return r;
    nanosecond_calls_missing = true;
  }
  if (!times) {
    struct timespec now[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
    return set_by_microseconds(fd, name, now);
  }
  return set_by_microseconds(fd, name, times);
}

int fdutimensat(int fd, int dir, const char *name, const struct timespec ts[2], int flags)
{
  if (fd >= 0) {
    int r = fdutimens(fd, nullptr, ts);
    if (r == 0 || errno != ENOSYS || !name)
      return r;
  }
  if (!name) {
    errno = EBADF;
    return -1;
  }
  struct timespec adjusted[2];
  const struct timespec *times = nullptr;
  if (ts) {
    if (!validate(ts, adjusted))
      return -1;
    times = adjusted;
  }
  return utimensat(dir, name, times, flags);
}
