// Numeric option values: a text turned into an unsigned number with an
// exact account of what went wrong.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum strtol_error {
  LONGINT_OK = 0,
  // The value did not fit; the largest value was stored.
  LONGINT_OVERFLOW = 1,
  // Text follows the number.
  LONGINT_INVALID_SUFFIX_CHAR = 2,
  LONGINT_INVALID_SUFFIX_CHAR_WITH_OVERFLOW = LONGINT_INVALID_SUFFIX_CHAR | LONGINT_OVERFLOW,
  // No number, a minus sign, or a conversion error.
  LONGINT_INVALID = 4,
};

// Converts S in BASE (0 to 36; 0 takes a 0x prefix as hexadecimal and a
// leading 0 as octal) into *VAL. Leading white space is skipped; a minus
// sign is invalid. VALID_SUFFIXES lists the characters that may follow the
// number as a multiplier: b (512), c (1), w (2), and k or K, M, G, T, P, E
// for powers of 1024; the empty text allows none, and null allows any
// trailing text without complaint. When PTR is given it receives the
// position after the number (and its multiplier).
enum strtol_error xstrtoumax(const char *s, char **ptr, int base, uintmax_t *val,
                             const char *valid_suffixes);

#ifdef __cplusplus
}
#endif
