// Typed access to the values of node trees: booleans, integers, strings,
// bit strings, object identifiers, choices and raw elements.

#include "tesk-asn1x-private.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

gboolean read_ulong (std::span<const guchar> content, gulong *value)
{
  if (content.empty () || content.size () > sizeof (gulong))
    return FALSE;
  gulong number = 0;
  for (guchar b : content)
    number = (number << 8) | b;
  *value = number;
  return TRUE;
}

gboolean bytes_equal (GBytes *a, GBytes *b)
{
  return a && b && g_bytes_equal (a, b);
}

guchar *heap_or_allocator (TeskAllocator allocator, gsize size)
{
  if (allocator)
    return static_cast<guchar *> (allocator (nullptr, size));
  return static_cast<guchar *> (g_realloc (nullptr, size));
}

void release_to_allocator (TeskAllocator allocator, gpointer data)
{
  if (allocator)
    allocator (data, 0);
  else
    g_free (data);
}

struct AllocatorFree {
  TeskAllocator allocator;
  gpointer data;
};

void allocator_free (gpointer data)
{
  std::unique_ptr<AllocatorFree> closure (static_cast<AllocatorFree *> (data));
  release_to_allocator (closure->allocator, closure->data);
}

gboolean is_string_node_type (int type)
{
  return type == TESK_ASN1X_OCTET_STRING || type == TESK_ASN1X_GENERAL_STRING ||
         type == TESK_ASN1X_NUMERIC_STRING || type == TESK_ASN1X_IA5_STRING ||
         type == TESK_ASN1X_TELETEX_STRING || type == TESK_ASN1X_PRINTABLE_STRING ||
         type == TESK_ASN1X_UNIVERSAL_STRING || type == TESK_ASN1X_BMP_STRING ||
         type == TESK_ASN1X_UTF8_STRING || type == TESK_ASN1X_VISIBLE_STRING;
}

