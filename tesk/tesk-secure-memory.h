/* Memory for secrets: locked pages that are never swapped out, wiped when
 * released, with the bookkeeping kept apart from the memory so that an
 * overrun of one allocation hits a guard word rather than the allocator's
 * records. Shares its lock, fallback allocator and record pages with every
 * other carrier of the allocator in the process. */
#pragma once

#include <glib.h>

G_BEGIN_DECLS

typedef enum {
  /* When locked memory cannot be had, serve the request from the shared
   * fallback allocator; memory found in no block is freed through it. */
  TESK_SECURE_USE_FALLBACK = 0x0001,
} TeskSecureFlags;

/* One cell of a block, as listed by tesk_secure_records. */
typedef struct {
  const gchar *tag;     /* the allocation's user; NULL for a free cell */
  gsize request_length; /* bytes asked for; 0 for a free cell */
  gsize block_length;   /* bytes of the cell, guard words included */
} TeskSecureRec;

/* Zero-filled memory of the length, or NULL (errno ENOMEM when locked
 * memory, and the fallback if allowed, could not be had). The tag names
 * the user in tesk_secure_records; it is kept by reference, so it must
 * outlive the allocation (a literal); NULL stands for "?". */
gpointer tesk_secure_alloc_full (const gchar *tag, gsize length, int flags);

/* Resizes memory from tesk_secure_alloc_full; NULL memory allocates, a
 * length of 0 frees and gives NULL. Bytes beyond the old length read as
 * zero. On failure the old memory is left as it was. */
gpointer tesk_secure_realloc_full (const gchar *tag, gpointer memory, gsize length, int flags);

/* Wipes and frees the memory; NULL is ignored. Memory that belongs to no
 * block is a caller's error that stops the process, unless the flags allow
 * handing it to the fallback allocator. */
void tesk_secure_free_full (gpointer memory, int flags);

/* tesk_secure_free_full with TESK_SECURE_USE_FALLBACK. */
void tesk_secure_free (gpointer memory);

/* Whether the address lies in one of this library's locked blocks. */
gboolean tesk_secure_check (gconstpointer memory);

/* Checks every cell of every block and stops the process at the first
 * inconsistency (a damaged guard word, a broken ring). */
void tesk_secure_validate (void);

/* A new array (free()) with one record per cell of every block, or NULL
 * when there are no blocks; the count goes to n_records. */
TeskSecureRec *tesk_secure_records (guint *n_records);

/* A secure copy of the text with its terminator, or NULL for NULL text or
 * when no memory could be had. */
gchar *tesk_secure_strdup_full (const gchar *tag, const gchar *str, int flags);

/* A secure, terminated copy of the text up to its terminator or up to
 * length bytes, whichever comes first. */
gchar *tesk_secure_strndup_full (const gchar *tag, const gchar *str, gsize length, int flags);

/* Overwrites length bytes with 0xAA; NULL is ignored. */
void tesk_secure_clear (gpointer memory, gsize length);

/* Overwrites the characters of the text, not its terminator, with 0xAA. */
void tesk_secure_strclear (gchar *str);

/* tesk_secure_strclear, then tesk_secure_free. */
void tesk_secure_strfree (gchar *str);

/* Turns the allocator's messages on standard error on or off (on at
 * start). */
void tesk_set_secure_warnings (gboolean enabled);

G_END_DECLS
