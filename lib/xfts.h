// Opening a directory walk that never fails for lack of memory: the C
// library's fts_open with exhausted memory made fatal. The walk itself is
// read and closed with fts_read, fts_children, fts_set and fts_close.
#pragma once

#include <fts.h>

#ifdef __cplusplus
extern "C" {
#endif

// fts_open (ARGV, OPTIONS, COMPAR). Exhausted memory ends the program with
// "memory exhausted"; invalid OPTIONS are a caller error and fail an
// assertion. Any other failure (an empty name in ARGV) returns NULL with
// errno set.
FTS *xfts_open(char *const *argv, int options,
               int (*compar)(const FTSENT **, const FTSENT **));

#ifdef __cplusplus
}
#endif
