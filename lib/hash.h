// A hash table of caller-owned entries (opaque non-null pointers). Entries
// live in a prime number of buckets; a bucket holds its first entry inline
// and chains further entries in overflow records, which are recycled
// through a free list. The table grows when too many buckets are in use,
// and a failed allocation during a rehash is undone, so the table is never
// left half moved.
#pragma once

#include <stdbool.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef size_t (*Hash_hasher)(const void *entry, size_t n_buckets);
typedef bool (*Hash_comparator)(const void *a, const void *b);
typedef void (*Hash_data_freer)(void *entry);

struct table_tuning {
  float shrink_threshold;  // a removal leaving fewer buckets used shrinks the table
  float shrink_factor;
  float growth_threshold;  // an insertion finding more buckets used grows it
  float growth_factor;
  bool is_n_buckets;       // sizes given to the table count buckets, not entries
};

// Shrinks never, grows by 1.414 when more than 80% of the buckets are used.
extern const struct table_tuning default_tuning;

typedef struct bucket_table Hash_table;

// A table sized for CANDIDATE entries. TUNING null means default_tuning;
// HASHER null hashes the entry's address, COMPARATOR null compares
// addresses; DATA_FREER, when given, is called on every entry by
// hash_free(). Null when memory is exhausted (or the tuning is unusable).
Hash_table *hash_initialize(size_t candidate, const struct table_tuning *tuning,
                            Hash_hasher hasher, Hash_comparator comparator,
                            Hash_data_freer data_freer);

// Calls the data freer on every entry, then releases the table.
void hash_free(Hash_table *table);

size_t hash_get_n_buckets(const Hash_table *table);
size_t hash_get_n_buckets_used(const Hash_table *table);
size_t hash_get_n_entries(const Hash_table *table);

// The stored entry equal to ENTRY, or null.
void *hash_lookup(const Hash_table *table, const void *entry);

// Stores ENTRY (non-null) unless an equal one is stored. Returns 1 when it
// was inserted, 0 when an equal entry exists (stored through MATCHED when
// given), -1 when memory is exhausted.
int hash_insert_if_absent(Hash_table *table, const void *entry, const void **matched);

// The stored equal entry if there is one, else ENTRY itself after storing
// it; null when memory is exhausted.
void *hash_insert(Hash_table *table, const void *entry);

// Removes and returns the stored entry equal to ENTRY, or null.
void *hash_remove(Hash_table *table, const void *entry);

// Resizes the table for CANDIDATE entries. False when memory is exhausted;
// the table is then as it was.
bool hash_rehash(Hash_table *table, size_t candidate);

// Calls PROCESSOR on every entry until it returns false; returns the number
// of entries processed.
size_t hash_do_for_each(const Hash_table *table,
                        bool (*processor)(void *entry, void *data), void *data);

// A string hash: for every byte c (taken as signed) h becomes h rotated
// left by 9 bits plus c; returns h modulo N_BUCKETS.
size_t hash_pjw(const void *text, size_t n_buckets);

#ifdef __cplusplus
}
#endif
