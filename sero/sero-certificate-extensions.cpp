#include "sero-private.h"

#include "sero-certificate-extensions.h"
#include "sero-der.h"
#include "sero-x509.h"

#include <arpa/inet.h>
#include <glib/gi18n-lib.h>

#include <cstring>
#include <vector>

namespace der = sero::der;
using der::Class;
using der::Element;
using der::Reader;

namespace {

der::Bytes
view (GBytes *data)
{
  gsize n_data = 0;
  const auto *bytes = static_cast<const guint8 *> (g_bytes_get_data (data, &n_data));
  return { bytes, n_data };
}

std::optional<Element>
outer_sequence (GBytes *data)
{
  auto element = der::read_only (view (data));
  if (!element || !element->is_sequence ())
    return std::nullopt;
  return element;
}

gchar *
dup (const std::string &text)
{
  return g_strndup (text.data (), text.size ());
}

// IA5String contents that make sense as one line of text.
std::optional<std::string>
ia5_text (der::Bytes contents)
{
  std::string text;
  for (guint8 ch : contents) {
    if (ch < 0x20 || ch > 0x7e)
      return std::nullopt;
    text += static_cast<char> (ch);
  }
  return text;
}

std::optional<std::string>
ip_text (der::Bytes contents)
{
  char buffer[INET6_ADDRSTRLEN];
  const int family = contents.size () == 4 ? AF_INET : contents.size () == 16 ? AF_INET6 : 0;
  if (!family || !inet_ntop (family, contents.data (), buffer, sizeof buffer))
    return std::nullopt;
  return std::string (buffer);
}

// otherName: SEQUENCE { type-id OID, value [0] EXPLICIT ANY }; shown as
// text for the kinds whose value is a string.
std::optional<std::string>
other_name_text (der::Bytes contents)
{
  Reader reader (contents);
  auto type = reader.next ();
  auto value = reader.next_if (Class::context, 0);
  if (!type || !type->is_universal (der::tag::oid) || !value || !reader.at_end ())
    return std::nullopt;
  auto inner = der::read_only (value->contents);
  if (!inner)
    return std::nullopt;
  // XMPP address and user principal name.
  if (der::oid_equals (*type, "1.3.6.1.5.5.7.8.5") || der::oid_equals (*type, "1.3.6.1.4.1.311.20.2.3"))
    return der::string_text (*inner);
  return std::nullopt;
}

struct NameKind {
  bool constructed;
  const char *description;
};

// Indexed by the context tag of the GeneralName choice.
const NameKind name_kinds[] = {
  { true, N_("Other Name") },
  { false, N_("Email") },
  { false, N_("DNS") },
  { true, N_("X400 Address") },
  { true, N_("Directory Name") },
  { true, N_("EDI Party Name") },
  { false, N_("URI") },
  { false, N_("IP Address") },
  { false, N_("Registered ID") },
};

std::optional<std::string>
display_text (const Element &name)
{
  switch (name.tag) {
  case SERO_GENERAL_NAME_OTHER:
    return other_name_text (name.contents);
  case SERO_GENERAL_NAME_RFC822:
  case SERO_GENERAL_NAME_DNS:
  case SERO_GENERAL_NAME_URI:
    return ia5_text (name.contents);
  case SERO_GENERAL_NAME_DN: {
    auto inner = der::read_only (name.contents);
    return inner ? sero::x509::name_text (*inner) : std::nullopt;
  }
  case SERO_GENERAL_NAME_IP:
    return ip_text (name.contents);
  case SERO_GENERAL_NAME_REGISTERED_ID:
    return der::oid_text (name.contents);
  default:
    return std::nullopt;
  }
}

void
clear_general_name (gpointer data)
{
  auto *name = static_cast<SeroGeneralName *> (data);
  g_clear_pointer (&name->display, g_free);
  g_clear_pointer (&name->raw, g_bytes_unref);
}

}  // namespace

