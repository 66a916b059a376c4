// The copy engine: puts a copy of one source file under one destination
// name, as the options record says, examining both first and dealing with
// an existing destination (same-file refusal, backup or removal).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include "copy-options.h"

// Copies src_name to dst_name, which is dst_relname relative to the
// directory dst_dirfd. nonexistent_dst > 0 says the destination is known
// not to exist; 0 has it examined. Every failure is reported; returns
// whether the copy is in place.
bool copy(const char *src_name, const char *dst_name, int dst_dirfd, const char *dst_relname,
          int nonexistent_dst, const struct cp_options *options, bool *copy_into_self,
          bool *rename_succeeded);

// The process's file-creation mask, read once.
mode_t cached_umask();

// fstatat, except that a character device that stands for one of the
// process's descriptors (as /dev/stdin does on some systems) is examined
// through that descriptor.
int follow_fstatat(int dirfd, const char *file, struct stat *st, int flags);

// Prints "SRC -> DST" and, with a backup, " (backup: BACKUP)" on standard
// output, with a newline.
void emit_verbose(const char *src, const char *dst, const char *backup);
