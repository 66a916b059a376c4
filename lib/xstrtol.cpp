#include "xstrtol.h"

#include <assert.h>
#include <ctype.h>
#include <errno.h>
#include <inttypes.h>
#include <string.h>

namespace {

// Multiplies *X by BASE raised to POWER, saturating; LONGINT_OVERFLOW when
// it saturated.
int
scale(uintmax_t *x, unsigned base, int power)
{
  int err = LONGINT_OK;
  for (; power > 0; power--)
    {
      if (*x > UINTMAX_MAX / base)
        {
          *x = UINTMAX_MAX;
          err = LONGINT_OVERFLOW;
        }
      else
        *x *= base;
    }
  return err;
}

}  // namespace

enum strtol_error
xstrtoumax(const char *s, char **ptr, int base, uintmax_t *val, const char *valid_suffixes)
{
  assert(0 <= base && base <= 36);

  char *end;
  char **p = ptr ? ptr : &end;

  const char *q = s;
  while (isspace(static_cast<unsigned char>(*q)))
    q++;
  if (*q == '-')
    {
      *p = const_cast<char *>(s);
      return LONGINT_INVALID;
    }

  errno = 0;
  uintmax_t tmp = strtoumax(s, p, base);
  int err = LONGINT_OK;
  if (*p == s)
    return LONGINT_INVALID;
  if (errno == ERANGE)
    err = LONGINT_OVERFLOW;
  else if (errno != 0)
    return LONGINT_INVALID;

  if (!valid_suffixes || **p == '\0')
    {
      *val = tmp;
      return static_cast<strtol_error>(err);
    }

  if (!strchr(valid_suffixes, **p))
    {
      *val = tmp;
      return static_cast<strtol_error>(err | LONGINT_INVALID_SUFFIX_CHAR);
    }

  int overflow = LONGINT_OK;
  switch (**p)
    {
    case 'b': overflow = scale(&tmp, 512, 1); break;
    case 'c': break;
    case 'w': overflow = scale(&tmp, 2, 1); break;
    case 'k': case 'K': overflow = scale(&tmp, 1024, 1); break;
    case 'M': overflow = scale(&tmp, 1024, 2); break;
    case 'G': overflow = scale(&tmp, 1024, 3); break;
    case 'T': overflow = scale(&tmp, 1024, 4); break;
    case 'P': overflow = scale(&tmp, 1024, 5); break;
    case 'E': overflow = scale(&tmp, 1024, 6); break;
    default:
      *val = tmp;
      return static_cast<strtol_error>(err | LONGINT_INVALID_SUFFIX_CHAR);
    }
  err |= overflow;
  (*p)++;
  *val = tmp;
  if (**p)
    err |= LONGINT_INVALID_SUFFIX_CHAR;
  return static_cast<strtol_error>(err);
}
