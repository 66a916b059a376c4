// Decoding node trees from DER and validating them against their
// definitions.

#include "tesk-asn1x-private.h"

#include <cstdlib>
#include <cstring>

namespace {

gboolean decode_one (GNode *node, Atlv *tlv);

// One element without the elements below it.
Atlv *atlv_copy_one (const Atlv *tlv)
{
  Atlv *copy = atlv_new ();
  *copy = *tlv;
  copy->child = nullptr;
  copy->next = nullptr;
  if (copy->value)
    g_bytes_ref (copy->value);
  if (copy->decoded)
    g_bytes_ref (copy->decoded);
  return copy;
}

// What a node keeps of the element it was decoded from. Values that are
// read or written back element by element (ANY, and strings that may come
// in pieces) keep all the elements below; the others are read and written
// through their member nodes, so they keep the element itself and, inside
// an explicit tag, the element it wraps.
Atlv *keep_parsed (GNode *node, const Atlv *tlv, bool wrapper)
{
  const int type = anode_def_type (node);
  if (type == TESK_ASN1X_ANY || type == TESK_ASN1X_OCTET_STRING || anode_is_string_type (type))
    return atlv_dup (tlv, FALSE);
  Atlv *copy = atlv_copy_one (tlv);
  if (wrapper && tlv->child)
    copy->child = atlv_copy_one (tlv->child);
  return copy;
}

gboolean is_optional (int flags)
{
  return (flags & (FLAG_OPTION | FLAG_DEFAULT)) != 0;
}

gboolean decode_children (GNode *node, Atlv *tlv)
{
  if (node->children == nullptr) {
    // A type without members can hold no content.
    if (tlv->child != nullptr)
      return anode_failure (node, "encountered extra tag");
    return TRUE;
  }
  return anode_decode_anything (node->children, tlv->child);
}

gboolean decode_sequence_or_set_of (GNode *node, Atlv *tlv)
{
  GNode *child = node->children;
  TESK_RETURN_VAL_IF_FAIL (child, FALSE);

  if (tlv->child == nullptr)
    return TRUE;

  const gulong tag = anode_calc_tag (child);
  if (!decode_one (child, tlv->child))
    return FALSE;

  for (Atlv *ctlv = tlv->child->next; ctlv != nullptr; ctlv = ctlv->next) {
    if (tag != kNoTag && ctlv->tag != tag)
      return anode_failure (node, "invalid mismatched content");
    GNode *copy = tesk_asn1x_append (node);
    if (!decode_one (copy, ctlv))
      return FALSE;
  }
  return TRUE;
}

void clear_failures (GNode *node)
{
  g_clear_pointer (&anode_of (node)->failure, g_free);
  for (GNode *child = node->children; child != nullptr; child = child->next)
    clear_failures (child);
}

gboolean decode_choice (GNode *node, Atlv *tlv)
{
  gboolean have = FALSE;
  for (GNode *child = node->children; child != nullptr; child = child->next) {
    const gboolean ok = decode_one (child, tlv);
    anode_of (child)->chosen = ok ? 1 : 0;
    have = have || ok;
  }
  if (!have)
    return anode_failure (node, "no choice is present");

  // Once an alternative matched, the others did not fail: their texts
  // would otherwise stand for the first failure of the whole tree.
  for (GNode *child = node->children; child != nullptr; child = child->next) {
    if (!anode_of (child)->chosen)
      clear_failures (child);
  }
  return TRUE;
}

gboolean decode_bit_string (GNode *node, Atlv *tlv)
{
  auto content = bytes_span (tlv->value);
  if (content.empty ())
    return anode_failure (node, "invalid length bit string");
  const guint empty = content[0];
  // Without any bit bytes there are no bits to leave empty.
  if (empty > 7 || (empty > 0 && content.size () == 1))
    return anode_failure (node, "invalid number of empty bits");
  if (content.size () > 1) {
    const guchar mask = static_cast<guchar> ((1u << empty) - 1);
    if (content.back () & mask)
      return anode_failure (node, "bit string has invalid trailing bits");
  }
  anode_clr_value (node);
  Anode *an = anode_of (node);
  an->value = g_bytes_new_from_bytes (tlv->value, 1, content.size () - 1);
  an->bits_empty = empty;
  return TRUE;
}

gboolean decode_one_without_tag (GNode *node, Atlv *tlv, int flags)
{
  guchar cls;
  if (anode_calc_explicit_for_flags (node, flags, &cls)) {
    if (!(tlv->cls & 0x80))
      return anode_failure (node, "missing context specific tag");
    if (tlv->child == nullptr)
      return anode_failure (node, "missing context specific child");
    if (tlv->child->next != nullptr)
      return anode_failure (node, "multiple context specific children");

    // The wrapped element must carry the type's own tag.
    const int inner = flags & ~FLAG_TAG;
    const gulong tag = anode_calc_tag_for_flags (node, inner);
    if (tag != kNoTag && tag != tlv->child->tag)
      return anode_failure (node, "decoded tag did not match expected");
    if (!decode_one_without_tag (node, tlv->child, inner))
      return FALSE;
    anode_take_parsed (node, keep_parsed (node, tlv, true));
    return TRUE;
  }

  const int type = anode_def_type (node);
  Anode *an = anode_of (node);
  gboolean ok = TRUE;

  if (tlv->cls & ASN1_CLASS_STRUCTURED) {
    switch (type) {
    case TESK_ASN1X_SET:
      for (Atlv *c = tlv->child; c != nullptr && c->next != nullptr; c = c->next) {
        if (c->next->tag < c->tag)
          return anode_failure (node, "content must be in ascending order");
      }
      ok = decode_children (node, tlv);
      break;
    case TESK_ASN1X_SEQUENCE:
      ok = decode_children (node, tlv);
      break;
    case TESK_ASN1X_SEQUENCE_OF:
    case TESK_ASN1X_SET_OF:
      ok = decode_sequence_or_set_of (node, tlv);
      break;
    case TESK_ASN1X_OCTET_STRING:
    case TESK_ASN1X_ANY:
    case TESK_ASN1X_GENERAL_STRING:
    case TESK_ASN1X_NUMERIC_STRING:
    case TESK_ASN1X_IA5_STRING:
    case TESK_ASN1X_TELETEX_STRING:
    case TESK_ASN1X_PRINTABLE_STRING:
    case TESK_ASN1X_UNIVERSAL_STRING:
    case TESK_ASN1X_BMP_STRING:
    case TESK_ASN1X_UTF8_STRING:
    case TESK_ASN1X_VISIBLE_STRING:
      g_clear_pointer (&an->value, g_bytes_unref);
      break;
    case TESK_ASN1X_CHOICE:
      ok = decode_choice (node, tlv);
      break;
    default:
      return anode_failure (node, "structured value of an unexpected type");
    }
  } else {
    switch (type) {
    case TESK_ASN1X_BIT_STRING:
      ok = decode_bit_string (node, tlv);
      break;
    case TESK_ASN1X_INTEGER:
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
      if (an->value)
        g_bytes_unref (an->value);
      an->value = g_bytes_ref (tlv->value);
      break;
    case TESK_ASN1X_ANY:
      break;
    case TESK_ASN1X_CHOICE:
      ok = decode_choice (node, tlv);
      break;
    default:
      return anode_failure (node, "primitive value of an unexpected type");
    }
  }

  if (!ok)
    return FALSE;
  anode_take_parsed (node, keep_parsed (node, tlv, false));
  return TRUE;
}

gboolean decode_one (GNode *node, Atlv *tlv)
{
  const int flags = anode_def_flags (node);
  const gulong tag = anode_calc_tag_for_flags (node, flags);
  if (tag != kNoTag && tag != tlv->tag)
    return anode_failure (node, "decoded tag did not match expected");
  return decode_one_without_tag (node, tlv, flags);
}

// Reads a bound of a SIZE option: "MAX", the name of an INTEGER option, or
// a decimal number.
gboolean parse_size (GNode *node, const gchar *text, gulong *value)
{
  if (text == nullptr)
    return FALSE;
  if (std::strcmp (text, "MAX") == 0) {
    *value = G_MAXULONG;
    return TRUE;
  }
  if (g_ascii_isalpha (text[0])) {
    const TeskAsn1xDef *def = anode_opt_lookup (node, TESK_ASN1X_INTEGER, text);
    TESK_RETURN_VAL_IF_FAIL (def, FALSE);
    *value = anode_def_value_as_ulong (def);
    return *value != G_MAXULONG;
  }
  gchar *end = nullptr;
  *value = std::strtoul (text, &end, 10);
  TESK_RETURN_VAL_IF_FAIL (end && !end[0], FALSE);
  return TRUE;
}

gboolean validate_size (GNode *node, gulong length)
{
  if (!(anode_def_flags (node) & FLAG_SIZE))
    return TRUE;

  const TeskAsn1xDef *size = anode_opt_lookup (node, TESK_ASN1X_SIZE, nullptr);
  TESK_RETURN_VAL_IF_FAIL (size, FALSE);

  gulong min = 0, max = 0;
  if (!parse_size (node, size->value, &min)) {
    TESK_NOT_REACHED ();
    return FALSE;
  }
  if (!(size->type & FLAG_MIN_MAX)) {
    if (length != min)
      return anode_failure (node, "content size is not correct");
    return TRUE;
  }
  if (!parse_size (node, size->name, &max)) {
    TESK_NOT_REACHED ();
    return FALSE;
  }
  if (length < min || length > max)
    return anode_failure (node, "content size is out of bounds");
  return TRUE;
}

gboolean validate_integer (GNode *node, GBytes *value)
{
  auto content = bytes_span (value);
  if (content.empty ())
    return anode_failure (node, "zero length integer");
  if (!(anode_def_flags (node) & FLAG_LIST))
    return TRUE;
  if (content.size () > sizeof (gulong))
    return anode_failure (node, "integer not part of list");

  gulong number = 0;
  for (guchar b : content)
    number = (number << 8) | b;

  for (const TeskAsn1xDef *opt : anode_of (node)->opts) {
    if (adef_type (opt) != TESK_ASN1X_CONSTANT)
      continue;
    const gulong check = anode_def_value_as_ulong (opt);
    TESK_RETURN_VAL_IF_FAIL (check != G_MAXULONG, FALSE);
    if (check == number)
      return TRUE;
  }
  return anode_failure (node, "integer not part of listed set");
}

gboolean validate_value (GNode *node, int type, GBytes *value)
{
  auto content = bytes_span (value);
  switch (type) {
  case TESK_ASN1X_INTEGER:
    return validate_integer (node, value);
  case TESK_ASN1X_BOOLEAN:
    if (content.size () != 1)
      return anode_failure (node, "invalid length boolean");
    if (content[0] != 0x00 && content[0] != 0xFF)
      return anode_failure (node, "boolean must be true or false");
    return TRUE;
  case TESK_ASN1X_BIT_STRING:
  case TESK_ASN1X_UNIVERSAL_STRING:
  case TESK_ASN1X_BMP_STRING:
    return TRUE;
  case TESK_ASN1X_OCTET_STRING:
  case TESK_ASN1X_GENERAL_STRING:
  case TESK_ASN1X_NUMERIC_STRING:
  case TESK_ASN1X_IA5_STRING:
  case TESK_ASN1X_TELETEX_STRING:
  case TESK_ASN1X_PRINTABLE_STRING:
  case TESK_ASN1X_UTF8_STRING:
  case TESK_ASN1X_VISIBLE_STRING:
    return validate_size (node, content.size ());
  case TESK_ASN1X_OBJECT_ID:
    return anode_read_object_id (node, value, nullptr);
  case TESK_ASN1X_TIME:
  case TESK_ASN1X_UTC_TIME:
  case TESK_ASN1X_GENERALIZED_TIME: {
    struct tm when;
    gint offset;
    return anode_read_time (node, value, &when, &offset);
  }
  case TESK_ASN1X_NULL:
    return content.empty ();
  case TESK_ASN1X_ENUMERATED:
    if (!content.empty () && (content[0] & 0x80))
      return anode_failure (node, "enumerated must be positive");
    return validate_integer (node, value);
  default:
    return TRUE;
  }
}

}  // namespace

