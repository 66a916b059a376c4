#include "xfts.h"

#include <assert.h>
#include <errno.h>

#include "xalloc.h"

FTS *
xfts_open(char *const *argv, int options, int (*compar)(const FTSENT **, const FTSENT **))
{
  FTS *fts = fts_open(argv, options, compar);
  if (!fts)
    {
      if (errno == ENOMEM)
        xalloc_die();
      assert(errno != EINVAL);
    }
  return fts;
}
