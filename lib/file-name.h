// Splitting and joining file names. A name's last component is the text
// after its last slash that is followed by another character; leading
// slashes are skipped and trailing slashes kept ("a/b/" gives "b/", "/"
// gives the empty text).
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// The last component of NAME, pointing into NAME.
char *last_component(const char *name);

// Length of NAME without its trailing slashes; a name made only of slashes
// counts 1, the empty name 0.
size_t base_len(const char *name);

// The directory part of FILE: the text before its last component, without
// trailing slashes; "." when there is none, "/" for a name directly under
// the root. A new allocation; exhausted memory is fatal.
char *dir_name(const char *file);

// Length of the directory part of FILE as dir_name() gives it, before a
// "." would be added (0 when there is no directory part).
size_t dir_len(const char *file);

// DIR and NAME joined with one slash between them: DIR up to the end of its
// last component, then "/" when that does not end in a slash and NAME does
// not begin with one, or "." when DIR's last component is empty and NAME
// begins with a slash, then NAME. When BASE_IN_RESULT is given it receives
// where NAME begins in the result. A new allocation; exhausted memory is
// fatal.
char *file_name_concat(const char *dir, const char *name, char **base_in_result);

#ifdef __cplusplus
}
#endif
