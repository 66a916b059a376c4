/* The locked-page allocator for secrets.
 *
 * Memory comes in blocks of locked anonymous pages. Each allocation is a
 * cell: a run of machine words inside a block whose first and last words
 * (the guard words) point to the cell's record. The records of blocks and
 * cells live in record pages outside the locked memory, shared with every
 * other carrier of the allocator in the process through the globals record,
 * so an overrun of a cell damages a guard word, not the bookkeeping. Free
 * cells of a block are kept in a ring searched first-fit; freed cells are
 * merged with free neighbours, and a block without allocations goes back to
 * the system at once. Every touch of blocks or records happens under the
 * globals' lock. */
#include "tesk-secure-memory.h"

#include "sero-secmem.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

/* The allocator's unit: one pointer-sized word. */
using word_t = void *;

constexpr gsize WORD = sizeof (word_t);
constexpr gsize DEFAULT_BLOCK_SIZE = 16384;
constexpr gsize MAX_REQUEST = 0x7FFFFFFF;
/* A free cell is split only when more than this many words would be left. */
constexpr gsize SPLIT_SLACK = 4;
constexpr const char *POOL_VERSION = "1.0";
constexpr const char *ENV_FORCE_FALLBACK = "SECMEM_FORCE_FALLBACK";

struct Cell {
  word_t *words;   /* first word of the cell, a guard word */
  gsize n_words;   /* length, guard words included */
  gsize requested; /* bytes the caller asked for; 0 when free */
  const char *tag; /* the allocation's user; NULL when free */
  Cell *next;      /* ring the cell is in; NULL in none */
  Cell *prev;
};

struct Block {
  word_t *words;      /* first word of the block's pages */
  gsize n_words;
  gsize n_used;       /* allocated cells */
  Cell *used_cells;   /* ring of allocated cells */
  Cell *unused_cells; /* ring of free cells */
  Block *next;
};

/* One record slot of a record page. */
union Item {
  Cell cell;
  Block block;
};

/* Header of a record page; the items follow it. */
struct Pool {
  Pool *next;
  gsize length; /* bytes of the mapping */
  gsize used;   /* items handed out */
  void *unused; /* free items, chained through their first word */
  gsize n_items;
};

static_assert (sizeof (Pool) % alignof (Item) == 0);

/* This carrier's blocks, newest first. Guarded by the globals' lock. */
Block *all_blocks = nullptr;

std::atomic<bool> secure_warnings {true};
/* Silences the map, lock and version messages after a failure, until a
 * block is locked again. Guarded by the globals' lock. */
bool show_warning = true;

SeroSecmemPoolData &
globals ()
{
  return SECMEM_pool_data_v1_0;
}

/* Holds the globals' lock for its lifetime. */
class PoolLock {
 public:
  PoolLock () { globals ().lock (); }
  ~PoolLock () { globals ().unlock (); }
  PoolLock (const PoolLock &) = delete;
  PoolLock &operator= (const PoolLock &) = delete;
};

bool
warnings_on ()
{
  return secure_warnings.load (std::memory_order_relaxed);
}

/* Zeroes memory in a way the compiler may not drop as a dead store. */
void
wipe (void *memory, gsize length)
{
  explicit_bzero (memory, length);
}

gsize
words_for (gsize length)
{
  return (length + WORD - 1) / WORD;
}

gsize
page_size ()
{
  return static_cast<gsize> (sysconf (_SC_PAGESIZE));
}

std::uintptr_t
address (const void *pointer)
{
  return reinterpret_cast<std::uintptr_t> (pointer);
}

/* ---- record pages ---------------------------------------------------- */

Pool *
first_pool ()
{
  return static_cast<Pool *> (globals ().pool_data);
}

Item *
pool_items (Pool *pool)
{
  return reinterpret_cast<Item *> (pool + 1);
}

void
unused_push (void **stack, void *item)
{
  std::memcpy (item, stack, sizeof (void *));
  *stack = item;
}

void *
unused_pop (void **stack)
{
  void *item = *stack;
  std::memcpy (stack, item, sizeof (void *));
  return item;
}

