// The footer that ends every --help text.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Prints the online-help, translation-report and documentation lines for
// the program PROGRAM to standard output.
void emit_help_footer(const char *program);

#ifdef __cplusplus
}
#endif