void take_integer_as_raw (GNode *node, GBytes *value)
{
  Anode *an = anode_of (node);
  anode_take_value (node, value);
  an->guarantee_unsigned = 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Defaults and integer encodings

gboolean anode_default_boolean (GNode *node, gboolean *value)
{
  if (!(anode_def_flags (node) & FLAG_DEFAULT))
    return FALSE;
  const TeskAsn1xDef *opt = anode_opt_lookup (node, TESK_ASN1X_DEFAULT, nullptr);
  TESK_RETURN_VAL_IF_FAIL (opt != NULL, FALSE);
  if (opt->type & FLAG_TRUE) {
    *value = TRUE;
    return TRUE;
  }
  if (opt->type & FLAG_FALSE) {
    *value = FALSE;
    return TRUE;
  }
  TESK_NOT_REACHED ();
  return FALSE;
}

GBytes *anode_default_integer (GNode *node)
{
  if (!(anode_def_flags (node) & FLAG_DEFAULT))
    return nullptr;
  const TeskAsn1xDef *opt = anode_opt_lookup (node, TESK_ASN1X_DEFAULT, nullptr);
  TESK_RETURN_VAL_IF_FAIL (opt != NULL, nullptr);
  TESK_RETURN_VAL_IF_FAIL (opt->value != NULL, nullptr);

  const gchar *text = opt->value;
  if (g_ascii_isalpha (text[0])) {
    const TeskAsn1xDef *named = anode_opt_lookup (node, TESK_ASN1X_CONSTANT, text);
    if (named && named->value)
      text = named->value;
  }
  gchar *end = nullptr;
  const gulong number = std::strtoul (text, &end, 10);
  TESK_RETURN_VAL_IF_FAIL (end && !end[0], nullptr);
  return anode_write_integer_ulong (number);
}

GBytes *anode_write_integer_ulong (gulong value)
{
  guchar buf[sizeof (gulong) + 1];
  guint n = 0;
  for (gint i = sizeof (gulong) - 1; i >= 0; i--) {
    const guchar b = static_cast<guchar> ((value >> (8 * i)) & 0xFF);
    if (n == 0 && b == 0 && i > 0)
      continue;
    if (n == 0 && (b & 0x80))
      buf[n++] = 0x00;
    buf[n++] = b;
  }
  return g_bytes_new (buf, n);
}

gboolean anode_read_integer_ulong (GNode *, GBytes *data, gulong *value)
{
  return read_ulong (bytes_span (data), value);
}

// ---------------------------------------------------------------------------
// Object identifiers

gboolean anode_read_object_id (GNode *node, GBytes *data, gchar **oid)
{
  auto content = bytes_span (data);
  if (content.empty ())
    return anode_failure (node, "object id encoding is invalid");

  // Each arc takes at most ten digits and a dot. Without oid, only the
  // encoding is checked.
  const bool want_text = oid != nullptr;
  std::string text;
  if (want_text)
    text.reserve (content.size () * 4 + 4);
  auto append = [&text, want_text] (guint32 number) {
    if (!want_text)
      return;
    char digits[16];
    auto end = std::to_chars (digits, digits + sizeof digits, number).ptr;
    text.append (digits, end);
  };

  guint32 arc = 0;
  bool arc_started = false;
  bool first = true;
  for (guchar b : content) {
    // A leading 0x80 group is a non-minimal encoding; an arc must also
    // fit 32 bits.
    if ((!arc_started && b == 0x80) || arc > (G_MAXUINT32 >> 7))
      return anode_failure (node, "object id encoding is invalid");
    arc = (arc << 7) | (b & 0x7F);
    arc_started = true;
    if (b & 0x80)
      continue;
    if (first) {
      // The first number holds the first two arcs; only arc 2 has more
      // than 40 arcs below it.
      if (arc < 80) {
        append (arc / 40u);
        if (want_text)
          text += '.';
        append (arc % 40u);
      } else {
        if (want_text)
          text += "2.";
        append (arc - 80u);
      }
      first = false;
    } else {
      if (want_text)
        text += '.';
      append (arc);
    }
    arc = 0;
    arc_started = false;
  }

  if (first)
    return anode_failure (node, "object id encoding is invalid");
  if (want_text)
    *oid = g_strndup (text.data (), text.size ());
  return TRUE;
}

namespace {

void write_base128 (guint64 value, std::vector<guchar> *out)
{
  guchar groups[10];
  int count = 0;
  do {
    groups[count++] = value & 0x7F;
    value >>= 7;
  } while (value != 0);
  while (count > 0) {
    --count;
    out->push_back (count > 0 ? (groups[count] | 0x80) : groups[count]);
  }
}

}  // namespace

gboolean anode_write_object_id (const gchar *oid, std::vector<guchar> *out)
{
  out->clear ();
  gint32 first = 0;
  int index = 0;
  const gchar *p = oid;

  for (;;) {
    const gchar *dot = std::strchr (p, '.');
    const gsize n = dot ? static_cast<gsize> (dot - p) : std::strlen (p);
    if (n == 0)
      return FALSE;
    guint64 number = 0;
    for (gsize i = 0; i < n; i++) {
      if (!g_ascii_isdigit (p[i]))
        return FALSE;
      number = number * 10 + static_cast<guint64> (p[i] - '0');
      if (number > G_MAXINT32)
        return FALSE;
    }
    const gint32 arc = static_cast<gint32> (number);

    if (index == 0) {
      first = arc;
    } else if (index == 1) {
      // Arcs 0 and 1 have 40 arcs below them; only arc 2 has more.
      if (first > 2 || (first < 2 && arc >= 40))
        return FALSE;
      write_base128 (static_cast<guint64> (first) * 40 + static_cast<guint64> (arc), out);
    } else {
      write_base128 (static_cast<guint64> (arc), out);
    }
    index++;

    if (!dot)
      break;
    p = dot + 1;
  }

  return out->size () >= 2;
}

// ---------------------------------------------------------------------------
// Booleans, null, enumerations

gboolean tesk_asn1x_get_boolean (GNode *node, gboolean *value)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (value != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (anode_def_type (node) == TESK_ASN1X_BOOLEAN, FALSE);

  GBytes *data = anode_of (node)->value;
  if (data == nullptr)
    return anode_default_boolean (node, value);

  auto content = bytes_span (data);
  const gsize len = content.size ();
  TESK_RETURN_VAL_IF_FAIL (len == 1, FALSE);
  if (content[0] == 0x00) {
    *value = FALSE;
    return TRUE;
  }
  if (content[0] == 0xFF) {
    *value = TRUE;
    return TRUE;
  }
  TESK_NOT_REACHED ();
  return FALSE;
}

void tesk_asn1x_set_boolean (GNode *node, gboolean value)
{
  TESK_RETURN_IF_FAIL (node != NULL);
  TESK_RETURN_IF_FAIL (anode_def_type (node) == TESK_ASN1X_BOOLEAN);

  gboolean def;
  if (anode_default_boolean (node, &def) && (def ? TRUE : FALSE) == (value ? TRUE : FALSE)) {
    anode_clr_value (node);
    return;
  }
  const guchar byte = value ? 0xFF : 0x00;
  anode_take_value (node, g_bytes_new (&byte, 1));
}

void tesk_asn1x_set_null (GNode *node)
{
  TESK_RETURN_IF_FAIL (node != NULL);
  TESK_RETURN_IF_FAIL (anode_def_type (node) == TESK_ASN1X_NULL);
  anode_take_value (node, g_bytes_new (nullptr, 0));
}

GQuark tesk_asn1x_get_enumerated (GNode *node)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, 0);
  TESK_RETURN_VAL_IF_FAIL (anode_def_type (node) == TESK_ASN1X_ENUMERATED, 0);

  GBytes *data = anode_of (node)->value;
  if (data == nullptr)
    return 0;

  gulong number;
  if (!read_ulong (bytes_span (data), &number)) {
    TESK_NOT_REACHED ();
    return 0;
  }
  gchar text[32];
  g_snprintf (text, sizeof (text), "%lu", number);
  for (const TeskAsn1xDef *opt : anode_of (node)->opts) {
    if (adef_type (opt) == TESK_ASN1X_CONSTANT && opt->value &&
        std::strcmp (opt->value, text) == 0)
      return opt->name ? g_quark_from_static_string (opt->name) : 0;
  }
  return 0;
}