/* The page whose items include the address, or NULL. */
Pool *
pool_holding (const void *item)
{
  for (Pool *pool = first_pool (); pool; pool = pool->next) {
    std::uintptr_t begin = address (pool_items (pool));
    std::uintptr_t end = begin + pool->n_items * sizeof (Item);
    if (address (item) >= begin && address (item) < end)
      return pool;
  }
  return nullptr;
}

bool
on_item_boundary (Pool *pool, const void *item)
{
  return (address (item) - address (pool_items (pool))) % sizeof (Item) == 0;
}

/* A zeroed record, or NULL when none can be had. */
Item *
pool_alloc ()
{
  const char *version = globals ().pool_version;
  if (!version || std::strcmp (version, POOL_VERSION) != 0) {
    if (show_warning && warnings_on ())
      std::fprintf (stderr, "the secure memory pool version does not match the code '%s' != '%s'\n",
                    version ? version : "(null)", POOL_VERSION);
    show_warning = false;
    return nullptr;
  }

  Pool *pool = first_pool ();
  while (pool && !pool->unused)
    pool = pool->next;

  if (!pool) {
    const gsize length = page_size () * 2;
    void *pages = mmap (nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED)
      return nullptr;
    pool = static_cast<Pool *> (pages);
    pool->next = first_pool ();
    pool->length = length;
    pool->used = 0;
    pool->unused = nullptr;
    pool->n_items = (length - sizeof (Pool)) / sizeof (Item);
    Item *items = pool_items (pool);
    for (gsize i = pool->n_items; i > 0; i--)
      unused_push (&pool->unused, &items[i - 1]);
    globals ().pool_data = pool;
  }

  pool->used++;
  auto *item = static_cast<Item *> (unused_pop (&pool->unused));
  std::memset (item, 0, sizeof (Item));
  return item;
}

void
pool_free (void *item)
{
  Pool *pool = pool_holding (item);
  g_assert (pool != nullptr);
  g_assert (on_item_boundary (pool, item));
  g_assert (pool->used > 0);

  if (pool->used == 1) {
    if (first_pool () == pool) {
      globals ().pool_data = pool->next;
    } else {
      Pool *before = first_pool ();
      while (before->next != pool)
        before = before->next;
      before->next = pool->next;
    }
    munmap (pool, pool->length);
    return;
  }

  pool->used--;
  std::memset (item, 0xCD, sizeof (Item));
  unused_push (&pool->unused, item);
}

/* Whether the address is a record handed out by a record page. */
bool
pool_valid (const void *item)
{
  Pool *pool = pool_holding (item);
  return pool && pool->used > 0 && on_item_boundary (pool, item);
}

Cell *
new_cell ()
{
  Item *item = pool_alloc ();
  return item ? &item->cell : nullptr;
}

Block *
new_block_record ()
{
  Item *item = pool_alloc ();
  return item ? &item->block : nullptr;
}

/* ---- rings ----------------------------------------------------------- */

/* Links the cell in after the head, and makes it the head. */
void
ring_insert (Cell **ring, Cell *cell)
{
  g_assert (cell->next == nullptr && cell->prev == nullptr);
  if (*ring) {
    cell->prev = *ring;
    cell->next = (*ring)->next;
    cell->next->prev = cell;
    cell->prev->next = cell;
  } else {
    cell->next = cell;
    cell->prev = cell;
  }
  *ring = cell;
}

void
ring_remove (Cell **ring, Cell *cell)
{
  g_assert (*ring != nullptr);
  g_assert (cell->next != nullptr && cell->prev != nullptr);
  if (cell->next == cell) {
    g_assert (*ring == cell);
    *ring = nullptr;
  } else {
    if (*ring == cell)
      *ring = cell->next;
    cell->prev->next = cell->next;
    cell->next->prev = cell->prev;
  }
  cell->next = nullptr;
  cell->prev = nullptr;
}

/* ---- cells and blocks ------------------------------------------------ */

bool
word_in_block (const Block *block, const void *word)
{
  return address (word) >= address (block->words) &&
         address (word) < address (block->words + block->n_words);
}

void
write_guards (Cell *cell)
{
  cell->words[0] = cell;
  cell->words[cell->n_words - 1] = cell;
}

