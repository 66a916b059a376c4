#include "hash.h"

#include <limits.h>
#include <stdint.h>
#include <stdlib.h>

#include "hash-alloc.h"

struct bucket_slot {
  void *data;
  bucket_slot *next;
};

struct bucket_table {
  bucket_slot *bucket;
  const bucket_slot *bucket_limit;
  size_t n_buckets;
  size_t n_buckets_used;
  size_t n_entries;
  const table_tuning *tuning;
  Hash_hasher hasher;
  Hash_comparator comparator;
  Hash_data_freer data_freer;
  bucket_slot *free_entry_list;
};

const struct table_tuning default_tuning = {
  0.0f,    // shrink_threshold
  1.0f,    // shrink_factor
  0.8f,    // growth_threshold
  1.414f,  // growth_factor
  false,   // is_n_buckets
};

namespace hash_alloc {

void *(*allocate)(size_t size) = malloc;
void *(*allocate_zeroed)(size_t n, size_t size) = calloc;

}  // namespace hash_alloc

namespace {

constexpr size_t
rotate_right(size_t x, unsigned n)
{
  return (x >> n) | (x << (sizeof x * CHAR_BIT - n));
}

constexpr size_t
rotate_left(size_t x, unsigned n)
{
  return (x << n) | (x >> (sizeof x * CHAR_BIT - n));
}

size_t
raw_hasher(const void *entry, size_t n_buckets)
{
  // Addresses are aligned, so their low bits carry little information.
  return rotate_right(reinterpret_cast<uintptr_t>(entry), 3) % n_buckets;
}

bool
raw_comparator(const void *a, const void *b)
{
  return a == b;
}

bool
is_prime(size_t candidate)
{
  size_t divisor = 3;
  size_t square = divisor * divisor;
  while (square < candidate && candidate % divisor != 0)
    {
      divisor += 2;
      square = divisor * divisor;
    }
  return candidate % divisor != 0;
}

size_t
next_prime(size_t candidate)
{
  if (candidate < 10)
    candidate = 10;
  candidate |= 1;
  while (candidate != SIZE_MAX && !is_prime(candidate))
    candidate += 2;
  return candidate;
}

constexpr size_t max_object_size = PTRDIFF_MAX < SIZE_MAX ? PTRDIFF_MAX : SIZE_MAX;

// The bucket count for CANDIDATE entries (or buckets, by the tuning); 0
// when that many cannot be had.
size_t
compute_bucket_size(size_t candidate, const table_tuning *tuning)
{
  if (!tuning->is_n_buckets)
    {
      float new_candidate = static_cast<float>(candidate) / tuning->growth_threshold;
      if (new_candidate >= static_cast<float>(SIZE_MAX))
        return 0;
      candidate = static_cast<size_t>(new_candidate);
    }
  candidate = next_prime(candidate);
  if (candidate > max_object_size / sizeof(bucket_slot))
    return 0;
  return candidate;
}

bool
tuning_is_usable(const table_tuning *tuning)
{
  if (tuning == &default_tuning)
    return true;
  // Growth must make room and shrinking must not undo growth at once.
  constexpr float epsilon = 0.1f;
  return epsilon < tuning->growth_threshold && tuning->growth_threshold < 1 - epsilon
         && 1 + epsilon < tuning->growth_factor
         && 0 <= tuning->shrink_threshold
         && tuning->shrink_threshold + epsilon < tuning->shrink_factor
         && tuning->shrink_factor <= 1
         && tuning->shrink_threshold + epsilon < tuning->growth_threshold;
}

bucket_slot *
safe_hasher(const Hash_table *table, const void *entry)
{
  size_t n = table->hasher(entry, table->n_buckets);
  if (!(n < table->n_buckets))
    abort();
  return table->bucket + n;
}

bucket_slot *
allocate_entry(Hash_table *table)
{
  bucket_slot *slot = table->free_entry_list;
  if (slot)
    {
      table->free_entry_list = slot->next;
      return slot;
    }
  return static_cast<bucket_slot *>(hash_alloc::allocate(sizeof(bucket_slot)));
}

void
free_entry(Hash_table *table, bucket_slot *slot)
{
  slot->data = nullptr;
  slot->next = table->free_entry_list;
  table->free_entry_list = slot;
}

bool
matches(const Hash_table *table, const void *entry, const void *stored)
{
  return entry == stored || table->comparator(entry, stored);
}

// The stored entry equal to ENTRY, or null; *BUCKET_HEAD receives its
// bucket. With DELETE the entry is taken out of the table's chains (the
// counts are the caller's business).
void *
find_entry(Hash_table *table, const void *entry, bucket_slot **bucket_head, bool remove)
{
  bucket_slot *bucket = safe_hasher(table, entry);
  *bucket_head = bucket;
  if (!bucket->data)
    return nullptr;

  if (matches(table, entry, bucket->data))
    {
      void *data = bucket->data;
      if (remove)
        {
          if (bucket_slot *next = bucket->next)
            {
              *bucket = *next;
              free_entry(table, next);
            }
          else
            bucket->data = nullptr;
        }
      return data;
    }

  for (bucket_slot *cursor = bucket; cursor->next; cursor = cursor->next)
    {
      if (matches(table, entry, cursor->next->data))
        {
          void *data = cursor->next->data;
          if (remove)
            {
              bucket_slot *next = cursor->next;
              cursor->next = next->next;
              free_entry(table, next);
            }
          return data;
        }
    }
  return nullptr;
}

// Moves every entry of SRC into DST. With SAFE only the overflow records
// move (which allocates nothing) and the bucket heads stay. False when an
// overflow record for a head could not be had; SRC then still holds the
// entries that were not moved.
bool
transfer_entries(Hash_table *dst, Hash_table *src, bool safe)
{
  for (bucket_slot *bucket = src->bucket; bucket < src->bucket_limit; bucket++)
    {
      if (!bucket->data)
        continue;

      for (bucket_slot *cursor = bucket->next, *next; cursor; cursor = next)
        {
          void *data = cursor->data;
          bucket_slot *new_bucket = safe_hasher(dst, data);
          next = cursor->next;
          if (new_bucket->data)
            {
              cursor->next = new_bucket->next;
              new_bucket->next = cursor;
            }
          else
            {
              new_bucket->data = data;
              dst->n_buckets_used++;
              free_entry(dst, cursor);
            }
        }
      bucket->next = nullptr;
      if (safe)
        continue;

      void *data = bucket->data;
      bucket_slot *new_bucket = safe_hasher(dst, data);
      if (new_bucket->data)
        {
          bucket_slot *slot = allocate_entry(dst);
          if (!slot)
            return false;
          slot->data = data;
          slot->next = new_bucket->next;
          new_bucket->next = slot;
        }
      else
        {
          new_bucket->data = data;
          dst->n_buckets_used++;
        }
      bucket->data = nullptr;
      src->n_buckets_used--;
    }
  return true;
}

}  // namespace

