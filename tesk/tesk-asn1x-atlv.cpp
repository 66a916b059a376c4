// The DER element layer: reading bytes into Atlv trees without a schema and
// writing such trees back with minimal headers.

#include "tesk-asn1x-private.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Holds what a buffer from a custom allocator needs to release it.
struct AllocatorClosure {
  TeskAllocator allocator;
  gpointer data;
};

void allocator_closure_free (gpointer data)
{
  std::unique_ptr<AllocatorClosure> closure (static_cast<AllocatorClosure *> (data));
  closure->allocator (closure->data, 0);
}

bool is_heap_allocator (TeskAllocator allocator)
{
  return allocator == nullptr || allocator == reinterpret_cast<TeskAllocator> (&::realloc);
}

GBytes *bytes_new_with_allocator (TeskAllocator allocator, guchar **data, gsize length)
{
  if (!is_heap_allocator (allocator)) {
    auto *mem = static_cast<guchar *> (allocator (nullptr, length + 1));
    TESK_RETURN_VAL_IF_FAIL (mem != NULL, nullptr);
    *data = mem;
    auto *closure = new AllocatorClosure{allocator, mem};
    return g_bytes_new_with_free_func (mem, length, allocator_closure_free, closure);
  }
  auto *mem = static_cast<guchar *> (g_malloc (length ? length : 1));
  *data = mem;
  return g_bytes_new_take (mem, length);
}

const gchar *parse_der_tag (guchar cls, gulong tag, gint off, gint len, GBytes *data,
                            const guchar **at, const guchar *limit, Atlv *tlv, int depth);

// Reads the children of a constructed element whose content starts at *at.
const gchar *parse_der_children (Atlv *tlv, GBytes *data, const guchar **at,
                                 const guchar *content_end, int depth)
{
  const bool indefinite = tlv->len < 0;
  Atlv *last = nullptr;
  const guchar *p = *at;

  while (p < content_end) {
    guchar ccls;
    gulong ctag;
    gint coff, clen;
    if (!atlv_parse_cls_tag_len (p, content_end, &ccls, &ctag, &coff, &clen))
      return "content is not encoded properly";

    if (indefinite && ccls == 0 && ctag == 0 && clen == 0) {
      p += 2;
      break;
    }

    Atlv *child = atlv_new ();
    const gchar *ret = parse_der_tag (ccls, ctag, coff, clen, data, &p, content_end, child,
                                      depth + 1);
    if (ret != nullptr) {
      atlv_free (child);
      *at = p;
      return ret;
    }
    if (last)
      last->next = child;
    else
      tlv->child = child;
    last = child;
  }

  *at = p;
  return nullptr;
}

// Reads one element whose header is known. An element of indefinite length
// may run at most to limit, the end of the content that encloses it.
const gchar *parse_der_tag (guchar cls, gulong tag, gint off, gint len, GBytes *data,
                            const guchar **at, const guchar *limit, Atlv *tlv, int depth)
{
  const guchar *start = *at;
  const std::ptrdiff_t avail = limit - start;
  TESK_RETURN_VAL_IF_FAIL (off >= 0 && avail >= off && (len < 0 || avail - off >= len),
                           "invalid length of tlv");

  if (len < 0 && !(cls & ASN1_CLASS_STRUCTURED))
    return "indefinite length on non-structured type";
  if (depth > kAtlvMaxDepth)
    return "content is not encoded properly";

  tlv->cls = cls;
  tlv->tag = tag;
  tlv->off = off;
  tlv->len = len;

  const guchar *base = static_cast<const guchar *> (g_bytes_get_data (data, nullptr));
  const guchar *p = start + off;

  if (!(cls & ASN1_CLASS_STRUCTURED)) {
    tlv->value = g_bytes_new_from_bytes (data, p - base, len);
    p += len;
  } else {
    const guchar *content_end = len >= 0 ? p + len : limit;
    const gchar *ret = parse_der_children (tlv, data, &p, content_end, depth);
    if (ret != nullptr) {
      *at = p;
      return ret;
    }
  }

  tlv->decoded = g_bytes_new_from_bytes (data, start - base, p - start);
  *at = p;
  return nullptr;
}

