// Files the copy engine remembers across the sources of one run. A file
// triple (name, inode, device) stands for a directory entry; tables of
// triples hold the destinations created so far, so that a later source
// cannot silently replace an earlier one's copy. The source-to-destination
// table maps a source's identity to the name of its copy.
#pragma once

#include <stdbool.h>
#include <stddef.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "hash.h"

struct cp_options;

struct file_triple {
  char *name;  // a private copy
  ino_t st_ino;
  dev_t st_dev;
};

// Table callbacks. triple_hash mixes the name's hash with the inode;
// triple_hash_no_name uses the inode alone. triple_compare holds two
// triples equal when inode and device are equal and the names denote the
// same directory entry; triple_compare_ino_str compares the names byte by
// byte instead.
size_t triple_hash(const void *x, size_t table_size);
size_t triple_hash_no_name(const void *x, size_t table_size);
bool triple_compare(const void *x, const void *y);
bool triple_compare_ino_str(const void *x, const void *y);
void triple_free(void *x);

// Creates the table of destinations created, or of sources seen, in X.
// Exhausted memory is fatal.
void dest_info_init(struct cp_options *x);
void src_info_init(struct cp_options *x);

// Remembers FILE with the identity in STATS (nothing when HT is null).
void record_file(Hash_table *ht, const char *file, const struct stat *stats);

// Whether FILE with the identity in STATS was remembered in HT.
bool seen_file(const Hash_table *ht, const char *file, const struct stat *stats);

// Whether the two names denote the same directory entry: equal last
// components in directories with the same device and inode (examined
// relative to the descriptors, not following a final symbolic link).
// A directory that cannot be examined ends the program.
bool same_nameat(int source_dfd, const char *source, int dest_dfd, const char *dest);
bool same_name(const char *source, const char *dest);

// The process-wide source-to-destination table.
void hash_init(void);
// Remembers that the file INO on DEV was copied to NAME. When it was
// already remembered, returns that earlier destination's name (and keeps
// it); otherwise null.
const char *remember_copied(const char *name, ino_t ino, dev_t dev);
// The remembered destination of INO on DEV, or null.
const char *src_to_dest_lookup(ino_t ino, dev_t dev);
// Forgets INO on DEV.
void forget_created(ino_t ino, dev_t dev);