/* The cell record that a guard word of the block points to, after
 * checking that it is a live record whose cell lies in the block and whose
 * guard words are intact. */
Cell *
cell_at_guard (const Block *block, word_t *word)
{
  g_assert (word_in_block (block, word));
  auto *cell = static_cast<Cell *> (*word);
  g_assert (pool_valid (cell));
  g_assert (cell->n_words >= 3);
  g_assert (word_in_block (block, cell->words));
  g_assert (word_in_block (block, cell->words + cell->n_words - 1));
  g_assert (cell->words[0] == cell);
  g_assert (cell->words[cell->n_words - 1] == cell);
  return cell;
}

/* The allocated cell whose memory starts at the address. */
Cell *
allocated_cell (const Block *block, void *memory)
{
  g_assert (address (memory) % WORD == 0);
  word_t *word = static_cast<word_t *> (memory) - 1;
  Cell *cell = cell_at_guard (block, word);
  g_assert (cell->words == word);
  g_assert (cell->requested > 0);
  g_assert (cell->tag != nullptr);
  return cell;
}

bool
cell_is_free (const Cell *cell)
{
  return cell->requested == 0;
}

Block *
block_holding (const void *memory)
{
  for (Block *block = all_blocks; block; block = block->next)
    if (word_in_block (block, memory))
      return block;
  return nullptr;
}

/* First-fit allocation in one block; NULL when no free cell is large
 * enough. */
void *
sec_alloc (Block *block, const char *tag, gsize length)
{
  g_assert (length > 0);
  g_assert (tag != nullptr);

  const gsize needed = words_for (length) + 2;
  Cell *cell = block->unused_cells;
  if (!cell)
    return nullptr;
  while (cell->n_words < needed) {
    cell = cell->next;
    if (cell == block->unused_cells)
      return nullptr;
  }

  g_assert (cell->words[0] == cell);
  g_assert (cell->words[cell->n_words - 1] == cell);
  g_assert (cell_is_free (cell) && cell->tag == nullptr);

  Cell *front = cell->n_words > needed + SPLIT_SLACK ? new_cell () : nullptr;
  if (front) {
    /* The new cell takes the front; the rest stays free in the ring. */
    front->words = cell->words;
    front->n_words = needed;
    cell->words += needed;
    cell->n_words -= needed;
    write_guards (cell);
    write_guards (front);
    cell = front;
  } else {
    ring_remove (&block->unused_cells, cell);
  }

  block->n_used++;
  cell->tag = tag;
  cell->requested = length;
  ring_insert (&block->used_cells, cell);
  void *memory = cell->words + 1;
  std::memset (memory, 0, length);
  return memory;
}

/* Wipes and frees an allocated cell, merging it with free neighbours. The
 * caller destroys the block when it has no allocations left. */
void
sec_free (Block *block, void *memory)
{
  Cell *cell = allocated_cell (block, memory);
  wipe (memory, cell->requested);
  ring_remove (&block->used_cells, cell);

  if (cell->words != block->words) {
    Cell *before = cell_at_guard (block, cell->words - 1);
    if (cell_is_free (before)) {
      before->n_words += cell->n_words;
      write_guards (before);
      pool_free (cell);
      cell = before;
    }
  }

  if (cell->words + cell->n_words != block->words + block->n_words) {
    Cell *after = cell_at_guard (block, cell->words + cell->n_words);
    if (cell_is_free (after)) {
      after->words = cell->words;
      after->n_words += cell->n_words;
      write_guards (after);
      if (cell->next)
        ring_remove (&block->unused_cells, cell);
      pool_free (cell);
      cell = after;
    }
  }

  if (!cell->next)
    ring_insert (&block->unused_cells, cell);
  cell->tag = nullptr;
  cell->requested = 0;
  g_assert (block->n_used > 0);
  block->n_used--;
}

/* Resizes an allocated cell inside its block: in place when the cell or the
 * free space after it suffices, else by moving within the block. NULL when
 * the block cannot hold the new length. */
