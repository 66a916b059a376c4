#include "cycle-check.h"

#include <assert.h>

#include <memory>
#include <new>
#include <set>
#include <utility>

#include "xalloc.h"

struct cycle_check_state {
  std::set<std::pair<dev_t, ino_t>> active;
};

struct cycle_check_state *
cycle_check_new(void)
{
  try
    {
      return std::make_unique<cycle_check_state>().release();
    }
  catch (const std::bad_alloc &)
    {
      xalloc_die();
    }
}

void
cycle_check_free(struct cycle_check_state *state)
{
  std::unique_ptr<cycle_check_state> owned(state);
}

bool
cycle_check_enter(struct cycle_check_state *state, const struct stat *dir)
{
  try
    {
      return !state->active.emplace(dir->st_dev, dir->st_ino).second;
    }
  catch (const std::bad_alloc &)
    {
      xalloc_die();
    }
}

void
cycle_check_leave(struct cycle_check_state *state, const struct stat *dir)
{
  [[maybe_unused]] size_t erased = state->active.erase({dir->st_dev, dir->st_ino});
  assert(erased == 1);
}

size_t
cycle_check_depth(const struct cycle_check_state *state)
{
  return state->active.size();
}