gint length_of_length (gint len)
{
  if (len < 128)
    return 1;
  gint n = 0;
  for (guint32 v = static_cast<guint32> (len); v != 0; v >>= 8)
    n++;
  return 1 + n;
}

gint length_of_tag (gulong tag)
{
  if (tag < 31)
    return 1;
  gint n = 0;
  for (gulong v = tag; v != 0; v >>= 7)
    n++;
  return 1 + n;
}

void unparse_one (const Atlv *tlv, guchar **at, guchar *end)
{
  guchar *p = *at;
  TESK_ASSERT (p <= end);
  gint off = atlv_unparse_cls_tag_len (p, end - p, tlv->cls, tlv->tag, tlv->len);
  TESK_ASSERT (off == tlv->off);
  p += off;

  if (tlv->value) {
    auto value = bytes_span (tlv->value);
    if (tlv->prefix_for_bit_string) {
      TESK_ASSERT (static_cast<gsize> (tlv->len) == value.size () + 1);
      TESK_ASSERT (static_cast<gsize> (end - p) >= value.size () + 1);
      *p++ = tlv->bits_empty;
      if (!value.empty ()) {
        std::memcpy (p, value.data (), value.size ());
        if (tlv->bits_empty)
          p[value.size () - 1] &= static_cast<guchar> (~(0xFFu >> (8 - tlv->bits_empty)));
      }
      p += value.size ();
    } else if (tlv->prefix_with_zero_byte) {
      TESK_ASSERT (static_cast<gsize> (tlv->len) == value.size () + 1);
      TESK_ASSERT (static_cast<gsize> (end - p) >= value.size () + 1);
      *p++ = 0;
      if (!value.empty ())
        std::memcpy (p, value.data (), value.size ());
      p += value.size ();
    } else {
      TESK_ASSERT (static_cast<gsize> (tlv->len) == value.size ());
      TESK_ASSERT (static_cast<gsize> (end - p) >= value.size ());
      if (!value.empty ())
        std::memcpy (p, value.data (), value.size ());
      p += value.size ();
    }
  } else {
    for (const Atlv *child = tlv->child; child != nullptr; child = child->next) {
      guchar *before = p;
      unparse_one (child, &p, end);
      TESK_ASSERT (p - before == child->off + child->len);
    }
  }

  TESK_ASSERT (p <= end);
  *at = p;
}

int compare_encodings (GBytes *a, GBytes *b)
{
  auto sa = bytes_span (a);
  auto sb = bytes_span (b);
  const gsize n = std::min (sa.size (), sb.size ());
  if (n > 0) {
    int cmp = std::memcmp (sa.data (), sb.data (), n);
    if (cmp != 0)
      return cmp;
  }
  if (sa.size () == sb.size ())
    return 0;
  return sa.size () < sb.size () ? -1 : 1;
}

void sort_children (Atlv *tlv, TeskAllocator allocator)
{
  struct Item {
    GBytes *encoded;
    Atlv *tlv;
  };
  std::vector<Item> items;
  bool failed = false;
  for (Atlv *child = tlv->child; child != nullptr; child = child->next) {
    GBytes *encoded = atlv_unparse_to_bytes (child, allocator);
    if (encoded == nullptr) {
      failed = true;
      break;
    }
    items.push_back ({encoded, child});
  }

  if (failed) {
    g_return_if_fail_warning (nullptr, "atlv_sort_perform", "bytes != NULL");
  } else {
    std::stable_sort (items.begin (), items.end (), [] (const Item &a, const Item &b) {
      return compare_encodings (a.encoded, b.encoded) < 0;
    });
    Atlv **link = &tlv->child;
    for (auto &item : items) {
      *link = item.tlv;
      link = &item.tlv->next;
    }
    *link = nullptr;
  }

  for (auto &item : items)
    g_bytes_unref (item.encoded);
}

}  // namespace

thread_local unsigned tesk::warnings_logged = 0;

void tesk::log_not_reached (int line, const char *func)
{
  note_warning ();
  g_log (nullptr, G_LOG_LEVEL_CRITICAL, "file %s: line %d (%s): should not be reached",
         kAsn1xSourcePath, line, func);
}

Atlv *atlv_new (void)
{
  return g_new0 (Atlv, 1);
}

