// Allocation that never returns null: every member either returns usable
// memory or reports "memory exhausted" and exits with exit_failure. The
// caller owns every block and frees it with free().
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Signed sizes, as used by the growth functions.
typedef ptrdiff_t idx_t;

// The one reaction to exhausted memory; does not return.
void xalloc_die(void) __attribute__((noreturn));

void *xmalloc(size_t n);
void *ximalloc(idx_t n);
char *xcharalloc(size_t n);
// n items of s bytes each; an overflowing product counts as exhausted memory.
void *xnmalloc(size_t n, size_t s);
void *xzalloc(size_t n);
void *xcalloc(size_t n, size_t s);
void *xrealloc(void *p, size_t n);
// A count of 0 asks for one byte.
void *xirealloc(void *p, idx_t n);
// Grows the array P of *PN items of S bytes by at least N_INCR_MIN items
// (and about half again), to at most N_MAX items when N_MAX is not
// negative; stores the new count back in *PN. A null P starts a new array.
void *xpalloc(void *p, idx_t *pn, idx_t n_incr_min, ptrdiff_t n_max, idx_t s);
void *xmemdup(const void *p, size_t s);
char *xstrdup(const char *s);
// A block of N bytes aligned to ALIGNMENT (a power of two); free() it.
void *xalignalloc(idx_t alignment, idx_t n);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#include <cstdlib>
#include <memory>

// Owns a block of the malloc family (every block above, or one the C
// library hands out) and frees it with free().
struct FreeDeleter {
  void operator()(void *p) const { free(p); }
};
template <typename T>
using malloc_ptr = std::unique_ptr<T, FreeDeleter>;
#endif
