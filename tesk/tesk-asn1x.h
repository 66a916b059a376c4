/* Table-driven ASN.1/DER toolkit.
 *
 * A module is a flat, pre-order array of TeskAsn1xDef records. A node tree
 * for one of its types is created with tesk_asn1x_create(), filled from DER
 * with tesk_asn1x_decode() or through the setters, read with the getters,
 * and written back with tesk_asn1x_encode(). Trees are GNode trees; values
 * are GBytes that view the caller's input without copying it. Object
 * identifiers travel as quarks of their dotted text.
 *
 * These functions are internal to each library that compiles the toolkit
 * in; they are not exported.
 */
#pragma once

#include <glib.h>

G_BEGIN_DECLS

/* One record of a definition table. */
typedef struct _TeskAsn1xDef {
  const gchar *name;
  guint type; /* low 8 bits: type code; bits 8-30: flags */
  const gchar *value;
} TeskAsn1xDef;

/* Type codes (the low byte of TeskAsn1xDef.type). */
typedef enum {
  TESK_ASN1X_CONSTANT = 1,
  TESK_ASN1X_IDENTIFIER = 2,
  TESK_ASN1X_INTEGER = 3,
  TESK_ASN1X_BOOLEAN = 4,
  TESK_ASN1X_SEQUENCE = 5,
  TESK_ASN1X_BIT_STRING = 6,
  TESK_ASN1X_OCTET_STRING = 7,
  TESK_ASN1X_TAG = 8,
  TESK_ASN1X_DEFAULT = 9,
  TESK_ASN1X_SIZE = 10,
  TESK_ASN1X_SEQUENCE_OF = 11,
  TESK_ASN1X_OBJECT_ID = 12,
  TESK_ASN1X_ANY = 13,
  TESK_ASN1X_SET = 14,
  TESK_ASN1X_SET_OF = 15,
  TESK_ASN1X_DEFINITIONS = 16,
  TESK_ASN1X_TIME = 17,
  TESK_ASN1X_CHOICE = 18,
  TESK_ASN1X_IMPORTS = 19,
  TESK_ASN1X_NULL = 20,
  TESK_ASN1X_ENUMERATED = 21,
  TESK_ASN1X_GENERAL_STRING = 27,
  TESK_ASN1X_NUMERIC_STRING = 28,
  TESK_ASN1X_IA5_STRING = 29,
  TESK_ASN1X_TELETEX_STRING = 30,
  TESK_ASN1X_PRINTABLE_STRING = 31,
  TESK_ASN1X_UNIVERSAL_STRING = 32,
  TESK_ASN1X_BMP_STRING = 33,
  TESK_ASN1X_UTF8_STRING = 34,
  TESK_ASN1X_VISIBLE_STRING = 35,
  TESK_ASN1X_UTC_TIME = 36,
  TESK_ASN1X_GENERALIZED_TIME = 37,
} TeskAsn1xType;

/* Flags (bits of TeskAsn1xDef.type). */
enum {
  FLAG_UNIVERSAL = 1 << 8,
  FLAG_PRIVATE = 1 << 9,
  FLAG_APPLICATION = 1 << 10,
  FLAG_EXPLICIT = 1 << 11,
  FLAG_IMPLICIT = 1 << 12,
  FLAG_TAG = 1 << 13,
  FLAG_OPTION = 1 << 14,
  FLAG_DEFAULT = 1 << 15,
  FLAG_TRUE = 1 << 16,
  FLAG_FALSE = 1 << 17,
  FLAG_LIST = 1 << 18,
  FLAG_MIN_MAX = 1 << 19,
  FLAG_1_PARAM = 1 << 20,
  FLAG_SIZE = 1 << 21,
  FLAG_DEFINED_BY = 1 << 22,
  FLAG_GENERALIZED = 1 << 23,
  FLAG_UTC = 1 << 24,
  FLAG_IMPORTS = 1 << 25,
  FLAG_NOT_USED = 1 << 26,
  FLAG_SET = 1 << 27,
  FLAG_ASSIGN = 1 << 28,
  FLAG_DOWN = 1 << 29,
  FLAG_RIGHT = 1 << 30,
};

/* Decoding options. */
enum {
  TESK_ASN1X_NO_STRICT = 0x01,
};

/* The class bit of a constructed element. */
enum { ASN1_CLASS_STRUCTURED = 0x20 };

/* A realloc-style allocator: (NULL, n) gives n fresh bytes or NULL,
 * (p, 0) releases p. NULL means the heap. */
typedef gpointer (*TeskAllocator) (gpointer data, gsize n_data);

/* One DER element, as read or as built for writing. */
typedef struct _Atlv Atlv;
struct _Atlv {
  guchar cls;
  gulong tag;
  gint off;
  gint len;
  GBytes *value;
  GBytes *decoded;
  Atlv *child;
  Atlv *next;
  guint bits_empty : 3;
  guint prefix_for_bit_string : 1;
  guint prefix_with_zero_byte : 1;
  guint sorted : 1;
};

/* Trees */

GNode *tesk_asn1x_create (const TeskAsn1xDef *defs, const gchar *type);
GNode *tesk_asn1x_create_quark (const TeskAsn1xDef *defs, GQuark type);
GNode *tesk_asn1x_create_and_decode (const TeskAsn1xDef *defs, const gchar *identifier,
                                     GBytes *data);
GNode *tesk_asn1x_create_and_decode_full (const TeskAsn1xDef *defs, const gchar *identifier,
                                          GBytes *data, gint options);
