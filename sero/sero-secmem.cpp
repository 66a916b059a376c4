#include "sero-private.h"

#include "sero-secmem.h"

#include <malloc.h>

#include <cstdlib>
#include <cstring>

namespace {

GMutex pool_mutex;

void
pool_lock (void)
{
  g_mutex_lock (&pool_mutex);
}

void
pool_unlock (void)
{
  g_mutex_unlock (&pool_mutex);
}

// Overwrites memory in a way the compiler may not drop as a dead store.
void
wipe (void *memory, size_t length)
{
  volatile auto *bytes = static_cast<volatile unsigned char *> (memory);
  for (size_t i = 0; i < length; i++)
    bytes[i] = 0;
}

// Memory handed out here holds secrets that could not be locked, so it is
// wiped before it goes back to the system allocator: on free, and when a
// resize moves it.
void *
pool_fallback (void *pointer, size_t length)
{
  if (!pointer)
    return length ? std::malloc (length) : nullptr;

  const size_t old_length = malloc_usable_size (pointer);
  if (length == 0) {
    wipe (pointer, old_length);
    std::free (pointer);
    return nullptr;
  }
  if (length <= old_length)
    return pointer;

  void *moved = std::malloc (length);
  if (!moved)
    return nullptr;
  std::memcpy (moved, pointer, old_length);
  wipe (pointer, old_length);
  std::free (pointer);
  return moved;
}

}  // namespace

extern "C" {
SeroSecmemPoolData SECMEM_pool_data_v1_0 = {
  pool_lock,
  pool_unlock,
  pool_fallback,
  nullptr,
  "1.0",
};
}
