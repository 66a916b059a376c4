// Exit status of the fatal paths of this library (exhausted memory, a
// failed close of a standard stream). Initially 1; a program may change it
// once at start.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

extern int exit_failure;

#ifdef __cplusplus
}
#endif
