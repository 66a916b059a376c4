// Building element trees from node trees and writing them as DER; the ANY
// accessors that build or decode nested content.

#include "tesk-asn1x-private.h"
#include "tesk-asn1x-modules.h"

#include <cstring>

namespace {

Atlv *build_for_flags (GNode *node, gboolean want, int flags);

gboolean is_constructed_type (int type)
{
  return type == TESK_ASN1X_SEQUENCE || type == TESK_ASN1X_SEQUENCE_OF ||
         type == TESK_ASN1X_SET || type == TESK_ASN1X_SET_OF;
}

void build_cls_tag_len (GNode *node, Atlv *tlv, gint len, int flags)
{
  if (tlv->prefix_for_bit_string || tlv->prefix_with_zero_byte)
    len += 1;

  guchar cls = is_constructed_type (anode_def_type (node)) ? ASN1_CLASS_STRUCTURED : 0x00;
  gulong tag;
  if (flags & FLAG_TAG) {
    guchar cls_type = 0x80;
    if (anode_calc_explicit_for_flags (node, flags, &cls_type)) {
      tag = anode_calc_tag_for_flags (node, flags & ~FLAG_TAG);
    } else {
      cls |= cls_type;
      tag = anode_calc_tag_for_flags (node, flags);
    }
  } else {
    tag = anode_calc_tag_for_flags (node, flags);
  }

  tlv->cls = cls;
  tlv->tag = tag;
  tlv->len = len;
  tlv->off = atlv_unparse_cls_tag_len (nullptr, 0, cls, tag, len);
}

Atlv *build_maybe_explicit (GNode *node, Atlv *tlv, int flags)
{
  guchar cls_type = 0x80;
  if (!anode_calc_explicit_for_flags (node, flags, &cls_type))
    return tlv;

  Atlv *wrap = atlv_new ();
  wrap->cls = cls_type | ASN1_CLASS_STRUCTURED;
  wrap->tag = anode_calc_tag_for_flags (node, flags);
  wrap->len = tlv->off + tlv->len;
  wrap->off = atlv_unparse_cls_tag_len (nullptr, 0, wrap->cls, wrap->tag, wrap->len);
  wrap->child = tlv;
  return wrap;
}

Atlv *build_value (GNode *node)
{
  Anode *an = anode_of (node);
  if (an->value == nullptr)
    return nullptr;

  Atlv *tlv = atlv_new ();
  tlv->value = g_bytes_ref (an->value);
  return tlv;
}

Atlv *build_structured (GNode *node, gboolean want, int flags)
{
  const int type = anode_def_type (node);
  const gboolean child_want =
    (type == TESK_ASN1X_SEQUENCE || type == TESK_ASN1X_SET) ? want : FALSE;

  Atlv *first = nullptr;
  Atlv **link = &first;
  gint len = 0;
  for (GNode *child = node->children; child != nullptr; child = child->next) {
    Atlv *ctlv = build_for_flags (child, child_want, anode_def_flags (child));
    if (ctlv == nullptr)
      continue;
    len += ctlv->off + ctlv->len;
    *link = ctlv;
    link = &ctlv->next;
  }

  if (first == nullptr && (!want || (flags & FLAG_OPTION)))
    return nullptr;

  Atlv *tlv = atlv_new ();
  tlv->child = first;
  tlv->sorted = type == TESK_ASN1X_SET_OF ? 1 : 0;
  build_cls_tag_len (node, tlv, len, flags);
  return tlv;
}

Atlv *build_for_flags (GNode *node, gboolean want, int flags)
{
  Anode *an = anode_of (node);
  const int type = anode_def_type (node);
  Atlv *tlv = nullptr;

  // A string read in constructed form is written back as it was read (in
  // definite lengths), so that nothing is dropped and what is written
  // validates exactly as what was read.
  if (an->value == nullptr && an->parsed &&
      (type == TESK_ASN1X_OCTET_STRING || anode_is_string_type (type))) {
    tlv = atlv_dup (an->parsed, FALSE);
    atlv_make_definite (tlv);
    return tlv;
  }

  switch (type) {
  case TESK_ASN1X_INTEGER:
    tlv = build_value (node);
    if (tlv && an->guarantee_unsigned) {
      auto content = bytes_span (tlv->value);
      if (!content.empty () && (content[0] & 0x80))
        tlv->prefix_with_zero_byte = 1;
    }
    break;
  case TESK_ASN1X_BOOLEAN:
  case TESK_ASN1X_OCTET_STRING:
  case TESK_ASN1X_OBJECT_ID:
  case TESK_ASN1X_TIME:
  case TESK_ASN1X_NULL:
  case TESK_ASN1X_ENUMERATED:
  case TESK_ASN1X_GENERAL_STRING:
  case TESK_ASN1X_NUMERIC_STRING:
  case TESK_ASN1X_IA5_STRING:
  case TESK_ASN1X_TELETEX_STRING:
  case TESK_ASN1X_PRINTABLE_STRING:
  case TESK_ASN1X_UNIVERSAL_STRING:
  case TESK_ASN1X_BMP_STRING:
  case TESK_ASN1X_UTF8_STRING:
  case TESK_ASN1X_VISIBLE_STRING:
  case TESK_ASN1X_UTC_TIME:
  case TESK_ASN1X_GENERALIZED_TIME:
    tlv = build_value (node);
    break;
  case TESK_ASN1X_BIT_STRING:
    tlv = build_value (node);
    if (tlv) {
      tlv->prefix_for_bit_string = 1;
      tlv->bits_empty = an->bits_empty;
    }
    break;
  case TESK_ASN1X_SEQUENCE:
  case TESK_ASN1X_SEQUENCE_OF:
  case TESK_ASN1X_SET:
  case TESK_ASN1X_SET_OF:
    tlv = build_structured (node, want, flags);
    if (tlv == nullptr)
      return nullptr;
    return build_maybe_explicit (node, tlv, flags);
  case TESK_ASN1X_ANY:
    if (an->parsed == nullptr)
      return nullptr;
    tlv = atlv_dup (an->parsed, FALSE);
    atlv_make_definite (tlv);
    return tlv;
  case TESK_ASN1X_CHOICE: {
    GNode *child = tesk_asn1x_get_choice (node);
    // An absent optional choice, or the empty template of a list, is
    // simply left out.
    if (child == nullptr && (!want || (flags & (FLAG_OPTION | FLAG_DEFAULT))) &&
        !tesk_asn1x_have (node))
      return nullptr;
    TESK_RETURN_VAL_IF_FAIL (child != NULL, nullptr);
    tlv = build_for_flags (child, want, anode_def_flags (child));
    if (tlv == nullptr)
      return nullptr;
    return build_maybe_explicit (node, tlv, flags);
  }
  default:
    TESK_ASSERT (FALSE && "option records are not built");
    return nullptr;
  }

  if (tlv == nullptr)
    return nullptr;
  build_cls_tag_len (node, tlv, static_cast<gint> (g_bytes_get_size (tlv->value)), flags);
  return build_maybe_explicit (node, tlv, flags);
}

// The single element an ANY node holds, inside its explicit tag if any.
Atlv *any_content (GNode *node)
{
  Atlv *tlv = anode_of (node)->parsed;
  if (tlv == nullptr)
    return nullptr;
  if (anode_calc_explicit (node, nullptr)) {
    tlv = tlv->child;
    TESK_RETURN_VAL_IF_FAIL (tlv != NULL, nullptr);
  }
  return tlv;
}

}  // namespace

