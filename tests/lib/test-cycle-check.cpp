#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "cycle-check.h"
#include "process.h"

namespace {

struct Free {
  void operator()(cycle_check_state *s) const { cycle_check_free(s); }
};
using State = std::unique_ptr<cycle_check_state, Free>;

struct stat
dir_id(dev_t dev, ino_t ino)
{
  struct stat st {};
  st.st_dev = dev;
  st.st_ino = ino;
  return st;
}

TEST(CycleCheck, SequencesOfEnteringAndLeaving)
{
  // Each step enters (+) or leaves (-) the directory (dev, ino); a cycle is
  // expected only where marked.
  struct Step {
    char op;
    dev_t dev;
    ino_t ino;
    bool cycle;
  };
  struct Case {
    const char *what;
    std::vector<Step> steps;
  } cases[] = {
      {"a directory inside itself", {{'+', 1, 10, false}, {'+', 1, 10, true}}},
      {"a directory two levels down",
       {{'+', 1, 10, false}, {'+', 1, 11, false}, {'+', 1, 12, false}, {'+', 1, 10, true}}},
      {"the same inode on another device", {{'+', 1, 10, false}, {'+', 2, 10, false}}},
      {"the same directory side by side",
       {{'+', 1, 10, false}, {'+', 1, 11, false}, {'-', 1, 11, false}, {'+', 1, 11, false}}},
      {"re-entered after leaving",
       {{'+', 1, 10, false}, {'-', 1, 10, false}, {'+', 1, 10, false}}},
      {"a cycle seen again after one was refused",
       {{'+', 1, 10, false}, {'+', 1, 11, false}, {'+', 1, 10, true}, {'+', 1, 11, true}}},
  };
  for (const Case &c : cases)
    {
      SCOPED_TRACE(c.what);
      State state(cycle_check_new());
      size_t depth = 0;
      for (const Step &s : c.steps)
        {
          struct stat st = dir_id(s.dev, s.ino);
          if (s.op == '+')
            {
              bool cycle = cycle_check_enter(state.get(), &st);
              EXPECT_EQ(cycle, s.cycle) << s.dev << "," << s.ino;
              if (!cycle)
                depth++;
            }
          else
            {
              cycle_check_leave(state.get(), &st);
              depth--;
            }
          EXPECT_EQ(cycle_check_depth(state.get()), depth);
        }
    }
}

TEST(CycleCheck, LinkBackToAnAncestor)
{
  // d/e/up -> .. leads back to d: following it is a cycle.
  testsupport::TempDir tmp;
  ASSERT_EQ(mkdir((tmp / "d").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((tmp / "d/e").c_str(), 0755), 0);
  ASSERT_EQ(symlink("..", (tmp / "d/e/up").c_str()), 0);
  struct stat d, e, up;
  ASSERT_EQ(stat((tmp / "d").c_str(), &d), 0);
  ASSERT_EQ(stat((tmp / "d/e").c_str(), &e), 0);
  ASSERT_EQ(stat((tmp / "d/e/up").c_str(), &up), 0);

  State state(cycle_check_new());
  EXPECT_FALSE(cycle_check_enter(state.get(), &d));
  EXPECT_FALSE(cycle_check_enter(state.get(), &e));
  EXPECT_TRUE(cycle_check_enter(state.get(), &up));
  cycle_check_leave(state.get(), &e);
  cycle_check_leave(state.get(), &d);
  EXPECT_EQ(cycle_check_depth(state.get()), 0u);
}

}  // namespace