void tesk_asn1x_set_enumerated (GNode *node, GQuark value)
{
  TESK_RETURN_IF_FAIL (node != NULL);
  TESK_RETURN_IF_FAIL (anode_def_type (node) == TESK_ASN1X_ENUMERATED);
  TESK_RETURN_IF_FAIL (value != 0);

  const gchar *name = g_quark_to_string (value);
  TESK_RETURN_IF_FAIL (name != NULL);
  const TeskAsn1xDef *opt = anode_opt_lookup (node, TESK_ASN1X_CONSTANT, name);
  TESK_RETURN_IF_FAIL (opt && opt->value);
  const gulong val = anode_def_value_as_ulong (opt);
  TESK_RETURN_IF_FAIL (val != G_MAXULONG);
  anode_take_value (node, anode_write_integer_ulong (val));
}

// ---------------------------------------------------------------------------
// Integers

gboolean tesk_asn1x_get_integer_as_ulong (GNode *node, gulong *value)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (value != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (anode_def_type (node) == TESK_ASN1X_INTEGER, FALSE);

  GBytes *data = anode_of (node)->value;
  GBytes *def = nullptr;
  if (data == nullptr)
    data = def = anode_default_integer (node);
  if (data == nullptr)
    return FALSE;
  const gboolean ok = read_ulong (bytes_span (data), value);
  if (def)
    g_bytes_unref (def);
  return ok;
}

