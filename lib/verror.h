// Diagnostics in the one format of the command-line programs: standard
// output flushed, then "program: message[: system text]\n" on standard
// error. The platform's error() prints that format; verror() formats the
// message first (so that it can be assembled from a va_list) and hands it
// over. A non-zero status ends the process with it.
#pragma once

#include <error.h>
#include <stdarg.h>

#ifdef __cplusplus
extern "C" {
#endif

void verror(int status, int errnum, const char *format, va_list args)
    __attribute__((format(printf, 3, 0)));

#ifdef __cplusplus
}
#endif
