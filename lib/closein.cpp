#include "closein.h"

#include <errno.h>
#include <libintl.h>
#include <stdio.h>
#include <unistd.h>

#include "close-stream.h"
#include "closeout.h"
#include "exitfail.h"
#include "verror.h"

namespace {

// Bytes read into the buffer of STREAM (or pushed back) but not yet
// consumed.
size_t unread_bytes(FILE *stream) {
  return static_cast<size_t>(stream->_IO_read_end - stream->_IO_read_ptr);
}

}  // namespace

void close_stdin(void) {
  bool fail = false;
  int saved_errno = 0;

  // Give back what was read ahead, so that a caller sharing the descriptor
  // continues right after the bytes this program consumed.
  if (unread_bytes(stdin) > 0 && lseek(fileno(stdin), 0, SEEK_CUR) != -1 &&
      fflush(stdin) != 0) {
    fail = true;
    saved_errno = errno;
  }
  if (close_stream(stdin) != 0 && !fail) {
    fail = true;
    saved_errno = errno;
  }

  // Report while standard error is still open; closing standard output
  // (and error) comes next either way.
  if (fail) error(0, saved_errno, "%s", gettext("error closing file"));
  close_stdout();
  if (fail) _exit(exit_failure);
}
