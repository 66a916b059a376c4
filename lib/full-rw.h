// Reading and writing that survive interruptions and large counts.
//
// safe_read and safe_write do one transfer, retried on EINTR; a count the
// kernel refuses as too large is retried with the largest count every
// system accepts. full_read and full_write repeat them until the whole
// count is done, end of file, or an error.
#pragma once

#include <cstddef>
#include <sys/types.h>

// One read; returns the byte count, 0 at end of file, or -1 with errno.
ssize_t safe_read(int fd, void *buf, size_t count);
// One write; returns the byte count or -1 with errno.
ssize_t safe_write(int fd, const void *buf, size_t count);

// Reads until count bytes are in; returns how many arrived. A short
// result means end of file (errno 0) or an error (errno kept).
size_t full_read(int fd, void *buf, size_t count);
// Writes until count bytes are out; returns how many left. A short
// result means an error (errno kept), or ENOSPC when a write took nothing.
size_t full_write(int fd, const void *buf, size_t count);
