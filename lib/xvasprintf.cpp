#include "xvasprintf.h"

#include <errno.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "xalloc.h"

char *xstrcat(size_t count, va_list args) {
  // Sum the lengths, saturating, before allocating once.
  size_t total = 0;
  {
    va_list ap;
    va_copy(ap, args);
    for (size_t i = 0; i < count; ++i) {
      size_t len = strlen(va_arg(ap, const char *));
      if (__builtin_add_overflow(total, len, &total)) total = SIZE_MAX;
    }
    va_end(ap);
  }
  if (total > INT_MAX) {
    errno = EOVERFLOW;
    return nullptr;
  }

  char *result = xcharalloc(total + 1);
  char *p = result;
  for (size_t i = 0; i < count; ++i) {
    const char *s = va_arg(args, const char *);
    size_t len = strlen(s);
    memcpy(p, s, len);
    p += len;
  }
  *p = '\0';
  return result;
}

char *xvasprintf(const char *format, va_list args) {
  // A format of nothing but "%s" directives is a concatenation.
  size_t count = 0;
  const char *f = format;
  for (; f[0] == '%' && f[1] == 's'; f += 2) ++count;
  if (*f == '\0') {
    va_list ap;
    va_copy(ap, args);
    char *result = xstrcat(count, ap);
    va_end(ap);
    return result;
  }

  char *result = nullptr;
  va_list ap;
  va_copy(ap, args);
  int len = vasprintf(&result, format, ap);
  va_end(ap);
  if (len < 0) {
    // vasprintf cannot produce more than INT_MAX bytes and says so with
    // EOVERFLOW; lack of memory is fatal like everywhere else.
    if (errno == ENOMEM) xalloc_die();
    return nullptr;
  }
  return result;
}

char *xasprintf(const char *format, ...) {
  va_list args;
  va_start(args, format);
  char *result = xvasprintf(format, args);
  va_end(args);
  return result;
}
