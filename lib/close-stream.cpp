#include "close-stream.h"

#include <errno.h>
#include <stdio_ext.h>
#include <unistd.h>

namespace {

// fclose() that also flushes a stream reading from a seekable descriptor,
// so that the offset returns to just after what was consumed, and that
// fails with the flush's error number when the flush fails.
int flush_and_close(FILE *stream) {
  int saved_errno = 0;
  const int fd = fileno(stream);
  if (fd >= 0 && (!__freading(stream) || lseek(fd, 0, SEEK_CUR) != -1) &&
      fflush(stream) != 0)
    saved_errno = errno;
  int result = fclose(stream);
  if (saved_errno != 0) {
    errno = saved_errno;
    result = EOF;
  }
  return result;
}

}  // namespace

int close_stream(FILE *stream) {
  const bool some_pending = __fpending(stream) != 0;
  const bool prev_fail = ferror(stream) != 0;
  const bool close_fail = flush_and_close(stream) != 0;

  // Closing an already closed descriptor with nothing to write loses nothing.
  if (prev_fail || (close_fail && (some_pending || errno != EBADF))) {
    if (!close_fail) errno = 0;
    return EOF;
  }
  return 0;
}
