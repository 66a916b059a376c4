// Creating a directory with all its missing parents, then giving it its
// owner and permissions.
#pragma once

#include <stdbool.h>
#include <sys/types.h>

#include "mkancesdirs.h"

#ifdef __cplusplus
extern "C" {
#endif

struct savewd;

// Creates DIR (modified during the call). With MAKE_ANCESTOR its missing
// ancestors are made first through mkancesdirs(); DATA goes to both
// callbacks. The new directory is made with MODE, restricted until its
// owner is OWNER and GROUP (-1: keep) and its MODE_BITS are those of MODE;
// ANNOUNCE is called once it exists. With PRESERVE_EXISTING an existing
// directory is left as it is. Returns true on success or when a child
// process does the work; false after a reported failure.
bool make_dir_parents(char *dir, struct savewd *wd, mkancesdirs_make_dir make_ancestor,
                      void *data, mode_t mode,
                      void (*announce)(const char *dir, void *data), mode_t mode_bits,
                      uid_t owner, gid_t group, bool preserve_existing);

#ifdef __cplusplus
}
#endif
