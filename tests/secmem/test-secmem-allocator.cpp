// The locked-page allocator: cell sizes, splitting and merging, blocks
// coming and going, resizing in place, the fallback, its messages, and the
// checks that stop the process when a cell was overrun.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "in-child.h"
#include "sero-secmem.h"
#include "tesk-secure-memory.h"

namespace {

constexpr size_t WORD = sizeof(void *);
constexpr size_t BLOCK = 16384;

struct Cell {
  std::string tag;  // "" for a free cell
  size_t requested;
  size_t bytes;
  bool operator==(const Cell &) const = default;
  friend std::ostream &operator<<(std::ostream &os, const Cell &c) {
    return os << "{\"" << c.tag << "\", " << c.requested << ", " << c.bytes << "}";
  }
};

// Every cell of every block, as the allocator lists them.
std::vector<Cell> cells() {
  guint n = 0;
  TeskSecureRec *records = tesk_secure_records(&n);
  std::vector<Cell> out;
  for (guint i = 0; i < n; i++)
    out.push_back({records[i].tag ? records[i].tag : "", records[i].request_length, records[i].block_length});
  std::free(records);
  return out;
}

size_t total_bytes(const std::vector<Cell> &list) {
  size_t total = 0;
  for (const auto &c : list) total += c.bytes;
  return total;
}

size_t count_free(const std::vector<Cell> &list) {
  return size_t(std::count_if(list.begin(), list.end(), [](const Cell &c) { return c.tag.empty(); }));
}

bool all_zero(const void *memory, size_t length) {
  auto *bytes = static_cast<const unsigned char *>(memory);
  return std::all_of(bytes, bytes + length, [](unsigned char b) { return b == 0; });
}

// Locked memory of this process in kB, from /proc/self/status.
long locked_kb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmLck:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// The address sanitizer replaces mlock and munlock with calls that do
// nothing and succeed, so locking can be neither seen nor refused there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool locking_is_real = false;
#else
constexpr bool locking_is_real = true;
#endif
constexpr const char *no_real_locking = "mlock is a no-op under the address sanitizer";

using ChildResult = testsupport::Outcome;
using testsupport::in_child;

// Gives up root in a child so that the locked-memory limit applies.
bool become_unprivileged() {
  if (geteuid() != 0) return true;
  return setgid(65534) == 0 && setuid(65534) == 0;
}

// Counts the calls that reach the globals' fallback allocator.
struct FallbackSpy {
  static inline int allocations = 0;
  static inline int frees = 0;
  static inline void *(*real)(void *, size_t) = nullptr;

  static void *call(void *pointer, size_t length) {
    if (!pointer) allocations++;
    if (pointer && length == 0) frees++;
    return real(pointer, length);
  }

  FallbackSpy() {
    allocations = frees = 0;
    real = SECMEM_pool_data_v1_0.fallback;
    SECMEM_pool_data_v1_0.fallback = call;
  }
  ~FallbackSpy() { SECMEM_pool_data_v1_0.fallback = real; }
};

class ScopedEnv {
 public:
  ScopedEnv(const char *name, const char *value) : name_(name) { setenv(name, value, 1); }
  ~ScopedEnv() { unsetenv(name_); }

 private:
  const char *name_;
};

// Every test starts and ends without blocks, and leaves consistent rings.
class SecureMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(cells().empty()) << "blocks left over from an earlier test";
    void *probe = tesk_secure_alloc_full("probe", 1, 0);
    if (!probe) GTEST_SKIP() << "this process cannot lock memory (RLIMIT_MEMLOCK)";
    tesk_secure_free_full(probe, 0);
  }
  void TearDown() override {
    tesk_secure_validate();
    EXPECT_TRUE(cells().empty()) << "a test left allocations behind";
  }
};

TEST_F(SecureMemory, CellsTakeTheDataWordsAndTwoGuards) {
  struct Case {
    size_t length;
    size_t words;
  } cases[] = {
      {1, 3}, {WORD, 3}, {WORD + 1, 4}, {2 * WORD, 4}, {100, 15}, {1000, 127},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.length);
    void *p = tesk_secure_alloc_full("cell", c.length, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(tesk_secure_check(p));
    EXPECT_EQ(uintptr_t(p) % WORD, 0u);
    EXPECT_TRUE(all_zero(p, c.length));
    // Per block: the free ring, then the allocated ring.
    std::vector<Cell> expected = {{"", 0, BLOCK - c.words * WORD}, {"cell", c.length, c.words * WORD}};
    EXPECT_EQ(cells(), expected);
    std::memset(p, 0x5A, c.length);
    tesk_secure_validate();
    tesk_secure_free_full(p, 0);
  }
}

