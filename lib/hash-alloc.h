// Where the hash table gets its memory. Production code never changes
// these; tests replace them to make an allocation fail at a chosen point.
#pragma once

#include <stddef.h>

namespace hash_alloc {

extern void *(*allocate)(size_t size);                 // overflow records, the table
extern void *(*allocate_zeroed)(size_t n, size_t size);  // bucket arrays

}  // namespace hash_alloc
