// The secure allocator against glibc malloc/free, measured in the same run:
//   mixed   allocations of 16 to 256 bytes freed in random order, with up
//           to 64 live at a time: operations per second of each, and the
//           ratio;
//   locked  locked bytes per secret for 1000 live secrets of 16 to 256
//           bytes, against the bytes asked for;
//   live    the cost of one allocation and free of 16 to 256 bytes while
//           10, 100 or 1000 cells are live, with a free gap after each
//           (of the cell's size, or of 16 bytes, which most requests cannot
//           use, so that first fit walks the whole free ring); against
//           malloc/free under the same load, and against the cost at 10
//           live cells.
// Each figure is the best of five rounds. SECMEM_BENCH_OPS sets the
// operations per round (default 2000000).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "tesk-secure-memory.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Allocator {
  const char *name;
  void *(*alloc)(size_t);
  void (*free)(void *);
};

void *secure_alloc(size_t n) { return tesk_secure_alloc_full("bench", n, 0); }
void secure_free(void *p) { tesk_secure_free_full(p, 0); }
void *system_alloc(size_t n) { return std::malloc(n); }
void system_free(void *p) { std::free(p); }

const Allocator secure = {"secure", secure_alloc, secure_free};
const Allocator system_malloc = {"malloc", system_alloc, system_free};

[[noreturn]] void die(const char *what) {
  std::fprintf(stderr, "secmem-bench: %s\n", what);
  std::exit(1);
}

// One pre-drawn step: which slot to touch and, if it is empty, how much to
// allocate there.
struct Step {
  unsigned slot;
  unsigned size;
};

std::vector<Step> draw_steps(size_t n, unsigned slots, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<unsigned> slot(0, slots - 1), size(16, 256);
  std::vector<Step> steps(n);
  for (auto &s : steps) s = {slot(random), size(random)};
  return steps;
}

// Seconds for the steps: an empty slot is filled, a full one freed.
double run_mixed(const Allocator &a, const std::vector<Step> &steps, unsigned slots) {
  std::vector<void *> live(slots, nullptr);
  auto start = Clock::now();
  for (const auto &s : steps) {
    void *&p = live[s.slot];
    if (p) {
      a.free(p);
      p = nullptr;
    } else {
      p = a.alloc(s.size);
      if (!p) die("allocation failed");
      static_cast<char *>(p)[0] = 1;
    }
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (void *p : live)
    if (p) a.free(p);
  return seconds;
}

template <typename F>
double best_of(int rounds, F f) {
  double best = 1e300;
  for (int i = 0; i < rounds; i++) best = std::min(best, f());
  return best;
}

// Seconds per allocation and free with `live` cells held, each followed by
// a free gap of gap_size bytes (0: of the cell's own size).
double per_pair(const Allocator &a, unsigned live, unsigned gap_size, size_t pairs, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<unsigned> size(16, 256);
  std::vector<void *> held, gaps;
  for (unsigned i = 0; i < live; i++) {
    unsigned n = size(random);
    held.push_back(a.alloc(n));
    gaps.push_back(a.alloc(gap_size ? gap_size : n));
    if (!held.back() || !gaps.back()) die("allocation failed");
  }
  for (void *p : gaps) a.free(p);

  std::vector<unsigned> sizes(pairs);
  for (auto &n : sizes) n = size(random);
  auto start = Clock::now();
  for (unsigned n : sizes) {
    void *p = a.alloc(n);
    if (!p) die("allocation failed");
    static_cast<char *>(p)[0] = 1;
    a.free(p);
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (void *p : held) a.free(p);
  return seconds / double(pairs);
}

// Locked bytes of all blocks, from the allocator's own cell list.
size_t locked_bytes() {
  guint n = 0;
  TeskSecureRec *records = tesk_secure_records(&n);
  size_t total = 0;
  for (guint i = 0; i < n; i++) total += records[i].block_length;
  std::free(records);
  return total;
}

}  // namespace

int main() {
  const char *env = std::getenv("SECMEM_BENCH_OPS");
  const size_t ops = env && *env ? std::strtoul(env, nullptr, 10) : 2000000;
  constexpr int rounds = 5;
  constexpr unsigned slots = 64;

  void *probe = tesk_secure_alloc_full("probe", 1, 0);
  if (!probe) die("this process cannot lock memory");
  tesk_secure_free_full(probe, 0);

  // Mixed allocation and free.
  auto steps = draw_steps(ops, slots, 1);
  double t_secure = best_of(rounds, [&] { return run_mixed(secure, steps, slots); });
  double t_malloc = best_of(rounds, [&] { return run_mixed(system_malloc, steps, slots); });
  std::printf("mixed 16-256 bytes, up to %u live, %zu operations:\n", slots, ops);
  std::printf("  secure  %12.0f ops/s\n", double(ops) / t_secure);
  std::printf("  malloc  %12.0f ops/s\n", double(ops) / t_malloc);
  std::printf("  ratio secure/malloc throughput: %.3f\n", t_malloc / t_secure);

  // Locked memory per secret.
  {
    std::mt19937 random(2);
    std::uniform_int_distribution<unsigned> size(16, 256);
    std::vector<void *> secrets;
    size_t asked = 0;
    for (int i = 0; i < 1000; i++) {
      unsigned n = size(random);
      asked += n;
      secrets.push_back(secure.alloc(n));
      if (!secrets.back()) die("allocation failed");
    }
    size_t locked = locked_bytes();
    std::printf("locked memory, 1000 live secrets of 16-256 bytes:\n");
    std::printf("  %.1f locked bytes per secret for %.1f bytes asked (ratio %.3f), %zu blocks of 16384\n",
                double(locked) / 1000, double(asked) / 1000, double(locked) / double(asked), locked / 16384);
    for (void *p : secrets) secure.free(p);
  }

  // Cost with many live cells: gaps of the cells' own sizes, and gaps of
  // 16 bytes that most requests cannot use, so each walks the whole ring.
  struct Load {
    const char *name;
    unsigned gap_size;
  } loads[] = {{"gaps of the cells' sizes", 0}, {"gaps of 16 bytes (worst case for first fit)", 16}};
  for (const auto &load : loads) {
    std::printf("one allocation and free of 16-256 bytes with N live cells, %s:\n", load.name);
    double secure_at_10 = 0;
    for (unsigned live : {10u, 100u, 1000u}) {
      const size_t pairs = std::max<size_t>(ops / 20, 1000);
      double s = best_of(rounds, [&] { return per_pair(secure, live, load.gap_size, pairs, 3); });
      double m = best_of(rounds, [&] { return per_pair(system_malloc, live, load.gap_size, pairs, 3); });
      if (live == 10) secure_at_10 = s;
      std::printf("  N=%-5u secure %8.1f ns  malloc %8.1f ns  ratio secure/malloc %6.2f  secure vs N=10 %6.2f\n",
                  live, s * 1e9, m * 1e9, s / m, s / secure_at_10);
    }
  }
  return 0;
}
