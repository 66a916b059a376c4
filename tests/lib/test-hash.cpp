#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "hash-alloc.h"
#include "hash.h"

namespace {

struct TableDeleter {
  void operator()(Hash_table *t) const { hash_free(t); }
};
using Table = std::unique_ptr<Hash_table, TableDeleter>;

// Entries are small integers disguised as pointers (never 0).
const void *
entry(uintptr_t n)
{
  return reinterpret_cast<const void *>(n);
}

uintptr_t
value(const void *e)
{
  return reinterpret_cast<uintptr_t>(e);
}

size_t
by_value(const void *e, size_t n)
{
  return value(e) % n;
}

bool
same_value(const void *a, const void *b)
{
  return value(a) % 1000 == value(b) % 1000;
}

TEST(Hash, BucketCountsArePrimesForTheExpectedEntries)
{
  struct Case {
    size_t expected_entries;
    size_t buckets;
  } cases[] = {
      {0, 11}, {1, 11}, {8, 11}, {7, 11}, {13, 17}, {16, 23},
      {31, 41}, {61, 79}, {103, 131}, {1000, 1259},
  };
  for (const Case &c : cases)
    {
      Table t(hash_initialize(c.expected_entries, nullptr, nullptr, nullptr, nullptr));
      ASSERT_NE(t, nullptr);
      EXPECT_EQ(hash_get_n_buckets(t.get()), c.buckets) << c.expected_entries << " entries";
    }
}

TEST(Hash, GrowsWhenTooManyBucketsAreUsed)
{
  Table t(hash_initialize(103, nullptr, by_value, nullptr, nullptr));
  ASSERT_EQ(hash_get_n_buckets(t.get()), 131u);
  // Values 1..105 each land in their own bucket of 131.
  for (uintptr_t i = 1; i <= 105; i++)
    ASSERT_EQ(hash_insert(t.get(), entry(i)), entry(i));
  // 104.8 buckets may be used before growing; the insertion that finds 105
  // in use grows the table first.
  EXPECT_EQ(hash_get_n_buckets(t.get()), 131u);
  EXPECT_EQ(hash_get_n_buckets_used(t.get()), 105u);
  ASSERT_EQ(hash_insert(t.get(), entry(106)), entry(106));
  EXPECT_EQ(hash_get_n_buckets(t.get()), 191u);
  EXPECT_EQ(hash_get_n_entries(t.get()), 106u);
  for (uintptr_t i = 1; i <= 106; i++)
    EXPECT_EQ(hash_lookup(t.get(), entry(i)), entry(i)) << i;
  EXPECT_EQ(hash_lookup(t.get(), entry(107)), nullptr);
}

TEST(Hash, APoorHashDoesNotMakeTheTableGrow)
{
  // Every entry in bucket 0: one bucket in use, so no growth at all.
  Table t(hash_initialize(0, nullptr, [](const void *, size_t) -> size_t { return 0; }, nullptr,
                          nullptr));
  for (uintptr_t i = 1; i <= 200; i++)
    ASSERT_EQ(hash_insert(t.get(), entry(i)), entry(i));
  EXPECT_EQ(hash_get_n_buckets(t.get()), 11u);
  EXPECT_EQ(hash_get_n_buckets_used(t.get()), 1u);
  EXPECT_EQ(hash_get_n_entries(t.get()), 200u);
  for (uintptr_t i = 1; i <= 200; i++)
    EXPECT_EQ(hash_lookup(t.get(), entry(i)), entry(i));
}

TEST(Hash, AnEqualEntryIsReturnedAndNotStored)
{
  Table t(hash_initialize(10, nullptr, [](const void *e, size_t n) { return value(e) % 1000 % n; },
                          same_value, nullptr));
  ASSERT_EQ(hash_insert(t.get(), entry(5)), entry(5));
  // 1005 equals 5 by the comparator.
  EXPECT_EQ(hash_insert(t.get(), entry(1005)), entry(5));
  const void *matched = nullptr;
  EXPECT_EQ(hash_insert_if_absent(t.get(), entry(2005), &matched), 0);
  EXPECT_EQ(matched, entry(5));
  EXPECT_EQ(hash_get_n_entries(t.get()), 1u);
  EXPECT_EQ(hash_get_n_buckets_used(t.get()), 1u);
  EXPECT_EQ(hash_insert_if_absent(t.get(), entry(6), nullptr), 1);
  EXPECT_EQ(hash_lookup(t.get(), entry(3005)), entry(5));
}

TEST(Hash, RemovalKeepsChainsAndCounts)
{
  // 11 buckets: 1, 12 and 23 share bucket 1.
  Table t(hash_initialize(0, nullptr, by_value, nullptr, nullptr));
  for (uintptr_t v : {1, 12, 23, 2})
    ASSERT_EQ(hash_insert(t.get(), entry(v)), entry(v));
  EXPECT_EQ(hash_get_n_buckets_used(t.get()), 2u);

  // Removing the head of a chained bucket keeps the bucket in use.
  EXPECT_EQ(hash_remove(t.get(), entry(1)), entry(1));
  EXPECT_EQ(hash_get_n_buckets_used(t.get()), 2u);
  EXPECT_EQ(hash_lookup(t.get(), entry(1)), nullptr);
  EXPECT_EQ(hash_lookup(t.get(), entry(12)), entry(12));
  EXPECT_EQ(hash_lookup(t.get(), entry(23)), entry(23));

  // A chain record in the middle.
  EXPECT_EQ(hash_remove(t.get(), entry(12)), entry(12));
  EXPECT_EQ(hash_lookup(t.get(), entry(23)), entry(23));

  // The last entry of a bucket empties it.
  EXPECT_EQ(hash_remove(t.get(), entry(23)), entry(23));
  EXPECT_EQ(hash_get_n_buckets_used(t.get()), 1u);
  EXPECT_EQ(hash_remove(t.get(), entry(23)), nullptr);
  EXPECT_EQ(hash_remove(t.get(), entry(2)), entry(2));
  EXPECT_EQ(hash_get_n_entries(t.get()), 0u);
  EXPECT_EQ(hash_get_n_buckets_used(t.get()), 0u);
  // Removal never shrinks with the default tuning.
  EXPECT_EQ(hash_get_n_buckets(t.get()), 11u);
}

// Counts and optionally refuses the table's allocations.
struct AllocationSpy {
  static inline int allocations = 0;
  static inline int fail_after = -1;  // allocations allowed before failing; -1 never