void *
sec_realloc (Block *block, const char *tag, void *memory, gsize length)
{
  Cell *cell = allocated_cell (block, memory);
  auto *bytes = static_cast<guint8 *> (memory);
  const gsize valid = cell->requested;
  const gsize needed = words_for (length) + 2;

  if (needed <= cell->n_words) {
    cell->requested = length;
    if (length > valid)
      std::memset (bytes + valid, 0, length - valid);
    else
      wipe (bytes + length, valid - length);
    return memory;
  }

  /* Free neighbours are always merged, so at most one free cell follows.
   * It is used only when it suffices, so a growth that has to move (or
   * fails) leaves the block as it was. */
  word_t *following = cell->words + cell->n_words;
  if (word_in_block (block, following)) {
    Cell *after = cell_at_guard (block, following);
    const gsize missing = needed - cell->n_words;
    if (cell_is_free (after) && after->n_words >= missing) {
      if (after->n_words > missing + SPLIT_SLACK) {
        /* Take just the missing words from its front. */
        after->words += missing;
        after->n_words -= missing;
        write_guards (after);
        cell->n_words = needed;
      } else {
        cell->n_words += after->n_words;
        ring_remove (&block->unused_cells, after);
        pool_free (after);
      }
      write_guards (cell);
    }
  }

  if (cell->n_words >= needed) {
    cell->requested = length;
    cell->tag = tag;
    std::memset (bytes + valid, 0, length - valid);
    return memory;
  }

  void *moved = sec_alloc (block, tag, length);
  if (moved) {
    std::memcpy (moved, memory, valid);
    sec_free (block, memory);
  }
  return moved;
}

/* Maps and locks pages for at least length bytes; the size taken goes back
 * through length. NULL when the pages cannot be had. */
word_t *
pages_alloc (gsize *length, const char *tag)
{
  const gsize page = page_size ();
  const gsize size = (*length + page - 1) / page * page;

  void *pages = mmap (nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) {
    const int error = errno;
    if (show_warning && warnings_on ())
      std::fprintf (stderr, "couldn't map %lu bytes of memory (%s): %s\n",
                    static_cast<unsigned long> (size), tag, std::strerror (error));
    show_warning = false;
    return nullptr;
  }

  if (mlock (pages, size) < 0) {
    const int error = errno;
    if (show_warning && warnings_on () && error != EPERM) {
      std::fprintf (stderr, "couldn't lock %lu bytes of memory (%s): %s\n",
                    static_cast<unsigned long> (size), tag, std::strerror (error));
      show_warning = false;
    }
    munmap (pages, size);
    return nullptr;
  }

  show_warning = true;
  *length = size;
  return static_cast<word_t *> (pages);
}

void
pages_free (void *pages, gsize length)
{
  if (munlock (pages, length) < 0 && warnings_on ())
    std::fprintf (stderr, "couldn't unlock private memory: %s\n", std::strerror (errno));
  if (munmap (pages, length) < 0 && warnings_on ())
    std::fprintf (stderr, "couldn't unmap private anonymous memory: %s\n", std::strerror (errno));
}

/* A new block, one free cell wide, at the head of the block list; large
 * enough for a request of length bytes with its guard words. */
Block *
block_create (gsize length, const char *tag)
{
  Block *block = new_block_record ();
  Cell *cell = block ? new_cell () : nullptr;
  if (!cell) {
    if (block)
      pool_free (block);
    return nullptr;
  }

  gsize size = std::max ((words_for (length) + 2) * WORD, DEFAULT_BLOCK_SIZE);
  word_t *words = pages_alloc (&size, tag);
  if (!words) {
    pool_free (cell);
    pool_free (block);
    return nullptr;
  }

  block->words = words;
  block->n_words = size / WORD;
  cell->words = words;
  cell->n_words = block->n_words;
  write_guards (cell);
  ring_insert (&block->unused_cells, cell);
  block->next = all_blocks;
  all_blocks = block;
  return block;
}

void
block_destroy (Block *block)
{
  g_assert (block->n_used == 0);
  g_assert (block->used_cells == nullptr);

  if (all_blocks == block) {
    all_blocks = block->next;
  } else {
    Block *before = all_blocks;
    while (before && before->next != block)
      before = before->next;
    g_assert (before != nullptr);
    before->next = block->next;
  }

  while (Cell *cell = block->unused_cells) {
    ring_remove (&block->unused_cells, cell);
    pool_free (cell);
  }
  pages_free (block->words, block->n_words * WORD);
  pool_free (block);
}

