#include "xalloc.h"

#include <libintl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "exitfail.h"
#include "verror.h"

namespace {

constexpr idx_t idx_max = PTRDIFF_MAX;

// Blocks below this size are not worth growing in small steps.
constexpr idx_t small_block = 128;

void *check(void *p) {
  if (p == nullptr) xalloc_die();
  return p;
}

}  // namespace

void xalloc_die(void) {
  error(exit_failure, 0, "%s", gettext("memory exhausted"));
  // error() returns when exit_failure is 0; this path must still not return.
  abort();
}

void *xmalloc(size_t n) { return check(malloc(n)); }

void *ximalloc(idx_t n) {
  if (n < 0) xalloc_die();
  return xmalloc(static_cast<size_t>(n));
}

char *xcharalloc(size_t n) { return static_cast<char *>(xmalloc(n)); }

void *xnmalloc(size_t n, size_t s) {
  size_t bytes;
  if (__builtin_mul_overflow(n, s, &bytes)) xalloc_die();
  return xmalloc(bytes);
}

void *xzalloc(size_t n) { return xcalloc(n, 1); }

void *xcalloc(size_t n, size_t s) { return check(calloc(n, s)); }

void *xrealloc(void *p, size_t n) {
  // realloc(p, 0) may free p and return null; ask for one byte instead.
  return check(realloc(p, n == 0 ? 1 : n));
}

void *xirealloc(void *p, idx_t n) {
  if (n < 0) xalloc_die();
  return xrealloc(p, static_cast<size_t>(n));
}

void *xpalloc(void *p, idx_t *pn, idx_t n_incr_min, ptrdiff_t n_max, idx_t s) {
  if (p == nullptr) *pn = 0;
  const idx_t n0 = *pn;

  // Grow by about half, saturating, within the caller's limit.
  idx_t n;
  if (__builtin_add_overflow(n0, n0 >> 1, &n)) n = idx_max;
  if (n_max >= 0 && n_max < n) n = n_max;

  idx_t nbytes;
  if (__builtin_mul_overflow(n, s, &nbytes)) {
    n = idx_max / s;
    nbytes = n * s;
  } else if (nbytes < small_block) {
    n = small_block / s;
    // A small block never holds more than the caller allows.
    if (n_max >= 0 && n_max < n) n = n_max;
    nbytes = n * s;
  }

  if (n - n0 < n_incr_min &&
      (__builtin_add_overflow(n0, n_incr_min, &n) || (n_max >= 0 && n_max < n) ||
       __builtin_mul_overflow(n, s, &nbytes)))
    xalloc_die();

  p = xirealloc(p, nbytes);
  *pn = n;
  return p;
}

void *xmemdup(const void *p, size_t s) { return memcpy(xmalloc(s), p, s); }

char *xstrdup(const char *s) { return static_cast<char *>(xmemdup(s, strlen(s) + 1)); }

void *xalignalloc(idx_t alignment, idx_t n) {
  if (alignment <= 0 || n < 0) xalloc_die();
  void *p = nullptr;
  // posix_memalign wants a multiple of sizeof (void *); a smaller power of
  // two is satisfied by that alignment as well.
  size_t align = static_cast<size_t>(alignment);
  if (align < sizeof(void *)) align = sizeof(void *);
  if (posix_memalign(&p, align, n == 0 ? 1 : static_cast<size_t>(n)) != 0) xalloc_die();
  return p;
}