gboolean
_sero_certificate_extension_basic_constraints (GBytes *data, gboolean *is_ca, gint *path_len)
{
  g_return_val_if_fail (data != NULL, FALSE);

  // BasicConstraints: SEQUENCE { cA BOOLEAN DEFAULT FALSE,
  //                              pathLenConstraint INTEGER (0..MAX) OPTIONAL }
  auto seq = outer_sequence (data);
  if (!seq)
    return FALSE;
  Reader reader (seq->contents);
  gboolean ca = FALSE;
  gint length = -1;
  if (auto flag = reader.next_if (Class::universal, der::tag::boolean)) {
    if (flag->contents.size () != 1)
      return FALSE;
    ca = flag->contents[0] != 0;
  }
  if (auto limit = reader.next_if (Class::universal, der::tag::integer)) {
    auto value = der::integer_value (*limit);
    if (!value || *value < 0 || *value > G_MAXINT)
      return FALSE;
    length = static_cast<gint> (*value);
  }
  if (!reader.at_end ())
    return FALSE;

  if (is_ca)
    *is_ca = ca;
  if (path_len)
    *path_len = length;
  return TRUE;
}

GQuark *
_sero_certificate_extension_extended_key_usage (GBytes *data)
{
  g_return_val_if_fail (data != NULL, NULL);

  // ExtKeyUsageSyntax: SEQUENCE SIZE (1..MAX) OF KeyPurposeId (OID)
  auto seq = outer_sequence (data);
  if (!seq)
    return NULL;
  std::vector<GQuark> quarks;
  Reader reader (seq->contents);
  while (!reader.at_end ()) {
    auto oid = reader.next ();
    if (!oid || !oid->is_universal (der::tag::oid))
      return NULL;
    auto text = der::oid_text (oid->contents);
    if (!text)
      return NULL;
    quarks.push_back (g_quark_from_string (text->c_str ()));
  }
  auto *result = g_new0 (GQuark, quarks.size () + 1);
  std::copy (quarks.begin (), quarks.end (), result);
  return result;
}

gpointer
_sero_certificate_extension_subject_key_identifier (GBytes *data, gsize *n_keyid)
{
  g_return_val_if_fail (data != NULL, NULL);
  g_return_val_if_fail (n_keyid != NULL, NULL);

  *n_keyid = 0;
  // SubjectKeyIdentifier: OCTET STRING
  auto id = der::read_only (view (data));
  if (!id || id->constructed || !id->is_universal (der::tag::octet_string) || id->contents.empty ())
    return NULL;
  *n_keyid = id->contents.size ();
  return g_memdup2 (id->contents.data (), id->contents.size ());
}

gboolean
_sero_certificate_extension_key_usage (GBytes *data, gulong *key_usage)
{
  g_return_val_if_fail (data != NULL, FALSE);

  // KeyUsage: BIT STRING, the first contents octet counting unused bits.
  auto bits = der::read_only (view (data));
  if (!bits || bits->constructed || !bits->is_universal (der::tag::bit_string) || bits->contents.empty ())
    return FALSE;
  const guint unused = bits->contents[0];
  const der::Bytes octets = bits->contents.subspan (1);
  if (unused > 7 || (octets.empty () && unused != 0))
    return FALSE;

  gulong mask = 0;
  const size_t n_bits = octets.size () * 8 - unused;
  for (size_t bit = 0; bit < n_bits && bit < 32; bit++)
    if (octets[bit / 8] & (0x80 >> (bit % 8)))
      mask |= 1UL << bit;
  if (key_usage)
    *key_usage = mask;
  return TRUE;
}

GArray *
_sero_certificate_extension_subject_alt_name (GBytes *data)
{
  g_return_val_if_fail (data != NULL, NULL);

  // GeneralNames: SEQUENCE SIZE (1..MAX) OF GeneralName, a choice of
  // context-tagged alternatives [0] to [8].
  auto seq = outer_sequence (data);
  if (!seq)
    return NULL;

  GArray *names = g_array_new (FALSE, TRUE, sizeof (SeroGeneralName));
  g_array_set_clear_func (names, clear_general_name);
  Reader reader (seq->contents);
  while (!reader.at_end ()) {
    auto name = reader.next ();
    if (!name || name->cls != Class::context || name->tag >= G_N_ELEMENTS (name_kinds) ||
        name->constructed != name_kinds[name->tag].constructed) {
      _sero_general_names_free (names);
      return NULL;
    }
    SeroGeneralName general = {};
    general.type = static_cast<guint32> (name->tag);
    general.description = g_dgettext (GETTEXT_PACKAGE, name_kinds[name->tag].description);
    if (auto text = display_text (*name))
      general.display = dup (*text);
    general.raw = g_bytes_new (name->whole.data (), name->whole.size ());
    g_array_append_val (names, general);
  }
  return names;
}

void
_sero_general_names_free (GArray *names)
{
  if (names)
    g_array_unref (names);
}
