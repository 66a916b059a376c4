#include "file-tables.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "copy-options.h"
#include "file-name.h"
#include "verror.h"
#include "xalloc.h"

namespace {

// Size hints of the tables.
constexpr size_t triple_table_size = 61;
constexpr size_t src_to_dest_table_size = 103;

const file_triple *
as_triple(const void *x)
{
  return static_cast<const file_triple *>(x);
}

struct src_to_dest {
  ino_t st_ino;
  dev_t st_dev;
  char *name;  // a private copy
};

Hash_table *src_to_dest_table;

size_t
src_to_dest_hash(const void *x, size_t table_size)
{
  return static_cast<const src_to_dest *>(x)->st_ino % table_size;
}

bool
src_to_dest_compare(const void *x, const void *y)
{
  auto *a = static_cast<const src_to_dest *>(x);
  auto *b = static_cast<const src_to_dest *>(y);
  return a->st_ino == b->st_ino && a->st_dev == b->st_dev;
}

void
src_to_dest_free(void *x)
{
  auto *entry = static_cast<src_to_dest *>(x);
  free(entry->name);
  free(entry);
}

Hash_table *
new_triple_table(Hash_hasher hasher)
{
  Hash_table *table = hash_initialize(triple_table_size, nullptr, hasher, triple_compare,
                                      triple_free);
  if (!table)
    xalloc_die();
  return table;
}

// The directory holding NAME, examined relative to DFD; failure is fatal.
struct stat
stat_parent(int dfd, const char *name)
{
  char *dir = dir_name(name);
  struct stat st;
  if (fstatat(dfd, dir, &st, AT_SYMLINK_NOFOLLOW) != 0)
    error(EXIT_FAILURE, errno, "%s", dir);
  free(dir);
  return st;
}

}  // namespace

size_t
triple_hash(const void *x, size_t table_size)
{
  const file_triple *p = as_triple(x);
  size_t h = hash_pjw(p->name, table_size);
  h ^= p->st_ino;
  return h % table_size;
}

size_t
triple_hash_no_name(const void *x, size_t table_size)
{
  return as_triple(x)->st_ino % table_size;
}

bool
triple_compare(const void *x, const void *y)
{
  const file_triple *a = as_triple(x);
  const file_triple *b = as_triple(y);
  return a->st_ino == b->st_ino && a->st_dev == b->st_dev && same_name(a->name, b->name);
}

bool
triple_compare_ino_str(const void *x, const void *y)
{
  const file_triple *a = as_triple(x);
  const file_triple *b = as_triple(y);
  return a->st_ino == b->st_ino && a->st_dev == b->st_dev && strcmp(a->name, b->name) == 0;
}

void
triple_free(void *x)
{
  auto *triple = static_cast<file_triple *>(x);
  free(triple->name);
  free(triple);
}

void
dest_info_init(struct cp_options *x)
{
  x->dest_info = new_triple_table(triple_hash);
}

void
src_info_init(struct cp_options *x)
{
  x->src_info = new_triple_table(triple_hash_no_name);
}

void
record_file(Hash_table *ht, const char *file, const struct stat *stats)
{
  if (!ht)
    return;
  auto *ent = static_cast<file_triple *>(xmalloc(sizeof(file_triple)));
  ent->name = xstrdup(file);
  ent->st_ino = stats->st_ino;
  ent->st_dev = stats->st_dev;

  void *stored = hash_insert(ht, ent);
  if (!stored)
    xalloc_die();
  if (stored != ent)
    triple_free(ent);
}

bool
seen_file(const Hash_table *ht, const char *file, const struct stat *stats)
{
  if (!ht)
    return false;
  file_triple probe = {const_cast<char *>(file), stats->st_ino, stats->st_dev};
  return hash_lookup(ht, &probe) != nullptr;
}

bool
same_nameat(int source_dfd, const char *source, int dest_dfd, const char *dest)
{
  const char *source_base = last_component(source);
  const char *dest_base = last_component(dest);
  size_t source_baselen = base_len(source_base);
  size_t dest_baselen = base_len(dest_base);
  if (source_baselen != dest_baselen || memcmp(source_base, dest_base, dest_baselen) != 0)
    return false;

  struct stat source_dir = stat_parent(source_dfd, source);
  struct stat dest_dir = stat_parent(dest_dfd, dest);
  return source_dir.st_ino == dest_dir.st_ino && source_dir.st_dev == dest_dir.st_dev;
}

bool
same_name(const char *source, const char *dest)
{
  return same_nameat(AT_FDCWD, source, AT_FDCWD, dest);
}

void
hash_init(void)
{
  src_to_dest_table = hash_initialize(src_to_dest_table_size, nullptr, src_to_dest_hash,
                                      src_to_dest_compare, src_to_dest_free);
  if (!src_to_dest_table)
    xalloc_die();
}

const char *
remember_copied(const char *name, ino_t ino, dev_t dev)
{
  auto *ent = static_cast<src_to_dest *>(xmalloc(sizeof(src_to_dest)));
  ent->name = xstrdup(name);
  ent->st_ino = ino;
  ent->st_dev = dev;

  auto *stored = static_cast<src_to_dest *>(hash_insert(src_to_dest_table, ent));
  if (!stored)
    xalloc_die();
  if (stored != ent)
    {
      src_to_dest_free(ent);
      return stored->name;
    }
  return nullptr;
}

const char *
src_to_dest_lookup(ino_t ino, dev_t dev)
{
  if (!src_to_dest_table)
    return nullptr;
  src_to_dest probe = {ino, dev, nullptr};
  auto *ent = static_cast<src_to_dest *>(hash_lookup(src_to_dest_table, &probe));
  return ent ? ent->name : nullptr;
}

void
forget_created(ino_t ino, dev_t dev)
{
  if (!src_to_dest_table)
    return;
  src_to_dest probe = {ino, dev, nullptr};
  if (void *ent = hash_remove(src_to_dest_table, &probe))
    src_to_dest_free(ent);
}
