// Setting a file's access and modification times with nanoseconds.
//
// Times are two seconds-and-nanoseconds pairs, access time first; a
// nanosecond field may also be UTIME_NOW or UTIME_OMIT. Where the kernel
// has no nanosecond calls the times are set through the microsecond
// interfaces instead.
#pragma once

#include <sys/stat.h>
#include <time.h>

// Sets the times of the open descriptor fd, or of name when fd is -1.
// Returns 0, or -1 with errno (EINVAL for a malformed time).
int fdutimens(int fd, const char *name, const struct timespec ts[2]);

// Sets the times through fd when it is 0 or more, falling back to name
// relative to dir with flags when the descriptor call is not implemented;
// with fd -1 works on name alone (EBADF without a name).
int fdutimensat(int fd, int dir, const char *name, const struct timespec ts[2], int flags);