TEST_F(SecureMemory, TagNoneStandsForQuestionMark) {
  void *p = tesk_secure_alloc_full(nullptr, 5, 0);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(cells().back(), (Cell{"?", 5, 3 * WORD}));
  tesk_secure_free(p);
}

TEST_F(SecureMemory, ZeroLengthGivesNothingWithoutError) {
  errno = 0;
  EXPECT_EQ(tesk_secure_alloc_full("zero", 0, 0), nullptr);
  EXPECT_EQ(errno, 0);
  EXPECT_TRUE(cells().empty());
}

TEST_F(SecureMemory, RequestsOfABlockOrMoreGetABlockOfTheirOwnSize) {
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  // A request of exactly the default block size still needs room for its
  // guard words, so its block is one page larger.
  for (size_t length : {BLOCK - WORD, BLOCK, BLOCK + 1, size_t(100000)}) {
    SCOPED_TRACE(length);
    void *p = tesk_secure_alloc_full("large", length, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(tesk_secure_check(p));
    const size_t cell = ((length + WORD - 1) / WORD + 2) * WORD;
    const size_t block = std::max((cell + page - 1) / page * page, BLOCK);
    auto list = cells();
    EXPECT_EQ(total_bytes(list), block);
    EXPECT_EQ(list.back(), (Cell{"large", length, block - cell <= 4 * WORD ? block : cell}));
    static_cast<char *>(p)[length - 1] = 1;
    tesk_secure_validate();
    tesk_secure_free_full(p, 0);
  }
}

TEST_F(SecureMemory, BlocksAreLockedAndGoBackWhenEmpty) {
  if (!locking_is_real) GTEST_SKIP() << no_real_locking;
  const long before = locked_kb();
  ASSERT_GE(before, 0);
  void *p = tesk_secure_alloc_full("locked", 1, 0);
  ASSERT_NE(p, nullptr);
  EXPECT_GE(locked_kb(), before + long(BLOCK / 1024));
  tesk_secure_free_full(p, 0);
  EXPECT_TRUE(cells().empty());
  EXPECT_FALSE(tesk_secure_check(p));
  EXPECT_EQ(locked_kb(), before);

  // A later allocation maps a new block.
  void *q = tesk_secure_alloc_full("again", 1, 0);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(total_bytes(cells()), BLOCK);
  tesk_secure_free_full(q, 0);
}

TEST_F(SecureMemory, FreeingMergesWithFreeNeighbours) {
  void *first = tesk_secure_alloc_full("a", 100, 0);
  void *second = tesk_secure_alloc_full("b", 100, 0);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(static_cast<char *>(second) - static_cast<char *>(first), ptrdiff_t(15 * WORD));

  tesk_secure_free_full(first, 0);
  auto list = cells();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(count_free(list), 2u);
  EXPECT_NE(std::find(list.begin(), list.end(), Cell{"", 0, 15 * WORD}), list.end());
  EXPECT_EQ(list.back(), (Cell{"b", 100, 15 * WORD}));
  EXPECT_EQ(total_bytes(list), BLOCK);

  // The second merges with the free cells on both sides; the block is empty
  // and goes away.
  tesk_secure_free_full(second, 0);
  EXPECT_TRUE(cells().empty());
  EXPECT_FALSE(tesk_secure_check(second));
}

// Four neighbouring cells freed in every order: after each step no two free
// cells are neighbours, the cells still tile the block, and the rest is
// intact.
TEST_F(SecureMemory, FreeingInEveryOrderKeepsOneFreeCellPerGap) {
  std::array<int, 4> order = {0, 1, 2, 3};
  do {
    SCOPED_TRACE(::testing::PrintToString(order));
    void *keep = tesk_secure_alloc_full("keep", 8, 0);  // keeps the block mapped
    std::array<char *, 4> p;
    for (size_t i = 0; i < p.size(); i++) {
      p[i] = static_cast<char *>(tesk_secure_alloc_full("cell", 24, 0));
      ASSERT_NE(p[i], nullptr);
      std::memset(p[i], 'a' + int(i), 24);
    }
    // Layout: keep, p0, p1, p2, p3, free rest.
    std::array<bool, 4> freed = {};
    for (int index : order) {
      tesk_secure_free_full(p[size_t(index)], 0);
      freed[size_t(index)] = true;
      tesk_secure_validate();
      size_t runs = 0;
      for (size_t i = 0; i < freed.size(); i++)
        if (freed[i] && (i == 0 || !freed[i - 1])) runs++;
      if (!freed[3]) runs++;  // the free rest of the block is its own gap
      auto list = cells();
      EXPECT_EQ(count_free(list), runs);
      EXPECT_EQ(total_bytes(list), BLOCK);
      for (size_t i = 0; i < freed.size(); i++)
        if (!freed[i]) {
          EXPECT_EQ(std::string(p[i], 24), std::string(24, char('a' + int(i))));
        }
    }
    tesk_secure_free_full(keep, 0);
    EXPECT_TRUE(cells().empty());
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(SecureMemory, FreeingWipesTheCell) {
  void *before = tesk_secure_alloc_full("before", 8, 0);
  auto *secret = static_cast<char *>(tesk_secure_alloc_full("secret", 32, 0));
  void *after = tesk_secure_alloc_full("after", 8, 0);
  ASSERT_NE(secret, nullptr);
  std::memset(secret, 'S', 32);
  tesk_secure_free_full(secret, 0);
  // The block stays mapped, held by its neighbours.
  EXPECT_TRUE(all_zero(secret, 32));
  tesk_secure_free_full(before, 0);
  tesk_secure_free_full(after, 0);
}

TEST_F(SecureMemory, FirstFitReusesTheFirstLargeEnoughGap) {
  void *keep = tesk_secure_alloc_full("keep", 8, 0);
  void *small = tesk_secure_alloc_full("small", 16, 0);  // 4 words
  void *mid = tesk_secure_alloc_full("mid", 8, 0);
  tesk_secure_free_full(small, 0);
  // Fits the 4-word gap exactly: taken whole, not split, same place.
  void *again = tesk_secure_alloc_full("again", 9, 0);
  EXPECT_EQ(again, small);
  EXPECT_EQ(count_free(cells()), 1u);
  tesk_secure_free_full(again, 0);
  // Too large for the gap: comes from the rest of the block.
  void *large = tesk_secure_alloc_full("large", 17, 0);
  EXPECT_GT(large, mid);
  EXPECT_EQ(count_free(cells()), 2u);
  for (void *p : {keep, mid, large}) tesk_secure_free_full(p, 0);
}

TEST_F(SecureMemory, ResizeWithinTheCellKeepsTheAddressAndZeroesNewBytes) {
  auto *p = static_cast<unsigned char *>(tesk_secure_alloc_full("resize", 2 * WORD, 0));
  ASSERT_NE(p, nullptr);
  std::memset(p, 0xFF, 2 * WORD);
  // Shrinking wipes what was cut off at once.
  EXPECT_EQ(tesk_secure_realloc_full("resize", p, 10, 0), p);
  EXPECT_TRUE(all_zero(p + 10, 2 * WORD - 10));
  // Growing within the cell keeps the address and the tag; the new bytes
  // read as zero.
  EXPECT_EQ(tesk_secure_realloc_full("other", p, 12, 0), p);
  EXPECT_EQ(std::vector<unsigned char>(p, p + 12),
            (std::vector<unsigned char>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}));
  EXPECT_EQ(cells().back(), (Cell{"resize", 12, 4 * WORD}));
  tesk_secure_free_full(p, 0);
}

TEST_F(SecureMemory, GrowingTakesTheFreeSpaceAfterTheCell) {
  auto *p = static_cast<unsigned char *>(tesk_secure_alloc_full("grow", 10, 0));
  ASSERT_NE(p, nullptr);
  std::memset(p, 0x77, 10);
  auto *q = static_cast<unsigned char *>(tesk_secure_realloc_full("grown", p, 1000, 0));
  EXPECT_EQ(q, p);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(q), 10), std::string(10, '\x77'));
  EXPECT_TRUE(all_zero(q + 10, 990));
  std::vector<Cell> expected = {{"", 0, BLOCK - 127 * WORD}, {"grown", 1000, 127 * WORD}};
  EXPECT_EQ(cells(), expected);
  tesk_secure_free_full(q, 0);
}

