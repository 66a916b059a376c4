// The text of --version.
#pragma once

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

// Prints the version line "COMMAND (PACKAGE) VERSION", the copyright and
// licence lines and the authors, given as further texts ended by a null.
void version_etc(FILE *stream, const char *command_name, const char *package,
                 const char *version, /* const char *author1, ... */...)
    __attribute__((sentinel));

#ifdef __cplusplus
}
#endif