/* Checks the tiling, the guard words, the records and both rings of a
 * block. */
void
sec_validate (const Block *block)
{
  gsize n_allocated = 0;
  gsize n_free = 0;
  word_t *word = block->words;
  word_t *end = block->words + block->n_words;
  while (word != end) {
    Cell *cell = cell_at_guard (block, word);
    g_assert (cell->words == word);
    g_assert (cell->next != nullptr && cell->prev != nullptr);
    g_assert (cell->next->prev == cell && cell->prev->next == cell);
    if (cell_is_free (cell)) {
      g_assert (cell->tag == nullptr);
      n_free++;
    } else {
      g_assert (cell->tag != nullptr);
      g_assert (words_for (cell->requested) + 2 <= cell->n_words);
      n_allocated++;
    }
    word += cell->n_words;
  }
  g_assert (n_allocated == block->n_used);

  /* Each ring holds exactly the cells of its kind. */
  gsize in_ring = 0;
  if (Cell *cell = block->used_cells) {
    do {
      g_assert (!cell_is_free (cell));
      in_ring++;
      cell = cell->next;
    } while (cell != block->used_cells && in_ring <= n_allocated);
  }
  g_assert (in_ring == n_allocated);

  in_ring = 0;
  if (Cell *cell = block->unused_cells) {
    do {
      g_assert (cell_is_free (cell));
      in_ring++;
      cell = cell->next;
    } while (cell != block->unused_cells && in_ring <= n_free);
  }
  g_assert (in_ring == n_free);
}

[[noreturn]] void
foreign_memory (const void *memory)
{
  if (warnings_on ())
    std::fprintf (stderr, "memory does not belong to secure memory pool: 0x%08lx\n",
                  static_cast<unsigned long> (address (memory)));
  g_assert_not_reached ();
}

void
insane_request (gsize length)
{
  if (warnings_on ())
    std::fprintf (stderr, "tried to allocate an insane amount of memory: %lu\n",
                  static_cast<unsigned long> (length));
}

gsize
ring_length (const Cell *ring)
{
  gsize n = 0;
  if (const Cell *cell = ring) {
    do {
      n++;
      cell = cell->next;
    } while (cell != ring);
  }
  return n;
}

void
append_records (const Cell *ring, TeskSecureRec *&out)
{
  if (const Cell *cell = ring) {
    do {
      *out++ = {cell->tag, cell->requested, cell->n_words * WORD};
      cell = cell->next;
    } while (cell != ring);
  }
}

}  // namespace