void tesk_asn1x_set_integer_as_ulong (GNode *node, gulong value)
{
  TESK_RETURN_IF_FAIL (node != NULL);
  TESK_RETURN_IF_FAIL (anode_def_type (node) == TESK_ASN1X_INTEGER);

  GBytes *bytes = anode_write_integer_ulong (value);
  GBytes *def = anode_default_integer (node);
  if (bytes_equal (bytes, def)) {
    g_bytes_unref (bytes);
    anode_clr_value (node);
  } else {
    take_integer_as_raw (node, bytes);
  }
  if (def)
    g_bytes_unref (def);
}

GBytes *tesk_asn1x_get_integer_as_raw (GNode *node)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, nullptr);
  TESK_RETURN_VAL_IF_FAIL (anode_def_type (node) == TESK_ASN1X_INTEGER, nullptr);

  Anode *an = anode_of (node);
  if (an->value == nullptr)
    return nullptr;
  if (an->guarantee_unsigned) {
    g_warning ("cannot read integer set with tesk_asn1x_set_integer_as_usg as a raw integer");
    return nullptr;
  }
  return g_bytes_ref (an->value);
}

GBytes *tesk_asn1x_get_integer_as_usg (GNode *node)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, nullptr);
  TESK_RETURN_VAL_IF_FAIL (anode_def_type (node) == TESK_ASN1X_INTEGER, nullptr);

  Anode *an = anode_of (node);
  if (an->value == nullptr)
    return nullptr;
  if (an->guarantee_unsigned)
    return g_bytes_ref (an->value);

  auto content = bytes_span (an->value);
  if (content.empty ())
    return g_bytes_ref (an->value);
  if (content[0] & 0x80) {
    g_warning ("invalid two's complement integer");
    return nullptr;
  }
  gsize skip = 0;
  while (skip + 1 < content.size () && content[skip] == 0)
    skip++;
  return g_bytes_new_from_bytes (an->value, skip, content.size () - skip);
}

void tesk_asn1x_take_integer_as_raw (GNode *node, GBytes *value)
{
  TESK_RETURN_IF_FAIL (node != NULL);
  TESK_RETURN_IF_FAIL (value != NULL);
  TESK_RETURN_IF_FAIL (anode_def_type (node) == TESK_ASN1X_INTEGER);

  gsize len = 0;
  auto *p = static_cast<const guchar *> (g_bytes_get_data (value, &len));
  if (p == nullptr) {
    g_return_if_fail_warning (nullptr, __func__, "p != NULL");
    g_bytes_unref (value);
    return;
  }
  if (p[0] & 0x80) {
    g_warning ("integer is not two's complement");
    // The reference was handed over; a refused buffer is released too.
    g_bytes_unref (value);
    return;
  }
  take_integer_as_raw (node, value);
}

void tesk_asn1x_set_integer_as_raw (GNode *node, GBytes *value)
{
  TESK_RETURN_IF_FAIL (value != NULL);
  tesk_asn1x_take_integer_as_raw (node, g_bytes_ref (value));
}

void tesk_asn1x_take_integer_as_usg (GNode *node, GBytes *value)
{
  TESK_RETURN_IF_FAIL (node != NULL);
  TESK_RETURN_IF_FAIL (value != NULL);
  TESK_RETURN_IF_FAIL (anode_def_type (node) == TESK_ASN1X_INTEGER);
  anode_take_value (node, value);
  anode_of (node)->guarantee_unsigned = 1;
}

void tesk_asn1x_set_integer_as_usg (GNode *node, GBytes *value)
{
  TESK_RETURN_IF_FAIL (value != NULL);
  tesk_asn1x_take_integer_as_usg (node, g_bytes_ref (value));
}

// ---------------------------------------------------------------------------
// Strings