gboolean anode_decode_anything (GNode *node, Atlv *tlv)
{
  while (tlv != nullptr) {
    const int flags = anode_def_flags (node);
    const gulong tag = anode_calc_tag_for_flags (node, flags);

    if (tag == kNoTag || tag == tlv->tag) {
      if (!decode_one_without_tag (node, tlv, flags))
        return FALSE;
      tlv = tlv->next;
      GNode *decoded = node;
      node = node->next;
      if (tlv == nullptr)
        break;
      if (node == nullptr)
        return anode_failure (decoded, "encountered extra tag");
    } else if (is_optional (flags)) {
      anode_clr_value (node);
      if (node->next == nullptr)
        return anode_failure (node, "decoded tag did not match expected");
      node = node->next;
    } else {
      return anode_failure (node, "decoded tag did not match expected");
    }
  }

  for (; node != nullptr; node = node->next) {
    if (!is_optional (anode_def_flags (node)))
      return anode_failure (node, "no decoded value");
    anode_clr_value (node);
  }
  return TRUE;
}

gboolean anode_validate_anything (GNode *node, gint options)
{
  const int type = anode_def_type (node);
  const int flags = anode_def_flags (node);
  Anode *an = anode_of (node);

  switch (type) {
  case TESK_ASN1X_SEQUENCE:
  case TESK_ASN1X_SET:
    if ((flags & FLAG_OPTION) && !tesk_asn1x_have (node))
      return TRUE;
    for (GNode *child = node->children; child != nullptr; child = child->next) {
      if (!anode_validate_anything (child, options))
        return FALSE;
    }
    return TRUE;

  case TESK_ASN1X_SEQUENCE_OF:
  case TESK_ASN1X_SET_OF: {
    gulong count = 0;
    for (GNode *child = node->children; child != nullptr; child = child->next) {
      if (!tesk_asn1x_have (child))
        continue;
      if (!anode_validate_anything (child, options))
        return FALSE;
      count++;
    }
    if (count == 0 && (flags & FLAG_OPTION))
      return TRUE;
    return validate_size (node, count);
  }

  case TESK_ASN1X_CHOICE: {
    // An absent optional choice has nothing to choose.
    if (is_optional (flags) && !tesk_asn1x_have (node))
      return TRUE;
    GNode *chosen = nullptr;
    for (GNode *child = node->children; child != nullptr; child = child->next) {
      if (!anode_of (child)->chosen)
        continue;
      if (chosen == nullptr) {
        chosen = child;
        if (!anode_validate_anything (child, options))
          return FALSE;
      } else {
        return anode_failure (node, "only one choice may be set");
      }
    }
    if (chosen == nullptr)
      return anode_failure (node, "one choice must be set");
    return TRUE;
  }

  default:
    if (an->value == nullptr) {
      if (an->parsed && (type == TESK_ASN1X_OCTET_STRING || type == TESK_ASN1X_ANY ||
                         anode_is_string_type (type)))
        return TRUE;
      if (is_optional (flags))
        return TRUE;
      return anode_failure (node, "missing value");
    }
    return validate_value (node, type, an->value);
  }
}