extern "C" {

gpointer
tesk_secure_alloc_full (const gchar *tag, gsize length, int flags)
{
  if (length > MAX_REQUEST) {
    insane_request (length);
    return nullptr;
  }
  if (length == 0)
    return nullptr;
  if (!tag)
    tag = "?";

  void *memory = nullptr;
  {
    PoolLock lock;
    for (Block *block = all_blocks; block && !memory; block = block->next)
      memory = sec_alloc (block, tag, length);

    if (!memory && !std::getenv (ENV_FORCE_FALLBACK)) {
      if (Block *block = block_create (length, tag)) {
        memory = sec_alloc (block, tag, length);
        if (!memory)
          block_destroy (block);
      }
    }
  }

  auto fallback = globals ().fallback;
  if (!memory && (flags & TESK_SECURE_USE_FALLBACK) && fallback) {
    memory = fallback (nullptr, length);
    if (memory)
      std::memset (memory, 0, length);
  }
  if (!memory)
    errno = ENOMEM;
  return memory;
}

gpointer
tesk_secure_realloc_full (const gchar *tag, gpointer memory, gsize length, int flags)
{
  if (length > MAX_REQUEST) {
    insane_request (length);
    return nullptr;
  }
  if (!memory)
    return tesk_secure_alloc_full (tag, length, flags);
  if (length == 0) {
    tesk_secure_free_full (memory, flags);
    return nullptr;
  }
  if (!tag)
    tag = "?";

  void *result = nullptr;
  gsize previous = 0;
  bool found = false;
  {
    PoolLock lock;
    if (Block *block = block_holding (memory)) {
      found = true;
      previous = allocated_cell (block, memory)->requested;
      result = sec_realloc (block, tag, memory, length);
      if (block->n_used == 0)
        block_destroy (block);
    }
  }

  if (!found) {
    auto fallback = globals ().fallback;
    if (!(flags & TESK_SECURE_USE_FALLBACK) || !fallback)
      foreign_memory (memory);
    result = fallback (memory, length);
    if (!result)
      errno = ENOMEM;
    return result;
  }

  if (!result) {
    /* Too large for its block: move it to wherever there is room. */
    result = tesk_secure_alloc_full (tag, length, flags);
    if (!result) {
      errno = ENOMEM;
      return nullptr;
    }
    std::memcpy (result, memory, std::min (previous, length));
    tesk_secure_free_full (memory, flags);
  }
  return result;
}

void
tesk_secure_free_full (gpointer memory, int flags)
{
  if (!memory)
    return;

  bool found = false;
  {
    PoolLock lock;
    if (Block *block = block_holding (memory)) {
      found = true;
      sec_free (block, memory);
      if (block->n_used == 0)
        block_destroy (block);
    }
  }
  if (found)
    return;

  auto fallback = globals ().fallback;
  if (!(flags & TESK_SECURE_USE_FALLBACK) || !fallback)
    foreign_memory (memory);
  fallback (memory, 0);
}

void
tesk_secure_free (gpointer memory)
{
  tesk_secure_free_full (memory, TESK_SECURE_USE_FALLBACK);
}

gboolean
tesk_secure_check (gconstpointer memory)
{
  PoolLock lock;
  return block_holding (memory) != nullptr;
}

void
tesk_secure_validate (void)
{
  PoolLock lock;
  for (Block *block = all_blocks; block; block = block->next)
    sec_validate (block);
}

TeskSecureRec *
tesk_secure_records (guint *n_records)
{
  g_return_val_if_fail (n_records != NULL, NULL);
  *n_records = 0;

  PoolLock lock;
  gsize total = 0;
  for (Block *block = all_blocks; block; block = block->next)
    total += ring_length (block->unused_cells) + ring_length (block->used_cells);
  if (total == 0)
    return nullptr;

  auto *records = static_cast<TeskSecureRec *> (std::malloc (total * sizeof (TeskSecureRec)));
  if (!records)
    return nullptr;
  TeskSecureRec *out = records;
  for (Block *block = all_blocks; block; block = block->next) {
    append_records (block->unused_cells, out);
    append_records (block->used_cells, out);
  }
  *n_records = static_cast<guint> (total);
  return records;
}

gchar *
tesk_secure_strdup_full (const gchar *tag, const gchar *str, int flags)
{
  if (!str)
    return nullptr;
  const gsize length = std::strlen (str);
  auto *copy = static_cast<gchar *> (tesk_secure_alloc_full (tag, length + 1, flags));
  if (copy)
    std::memcpy (copy, str, length + 1);
  return copy;
}

gchar *
tesk_secure_strndup_full (const gchar *tag, const gchar *str, gsize length, int flags)
{
  if (!str)
    return nullptr;
  const gsize n = strnlen (str, length);
  auto *copy = static_cast<gchar *> (tesk_secure_alloc_full (tag, n + 1, flags));
  if (copy) {
    std::memcpy (copy, str, n);
    copy[n] = '\0';
  }
  return copy;
}

void
tesk_secure_clear (gpointer memory, gsize length)
{
  if (!memory)
    return;
  volatile auto *bytes = static_cast<volatile guint8 *> (memory);
  for (gsize i = 0; i < length; i++)
    bytes[i] = 0xAA;
}

void
tesk_secure_strclear (gchar *str)
{
  if (!str)
    return;
  tesk_secure_clear (str, std::strlen (str));
}

void
tesk_secure_strfree (gchar *str)
{
  tesk_secure_strclear (str);
  tesk_secure_free_full (str, TESK_SECURE_USE_FALLBACK);
}

void
tesk_set_secure_warnings (gboolean enabled)
{
  secure_warnings.store (enabled != FALSE, std::memory_order_relaxed);
}

}  // extern "C"
