#include "closeout.h"

#include <errno.h>
#include <libintl.h>
#include <stdio.h>
#include <unistd.h>

#include "close-stream.h"
#include "exitfail.h"
#include "verror.h"

void close_stdout(void) {
  if (close_stream(stdout) != 0) {
    error(0, errno, "%s", gettext("write error"));
    _exit(exit_failure);
  }
  // Nothing can be reported about standard error; the status says it.
  if (close_stream(stderr) != 0) _exit(exit_failure);
}
