// The absolute form of a file name: no ".", ".." or repeated slashes, and
// every symbolic link on the way resolved. How many of the components must
// exist is the caller's choice.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

enum canonicalize_mode_t {
  CAN_EXISTING = 0,      // every component must exist
  CAN_ALL_BUT_LAST = 1,  // all components but the last must exist
  CAN_MISSING = 2,       // no component need exist
  CAN_NOLINKS = 4,       // or'ed in: take symbolic links as plain names
};
typedef enum canonicalize_mode_t canonicalize_mode_t;

// A new malloc'd absolute name for NAME, relative names being taken from
// the working directory; NULL with errno set when a component that must
// exist does not (ENOENT, ENOTDIR, EACCES...), when symbolic links nest
// too deeply (ELOOP), or for a null NAME or an unknown MODE (EINVAL). A
// ".." after a symbolic link climbs from the link's target. Exhausted
// memory is fatal.
char *canonicalize_filename_mode(const char *name, canonicalize_mode_t mode);

#ifdef __cplusplus
}
#endif
