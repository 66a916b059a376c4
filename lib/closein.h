// Exit handler that also gives back unread standard input.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Returns the offset of a seekable standard input to just after what was
// consumed and closes it; a failure there reports "error closing file".
// Then closes standard output (close_stdout), and after a failure exits
// at once with exit_failure. Register with atexit().
void close_stdin(void);

#ifdef __cplusplus
}
#endif
