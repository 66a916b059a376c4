#include "argmatch.h"

#include <libintl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quotearg.h"
#include "verror.h"

// Defined by each program that matches keywords.
void usage(int status);

argmatch_exit_fn argmatch_die = __argmatch_die;

void
__argmatch_die(void)
{
  usage(EXIT_FAILURE);
}

ptrdiff_t
argmatch(const char *arg, const char *const *arglist, const void *vallist, size_t valsize)
{
  size_t arglen = strlen(arg);
  ptrdiff_t matchind = -1;
  bool ambiguous = false;
  const char *values = static_cast<const char *>(vallist);

  for (ptrdiff_t i = 0; arglist[i]; i++)
    {
      if (strncmp(arglist[i], arg, arglen) != 0)
        continue;
      if (strlen(arglist[i]) == arglen)
        return i;
      if (matchind == -1)
        matchind = i;
      else if (!values
               || memcmp(values + valsize * matchind, values + valsize * i, valsize) != 0)
        ambiguous = true;
    }
  return ambiguous ? -2 : matchind;
}

void
argmatch_invalid(const char *context, const char *value, ptrdiff_t problem)
{
  const char *format = problem == -1 ? gettext("invalid argument %s for %s")
                                     : gettext("ambiguous argument %s for %s");
  error(0, 0, format, quotearg_n_style(0, locale_quoting_style, value), quote_n(1, context));
}

void
argmatch_valid(const char *const *arglist, const void *vallist, size_t valsize)
{
  const char *values = static_cast<const char *>(vallist);
  const char *last_value = nullptr;

  fputs(gettext("Valid arguments are:"), stderr);
  for (size_t i = 0; arglist[i]; i++)
    {
      const char *value = values + valsize * i;
      if (i == 0 || memcmp(last_value, value, valsize) != 0)
        {
          fprintf(stderr, "\n  - %s", quote(arglist[i]));
          last_value = value;
        }
      else
        fprintf(stderr, ", %s", quote(arglist[i]));
    }
  putc('\n', stderr);
}

ptrdiff_t
__xargmatch_internal(const char *context, const char *arg, const char *const *arglist,
                     const void *vallist, size_t valsize, argmatch_exit_fn exit_fn,
                     bool allow_abbreviation)
{
  ptrdiff_t res = -1;
  if (allow_abbreviation)
    res = argmatch(arg, arglist, vallist, valsize);
  else
    {
      for (ptrdiff_t i = 0; arglist[i]; i++)
        if (strcmp(arglist[i], arg) == 0)
          {
            res = i;
            break;
          }
    }
  if (res >= 0)
    return res;

  argmatch_invalid(context, arg, res);
  argmatch_valid(arglist, vallist, valsize);
  exit_fn();
  return -1;
}