Hash_table *
hash_initialize(size_t candidate, const struct table_tuning *tuning,
                Hash_hasher hasher, Hash_comparator comparator,
                Hash_data_freer data_freer)
{
  if (!tuning)
    tuning = &default_tuning;
  if (!tuning_is_usable(tuning))
    return nullptr;

  auto *table = static_cast<Hash_table *>(hash_alloc::allocate(sizeof(Hash_table)));
  if (!table)
    return nullptr;

  table->tuning = tuning;
  table->n_buckets = compute_bucket_size(candidate, tuning);
  if (!table->n_buckets)
    {
      free(table);
      return nullptr;
    }
  table->bucket = static_cast<bucket_slot *>(
      hash_alloc::allocate_zeroed(table->n_buckets, sizeof(bucket_slot)));
  if (!table->bucket)
    {
      free(table);
      return nullptr;
    }
  table->bucket_limit = table->bucket + table->n_buckets;
  table->n_buckets_used = 0;
  table->n_entries = 0;
  table->hasher = hasher ? hasher : raw_hasher;
  table->comparator = comparator ? comparator : raw_comparator;
  table->data_freer = data_freer;
  table->free_entry_list = nullptr;
  return table;
}

void
hash_free(Hash_table *table)
{
  if (table->data_freer && table->n_entries)
    {
      for (bucket_slot *bucket = table->bucket; bucket < table->bucket_limit; bucket++)
        {
          if (!bucket->data)
            continue;
          for (bucket_slot *cursor = bucket; cursor; cursor = cursor->next)
            table->data_freer(cursor->data);
        }
    }

  for (bucket_slot *bucket = table->bucket; bucket < table->bucket_limit; bucket++)
    {
      for (bucket_slot *cursor = bucket->next, *next; cursor; cursor = next)
        {
          next = cursor->next;
          free(cursor);
        }
    }
  for (bucket_slot *cursor = table->free_entry_list, *next; cursor; cursor = next)
    {
      next = cursor->next;
      free(cursor);
    }
  free(table->bucket);
  free(table);
}

size_t
hash_get_n_buckets(const Hash_table *table)
{
  return table->n_buckets;
}

size_t
hash_get_n_buckets_used(const Hash_table *table)
{
  return table->n_buckets_used;
}

size_t
hash_get_n_entries(const Hash_table *table)
{
  return table->n_entries;
}

void *
hash_lookup(const Hash_table *table, const void *entry)
{
  const bucket_slot *bucket = safe_hasher(table, entry);
  if (!bucket->data)
    return nullptr;
  for (const bucket_slot *cursor = bucket; cursor; cursor = cursor->next)
    if (matches(table, entry, cursor->data))
      return cursor->data;
  return nullptr;
}

