/* Distinguished names. */
#include "tesk-dn.h"

#include "tesk-asn1x-modules.h"
#include "tesk-asn1x-private.h"
#include "tesk-asn1x.h"
#include "tesk-oid.h"

#include <memory>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view HEXC = "0123456789ABCDEF";

struct TreeDeleter {
  void operator() (GNode *node) const { tesk_asn1x_destroy (node); }
};
using Tree = std::unique_ptr<GNode, TreeDeleter>;

struct BytesDeleter {
  void operator() (GBytes *bytes) const { g_bytes_unref (bytes); }
};
using Bytes = std::unique_ptr<GBytes, BytesDeleter>;

std::string_view
view_of (GBytes *bytes)
{
  gsize size = 0;
  const auto *data = static_cast<const gchar *> (g_bytes_get_data (bytes, &size));
  return { data ? data : "", size };
}

/* "#" and the bytes in upper-case hex. */
gchar *
dn_print_hex_value (std::string_view bytes)
{
  GString *result = g_string_sized_new (bytes.size () * 2 + 1);
  g_string_append_c (result, '#');
  for (unsigned char byte : bytes) {
    g_string_append_c (result, HEXC[byte >> 4]);
    g_string_append_c (result, HEXC[byte & 0x0F]);
  }
  return g_string_free (result, FALSE);
}

/* The value decoded with the type that the OID designates in the PKIX
 * module, or NULL when it cannot be decoded or read. */
gchar *
dn_print_oid_value_parsed (GQuark oid, guint flags, GNode *val)
{
  Tree asn1 (tesk_asn1x_create_quark (pkix_asn1_tab, oid));
  TESK_RETURN_VAL_IF_FAIL (asn1, NULL);

  if (!tesk_asn1x_get_any_into (val, asn1.get ())) {
    g_message ("couldn't decode value for OID: %s: %s", g_quark_to_string (oid),
               tesk_asn1x_message (asn1.get ()));
    return NULL;
  }

  /* A choice has been decoded down to the alternative that holds the text. */
  GNode *node = (flags & TESK_OID_IS_CHOICE) ? tesk_asn1x_get_choice (asn1.get ()) : asn1.get ();

  if (node && tesk_asn1x_type (node) == TESK_ASN1X_BMP_STRING) {
    gchar *text = tesk_asn1x_get_bmpstring_as_utf8 (node);
    if (text)
      return text;
  }

  Bytes value (node ? tesk_asn1x_get_value_raw (node) : NULL);
  if (!value) {
    g_message ("couldn't read value for OID: %s", g_quark_to_string (oid));
    return NULL;
  }

  std::string_view data = view_of (value.get ());
  if (!g_utf8_validate (data.data (), static_cast<gssize> (data.size ()), NULL))
    return dn_print_hex_value (data);
  return g_strndup (data.data (), data.size ());
}

gchar *
dn_print_oid_value (GQuark oid, guint flags, GNode *val)
{
  g_assert (val != NULL);

  if (flags & TESK_OID_PRINTABLE) {
    gchar *text = dn_print_oid_value_parsed (oid, flags, val);
    if (text)
      return text;
  }

  Bytes element (tesk_asn1x_get_element_raw (val));
  return element ? dn_print_hex_value (view_of (element.get ())) : NULL;
}

/* One attribute as "label=value", or NULL. */
gchar *
dn_parse_rdn (GNode *ava)
{
  GQuark oid = tesk_asn1x_get_oid_as_quark (tesk_asn1x_node (ava, "type", NULL));
  TESK_RETURN_VAL_IF_FAIL (oid, NULL);

  guint flags = tesk_oid_get_flags (oid);
  const gchar *label = (flags & TESK_OID_PRINTABLE) ? tesk_oid_get_name (oid)
                                                    : g_quark_to_string (oid);

  GNode *value = tesk_asn1x_node (ava, "value", NULL);
  TESK_RETURN_VAL_IF_FAIL (value, NULL);

  if (!label)
    return NULL;

  gchar *display = dn_print_oid_value (oid, flags, value);
  if (!display)
    return NULL;
  gchar *part = g_strconcat (label, "=", display, NULL);
  g_free (display);
  return part;
}

/* The AVA j of RDN i, both 1-based, or NULL. */
GNode *
dn_ava (GNode *asn, guint i, guint j)
{
  return tesk_asn1x_node (asn, static_cast<gint> (i), static_cast<gint> (j), NULL);
}

bool
is_printable_string_char (unsigned char ch)
{
  return g_ascii_isalnum (ch) || std::string_view (" '()+,-./:=?").find (static_cast<char> (ch)) !=
                                     std::string_view::npos;
}

/* The CHOICE alternative that suits the text. */
const gchar *
dn_choose_string_type (std::string_view text)
{
  bool printable = true;
  bool needs_utf8 = false;
  for (unsigned char ch : text) {
    if (!is_printable_string_char (ch))
      printable = false;
    if (ch >= 0x80 || (g_ascii_iscntrl (ch) && !g_ascii_isspace (ch)))
      needs_utf8 = true;
  }
  if (printable)
    return "printableString";
  return needs_utf8 ? "utf8String" : "ia5String";
}

} // namespace