Atlv *anode_build_anything (GNode *node, gboolean want)
{
  return build_for_flags (node, want, anode_def_flags (node));
}

GBytes *tesk_asn1x_encode (GNode *asn, TeskAllocator allocator)
{
  TESK_RETURN_VAL_IF_FAIL (asn != NULL, nullptr);
  TESK_RETURN_VAL_IF_FAIL (anode_def_type_is_real (asn), nullptr);

  if (!tesk_asn1x_validate (asn, TRUE))
    return nullptr;

  Atlv *tlv = anode_build_anything (asn, TRUE);
  TESK_RETURN_VAL_IF_FAIL (tlv != NULL, nullptr);

  atlv_sort_perform (tlv, allocator);
  GBytes *bytes = atlv_unparse_to_bytes (tlv, allocator);
  atlv_free (tlv);
  return bytes;
}

GBytes *tesk_asn1x_get_any_raw (GNode *node, TeskAllocator allocator)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, nullptr);

  Atlv *tlv = anode_build_anything (node, TRUE);
  if (tlv == nullptr) {
    anode_failure (node, "missing value(s)");
    return nullptr;
  }
  atlv_sort_perform (tlv, allocator);
  GBytes *bytes = atlv_unparse_to_bytes (tlv, allocator);
  atlv_free (tlv);
  return bytes;
}