guchar *tesk_asn1x_get_string_as_raw (GNode *node, TeskAllocator allocator, gsize *n_string)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, nullptr);
  TESK_RETURN_VAL_IF_FAIL (n_string, nullptr);
  const int type = anode_def_type (node);
  TESK_RETURN_VAL_IF_FAIL (
    type == TESK_ASN1X_OCTET_STRING || type == TESK_ASN1X_GENERAL_STRING ||
      type == TESK_ASN1X_NUMERIC_STRING || type == TESK_ASN1X_IA5_STRING ||
      type == TESK_ASN1X_TELETEX_STRING || type == TESK_ASN1X_PRINTABLE_STRING ||
      type == TESK_ASN1X_UNIVERSAL_STRING || type == TESK_ASN1X_BMP_STRING ||
      type == TESK_ASN1X_UTF8_STRING || type == TESK_ASN1X_VISIBLE_STRING,
    nullptr);

  Anode *an = anode_of (node);
  if (an->value) {
    auto content = bytes_span (an->value);
    guchar *raw = heap_or_allocator (allocator, content.size () + 1);
    if (raw == nullptr)
      return nullptr;
    if (!content.empty ())
      std::memcpy (raw, content.data (), content.size ());
    raw[content.size ()] = 0;
    *n_string = content.size ();
    return raw;
  }

  // A string in constructed form: the primitive pieces joined in order.
  const Atlv *tlv = an->parsed;
  if (tlv && anode_calc_explicit (node, nullptr))
    tlv = tlv->child;
  if (tlv == nullptr)
    return nullptr;

  gsize total = 0;
  for (const Atlv *piece = tlv->child; piece != nullptr; piece = piece->next) {
    if ((piece->cls & ASN1_CLASS_STRUCTURED) || piece->value == nullptr)
      return nullptr;
    total += g_bytes_get_size (piece->value);
  }
  guchar *raw = heap_or_allocator (allocator, total + 1);
  if (raw == nullptr)
    return nullptr;
  gsize at = 0;
  for (const Atlv *piece = tlv->child; piece != nullptr; piece = piece->next) {
    auto content = bytes_span (piece->value);
    if (!content.empty ())
      std::memcpy (raw + at, content.data (), content.size ());
    at += content.size ();
  }
  raw[total] = 0;
  *n_string = total;
  return raw;
}

GBytes *tesk_asn1x_get_string_as_bytes (GNode *node)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, nullptr);
  gsize n = 0;
  guchar *raw = tesk_asn1x_get_string_as_raw (node, nullptr, &n);
  if (raw == nullptr)
    return nullptr;
  return g_bytes_new_take (raw, n);
}

GBytes *tesk_asn1x_get_string_as_usg (GNode *node, TeskAllocator allocator)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, nullptr);
  gsize n = 0;
  guchar *raw = tesk_asn1x_get_string_as_raw (node, allocator, &n);
  if (raw == nullptr)
    return nullptr;
  gsize skip = 0;
  if (n > 0 && raw[0] == 0) {
    while (skip + 1 < n && raw[skip] == 0)
      skip++;
  }
  auto *closure = new AllocatorFree{allocator, raw};
  return g_bytes_new_with_free_func (raw + skip, n - skip, allocator_free, closure);
}

gchar *tesk_asn1x_get_string_as_utf8 (GNode *node, TeskAllocator allocator)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, nullptr);
  gsize n = 0;
  guchar *raw = tesk_asn1x_get_string_as_raw (node, allocator, &n);
  if (raw == nullptr)
    return nullptr;
  if (!g_utf8_validate (reinterpret_cast<const gchar *> (raw), static_cast<gssize> (n),
                        nullptr)) {
    release_to_allocator (allocator, raw);
    return nullptr;
  }
  return reinterpret_cast<gchar *> (raw);
}