TEST_F(SecureMemory, GrowingAbsorbsASmallFreeNeighbourWhole) {
  void *p = tesk_secure_alloc_full("p", 8, 0);         // 3 words
  void *gap = tesk_secure_alloc_full("gap", 16, 0);    // 4 words
  void *next = tesk_secure_alloc_full("next", 8, 0);   // 3 words
  tesk_secure_free_full(gap, 0);
  // 40 bytes need 7 words: the 4-word gap is taken whole.
  EXPECT_EQ(tesk_secure_realloc_full("p", p, 40, 0), p);
  auto list = cells();
  EXPECT_EQ(count_free(list), 1u);
  EXPECT_NE(std::find(list.begin(), list.end(), Cell{"p", 40, 7 * WORD}), list.end());
  // Now the neighbour is allocated: growing moves the cell within the block,
  // keeping its bytes.
  std::memset(p, 'x', 40);
  auto *moved = static_cast<char *>(tesk_secure_realloc_full("p", p, 48, 0));
  ASSERT_NE(moved, nullptr);
  EXPECT_NE(moved, p);
  EXPECT_TRUE(tesk_secure_check(moved));
  EXPECT_EQ(std::string(moved, 40), std::string(40, 'x'));
  EXPECT_TRUE(all_zero(moved + 40, 8));
  EXPECT_EQ(total_bytes(cells()), BLOCK);
  tesk_secure_free_full(moved, 0);
  tesk_secure_free_full(next, 0);
}

