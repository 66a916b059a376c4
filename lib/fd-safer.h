// Opening files without handing out the standard descriptors 0, 1 and 2,
// so that a program whose standard streams were closed at start never
// writes its messages or data into a file it opened.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// FD itself when it is not 0, 1 or 2 (or negative); otherwise a duplicate
// of it at 3 or above, closing FD. errno is kept on success.
int fd_safer(int fd);

// open(), with the result passed through fd_safer().
int open_safer(const char *file, int flags, ...);

// openat(), with the result passed through fd_safer().
int openat_safer(int dirfd, const char *file, int flags, ...);

#ifdef __cplusplus
}
#endif