gchar *tesk_asn1x_get_bmpstring_as_utf8 (GNode *node)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, nullptr);
  gsize n = 0;
  guchar *raw = tesk_asn1x_get_string_as_raw (node, nullptr, &n);
  if (raw == nullptr)
    return nullptr;
  gchar *utf8 = g_convert (reinterpret_cast<const gchar *> (raw), static_cast<gssize> (n),
                           "UTF-8", "UTF-16BE", nullptr, nullptr, nullptr);
  g_free (raw);
  return utf8;
}

void tesk_asn1x_set_string_as_raw (GNode *node, guchar *data, gsize n_data,
                                   GDestroyNotify destroy)
{
  TESK_RETURN_IF_FAIL (node != NULL);
  TESK_RETURN_IF_FAIL (data != NULL);
  const int type = anode_def_type (node);
  TESK_RETURN_IF_FAIL (is_string_node_type (type));
  anode_take_value (node, g_bytes_new_with_free_func (data, n_data, destroy, data));
}

void tesk_asn1x_set_string_as_bytes (GNode *node, GBytes *bytes)
{
  TESK_RETURN_IF_FAIL (node != NULL);
  TESK_RETURN_IF_FAIL (bytes != NULL);
  const int type = anode_def_type (node);
  TESK_RETURN_IF_FAIL (is_string_node_type (type));
  anode_take_value (node, g_bytes_ref (bytes));
}

gboolean tesk_asn1x_set_string_as_utf8 (GNode *node, gchar *data, GDestroyNotify destroy)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (data != NULL, FALSE);
  const int type = anode_def_type (node);
  TESK_RETURN_VAL_IF_FAIL (is_string_node_type (type), FALSE);

  const gsize n = std::strlen (data);
  if (!g_utf8_validate (data, static_cast<gssize> (n), nullptr))
    return FALSE;
  tesk_asn1x_set_string_as_raw (node, reinterpret_cast<guchar *> (data), n, destroy);
  return TRUE;
}

// ---------------------------------------------------------------------------
// Bit strings

GBytes *tesk_asn1x_get_bits_as_raw (GNode *node, guint *n_bits)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, nullptr);
  TESK_RETURN_VAL_IF_FAIL (n_bits != NULL, nullptr);
  TESK_RETURN_VAL_IF_FAIL (anode_def_type (node) == TESK_ASN1X_BIT_STRING, nullptr);

  Anode *an = anode_of (node);
  if (an->value == nullptr)
    return nullptr;
  const gsize len = g_bytes_get_size (an->value);
  *n_bits = len * 8 >= an->bits_empty ? static_cast<guint> (len * 8 - an->bits_empty) : 0;
  return g_bytes_ref (an->value);
}

void tesk_asn1x_take_bits_as_raw (GNode *node, GBytes *value, guint n_bits)
{
  TESK_RETURN_IF_FAIL (node != NULL);
  TESK_RETURN_IF_FAIL (value != NULL);
  TESK_RETURN_IF_FAIL (anode_def_type (node) == TESK_ASN1X_BIT_STRING);
  anode_take_value (node, value);
  anode_of (node)->bits_empty = (8 - n_bits % 8) % 8;
}

void tesk_asn1x_set_bits_as_raw (GNode *node, GBytes *value, guint n_bits)
{
  TESK_RETURN_IF_FAIL (value != NULL);
  tesk_asn1x_take_bits_as_raw (node, g_bytes_ref (value), n_bits);
}

