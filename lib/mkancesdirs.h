// Creating the missing ancestors of a file name, one component at a time,
// changing into each in turn so that no long path is ever built.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

struct savewd;

// Makes one directory: FULL is the file name cut after the component (for
// messages), COMPONENT the component relative to the working directory.
// Returns 0 or more on success, -1 with errno set on failure.
typedef int (*mkancesdirs_make_dir)(const char *full, const char *component, void *data);

// Makes and enters every ancestor of FILE (which is modified during the
// call and restored unless a change of directory fails). An ancestor that
// cannot be made is no failure as long as it can be entered. Returns the
// length of the prefix of FILE that names the ancestors (the working
// directory is then the last ancestor), -1 with errno set, or -2 when the
// work was handed to a child process.
ptrdiff_t mkancesdirs(char *file, struct savewd *wd, mkancesdirs_make_dir make_dir,
                      void *data);

#ifdef __cplusplus
}
#endif
