// Exit handler that also gives back unread standard input.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Returns the offset of a seekable standard input to just after what was
// consumed, closes it, then closes standard output (close_stdout); a
// failure on standard input reports "error closing file" and exits with
// exit_failure. Register with atexit().
void close_stdin(void);

#ifdef __cplusplus
}
#endif
