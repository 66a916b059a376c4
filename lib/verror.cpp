#include "verror.h"

#include <errno.h>
#include <libintl.h>
#include <stdlib.h>

#include "xvasprintf.h"

void verror(int status, int errnum, const char *format, va_list args) {
  char *message = xvasprintf(format, args);
  if (message == nullptr) {
    error(0, errno, "%s", gettext("unable to display error message"));
    abort();
  }
  // Report first and end the process ourselves, so that the message is
  // freed on every path.
  error(0, errnum, "%s", message);
  free(message);
  if (status != 0) exit(status);
}