void atlv_free (Atlv *tlv)
{
  while (tlv != nullptr) {
    Atlv *next = tlv->next;
    atlv_free (tlv->child);
    if (tlv->value)
      g_bytes_unref (tlv->value);
    if (tlv->decoded)
      g_bytes_unref (tlv->decoded);
    g_free (tlv);
    tlv = next;
  }
}

Atlv *atlv_dup (const Atlv *tlv, gboolean with_siblings)
{
  Atlv *first = nullptr;
  Atlv **link = &first;
  for (; tlv != nullptr; tlv = with_siblings ? tlv->next : nullptr) {
    Atlv *copy = atlv_new ();
    *copy = *tlv;
    copy->next = nullptr;
    if (copy->value)
      g_bytes_ref (copy->value);
    if (copy->decoded)
      g_bytes_ref (copy->decoded);
    copy->child = atlv_dup (tlv->child, TRUE);
    *link = copy;
    link = &copy->next;
  }
  return first;
}

gboolean atlv_parse_cls_tag (const guchar *at, const guchar *end, guchar *cls, gulong *tag,
                             gint *off)
{
  if (end - at < 2)
    return FALSE;

  *cls = at[0] & 0xE0;

  if ((at[0] & 0x1F) != 0x1F) {
    *tag = at[0] & 0x1F;
    *off = 1;
    return TRUE;
  }

  // Long form: base-128 groups, most significant first.
  gint32 value = 0;
  const guchar *p = at + 1;
  for (;;) {
    if (p >= end)
      return FALSE;
    gint32 shifted = static_cast<gint32> (static_cast<guint32> (value) << 7);
    if (shifted < value)
      return FALSE;
    value = shifted | (*p & 0x7F);
    if (!(*p++ & 0x80))
      break;
  }
  // The length must follow.
  if (p >= end)
    return FALSE;

  *tag = static_cast<gulong> (value);
  *off = static_cast<gint> (p - at);
  return TRUE;
}

gint atlv_parse_length (const guchar *at, const guchar *end, gint *off)
{
  *off = 0;
  if (at >= end)
    return -2;

  if (at[0] < 0x80) {
    *off = 1;
    return at[0];
  }
  if (at[0] == 0x80) {
    *off = 1;
    return -1;
  }

  const gint k = at[0] & 0x7F;
  if (end - at - 1 < k)
    return -2;

  gint32 len = 0;
  for (gint i = 1; i <= k; i++) {
    len |= at[i];
    if (i < k) {
      gint32 shifted = static_cast<gint32> (static_cast<guint32> (len) << 8);
      if (shifted < len)
        return -2;
      len = shifted;
    }
  }
  *off = 1 + k;
  return len;
}

gboolean atlv_parse_cls_tag_len (const guchar *at, const guchar *end, guchar *cls, gulong *tag,
                                 gint *off, gint *len)
{
  gint cb, lb;
  if (!atlv_parse_cls_tag (at, end, cls, tag, &cb))
    return FALSE;
  *len = atlv_parse_length (at + cb, end, &lb);
  if (*len < -1)
    return FALSE;
  *off = cb + lb;
  if (*len >= 0 && static_cast<std::int64_t> (*off) + *len > end - at)
    return FALSE;
  return TRUE;
}

const gchar *atlv_parse_der_tag (guchar cls, gulong tag, gint off, gint len, GBytes *data,
                                 const guchar **at, Atlv *tlv)
{
  gsize n = 0;
  auto *base = static_cast<const guchar *> (g_bytes_get_data (data, &n));
  return parse_der_tag (cls, tag, off, len, data, at, base + n, tlv, 0);
}

const gchar *atlv_parse_der (GBytes *data, Atlv *tlv)
{
  gsize n = 0;
  auto *dat = static_cast<const guchar *> (g_bytes_get_data (data, &n));
  TESK_RETURN_VAL_IF_FAIL (dat != NULL, nullptr);

  const guchar *at = dat;
  const guchar *end = dat + n;
  guchar cls;
  gulong tag;
  gint off, len;
  if (!atlv_parse_cls_tag_len (at, end, &cls, &tag, &off, &len))
    return "content is not encoded properly";

  const gchar *ret = parse_der_tag (cls, tag, off, len, data, &at, end, tlv, 0);
  if (ret != nullptr)
    return ret;
  if (at != end)
    return "extra unexpected trailing data";
  return nullptr;
}