gboolean tesk_asn1x_set_any_raw (GNode *node, GBytes *raw)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (raw != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (anode_def_type (node) == TESK_ASN1X_ANY, FALSE);

  Atlv *tlv = atlv_new ();
  if (const gchar *msg = atlv_parse_der (raw, tlv)) {
    anode_failure_raw (node, msg);
    atlv_free (tlv);
    return FALSE;
  }
  // An empty buffer leaves nothing to store.
  if (tlv->decoded == nullptr) {
    atlv_free (tlv);
    return FALSE;
  }

  atlv_make_definite (tlv);
  anode_clr_value (node);
  anode_take_parsed (node, build_maybe_explicit (node, tlv, anode_def_flags (node)));
  return TRUE;
}

void tesk_asn1x_set_any_from (GNode *node, GNode *from)
{
  TESK_RETURN_IF_FAIL (node != NULL);
  TESK_RETURN_IF_FAIL (from != NULL);
  TESK_RETURN_IF_FAIL (anode_def_type (node) == TESK_ASN1X_ANY);

  Atlv *tlv = anode_build_anything (from, TRUE);
  TESK_RETURN_IF_FAIL (tlv != NULL);

  anode_clr_value (node);
  anode_take_parsed (node, build_maybe_explicit (node, tlv, anode_def_flags (node)));
}

gboolean tesk_asn1x_get_any_into_full (GNode *node, GNode *into, gint options)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (into != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (anode_def_type (node) == TESK_ASN1X_ANY, FALSE);

  if (anode_of (node)->parsed == nullptr)
    return FALSE;
  Atlv *tlv = any_content (node);
  if (tlv == nullptr)
    return FALSE;

  // Only this element is matched, not whatever follows it.
  Atlv *next = tlv->next;
  tlv->next = nullptr;
  const gboolean ok = anode_decode_anything (into, tlv);
  tlv->next = next;
  if (!ok)
    return FALSE;
  return anode_validate_anything (into, options);
}

gboolean tesk_asn1x_get_any_into (GNode *node, GNode *into)
{
  return tesk_asn1x_get_any_into_full (node, into, 0);
}

GNode *tesk_asn1x_get_any_as_full (GNode *node, const TeskAsn1xDef *defs, const gchar *type,
                                   gint options)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, nullptr);
  TESK_RETURN_VAL_IF_FAIL (type != NULL, nullptr);
  TESK_RETURN_VAL_IF_FAIL (anode_def_type (node) == TESK_ASN1X_ANY, nullptr);

  GNode *asn = tesk_asn1x_create (defs, type);
  TESK_RETURN_VAL_IF_FAIL (asn != NULL, nullptr);

  if (!tesk_asn1x_get_any_into_full (node, asn, options)) {
    tesk_asn1x_destroy (asn);
    return nullptr;
  }
  return asn;
}

GNode *tesk_asn1x_get_any_as (GNode *node, const TeskAsn1xDef *defs, const gchar *type)
{
  return tesk_asn1x_get_any_as_full (node, defs, type, 0);
}

GNode *tesk_asn1x_get_any_as_string_full (GNode *node, TeskAsn1xType type, gint options)
{
  TESK_RETURN_VAL_IF_FAIL (node != NULL, nullptr);

  const TeskAsn1xDef *def;
  switch (type) {
  case TESK_ASN1X_BMP_STRING:
    def = def_bmpstring;
    break;
  case TESK_ASN1X_UTF8_STRING:
    def = def_utf8string;
    break;
  case TESK_ASN1X_IA5_STRING:
    def = def_ia5string;
    break;
  default:
    TESK_NOT_REACHED ();
    return nullptr;
  }

  GNode *asn = _tesk_asn1x_create_from_def (def);
  if (!tesk_asn1x_get_any_into_full (node, asn, options)) {
    tesk_asn1x_destroy (asn);
    return nullptr;
  }
  return asn;
}

GNode *tesk_asn1x_get_any_as_string (GNode *node, TeskAsn1xType type)
{
  return tesk_asn1x_get_any_as_string_full (node, type, 0);
}
