// Detection of directory cycles in a walk that follows symbolic links or
// crosses bind mounts: a directory is entered again while the walk is
// still inside it. The detector keeps the set of directories the walk is
// currently inside, keyed on (device, inode), so a cycle is seen the first
// time it closes, and a directory met twice side by side (two links to one
// directory) is not mistaken for one.
#pragma once

#include <stdbool.h>
#include <stddef.h>
#include <sys/stat.h>

#ifdef __cplusplus
extern "C" {
#endif

struct cycle_check_state;

// A new, empty detector; free it with cycle_check_free. Exhausted memory
// is fatal.
struct cycle_check_state *cycle_check_new(void);
void cycle_check_free(struct cycle_check_state *state);

// The walk enters the directory DIR. True when it is already one the walk
// is inside: a cycle, and DIR is not entered. Otherwise it is recorded.
bool cycle_check_enter(struct cycle_check_state *state, const struct stat *dir);

// The walk leaves the directory DIR, entered before.
void cycle_check_leave(struct cycle_check_state *state, const struct stat *dir);

// How many directories the walk is inside.
size_t cycle_check_depth(const struct cycle_check_state *state);

#ifdef __cplusplus
}
#endif