gint atlv_unparse_cls_tag_len (guchar *data, gsize n_data, guchar cls, gulong tag, gint len)
{
  const gint tag_bytes = length_of_tag (tag);
  const gint len_bytes = length_of_length (len);
  const gint total = tag_bytes + len_bytes;
  if (data == nullptr)
    return total;

  TESK_ASSERT (n_data >= static_cast<gsize> (total));
  guchar *p = data;
  if (tag < 31) {
    *p++ = static_cast<guchar> ((cls & 0xE0) | tag);
  } else {
    *p++ = static_cast<guchar> ((cls & 0xE0) | 0x1F);
    for (gint i = tag_bytes - 2; i >= 0; i--) {
      guchar group = static_cast<guchar> ((tag >> (7 * i)) & 0x7F);
      *p++ = i > 0 ? (group | 0x80) : group;
    }
  }
  if (len < 128) {
    *p++ = static_cast<guchar> (len);
  } else {
    const gint n = len_bytes - 1;
    *p++ = static_cast<guchar> (0x80 | n);
    for (gint i = n - 1; i >= 0; i--)
      *p++ = static_cast<guchar> ((static_cast<guint32> (len) >> (8 * i)) & 0xFF);
  }
  return total;
}

void atlv_unparse_der (const Atlv *tlv, guchar **at, guchar *end)
{
  unparse_one (tlv, at, end);
}

GBytes *atlv_unparse_to_bytes (const Atlv *tlv, TeskAllocator allocator)
{
  const gsize len = static_cast<gsize> (tlv->off) + static_cast<gsize> (tlv->len);
  TESK_RETURN_VAL_IF_FAIL (len != 0, nullptr);

  guchar *data = nullptr;
  GBytes *bytes = bytes_new_with_allocator (allocator, &data, len);
  TESK_RETURN_VAL_IF_FAIL (bytes != NULL, nullptr);

  guchar *at = data;
  unparse_one (tlv, &at, data + len);
  TESK_ASSERT (at == data + len);
  return bytes;
}

void atlv_sort_perform (Atlv *tlv, TeskAllocator allocator)
{
  for (; tlv != nullptr; tlv = tlv->next) {
    atlv_sort_perform (tlv->child, allocator);
    if (tlv->sorted)
      sort_children (tlv, allocator);
  }
}

glong tesk_asn1x_element_length (const guchar *data, gsize n_data)
{
  guchar cls;
  gulong tag;
  gint off, len;
  if (data == nullptr)
    return -1;
  if (!atlv_parse_cls_tag_len (data, data + n_data, &cls, &tag, &off, &len))
    return -1;
  if (len < 0)
    return -1;
  return static_cast<glong> (off) + len;
}

gconstpointer tesk_asn1x_element_content (const guchar *data, gsize n_data, gsize *n_content)
{
  TESK_RETURN_VAL_IF_FAIL (data != NULL, nullptr);
  TESK_RETURN_VAL_IF_FAIL (n_content != NULL, nullptr);

  guchar cls;
  gulong tag;
  gint off, len;
  // The header check also refuses content that runs past n_data.
  if (!atlv_parse_cls_tag_len (data, data + n_data, &cls, &tag, &off, &len))
    return nullptr;
  if (len < 0)
    return nullptr;
  *n_content = static_cast<gsize> (len);
  return data + off;
}

void atlv_make_definite (Atlv *tlv)
{
  for (; tlv != nullptr; tlv = tlv->next) {
    gint len = 0;
    if (tlv->value) {
      len = static_cast<gint> (g_bytes_get_size (tlv->value));
      if (tlv->prefix_for_bit_string || tlv->prefix_with_zero_byte)
        len += 1;
    } else {
      atlv_make_definite (tlv->child);
      for (const Atlv *child = tlv->child; child != nullptr; child = child->next)
        len += child->off + child->len;
    }
    tlv->len = len;
    tlv->off = atlv_unparse_cls_tag_len (nullptr, 0, tlv->cls, tlv->tag, len);
  }
}
