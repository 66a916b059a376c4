// A file mode as the ten-character permission string of listings and
// prompts, such as "drwxr-sr-x".
#pragma once

#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

// Writes into STR (at least 12 bytes) the type letter, the nine permission
// letters, a space and a terminator.
void strmode(mode_t mode, char *str);

#ifdef __cplusplus
}
#endif
