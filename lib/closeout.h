// Exit handler that makes sure standard output reached its destination.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Closes standard output, reporting "write error" and exiting at once with
// exit_failure on failure; then closes standard error (silently exiting
// with exit_failure if that fails). Register with atexit().
void close_stdout(void);

#ifdef __cplusplus
}
#endif
