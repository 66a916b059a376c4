// Formatting and concatenation into a fresh allocation. The result is
// owned by the caller (free()); null means the text could not be made
// (errno tells why, EOVERFLOW for a result above INT_MAX bytes). Exhausted
// memory is fatal.
#pragma once

#include <stdarg.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

char *xvasprintf(const char *format, va_list args)
    __attribute__((format(printf, 1, 0)));
char *xasprintf(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Concatenates COUNT texts taken from ARGS.
char *xstrcat(size_t count, va_list args);

#ifdef __cplusplus
}
#endif