  static void *allocate(size_t size)
  {
    if (fail_after == 0)
      return nullptr;
    if (fail_after > 0)
      fail_after--;
    allocations++;
    return malloc(size);
  }
};

class HashAllocation : public ::testing::Test {
 protected:
  void SetUp() override
  {
    AllocationSpy::allocations = 0;
    AllocationSpy::fail_after = -1;
    hash_alloc::allocate = AllocationSpy::allocate;
  }
  void TearDown() override { hash_alloc::allocate = malloc; }
};

TEST_F(HashAllocation, OverflowRecordsAreRecycled)
{
  Table t(hash_initialize(0, nullptr, by_value, nullptr, nullptr));
  int after_create = AllocationSpy::allocations;
  // An empty bucket takes its entry without allocating.
  hash_insert(t.get(), entry(1));
  EXPECT_EQ(AllocationSpy::allocations, after_create);
  // A collision needs an overflow record; after a removal it is reused.
  hash_insert(t.get(), entry(12));
  EXPECT_EQ(AllocationSpy::allocations, after_create + 1);
  hash_remove(t.get(), entry(12));
  hash_insert(t.get(), entry(23));
  EXPECT_EQ(AllocationSpy::allocations, after_create + 1);
  EXPECT_EQ(hash_lookup(t.get(), entry(23)), entry(23));
}

TEST_F(HashAllocation, ChainHoldsTheNewestOverflowEntryFirst)
{
  Table t(hash_initialize(0, nullptr, by_value, nullptr, nullptr));
  for (uintptr_t v : {1, 12, 23, 34})
    hash_insert(t.get(), entry(v));
  std::vector<uintptr_t> order;
  hash_do_for_each(
      t.get(),
      [](void *e, void *data) {
        static_cast<std::vector<uintptr_t> *>(data)->push_back(value(e));
        return true;
      },
      &order);
  EXPECT_EQ(order, (std::vector<uintptr_t>{1, 34, 23, 12}));
}

// Spreads entries over the buckets of an 11-bucket table and piles them
// all into bucket 0 of any other size, so that a rehash must allocate an
// overflow record for every entry after the first.
size_t
collide_after_resize(const void *e, size_t n)
{
  return n == 11 ? value(e) % 11 : 0;
}

TEST_F(HashAllocation, FailedRehashLeavesTheTableAsItWas)
{
  Table t(hash_initialize(0, nullptr, collide_after_resize, nullptr, nullptr));
  for (uintptr_t v = 1; v <= 8; v++)
    ASSERT_EQ(hash_insert(t.get(), entry(v)), entry(v));
  ASSERT_EQ(hash_get_n_buckets_used(t.get()), 8u);

  // The new bucket array is fine; the third overflow record is refused.
  AllocationSpy::fail_after = 2;
  EXPECT_FALSE(hash_rehash(t.get(), 100));

  EXPECT_EQ(hash_get_n_buckets(t.get()), 11u);
  EXPECT_EQ(hash_get_n_buckets_used(t.get()), 8u);
  EXPECT_EQ(hash_get_n_entries(t.get()), 8u);
  for (uintptr_t v = 1; v <= 8; v++)
    EXPECT_EQ(hash_lookup(t.get(), entry(v)), entry(v)) << v;
  std::vector<uintptr_t> order;
  hash_do_for_each(
      t.get(),
      [](void *e, void *data) {
        static_cast<std::vector<uintptr_t> *>(data)->push_back(value(e));
        return true;
      },
      &order);
  EXPECT_EQ(order, (std::vector<uintptr_t>{1, 2, 3, 4, 5, 6, 7, 8}));

  // With memory available again the same rehash succeeds.
  AllocationSpy::fail_after = -1;
  EXPECT_TRUE(hash_rehash(t.get(), 100));
  EXPECT_EQ(hash_get_n_buckets(t.get()), 127u);
  EXPECT_EQ(hash_get_n_buckets_used(t.get()), 1u);
  for (uintptr_t v = 1; v <= 8; v++)
    EXPECT_EQ(hash_lookup(t.get(), entry(v)), entry(v)) << v;
}

TEST_F(HashAllocation, FailedGrowthFailsTheInsertion)
{
  Table t(hash_initialize(0, nullptr, collide_after_resize, nullptr, nullptr));
  for (uintptr_t v = 1; v <= 9; v++)
    ASSERT_EQ(hash_insert(t.get(), entry(v)), entry(v));
  // 9 of 11 buckets used (above 8.8): the next insertion grows, and the
  // growth needs overflow records.
  AllocationSpy::fail_after = 0;
  EXPECT_EQ(hash_insert_if_absent(t.get(), entry(10), nullptr), -1);
  EXPECT_EQ(hash_insert(t.get(), entry(10)), nullptr);
  EXPECT_EQ(hash_get_n_entries(t.get()), 9u);
  EXPECT_EQ(hash_get_n_buckets(t.get()), 11u);
  EXPECT_EQ(hash_lookup(t.get(), entry(10)), nullptr);
  AllocationSpy::fail_after = -1;
  EXPECT_EQ(hash_insert(t.get(), entry(10)), entry(10));
  EXPECT_EQ(hash_get_n_buckets(t.get()), 17u);
}

TEST(Hash, FreeCallsTheDataFreerOnEveryEntry)
{
  static int freed;
  freed = 0;
  Hash_table *t = hash_initialize(0, nullptr, [](const void *e, size_t n) {
        return *static_cast<const int *>(e) % 3 % n; },
      [](const void *a, const void *b) {
        return *static_cast<const int *>(a) == *static_cast<const int *>(b); },
      [](void *e) {
        freed++;
        delete static_cast<int *>(e);
      });
  for (int i = 0; i < 10; i++)
    hash_insert(t, new int(i));
  hash_free(t);
  EXPECT_EQ(freed, 10);
}

TEST(Hash, DefaultHashAndComparisonUseTheAddress)
{
  Table t(hash_initialize(0, nullptr, nullptr, nullptr, nullptr));
  int a = 1, b = 1;
  EXPECT_EQ(hash_insert(t.get(), &a), &a);
  EXPECT_EQ(hash_insert(t.get(), &b), &b);
  EXPECT_EQ(hash_get_n_entries(t.get()), 2u);
  EXPECT_EQ(hash_lookup(t.get(), &a), &a);
}

TEST(HashDeathTest, AHasherOutOfRangeAborts)
{
  EXPECT_DEATH(
      {
        Hash_table *t = hash_initialize(0, nullptr,
                                        [](const void *, size_t n) { return n; }, nullptr,
                                        nullptr);
        hash_insert(t, entry(1));
      },
      "");
}

TEST(HashPjw, RotatesAndAddsSignedBytes)
{
  EXPECT_EQ(hash_pjw("", 131), 0u);
  // 0x80 is -128: 2^64 - 128 modulo n.
  EXPECT_EQ(hash_pjw("\x80", 131), (SIZE_MAX - 127) % 131);
  EXPECT_EQ(hash_pjw("a", 1000), 97u);
  EXPECT_EQ(hash_pjw("ab", SIZE_MAX), (97u << 9) + 98u);
  // The rotation carries the high bits round instead of dropping them: by
  // the ninth byte the first byte's bit has gone past bit 63 to bit 8.
  EXPECT_EQ(hash_pjw("\x01\x01\x01\x01\x01\x01\x01\x01\x01", SIZE_MAX),
            (size_t{1} << 63) | (size_t{1} << 54) | (size_t{1} << 45) | (size_t{1} << 36)
                | (size_t{1} << 27) | (size_t{1} << 18) | (size_t{1} << 9) | (size_t{1} << 8)
                | 1u);
}

}  // namespace
