// Security contexts of the files install creates: the lazily opened
// labeling handle, default creation contexts, relabeling, and context
// readers that treat empty and "unlabeled" contexts as missing.
#pragma once

#include <selinux/label.h>
#include <selinux/selinux.h>
#include <sys/types.h>

// The file-context labeling handle, opened on first use (warning once
// when that fails); null when it could not be opened.
struct selabel_handle *get_labeling_handle();

// Makes the process's file-creation context the one a new file of that
// name and mode should get: the database's type in the context the kernel
// would compute. Returns 0, or -1 with errno (ENODATA: no entry).
int defaultcon(struct selabel_handle *hnd, const char *name, mode_t mode);

// Relabels an existing file (with recurse, a whole tree) to the type the
// database gives its name. False when any relabeling failed.
bool restorecon(struct selabel_handle *hnd, const char *name, bool recurse);

// getfilecon, lgetfilecon and fgetfilecon, except that an empty context
// fails with ENOTSUP and "unlabeled" with ENODATA (and *con is cleared).
int rpl_getfilecon(const char *file, char **con);
int rpl_lgetfilecon(const char *file, char **con);
int rpl_fgetfilecon(int fd, char **con);