void tesk_asn1x_dump (GNode *asn);
/* Steps are names (const gchar *) or, at a SEQUENCE OF or SET OF, 1-based
 * indexes (gint); the path ends with NULL (or an index of 0). */
GNode *tesk_asn1x_node (GNode *asn, ...);
const gchar *tesk_asn1x_name (GNode *asn);
TeskAsn1xType tesk_asn1x_type (GNode *asn);
gboolean tesk_asn1x_have (GNode *asn);
guint tesk_asn1x_count (GNode *node);
GNode *tesk_asn1x_append (GNode *node);
void tesk_asn1x_clear (GNode *asn);
void tesk_asn1x_destroy (gpointer asn);
const gchar *tesk_asn1x_message (GNode *asn);

/* Decoding and encoding */

gboolean tesk_asn1x_decode (GNode *asn, GBytes *data);
gboolean tesk_asn1x_decode_full (GNode *asn, GBytes *data, gint options);
gboolean tesk_asn1x_validate (GNode *asn, gboolean strict);
/* Returns a new buffer holding the DER encoding, or NULL. */
GBytes *tesk_asn1x_encode (GNode *asn, TeskAllocator allocator);

glong tesk_asn1x_element_length (const guchar *data, gsize n_data);
gconstpointer tesk_asn1x_element_content (const guchar *data, gsize n_data, gsize *n_content);

/* Value access. Getters return new references or allocations. */

gboolean tesk_asn1x_get_boolean (GNode *node, gboolean *value);
void tesk_asn1x_set_boolean (GNode *node, gboolean value);
void tesk_asn1x_set_null (GNode *node);
GQuark tesk_asn1x_get_enumerated (GNode *node);
void tesk_asn1x_set_enumerated (GNode *node, GQuark value);

gboolean tesk_asn1x_get_integer_as_ulong (GNode *node, gulong *value);
void tesk_asn1x_set_integer_as_ulong (GNode *node, gulong value);
GBytes *tesk_asn1x_get_integer_as_raw (GNode *node);
GBytes *tesk_asn1x_get_integer_as_usg (GNode *node);
void tesk_asn1x_set_integer_as_raw (GNode *node, GBytes *value);
void tesk_asn1x_take_integer_as_raw (GNode *node, GBytes *value);
void tesk_asn1x_set_integer_as_usg (GNode *node, GBytes *value);
void tesk_asn1x_take_integer_as_usg (GNode *node, GBytes *value);

guchar *tesk_asn1x_get_string_as_raw (GNode *node, TeskAllocator allocator, gsize *n_string);
GBytes *tesk_asn1x_get_string_as_bytes (GNode *node);
GBytes *tesk_asn1x_get_string_as_usg (GNode *node, TeskAllocator allocator);
gchar *tesk_asn1x_get_string_as_utf8 (GNode *node, TeskAllocator allocator);
gchar *tesk_asn1x_get_bmpstring_as_utf8 (GNode *node);
void tesk_asn1x_set_string_as_raw (GNode *node, guchar *data, gsize n_data,
                                   GDestroyNotify destroy);
void tesk_asn1x_set_string_as_bytes (GNode *node, GBytes *bytes);
gboolean tesk_asn1x_set_string_as_utf8 (GNode *node, gchar *data, GDestroyNotify destroy);

GBytes *tesk_asn1x_get_bits_as_raw (GNode *node, guint *n_bits);
void tesk_asn1x_set_bits_as_raw (GNode *node, GBytes *value, guint n_bits);
void tesk_asn1x_take_bits_as_raw (GNode *node, GBytes *value, guint n_bits);
gboolean tesk_asn1x_get_bits_as_ulong (GNode *node, gulong *value, guint *n_bits);
void tesk_asn1x_set_bits_as_ulong (GNode *node, gulong value, guint n_bits);

gchar *tesk_asn1x_get_oid_as_string (GNode *node);
GQuark tesk_asn1x_get_oid_as_quark (GNode *node);
gboolean tesk_asn1x_set_oid_as_string (GNode *node, const gchar *oid);
gboolean tesk_asn1x_set_oid_as_quark (GNode *node, GQuark oid);

GDateTime *tesk_asn1x_get_time_as_date_time (GNode *node);

GNode *tesk_asn1x_get_choice (GNode *node);
gboolean tesk_asn1x_set_choice (GNode *node, GNode *choice);
GBytes *tesk_asn1x_get_element_raw (GNode *node);
GBytes *tesk_asn1x_get_value_raw (GNode *node);

GBytes *tesk_asn1x_get_any_raw (GNode *node, TeskAllocator allocator);
gboolean tesk_asn1x_set_any_raw (GNode *node, GBytes *raw);
void tesk_asn1x_set_any_from (GNode *node, GNode *from);
gboolean tesk_asn1x_get_any_into (GNode *node, GNode *into);
gboolean tesk_asn1x_get_any_into_full (GNode *node, GNode *into, gint options);
GNode *tesk_asn1x_get_any_as (GNode *node, const TeskAsn1xDef *defs, const gchar *type);
GNode *tesk_asn1x_get_any_as_full (GNode *node, const TeskAsn1xDef *defs, const gchar *type,
                                   gint options);
GNode *tesk_asn1x_get_any_as_string (GNode *node, TeskAsn1xType type);
GNode *tesk_asn1x_get_any_as_string_full (GNode *node, TeskAsn1xType type, gint options);

G_END_DECLS