extern "C" gchar *
tesk_dn_read (GNode *asn)
{
  TESK_RETURN_VAL_IF_FAIL (asn, NULL);

  std::string result;
  for (guint i = 1;; ++i) {
    guint j = 1;
    for (;; ++j) {
      GNode *ava = dn_ava (asn, i, j);
      if (!ava)
        break;

      gchar *rdn = dn_parse_rdn (ava);
      TESK_RETURN_VAL_IF_FAIL (rdn, NULL);

      if (j > 1)
        result += '+';
      else if (i > 1)
        result += ", ";
      result += rdn;
      g_free (rdn);
    }
    if (j == 1)
      break;
  }

  return result.empty () ? NULL : g_strndup (result.data (), result.size ());
}

extern "C" gchar *
tesk_dn_read_part (GNode *asn, const gchar *match)
{
  TESK_RETURN_VAL_IF_FAIL (asn, NULL);
  TESK_RETURN_VAL_IF_FAIL (match, NULL);

  for (guint i = 1;; ++i) {
    guint j = 1;
    for (;; ++j) {
      GNode *ava = dn_ava (asn, i, j);
      if (!ava)
        break;

      GQuark oid = tesk_asn1x_get_oid_as_quark (tesk_asn1x_node (ava, "type", NULL));
      TESK_RETURN_VAL_IF_FAIL (oid, NULL);

      const gchar *name = tesk_oid_get_name (oid);
      if (g_ascii_strcasecmp (g_quark_to_string (oid), match) != 0 &&
          (!name || g_ascii_strcasecmp (name, match) != 0))
        continue;

      GNode *node = tesk_asn1x_node (ava, "value", NULL);
      TESK_RETURN_VAL_IF_FAIL (node, NULL);
      return dn_print_oid_value (oid, tesk_oid_get_flags (oid), node);
    }
    if (j == 1)
      return NULL;
  }
}

extern "C" gboolean
tesk_dn_parse (GNode *asn, TeskDnCallback callback, gpointer user_data)
{
  TESK_RETURN_VAL_IF_FAIL (asn, FALSE);

  for (guint i = 1;; ++i) {
    if (!dn_ava (asn, i, 1))
      break;

    for (guint j = 1;; ++j) {
      GNode *ava = dn_ava (asn, i, j);
      if (!ava)
        break;

      GQuark oid = tesk_asn1x_get_oid_as_quark (tesk_asn1x_node (ava, "type", NULL));
      TESK_RETURN_VAL_IF_FAIL (oid, FALSE);

      GNode *value = tesk_asn1x_node (ava, "value", NULL);
      if (!value)
        break;

      if (callback)
        callback (i, oid, value, user_data);
    }
  }

  return TRUE;
}

extern "C" gchar *
tesk_dn_print_value (GQuark oid, GNode *value)
{
  TESK_RETURN_VAL_IF_FAIL (oid != 0, NULL);
  TESK_RETURN_VAL_IF_FAIL (value != NULL, NULL);

  return dn_print_oid_value (oid, tesk_oid_get_flags (oid), value);
}

extern "C" void
tesk_dn_add_string_part (GNode *asn, GQuark oid, const gchar *string)
{
  TESK_RETURN_IF_FAIL (asn != NULL);
  TESK_RETURN_IF_FAIL (oid != 0);
  TESK_RETURN_IF_FAIL (string != NULL);

  guint flags = tesk_oid_get_flags (oid);
  TESK_RETURN_IF_FAIL (flags & TESK_OID_PRINTABLE);

  /* The value is built completely before the name is touched, so that a
   * value that cannot be made leaves the name as it was. */
  Tree value (tesk_asn1x_create_quark (pkix_asn1_tab, oid));
  TESK_RETURN_IF_FAIL (value);

  GNode *val = value.get ();
  if (tesk_asn1x_type (val) == TESK_ASN1X_CHOICE) {
    val = tesk_asn1x_node (value.get (), dn_choose_string_type (string), NULL);
    /* Not every choice has all three alternatives; UTF-8 holds any text. */
    if (!val)
      val = tesk_asn1x_node (value.get (), "utf8String", NULL);
    TESK_RETURN_IF_FAIL (val);
    tesk_asn1x_set_choice (value.get (), val);
  }

  gchar *copy = g_strdup (string);
  if (!tesk_asn1x_set_string_as_utf8 (val, copy, g_free)) {
    g_free (copy);
    TESK_RETURN_IF_FAIL (g_utf8_validate (string, -1, NULL));
    return;
  }

  /* A new RelativeDistinguishedName with one AttributeTypeAndValue. */
  GNode *ava = tesk_asn1x_append (tesk_asn1x_append (asn));
  TESK_RETURN_IF_FAIL (ava);
  tesk_asn1x_set_oid_as_quark (tesk_asn1x_node (ava, "type", NULL), oid);
  tesk_asn1x_set_any_from (tesk_asn1x_node (ava, "value", NULL), value.get ());
}