bool
hash_rehash(Hash_table *table, size_t candidate)
{
  size_t new_size = compute_bucket_size(candidate, table->tuning);
  if (!new_size)
    return false;
  if (new_size == table->n_buckets)
    return true;

  Hash_table new_table = *table;
  new_table.bucket = static_cast<bucket_slot *>(
      hash_alloc::allocate_zeroed(new_size, sizeof(bucket_slot)));
  if (!new_table.bucket)
    return false;
  new_table.n_buckets = new_size;
  new_table.bucket_limit = new_table.bucket + new_size;
  new_table.n_buckets_used = 0;
  // The free list moves with the entries and is handed back either way.

  if (transfer_entries(&new_table, table, false))
    {
      free(table->bucket);
      table->bucket = new_table.bucket;
      table->bucket_limit = new_table.bucket_limit;
      table->n_buckets = new_table.n_buckets;
      table->n_buckets_used = new_table.n_buckets_used;
      table->free_entry_list = new_table.free_entry_list;
      return true;
    }

  // An overflow record could not be had. Put every moved entry back: first
  // the overflow records, which frees records and allocates none, then the
  // heads, which can take the records so freed. The old layout needs no
  // more records than existed before, so this cannot fail.
  table->free_entry_list = new_table.free_entry_list;
  if (!(transfer_entries(table, &new_table, true)
        && transfer_entries(table, &new_table, false)))
    abort();
  free(new_table.bucket);
  return false;
}

int
hash_insert_if_absent(Hash_table *table, const void *entry, const void **matched)
{
  if (!entry)
    abort();

  bucket_slot *bucket;
  if (void *data = find_entry(table, entry, &bucket, false))
    {
      if (matched)
        *matched = data;
      return 0;
    }

  // Growth looks at the buckets in use, not at the entries, so that a poor
  // hash function cannot make the table grow without end.
  const table_tuning *tuning = table->tuning;
  if (static_cast<float>(table->n_buckets_used)
      > tuning->growth_threshold * static_cast<float>(table->n_buckets))
    {
      float candidate = tuning->is_n_buckets
                          ? static_cast<float>(table->n_buckets) * tuning->growth_factor
                          : static_cast<float>(table->n_buckets) * tuning->growth_factor
                              * tuning->growth_threshold;
      if (candidate >= static_cast<float>(SIZE_MAX))
        return -1;
      if (!hash_rehash(table, static_cast<size_t>(candidate)))
        return -1;
      bucket = safe_hasher(table, entry);
    }

  void *data = const_cast<void *>(entry);
  if (bucket->data)
    {
      bucket_slot *slot = allocate_entry(table);
      if (!slot)
        return -1;
      slot->data = data;
      slot->next = bucket->next;
      bucket->next = slot;
    }
  else
    {
      bucket->data = data;
      table->n_buckets_used++;
    }
  table->n_entries++;
  return 1;
}

void *
hash_insert(Hash_table *table, const void *entry)
{
  const void *matched = entry;
  int result = hash_insert_if_absent(table, entry, &matched);
  if (result < 0)
    return nullptr;
  return const_cast<void *>(result == 0 ? matched : entry);
}

void *
hash_remove(Hash_table *table, const void *entry)
{
  bucket_slot *bucket;
  void *data = find_entry(table, entry, &bucket, true);
  if (!data)
    return nullptr;

  table->n_entries--;
  if (!bucket->data)
    {
      table->n_buckets_used--;
      const table_tuning *tuning = table->tuning;
      if (static_cast<float>(table->n_buckets_used)
          < tuning->shrink_threshold * static_cast<float>(table->n_buckets))
        {
          float candidate = tuning->is_n_buckets
                              ? static_cast<float>(table->n_buckets) * tuning->shrink_factor
                              : static_cast<float>(table->n_buckets) * tuning->shrink_factor
                                  * tuning->growth_threshold;
          // A failed shrink leaves a larger table than needed, which is
          // harmless; the removal itself has succeeded.
          hash_rehash(table, static_cast<size_t>(candidate));
        }
    }
  return data;
}

size_t
hash_do_for_each(const Hash_table *table, bool (*processor)(void *entry, void *data),
                 void *data)
{
  size_t counter = 0;
  for (const bucket_slot *bucket = table->bucket; bucket < table->bucket_limit; bucket++)
    {
      if (!bucket->data)
        continue;
      for (const bucket_slot *cursor = bucket; cursor; cursor = cursor->next)
        {
          if (!processor(cursor->data, data))
            return counter;
          counter++;
        }
    }
  return counter;
}

size_t
hash_pjw(const void *text, size_t n_buckets)
{
  size_t h = 0;
  for (const signed char *s = static_cast<const signed char *>(text); *s; s++)
    h = rotate_left(h, 9) + static_cast<size_t>(static_cast<ptrdiff_t>(*s));
  return h % n_buckets;
}