gboolean tesk_asn1x_get_bits_as_ulong (GNode *node, gulong *value, guint *n_bits)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (value != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (n_bits != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (anode_def_type (node) == TESK_ASN1X_BIT_STRING, FALSE);

  Anode *an = anode_of (node);
  if (an->value == nullptr)
    return FALSE;
  auto content = bytes_span (an->value);
  if (content.size () > sizeof (gulong) || content.size () * 8 < an->bits_empty)
    return FALSE;

  gulong number = 0;
  for (guchar b : content)
    number = (number << 8) | b;
  *value = number >> an->bits_empty;
  *n_bits = static_cast<guint> (content.size () * 8 - an->bits_empty);
  return TRUE;
}

void tesk_asn1x_set_bits_as_ulong (GNode *node, gulong value, guint n_bits)
{
  TESK_RETURN_IF_FAIL (node != NULL);
  TESK_RETURN_IF_FAIL (anode_def_type (node) == TESK_ASN1X_BIT_STRING);
  TESK_RETURN_IF_FAIL (n_bits <= sizeof (gulong) * 8);

  guint empty = 0;
  if (n_bits % 8 != 0) {
    empty = 8 - n_bits % 8;
    value <<= empty;
  }
  const guint len = (n_bits + 7) / 8;
  guchar buf[sizeof (gulong)];
  for (guint i = 0; i < len; i++)
    buf[len - 1 - i] = static_cast<guchar> ((value >> (8 * i)) & 0xFF);

  anode_take_value (node, g_bytes_new (buf, len));
  anode_of (node)->bits_empty = empty;
}

// ---------------------------------------------------------------------------
// Object identifiers

gchar *tesk_asn1x_get_oid_as_string (GNode *node)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, nullptr);
  TESK_RETURN_VAL_IF_FAIL (anode_def_type (node) == TESK_ASN1X_OBJECT_ID, nullptr);

  GBytes *value = anode_of (node)->value;
  if (value == nullptr)
    return nullptr;
  gchar *oid = nullptr;
  if (!anode_read_object_id (node, value, &oid)) {
    TESK_NOT_REACHED ();
    return nullptr;
  }
  return oid;
}

GQuark tesk_asn1x_get_oid_as_quark (GNode *node)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, 0);
  gchar *oid = tesk_asn1x_get_oid_as_string (node);
  if (oid == nullptr)
    return 0;
  const GQuark quark = g_quark_from_string (oid);
  g_free (oid);
  return quark;
}

gboolean tesk_asn1x_set_oid_as_string (GNode *node, const gchar *oid)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (oid != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (anode_def_type (node) == TESK_ASN1X_OBJECT_ID, FALSE);

  std::vector<guchar> content;
  if (!anode_write_object_id (oid, &content))
    return FALSE;
  anode_take_value (node, g_bytes_new (content.data (), content.size ()));
  return TRUE;
}

gboolean tesk_asn1x_set_oid_as_quark (GNode *node, GQuark oid)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (oid != 0, FALSE);
  const gchar *str = g_quark_to_string (oid);
  TESK_RETURN_VAL_IF_FAIL (str != NULL, FALSE);
  return tesk_asn1x_set_oid_as_string (node, str);
}

// ---------------------------------------------------------------------------
// Choices and raw elements

GNode *tesk_asn1x_get_choice (GNode *node)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, nullptr);
  for (GNode *child = node->children; child != nullptr; child = child->next) {
    if (anode_of (child)->chosen)
      return child;
  }
  return nullptr;
}

gboolean tesk_asn1x_set_choice (GNode *node, GNode *choice)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (anode_def_type (node) == TESK_ASN1X_CHOICE, FALSE);

  for (GNode *child = node->children; child != nullptr; child = child->next) {
    if (child == choice) {
      anode_of (child)->chosen = 1;
      choice = nullptr;
    } else {
      anode_of (child)->chosen = 0;
    }
  }
  TESK_RETURN_VAL_IF_FAIL (!choice, FALSE);
  return TRUE;
}

GBytes *tesk_asn1x_get_element_raw (GNode *node)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, nullptr);
  const Atlv *tlv = anode_of (node)->parsed;
  if (tlv && anode_calc_explicit (node, nullptr))
    tlv = tlv->child;
  if (tlv == nullptr || tlv->decoded == nullptr)
    return nullptr;
  return g_bytes_ref (tlv->decoded);
}

GBytes *tesk_asn1x_get_value_raw (GNode *node)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, nullptr);
  GBytes *value = anode_of (node)->value;
  return value ? g_bytes_ref (value) : nullptr;
}
