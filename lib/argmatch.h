// Turning an option value that names one of a fixed set of keywords into
// that keyword's value. Unambiguous abbreviations are accepted; a bad value
// is explained with the list of valid keywords.
//
// A keyword table is a null-terminated array of texts with a parallel array
// of values of one fixed size; synonyms are adjacent keywords whose values
// are byte-identical.
#pragma once

#include <stdbool.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*argmatch_exit_fn)(void);

// Ends the program after a bad keyword. Points to __argmatch_die, which
// calls the program's usage routine with status 1; every program that uses
// these functions defines `void usage (int status)`.
extern argmatch_exit_fn argmatch_die;
void __argmatch_die(void);

// Index of the keyword that ARG names exactly, else of the keyword (or the
// synonyms, when VALLIST is given) it abbreviates; -1 when none matches,
// -2 when the abbreviation is ambiguous.
ptrdiff_t argmatch(const char *arg, const char *const *arglist,
                   const void *vallist, size_t valsize);

// Reports ARG as an invalid (PROBLEM -1) or ambiguous (-2) value for the
// option CONTEXT.
void argmatch_invalid(const char *context, const char *value, ptrdiff_t problem);

// Lists the valid keywords on standard error, synonyms on one line.
void argmatch_valid(const char *const *arglist, const void *vallist, size_t valsize);

// The index of the keyword ARG names (abbreviated only when
// ALLOW_ABBREVIATION); otherwise reports, lists the valid keywords and
// calls EXIT_FN, returning -1 only if that returns.
ptrdiff_t __xargmatch_internal(const char *context, const char *arg,
                               const char *const *arglist, const void *vallist,
                               size_t valsize, argmatch_exit_fn exit_fn,
                               bool allow_abbreviation);

#ifdef __cplusplus
}

// The value of the keyword ARG names; a bad ARG ends the program through
// argmatch_die.
template <typename T>
const T &
xargmatch(const char *context, const char *arg, const char *const *arglist,
          const T *vallist)
{
  return vallist[__xargmatch_internal(context, arg, arglist, vallist, sizeof *vallist,
                                      argmatch_die, true)];
}
#endif
