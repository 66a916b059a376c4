// A saved working directory that can always be returned to. Work that
// changes directory component by component (so that names longer than the
// system's path limit work) saves the starting directory on the first
// change and restores it afterwards. When the starting directory cannot be
// opened, the work after the first change is done by a child process and
// the parent waits for it.
#pragma once

#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

enum savewd_state {
  SAVEWD_INITIAL = 0,                 // nothing saved; directory unchanged
  SAVEWD_DESCRIPTOR = 1,              // start directory open, still current
  SAVEWD_DESCRIPTOR_AFTER_CHDIR = 2,  // start directory open, directory changed
  SAVEWD_FORKING = 3,                 // the work is done by a child process
  SAVEWD_ERROR = 4,                   // the start directory cannot be returned to
  SAVEWD_FINAL = 5,                   // finished
};

struct savewd {
  int state;  // an enum savewd_state value
  // By state: the saved descriptor, the saved error number, or the child's
  // process ID (-1 when there is no child, 0 inside the child).
  int value;
};

// Options of savewd_chdir.
enum {
  // Open the target without following a symbolic link.
  SAVEWD_CHDIR_NOFOLLOW = 1,
  // Succeed without changing directory when the target could be opened.
  SAVEWD_CHDIR_SKIP_READABLE = 2,
};

void savewd_init(struct savewd *wd);

// The saved error number in the error state, else 0.
int savewd_errno(const struct savewd *wd);

// Changes into DIR, saving the working directory first. When OPEN_RESULT is
// given, DIR is opened as well: OPEN_RESULT[0] receives the descriptor (the
// caller closes it) or -1, OPEN_RESULT[1] the error number of the open.
// Returns 0, -1 with errno set, or -2 in the parent when the work now
// belongs to a child process.
int savewd_chdir(struct savewd *wd, const char *dir, int options, int open_result[2]);

// Returns to the saved directory. Inside the child of the forking state the
// process ends with STATUS; the parent waits for its child and returns the
// child's exit status. Otherwise 0, or -1 with errno set.
int savewd_restore(struct savewd *wd, int status);

// Releases what the record holds. A record in the error state keeps its
// error, so that later work relative to the lost directory is refused.
void savewd_finish(struct savewd *wd);

// Runs ACT on each of the N_FILES names with a working directory that is
// the starting one for every relative name; returns the largest status.
int savewd_process_files(int n_files, char **file,
                         int (*act)(char *name, struct savewd *wd, void *options),
                         void *options);

#ifdef __cplusplus
}
#endif
