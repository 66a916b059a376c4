/* Hexadecimal text for byte strings: writing, optionally in groups with a
 * delimiter between them, and reading such text back. */
#pragma once

#include <glib.h>

G_BEGIN_DECLS

/* Reads n_data characters of hex (-1: up to the terminator) into a new
 * buffer (g_free), or NULL when the text is not hex. */
guchar *tesk_hex_decode (const gchar *data, gssize n_data, gsize *n_decoded);

/* The same, for text whose groups of `group` bytes are separated by
 * `delim` (NULL for none). */
guchar *tesk_hex_decode_full (const gchar *data, gssize n_data, const gchar *delim, guint group,
                              gsize *n_decoded);

/* Returns new upper-case hex text for the bytes (g_free). */
gchar *tesk_hex_encode (gconstpointer data, gsize n_data);

/* Returns new hex text; `delim` goes between groups of `group` bytes (no
 * delimiters when it is NULL or group is 0). */
gchar *tesk_hex_encode_full (gconstpointer data, gsize n_data, gboolean upper_case,
                             const gchar *delim, guint group);

G_END_DECLS
