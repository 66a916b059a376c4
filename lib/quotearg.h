// Quoting of names in messages: turns a byte string into a text that shows
// exactly which bytes were meant, in one of several styles. Results that
// are not said to be new allocations live in reusable slots owned by this
// module: the text for slot N stays valid until the next call for slot N.
// Every call leaves errno as it found it.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

enum quoting_style {
  literal_quoting_style,              // "literal": the bytes as they are
  shell_quoting_style,                // "shell": quoted for a shell when needed
  shell_always_quoting_style,         // "shell-always": always quoted for a shell
  shell_escape_quoting_style,         // "shell-escape": as shell, with $'...' escapes
  shell_escape_always_quoting_style,  // "shell-escape-always"
  c_quoting_style,                    // "c": a C string literal
  c_maybe_quoting_style,              // "c-maybe": a C literal only when needed
  escape_quoting_style,               // "escape": backslash escapes, no quotes
  locale_quoting_style,               // "locale": the locale's quotation marks
  clocale_quoting_style,              // "clocale": as locale, "..." fallback
  custom_quoting_style,               // left and right quotes given by the caller
};

enum quoting_flags {
  // Leave null bytes of the argument out instead of showing them.
  drop_null_bytes = 1,
  // Leave the argument unquoted when nothing in it needs quoting.
  omit_outer_quotes = 2,
  // In the c style, break a ?? that would begin a trigraph.
  break_trigraphs = 4,
};

// Names of the styles (null-terminated) and their values, in the same order.
extern const char *const quoting_style_args[];
extern const enum quoting_style quoting_style_vals[];

// How to quote: style, flags, bytes to escape as well, custom quotes.
struct quote_settings {
  int style;                   // an enum quoting_style value
  int flags;                   // enum quoting_flags bits
  unsigned int extra_chars[8]; // bit c % 32 of word c / 32: escape byte c too
  const char *left_quote;      // custom style only
  const char *right_quote;     // custom style only
};

// All zero: literal, no flags, no extra characters.
extern struct quote_settings default_quoting_options;
// The locale style; used by quote() and quote_n().
extern struct quote_settings quote_quoting_options;

// A new copy of O (or of the defaults when O is null); free() it.
struct quote_settings *clone_quoting_options(const struct quote_settings *o);
enum quoting_style get_quoting_style(const struct quote_settings *o);
void set_quoting_style(struct quote_settings *o, enum quoting_style s);
// Turns escaping of byte C on or off; returns the old setting.
int set_char_quoting(struct quote_settings *o, char c, int on);
// Replaces the flags; returns the old ones.
int set_quoting_flags(struct quote_settings *o, int flags);
// Switches to the custom style with these quotes (neither may be null).
void set_custom_quoting(struct quote_settings *o, const char *left_quote,
                        const char *right_quote);

// Quotes ARGSIZE bytes of ARG (up to its terminator when ARGSIZE is
// SIZE_MAX) into BUFFER of BUFFERSIZE bytes, writing as much as fits and a
// terminator when there is room; returns the length the full result needs.
size_t quotearg_buffer(char *buffer, size_t buffersize, const char *arg,
                       size_t argsize, const struct quote_settings *o);
// New allocations (free() them); the length is stored in *SIZE when given.
char *quotearg_alloc(const char *arg, size_t argsize, const struct quote_settings *o);
char *quotearg_alloc_mem(const char *arg, size_t argsize, size_t *size,
                         const struct quote_settings *o);

// Slot results under the default settings.
char *quotearg_n(int n, const char *arg);
char *quotearg_n_mem(int n, const char *arg, size_t argsize);
char *quotearg(const char *arg);
char *quotearg_mem(const char *arg, size_t argsize);

// Slot results under a fresh record of style S.
char *quotearg_n_style(int n, enum quoting_style s, const char *arg);
char *quotearg_n_style_mem(int n, enum quoting_style s, const char *arg, size_t argsize);
char *quotearg_style(enum quoting_style s, const char *arg);
char *quotearg_style_mem(enum quoting_style s, const char *arg, size_t argsize);
// As quotearg_n_style, with ":" escaped too.
char *quotearg_n_style_colon(int n, enum quoting_style s, const char *arg);

// The defaults with one more byte (CH, or ":") escaped.
char *quotearg_char(const char *arg, char ch);
char *quotearg_char_mem(const char *arg, size_t argsize, char ch);
char *quotearg_colon(const char *arg);
char *quotearg_colon_mem(const char *arg, size_t argsize);

// The defaults switched to the custom style with these quotes.
char *quotearg_n_custom(int n, const char *left_quote, const char *right_quote,
                        const char *arg);
char *quotearg_n_custom_mem(int n, const char *left_quote, const char *right_quote,
                            const char *arg, size_t argsize);
char *quotearg_custom(const char *left_quote, const char *right_quote, const char *arg);
char *quotearg_custom_mem(const char *left_quote, const char *right_quote,
                          const char *arg, size_t argsize);

// The locale style, for names in messages.
const char *quote_n_mem(int n, const char *arg, size_t argsize);
const char *quote_mem(const char *arg, size_t argsize);
const char *quote_n(int n, const char *arg);
const char *quote(const char *arg);

// Frees every slot buffer but the static first one.
void quotearg_free(void);

#ifdef __cplusplus
}
#endif
