// Giving a directory its owner, group and permission bits.
#pragma once

#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

// Changes the directory open as FD (or named DIR when FD is negative) to
// OWNER and GROUP (-1: keep) and sets the bits of MODE_BITS to those of
// MODE, keeping its other bits. MKDIR_MODE is the mode given to mkdir when
// the directory was just created, else (mode_t) -1; a just-created
// directory is changed without following a symbolic link. FD is always
// closed. Returns 0, or -1 with errno set (ENOTDIR for a non-directory).
int dirchownmod(int fd, const char *dir, mode_t mkdir_mode, uid_t owner, gid_t group,
                mode_t mode, mode_t mode_bits);

#ifdef __cplusplus
}
#endif
