// Changing the working directory to a directory whose name is longer than
// one system call accepts.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// chdir (DIR); when DIR is too long for that (ENAMETOOLONG), it is entered
// one component at a time through directory descriptors, so a directory
// deeper than PATH_MAX can be reached. 0 on success; -1 with errno set on
// failure, the working directory unchanged. DIR is not modified.
int chdir_long(char *dir);

#ifdef __cplusplus
}
#endif
