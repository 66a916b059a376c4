// The name under which the program speaks: the prefix of every diagnostic
// and the name shown in help texts.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Set once by set_program_name; borrowed from the argument vector.
extern const char *program_name;

// Fixes program_name (and the platform's program_invocation_name) from
// argv[0]. A null argv[0] stops the process with the abort signal.
void set_program_name(const char *argv0);

#ifdef __cplusplus
}
#endif
