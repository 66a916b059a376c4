#include "copy-options.h"

#include <unistd.h>

void
cp_options_default(struct cp_options *x)
{
  *x = cp_options{};
  x->rename_result = -1;
  bool root = geteuid() == 0;
  x->may_chown_any = root;
  x->may_act_as_owner = root;
}