TEST_F(SecureMemory, GrowingPastTheBlockMovesToANewBlock) {
  auto *big = static_cast<char *>(tesk_secure_alloc_full("big", 16000, 0));
  void *pin = tesk_secure_alloc_full("pin", 8, 0);
  ASSERT_NE(big, nullptr);
  std::memset(big, 'B', 16000);
  auto *moved = static_cast<char *>(tesk_secure_realloc_full("big", big, 20000, 0));
  ASSERT_NE(moved, nullptr);
  EXPECT_NE(moved, big);
  EXPECT_TRUE(tesk_secure_check(moved));
  EXPECT_EQ(std::string(moved, 16000), std::string(16000, 'B'));
  EXPECT_TRUE(all_zero(moved + 16000, 4000));
  tesk_secure_free_full(pin, 0);
  // Only the new block is left.
  EXPECT_EQ(cells().back(), (Cell{"big", 20000, (20000 / WORD + 2) * WORD}));
  tesk_secure_free_full(moved, 0);
}

TEST_F(SecureMemory, ResizeOfNothingAllocatesAndToZeroFrees) {
  void *p = tesk_secure_realloc_full("new", nullptr, 20, 0);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(all_zero(p, 20));
  EXPECT_EQ(cells().back(), (Cell{"new", 20, 5 * WORD}));
  EXPECT_EQ(tesk_secure_realloc_full("new", p, 0, 0), nullptr);
  EXPECT_TRUE(cells().empty());
}

