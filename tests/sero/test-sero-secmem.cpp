// The globals record of the secure memory allocator: its version, its lock
// and its realloc-style fallback.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "sero.h"

namespace {

TEST(SecmemPoolData, StartsEmptyWithVersionOnePointZero) {
  EXPECT_STREQ(SECMEM_pool_data_v1_0.pool_version, "1.0");
  EXPECT_EQ(SECMEM_pool_data_v1_0.pool_data, nullptr);
  EXPECT_NE(SECMEM_pool_data_v1_0.lock, nullptr);
  EXPECT_NE(SECMEM_pool_data_v1_0.unlock, nullptr);
  EXPECT_NE(SECMEM_pool_data_v1_0.fallback, nullptr);
}

TEST(SecmemPoolData, FallbackAllocatesResizesAndFrees) {
  auto fallback = SECMEM_pool_data_v1_0.fallback;
  EXPECT_EQ(fallback(nullptr, 0), nullptr);

  auto *p = static_cast<char *>(fallback(nullptr, 16));
  ASSERT_NE(p, nullptr);
  std::memcpy(p, "0123456789abcdef", 16);
  // Growing keeps the contents, wherever the memory ends up.
  p = static_cast<char *>(fallback(p, 100000));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::memcmp(p, "0123456789abcdef", 16), 0);
  p[99999] = 'z';
  // Shrinking keeps the front.
  p = static_cast<char *>(fallback(p, 4));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::memcmp(p, "0123", 4), 0);
  EXPECT_EQ(fallback(p, 0), nullptr);
}

TEST(SecmemPoolData, LockSerializesThreads) {
  // Unlocked, these read-modify-write cycles would lose updates.
  volatile long counter = 0;
  constexpr int threads = 4, rounds = 5000;
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; t++)
    workers.emplace_back([&] {
      for (int i = 0; i < rounds; i++) {
        SECMEM_pool_data_v1_0.lock();
        long seen = counter;
        std::this_thread::yield();
        counter = seen + 1;
        SECMEM_pool_data_v1_0.unlock();
      }
    });
  for (auto &w : workers) w.join();
  EXPECT_EQ(counter, long(threads) * rounds);
}

}  // namespace