gboolean tesk_asn1x_decode_full (GNode *asn, GBytes *data, gint options)
{
  TESK_RETURN_VAL_IF_FAIL (asn != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (data != NULL, FALSE);

  tesk_asn1x_clear (asn);

  Atlv *tlv = atlv_new ();
  if (const gchar *msg = atlv_parse_der (data, tlv)) {
    anode_failure_raw (asn, msg);
    atlv_free (tlv);
    return FALSE;
  }

  const gboolean ok = anode_decode_anything (asn, tlv);
  atlv_free (tlv);
  if (!ok)
    return FALSE;
  return anode_validate_anything (asn, options);
}

gboolean tesk_asn1x_decode (GNode *asn, GBytes *data)
{
  TESK_RETURN_VAL_IF_FAIL (asn != NULL, FALSE);
  TESK_RETURN_VAL_IF_FAIL (data != NULL, FALSE);
  return tesk_asn1x_decode_full (asn, data, 0);
}

gboolean tesk_asn1x_validate (GNode *asn, gboolean strict)
{
  TESK_RETURN_VAL_IF_FAIL (asn, FALSE);
  return anode_validate_anything (asn, strict ? 0 : TESK_ASN1X_NO_STRICT);
}

GNode *tesk_asn1x_create_and_decode_full (const TeskAsn1xDef *defs, const gchar *identifier,
                                          GBytes *data, gint options)
{
  TESK_RETURN_VAL_IF_FAIL (defs != NULL, nullptr);
  TESK_RETURN_VAL_IF_FAIL (identifier != NULL, nullptr);
  TESK_RETURN_VAL_IF_FAIL (data != NULL, nullptr);

  GNode *asn = tesk_asn1x_create (defs, identifier);
  TESK_RETURN_VAL_IF_FAIL (asn, nullptr);

  if (!tesk_asn1x_decode_full (asn, data, options)) {
    tesk_asn1x_destroy (asn);
    return nullptr;
  }
  return asn;
}

GNode *tesk_asn1x_create_and_decode (const TeskAsn1xDef *defs, const gchar *identifier,
                                     GBytes *data)
{
  TESK_RETURN_VAL_IF_FAIL (defs != NULL, nullptr);
  TESK_RETURN_VAL_IF_FAIL (identifier != NULL, nullptr);
  TESK_RETURN_VAL_IF_FAIL (data != NULL, nullptr);
  return tesk_asn1x_create_and_decode_full (defs, identifier, data, 0);
}
