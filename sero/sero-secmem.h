// The globals record shared by every carrier of the secure memory
// allocator in a process: its lock, its fallback allocator and the head of
// the shared list of record pages. Defined here once for the process.
#pragma once

#include <stddef.h>

#include "sero-export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
  /* Serialize every user of the allocator in the process. */
  void (*lock) (void);
  void (*unlock) (void);
  /* realloc-style: (NULL, n) allocates, (p, n) resizes, (p, 0) frees and
   * gives NULL. Memory it frees or moves away from is wiped first. */
  void *(*fallback) (void *pointer, size_t length);
  /* Head of the list of record pages; read and written under the lock. */
  void *pool_data;
  const char *pool_version;
} SeroSecmemPoolData;

SERO_EXPORT extern SeroSecmemPoolData SECMEM_pool_data_v1_0;

#ifdef __cplusplus
}
#endif
