// Backups of files about to be replaced: choosing the method from the
// command line or the environment, and computing (and performing) the
// rename. A simple backup appends a suffix ("~" unless set otherwise); a
// numbered backup appends ".~N~" with N one higher than the highest
// numbered backup already in the directory.
#pragma once

#include <stdbool.h>

#ifdef __cplusplus
extern "C" {
#endif

enum backup_type {
  BACKUP_NONE = 0,      // never make backups
  BACKUP_SIMPLE = 1,    // always simple backups
  BACKUP_EXISTING = 2,  // numbered if numbered backups exist, simple otherwise
  BACKUP_NUMBERED = 3,  // always numbered backups
};

// Method names and their methods, in parallel (null-terminated names).
extern const char *const backup_args[];
extern const enum backup_type backup_types[];

// The simple-backup suffix; null until set.
extern const char *simple_backup_suffix;

// Sets the suffix to S, or with null to the environment's
// SIMPLE_BACKUP_SUFFIX; a text that is empty or has a directory part is
// refused in favour of "~".
void set_simple_backup_suffix(const char *s);

// The method VERSION names (an abbreviation will do); with none, the one
// VERSION_CONTROL names; with neither, BACKUP_EXISTING. A bad name is
// reported with CONTEXT and ends the program through argmatch_die.
enum backup_type xget_version(const char *context, const char *version);

// As xget_version, without looking at the environment.
enum backup_type get_version(const char *context, const char *version);

// The backup name for FILE (relative to DIR_FD) under BACKUP_TYPE, which
// must not be BACKUP_NONE; with DO_RENAME, FILE is renamed to it. A new
// allocation, relative to DIR_FD; null with errno set on failure.
char *backupfile_internal(int dir_fd, const char *file, enum backup_type backup_type,
                          bool do_rename);

// Renames FILE to its backup name and returns that name (or null).
char *backup_file_rename(int dir_fd, const char *file, enum backup_type backup_type);

// The backup name without renaming; a failure is fatal.
char *find_backup_file_name(int dir_fd, const char *file, enum backup_type backup_type);

// A new text: STR up to SUFFIX (a position inside STR), then NEWSUFFIX.
char *subst_suffix(const char *str, const char *suffix, const char *newsuffix);

#ifdef __cplusplus
}
#endif
