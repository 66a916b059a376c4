// One yes/no answer from standard input.
#pragma once

#include <stdbool.h>

#ifdef __cplusplus
extern "C" {
#endif

// Reads one line; true when the locale recognises it as affirmative. End of
// input or an unreadable line is no.
bool yesno(void);

#ifdef __cplusplus
}
#endif
