// Closing a stream and telling whether output was lost.
#pragma once

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

// 0 on success, EOF when buffered output was lost or the stream had an
// error; errno is 0 when no system error explains the failure.
int close_stream(FILE *stream);

#ifdef __cplusplus
}
#endif
