// Permission modes given as text: an octal number, or a list of symbolic
// edits such as u+rwx,g-w,o=. A text is compiled once into a list of edits
// and the list is applied to a starting mode, separately for files and for
// directories (which differ in X and in the set-user-ID and set-group-ID
// bits).
#pragma once

#include <stdbool.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

enum mode_edit_flag {
  edit_end = 0,            // ends the list
  edit_ordinary = 1,       // set or clear the bits of value
  edit_x_if_any_x = 2,     // as ordinary; X adds execute bits where it applies
  edit_copy_existing = 3,  // value names the class whose bits are copied
};

struct mode_edit {
  char op;            // '=', '+' or '-'
  char flag;          // an enum mode_edit_flag value
  mode_t affected;    // bits of the classes named before the operator; 0 for none
  mode_t value;       // bits to set or clear (for copies, the class copied from)
  mode_t mentioned;   // bits the edit explicitly talks about
};

// The edits of MODE_STRING, ended by an edit_end record; a new allocation
// the caller frees with free(). Null when the text is not a valid mode.
struct mode_edit *mode_compile(const char *mode_string);

// OLDMODE changed by EDITS: the permission bits (07777) of the result. DIR
// tells whether the target is a directory; UMASK_VALUE masks edits that
// name no class. When MODE_BITS is given it receives the bits the edits
// touched.
mode_t mode_adjust(mode_t oldmode, bool dir, mode_t umask_value,
                   const struct mode_edit *edits, mode_t *mode_bits);

#ifdef __cplusplus
}
#endif
