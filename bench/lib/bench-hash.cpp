// The support library's hash table against std::unordered_set and GLib's
// GHashTable on the same workloads in the same run: inserting, finding and
// removing integer-like entries and file-name strings. Prints the best of
// several rounds for each and the ratios to the peers.
#include <glib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "hash.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double
best_seconds(int rounds, F &&work)
{
  double best = 1e30;
  for (int i = 0; i < rounds; i++)
    {
      auto start = Clock::now();
      work();
      double s = std::chrono::duration<double>(Clock::now() - start).count();
      if (s < best)
        best = s;
    }
  return best;
}

// Keeps a result alive so the work is not optimised away.
volatile size_t sink;

size_t
int_hasher(const void *e, size_t n)
{
  return reinterpret_cast<uintptr_t>(e) % n;
}

bool
int_equal(const void *a, const void *b)
{
  return a == b;
}

size_t
string_hasher(const void *e, size_t n)
{
  return hash_pjw(e, n);
}

bool
string_equal(const void *a, const void *b)
{
  return strcmp(static_cast<const char *>(a), static_cast<const char *>(b)) == 0;
}

struct Result {
  const char *workload;
  double ours, unordered, glib;
};

Result
integers(size_t n, int rounds)
{
  std::vector<uintptr_t> keys(n);
  for (size_t i = 0; i < n; i++)
    keys[i] = (i + 1) * 2654435761u % 0xffffffffu + 1;

  auto work_ours = [&] {
    Hash_table *t = hash_initialize(0, nullptr, int_hasher, int_equal, nullptr);
    for (uintptr_t k : keys)
      hash_insert(t, reinterpret_cast<void *>(k));
    size_t found = 0;
    for (uintptr_t k : keys)
      found += hash_lookup(t, reinterpret_cast<void *>(k)) != nullptr;
    for (uintptr_t k : keys)
      hash_remove(t, reinterpret_cast<void *>(k));
    sink = found;
    hash_free(t);
  };
  auto work_unordered = [&] {
    std::unordered_set<uintptr_t> s;
    for (uintptr_t k : keys)
      s.insert(k);
    size_t found = 0;
    for (uintptr_t k : keys)
      found += s.count(k);
    for (uintptr_t k : keys)
      s.erase(k);
    sink = found;
  };
  auto work_glib = [&] {
    GHashTable *t = g_hash_table_new(g_direct_hash, g_direct_equal);
    for (uintptr_t k : keys)
      g_hash_table_add(t, reinterpret_cast<gpointer>(k));
    size_t found = 0;
    for (uintptr_t k : keys)
      found += g_hash_table_contains(t, reinterpret_cast<gpointer>(k));
    for (uintptr_t k : keys)
      g_hash_table_remove(t, reinterpret_cast<gpointer>(k));
    sink = found;
    g_hash_table_destroy(t);
  };
  return {"integer entries", best_seconds(rounds, work_ours),
          best_seconds(rounds, work_unordered), best_seconds(rounds, work_glib)};
}

Result
file_names(size_t n, int rounds)
{
  std::vector<std::string> names(n);
  for (size_t i = 0; i < n; i++)
    names[i] = "usr/share/doc/package-" + std::to_string(i % 997) + "/file-" + std::to_string(i);

  auto work_ours = [&] {
    Hash_table *t = hash_initialize(0, nullptr, string_hasher, string_equal, nullptr);
    for (const std::string &s : names)
      hash_insert(t, s.c_str());
    size_t found = 0;
    for (const std::string &s : names)
      found += hash_lookup(t, s.c_str()) != nullptr;
    sink = found;
    hash_free(t);
  };
  auto work_unordered = [&] {
    std::unordered_set<std::string_view> s;
    for (const std::string &name : names)
      s.insert(name);
    size_t found = 0;
    for (const std::string &name : names)
      found += s.count(name);
    sink = found;
  };
  auto work_glib = [&] {
    GHashTable *t = g_hash_table_new(g_str_hash, g_str_equal);
    for (const std::string &s : names)
      g_hash_table_add(t, const_cast<char *>(s.c_str()));
    size_t found = 0;
    for (const std::string &s : names)
      found += g_hash_table_contains(t, s.c_str());
    sink = found;
    g_hash_table_destroy(t);
  };
  return {"file names", best_seconds(rounds, work_ours), best_seconds(rounds, work_unordered),
          best_seconds(rounds, work_glib)};
}

}  // namespace

int
main()
{
  const size_t n = 200000;
  const int rounds = 5;
  Result results[] = {integers(n, rounds), file_names(n, rounds)};

  printf("%zu entries, best of %d rounds\n", n, rounds);
  printf("%-16s %10s %14s %10s %16s %12s\n", "workload", "ours ms", "unordered ms", "glib ms",
         "ours/unordered", "ours/glib");
  for (const Result &r : results)
    printf("%-16s %10.2f %14.2f %10.2f %16.2f %12.2f\n", r.workload, r.ours * 1e3,
           r.unordered * 1e3, r.glib * 1e3, r.ours / r.unordered, r.ours / r.glib);
  return 0;
}