TEST_F(SecureMemory, InsaneRequestsAreRefusedWithAMessage) {
  struct Case {
    bool resize;
    bool warnings;
    const char *message;
  } cases[] = {
      {false, true, "tried to allocate an insane amount of memory: 2147483648\n"},
      {true, true, "tried to allocate an insane amount of memory: 2147483648\n"},
      {false, false, ""},
      {true, false, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(::testing::Message() << "resize " << c.resize << " warnings " << c.warnings);
    void *held = c.resize ? tesk_secure_alloc_full("held", 8, 0) : nullptr;
    tesk_set_secure_warnings(c.warnings);
    errno = 0;
    ::testing::internal::CaptureStderr();
    void *p = c.resize ? tesk_secure_realloc_full("x", held, 2147483648u, 0)
                       : tesk_secure_alloc_full("x", 2147483648u, 0);
    std::string err = ::testing::internal::GetCapturedStderr();
    tesk_set_secure_warnings(TRUE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(errno, 0);
    EXPECT_EQ(err, c.message);
    tesk_secure_free_full(held, 0);
  }
}

TEST_F(SecureMemory, CopiesOfText) {
  struct Case {
    const char *text;
    gssize length;  // -1: tesk_secure_strdup_full
    const char *copy;
  } cases[] = {
      {"abc", -1, "abc"}, {"", -1, ""},     {"abc", 2, "ab"}, {"abc", 3, "abc"},
      {"abc", 10, "abc"}, {"abc", 0, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(::testing::Message() << c.text << " " << c.length);
    char *copy = c.length < 0 ? tesk_secure_strdup_full("copy", c.text, 0)
                              : tesk_secure_strndup_full("copy", c.text, gsize(c.length), 0);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(tesk_secure_check(copy));
    EXPECT_STREQ(copy, c.copy);
    EXPECT_EQ(cells().back().requested, std::strlen(c.copy) + 1);
    tesk_secure_strfree(copy);
  }
  EXPECT_EQ(tesk_secure_strdup_full("copy", nullptr, 0), nullptr);
  EXPECT_EQ(tesk_secure_strndup_full("copy", nullptr, 3, 0), nullptr);
}

TEST_F(SecureMemory, ClearingOverwritesTheCharactersButNotTheTerminator) {
  char *text = tesk_secure_strdup_full("clear", "pass", 0);
  ASSERT_NE(text, nullptr);
  tesk_secure_strclear(text);
  EXPECT_EQ(std::string(text, 5), std::string("\xAA\xAA\xAA\xAA\0", 5));
  tesk_secure_clear(text, 2);
  tesk_secure_clear(nullptr, 2);
  tesk_secure_strclear(nullptr);
  tesk_secure_strfree(nullptr);
  tesk_secure_free(text);
}

TEST_F(SecureMemory, CheckKnowsOnlyItsBlocks) {
  int on_stack = 0;
  void *ordinary = std::malloc(16);
  char *p = static_cast<char *>(tesk_secure_alloc_full("check", 16, 0));
  EXPECT_TRUE(tesk_secure_check(p));
  EXPECT_TRUE(tesk_secure_check(p + 15));
  EXPECT_FALSE(tesk_secure_check(&on_stack));
  EXPECT_FALSE(tesk_secure_check(ordinary));
  EXPECT_FALSE(tesk_secure_check(nullptr));
  std::free(ordinary);
  tesk_secure_free_full(p, 0);
}

TEST_F(SecureMemory, ForcedFallbackServesCallersThatAllowIt) {
  FallbackSpy spy;
  ScopedEnv force("SECMEM_FORCE_FALLBACK", "1");

  auto *p = static_cast<char *>(tesk_secure_alloc_full("fallback", 64, TESK_SECURE_USE_FALLBACK));
  ASSERT_NE(p, nullptr);
  EXPECT_FALSE(tesk_secure_check(p));
  EXPECT_TRUE(cells().empty());
  EXPECT_TRUE(all_zero(p, 64));
  EXPECT_EQ(spy.allocations, 1);
  std::memset(p, 'f', 64);
  // Resizing and freeing go back to the fallback as well.
  p = static_cast<char *>(tesk_secure_realloc_full("fallback", p, 4096, TESK_SECURE_USE_FALLBACK));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::string(p, 64), std::string(64, 'f'));
  tesk_secure_free(p);
  EXPECT_EQ(spy.frees, 1);

  // Text copies too.
  char *text = tesk_secure_strdup_full("fallback", "secret", TESK_SECURE_USE_FALLBACK);
  ASSERT_NE(text, nullptr);
  EXPECT_FALSE(tesk_secure_check(text));
  tesk_secure_strfree(text);
  EXPECT_EQ(spy.frees, 2);

  // Callers that do not allow the fallback get nothing.
  errno = 0;
  EXPECT_EQ(tesk_secure_alloc_full("strict", 64, 0), nullptr);
  EXPECT_EQ(errno, ENOMEM);
  EXPECT_EQ(spy.allocations, 2);
}

TEST_F(SecureMemory, ForcedFallbackStillUsesExistingBlocks) {
  void *held = tesk_secure_alloc_full("held", 8, 0);
  ASSERT_NE(held, nullptr);
  FallbackSpy spy;
  ScopedEnv force("SECMEM_FORCE_FALLBACK", "1");
  void *p = tesk_secure_alloc_full("more", 8, TESK_SECURE_USE_FALLBACK);
  EXPECT_TRUE(tesk_secure_check(p));
  EXPECT_EQ(spy.allocations, 0);
  // Too large for the block: no new block is made.
  void *big = tesk_secure_alloc_full("big", 20000, TESK_SECURE_USE_FALLBACK);
  ASSERT_NE(big, nullptr);
  EXPECT_FALSE(tesk_secure_check(big));
  EXPECT_EQ(spy.allocations, 1);
  // A secure cell that has to move out of its block lands in the fallback,
  // with its bytes.
  std::memset(p, 'm', 8);
  auto *moved = static_cast<char *>(tesk_secure_realloc_full("more", p, 20000, TESK_SECURE_USE_FALLBACK));
  ASSERT_NE(moved, nullptr);
  EXPECT_FALSE(tesk_secure_check(moved));
  EXPECT_EQ(std::string(moved, 8), std::string(8, 'm'));
  EXPECT_TRUE(all_zero(moved + 8, 20000 - 8));
  tesk_secure_free(moved);
  tesk_secure_free(big);
  tesk_secure_free_full(held, 0);
  EXPECT_EQ(spy.frees, 2);
}

TEST_F(SecureMemory, FailedMoveLeavesTheOldMemory) {
  auto *p = static_cast<char *>(tesk_secure_alloc_full("old", 8, 0));
  ASSERT_NE(p, nullptr);
  std::memcpy(p, "keepme!", 8);
  // No room in the block, no new block, no fallback allowed.
  ScopedEnv force("SECMEM_FORCE_FALLBACK", "1");
  errno = 0;
  EXPECT_EQ(tesk_secure_realloc_full("old", p, 20000, 0), nullptr);
  EXPECT_EQ(errno, ENOMEM);
  EXPECT_STREQ(p, "keepme!");
  EXPECT_EQ(cells().back(), (Cell{"old", 8, 3 * WORD}));
  tesk_secure_free_full(p, 0);
}

// Random allocations, resizes and frees, checked against a model of what
// each live allocation must hold.
TEST_F(SecureMemory, RandomWorkKeepsEveryAllocationIntact) {
  std::mt19937 random(20240611);
  struct Live {
    size_t length;
    char fill;
  };
  std::map<char *, Live> live;
  auto check = [&](char *p, const Live &l) { return std::string(p, l.length) == std::string(l.length, l.fill); };

  for (int step = 0; step < 4000; step++) {
    const unsigned action = random() % 3;
    if (action == 0 || live.empty()) {
      size_t length = 1 + random() % 600;
      auto *p = static_cast<char *>(tesk_secure_alloc_full("random", length, 0));
      ASSERT_NE(p, nullptr);
      ASSERT_TRUE(all_zero(p, length));
      char fill = char('A' + step % 26);
      std::memset(p, fill, length);
      ASSERT_TRUE(live.emplace(p, Live{length, fill}).second) << "address handed out twice";
    } else {
      auto it = std::next(live.begin(), long(random() % live.size()));
      ASSERT_TRUE(check(it->first, it->second)) << "step " << step;
      if (action == 1) {
        tesk_secure_free_full(it->first, 0);
        live.erase(it);
      } else {
        size_t length = 1 + random() % 900;
        Live l = it->second;
        auto *p = static_cast<char *>(tesk_secure_realloc_full("random", it->first, length, 0));
        ASSERT_NE(p, nullptr);
        live.erase(it);
        ASSERT_EQ(std::string(p, std::min(l.length, length)), std::string(std::min(l.length, length), l.fill));
        if (length > l.length) {
          ASSERT_TRUE(all_zero(p + l.length, length - l.length));
        }
        std::memset(p, l.fill, length);
        ASSERT_TRUE(live.emplace(p, Live{length, l.fill}).second);
      }
    }
    if (step % 50 == 0) {
      tesk_secure_validate();
      size_t used = 0;
      for (const auto &c : cells())
        if (!c.tag.empty()) used++;
      ASSERT_EQ(used, live.size());
    }
  }
  for (auto &[p, l] : live) {
    ASSERT_TRUE(check(p, l));
    tesk_secure_free_full(p, 0);
  }
}

TEST_F(SecureMemory, ThreadsShareTheAllocator) {
  constexpr int threads = 4, rounds = 2000;
  std::vector<std::thread> workers;
  std::atomic<int> damaged = 0;
  for (int t = 0; t < threads; t++)
    workers.emplace_back([t, &damaged] {
      std::vector<std::pair<char *, size_t>> mine;
      for (int i = 0; i < rounds; i++) {
        size_t length = 1 + size_t((i * 37 + t * 11) % 200);
        auto *p = static_cast<char *>(tesk_secure_alloc_full("thread", length, 0));
        if (!p) {
          damaged++;
          continue;
        }
        std::memset(p, 'a' + t, length);
        mine.emplace_back(p, length);
        if (mine.size() > 20) {
          auto [q, n] = mine.front();
          if (std::string(q, n) != std::string(n, char('a' + t))) damaged++;
          tesk_secure_free_full(q, 0);
          mine.erase(mine.begin());
        }
      }
      for (auto [q, n] : mine) tesk_secure_free_full(q, 0);
    });
  for (auto &w : workers) w.join();
  EXPECT_EQ(damaged, 0);
}

// Damage that the allocator must catch: each case stops the process with
// an assertion in the allocator's source.
using SecureMemoryDeathTest = SecureMemory;

TEST_F(SecureMemoryDeathTest, DamagedCellsStopTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    const char *name;
    std::function<void()> damage;
    const char *message;
  } cases[] = {
      {"one byte past the cell, validated",
       [] {
         auto *p = static_cast<char *>(tesk_secure_alloc_full("over", 2 * WORD, 0));
         p[2 * WORD] = 1;
         tesk_secure_validate();
       },
       "tesk/tesk-secure-memory"},
      {"one byte past the cell, freed",
       [] {
         auto *p = static_cast<char *>(tesk_secure_alloc_full("over", 2 * WORD, 0));
         p[2 * WORD] = 1;
         tesk_secure_free_full(p, 0);
       },
       "tesk/tesk-secure-memory"},
      {"one byte past the cell, next allocation",
       [] {
         auto *p = static_cast<char *>(tesk_secure_alloc_full("over", 2 * WORD, 0));
         p[2 * WORD + WORD] = 1;  // the free cell's first guard word
         tesk_secure_alloc_full("next", 8, 0);
       },
       "tesk/tesk-secure-memory"},
      {"one byte before the cell",
       [] {
         auto *p = static_cast<char *>(tesk_secure_alloc_full("under", 8, 0));
         p[-1] = 1;
         tesk_secure_free_full(p, 0);
       },
       "tesk/tesk-secure-memory"},
      {"an address inside the cell",
       [] {
         auto *p = static_cast<char *>(tesk_secure_alloc_full("inside", 32, 0));
         tesk_secure_free_full(p + WORD, 0);
       },
       "tesk/tesk-secure-memory"},
      {"a misaligned address",
       [] {
         auto *p = static_cast<char *>(tesk_secure_alloc_full("inside", 32, 0));
         tesk_secure_free_full(p + 1, 0);
       },
       "tesk/tesk-secure-memory"},
      {"freed twice",
       [] {
         tesk_secure_alloc_full("pin", 8, 0);
         void *p = tesk_secure_alloc_full("twice", 8, 0);
         tesk_secure_free_full(p, 0);
         tesk_secure_free_full(p, 0);
       },
       "tesk/tesk-secure-memory"},
      {"memory from elsewhere",
       [] {
         static char elsewhere[16];
         tesk_secure_free_full(elsewhere, 0);
       },
       "memory does not belong to secure memory pool: 0x[0-9a-f]+\n.*tesk/tesk-secure-memory"},
      {"memory from elsewhere, resized",
       [] {
         static char elsewhere[16];
         tesk_secure_realloc_full("x", elsewhere, 32, 0);
       },
       "memory does not belong to secure memory pool: 0x[0-9a-f]+\n.*tesk/tesk-secure-memory"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_DEATH(c.damage(), c.message);
  }
}

// The limits on locking only bite without root: these run in a child that
// has given root up.
TEST(SecureMemoryLimits, LockFailuresFallBackAndComplainOnce) {
  if (!locking_is_real) GTEST_SKIP() << no_real_locking;
  ChildResult r = in_child([] {
    if (!become_unprivileged()) return 10;
    rlimit limit = {8192, 1 << 20};
    if (setrlimit(RLIMIT_MEMLOCK, &limit) != 0) return 11;
    std::string report;
    auto attempt = [&](int flags) {
      void *p = tesk_secure_alloc_full("limited", 32, flags);
      const int error = errno;
      report += !p ? (error == ENOMEM ? "none+ENOMEM " : "none ") : tesk_secure_check(p) ? "locked " : "fallback ";
      return p;
    };
    void *a = attempt(TESK_SECURE_USE_FALLBACK);
    void *b = attempt(0);
    void *c = attempt(TESK_SECURE_USE_FALLBACK);
    // Once locking works again, so do the messages.
    limit.rlim_cur = 1 << 20;
    setrlimit(RLIMIT_MEMLOCK, &limit);
    void *d = attempt(0);
    limit.rlim_cur = 8192;
    setrlimit(RLIMIT_MEMLOCK, &limit);
    void *e = attempt(0);  // served by the block that is already locked
    void *f = tesk_secure_alloc_full("limited", 20000, 0);
    report += f ? "big " : "no-big";
    tesk_secure_free(a);
    tesk_secure_free(c);
    tesk_secure_free_full(d, 0);
    tesk_secure_free_full(e, 0);
    std::fputs(report.c_str(), stdout);
    return b ? 12 : 0;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "fallback none+ENOMEM fallback locked locked no-big");
  EXPECT_EQ(r.err,
            "couldn't lock 16384 bytes of memory (limited): Cannot allocate memory\n"
            "couldn't lock 20480 bytes of memory (limited): Cannot allocate memory\n");
}

TEST(SecureMemoryLimits, NoPermissionToLockFallsBackSilently) {
  if (!locking_is_real) GTEST_SKIP() << no_real_locking;
  ChildResult r = in_child([] {
    if (!become_unprivileged()) return 10;
    rlimit limit = {0, 0};
    if (setrlimit(RLIMIT_MEMLOCK, &limit) != 0) return 11;
    void *p = tesk_secure_alloc_full("no-permission", 32, TESK_SECURE_USE_FALLBACK);
    if (!p || tesk_secure_check(p)) return 12;
    tesk_secure_free(p);
    errno = 0;
    if (tesk_secure_alloc_full("no-permission", 32, 0) || errno != ENOMEM) return 13;
    return 0;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST(SecureMemoryLimits, WarningsOffSilenceLockFailures) {
  if (!locking_is_real) GTEST_SKIP() << no_real_locking;
  ChildResult r = in_child([] {
    if (!become_unprivileged()) return 10;
    rlimit limit = {8192, 8192};
    if (setrlimit(RLIMIT_MEMLOCK, &limit) != 0) return 11;
    tesk_set_secure_warnings(FALSE);
    void *p = tesk_secure_alloc_full("quiet", 32, TESK_SECURE_USE_FALLBACK);
    if (!p || tesk_secure_check(p)) return 12;
    tesk_secure_free(p);
    return 0;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST(SecureMemoryLimits, VersionMismatchRefusesRecordsAndComplainsOnce) {
  struct Case {
    const char *version;
    const char *message;
  } cases[] = {
      {"2.0", "the secure memory pool version does not match the code '2.0' != '1.0'\n"},
      {nullptr, "the secure memory pool version does not match the code '(null)' != '1.0'\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.message);
    ChildResult r = in_child([&] {
      SECMEM_pool_data_v1_0.pool_version = c.version;
      errno = 0;
      if (tesk_secure_alloc_full("version", 8, 0) || errno != ENOMEM) return 12;
      void *p = tesk_secure_alloc_full("version", 8, TESK_SECURE_USE_FALLBACK);
      if (!p || tesk_secure_check(p)) return 13;
      tesk_secure_free(p);
      return 0;
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, c.message);
  }
}

}  // namespace
