// Filling the certificate widget from its certificate: the DER is decoded
// into a node tree that lives for one call, and every field is shown as a
// caption and value row in a section of its own kind.
#include "sero-widgets-private.h"

#include "sero-certificate-widget-private.h"
#include "sero.h"
#include "tesk-asn1x-modules.h"
#include "tesk-asn1x.h"
#include "tesk-dn.h"
#include "tesk-hex.h"
#include "tesk-oid.h"

#include <memory>
#include <string>

namespace {

struct TreeDeleter {
  void operator() (GNode *asn) const { tesk_asn1x_destroy (asn); }
};
using Tree = std::unique_ptr<GNode, TreeDeleter>;

struct BytesDeleter {
  void operator() (GBytes *bytes) const { g_bytes_unref (bytes); }
};
using Bytes = std::unique_ptr<GBytes, BytesDeleter>;

struct FreeDeleter {
  void operator() (gpointer data) const { g_free (data); }
};
using Text = std::unique_ptr<gchar, FreeDeleter>;

// Bits of the key usage mask, in the order in which they are listed.
struct KeyUsage {
  guint32 usage;
  const gchar *description;
};
constexpr KeyUsage usage_descriptions[] = {
  { 0x1, N_("Digital signature") },
  { 0x2, N_("Non repudiation") },
  { 0x4, N_("Key encipherment") },
  { 0x8, N_("Data encipherment") },
  { 0x10, N_("Key agreement") },
  { 0x20, N_("Certificate signature") },
  { 0x40, N_("Revocation list signature") },
  { 0x80, N_("Encipher only") },
  { 0x100, N_("Decipher only") },
};

// Upper-case hex, one space between bytes.
std::string
hex_text (gconstpointer data, gsize n_data)
{
  Text hex (tesk_hex_encode_full (data, n_data, TRUE, " ", 1));
  return hex ? hex.get () : "";
}

std::string
hex_text (GBytes *bytes)
{
  gsize n = 0;
  gconstpointer data = g_bytes_get_data (bytes, &n);
  return hex_text (data, n);
}

void
add_row (SeroSection *section, const gchar *caption, const gchar *value)
{
  sero_section_add_child (section, caption, create_value_label (value));
}

void
add_row (SeroSection *section, const gchar *caption, const std::string &value)
{
  add_row (section, caption, value.c_str ());
}

// The date of a time, or NULL when it cannot be read.
GDateTime *
read_date (GNode *asn, const gchar *field)
{
  GNode *node = tesk_asn1x_node (asn, "tbsCertificate", "validity", field, NULL);
  return node ? tesk_asn1x_get_time_as_date_time (node) : NULL;
}

// Adds a date row when the time reads. False when the time read but
// could not be formatted: the caller then stops filling the widget.
bool
add_date_row (SeroSection *section, const gchar *caption, GNode *asn, const gchar *field)
{
  g_autoptr (GDateTime) date = read_date (asn, field);
  if (!date)
    return true;
  Text display (g_date_time_format (date, "%x"));
  if (!display) {
    // Reported as the failed check of the public entry point that called
    // us; the caller's tree is released on its way out.
    g_return_if_fail_warning (G_LOG_DOMAIN, "sero_certificate_widget_set_certificate",
                              "display != NULL");
    return false;
  }
  add_row (section, caption, display.get ());
  return true;
}

// The description of the OID at a node, as the OID table gives it.
const gchar *
oid_description (GNode *node)
{
  GQuark oid = node ? tesk_asn1x_get_oid_as_quark (node) : 0;
  return oid ? tesk_oid_get_description (oid) : NULL;
}

// Hex of the complete encoding of an element, or nothing when it is absent.
Bytes
element_raw (GNode *node)
{
  return Bytes (node ? tesk_asn1x_get_element_raw (node) : NULL);
}

// Hex of the whole bytes of a bit string; trailing bits of a last partial
// byte are left out.
std::string
bits_hex (GNode *node)
{
  guint n_bits = 0;
  Bytes bits (node ? tesk_asn1x_get_bits_as_raw (node, &n_bits) : NULL);
  if (!bits)
    return "";
  gsize n = 0;
  gconstpointer data = g_bytes_get_data (bits.get (), &n);
  return hex_text (data, MIN (n, gsize (n_bits / 8)));
}

bool
fill_important (SeroSection *section, GNode *asn)
{
  for (auto [caption, field] : { std::pair { N_("Identity"), "subject" },
                                 std::pair { N_("Verified by"), "issuer" } }) {
    GNode *name = tesk_asn1x_node (asn, "tbsCertificate", field, "rdnSequence", NULL);
    Text cn (name ? tesk_dn_read_part (name, "CN") : NULL);
    add_row (section, _(caption), cn.get ());
  }
  return add_date_row (section, _("Expires"), asn, "notAfter");
}

void
on_parsed_dn_part (guint, GQuark oid, GNode *value, gpointer user_data)
{
  auto *section = static_cast<SeroSection *> (user_data);

  const gchar *name = oid ? tesk_oid_get_name (oid) : NULL;
  const gchar *description = oid ? tesk_oid_get_description (oid) : NULL;
  Text caption;
  if (name && description && g_strcmp0 (name, description) != 0)
    caption.reset (g_strdup_printf ("%s (%s)", name, description));
  else
    caption.reset (g_strdup (name ? name : description ? description : ""));

  Text display (tesk_dn_print_value (oid, value));
  add_row (section, caption.get (), display.get ());
}

void
fill_name (SeroSection *section, GNode *asn, const gchar *field)
{
  GNode *name = tesk_asn1x_node (asn, "tbsCertificate", field, "rdnSequence", NULL);
  if (name)
    tesk_dn_parse (name, on_parsed_dn_part, section);
}

bool
fill_issued (SeroSection *section, GNode *asn)
{
  gulong version = 0;
  GNode *node = tesk_asn1x_node (asn, "tbsCertificate", "version", NULL);
  if (node && tesk_asn1x_get_integer_as_ulong (node, &version)) {
    Text text (g_strdup_printf ("%lu", version + 1));
    add_row (section, _("Version"), text.get ());
  } else {
    g_critical ("Unable to parse certificate version");
  }

  node = tesk_asn1x_node (asn, "tbsCertificate", "serialNumber", NULL);
  Bytes serial (node ? tesk_asn1x_get_integer_as_raw (node) : NULL);
  if (serial)
    add_row (section, _("Serial Number"), hex_text (serial.get ()));
  else
    g_critical ("Unable to parse certificate serial number");

  return add_date_row (section, _("Not Valid Before"), asn, "notBefore") &&
         add_date_row (section, _("Not Valid After"), asn, "notAfter");
}

void
fill_fingerprints (SeroSection *section, const guchar *der, gsize n_der)
{
  for (auto [caption, kind] : { std::pair { "SHA1", G_CHECKSUM_SHA1 },
                                std::pair { "MD5", G_CHECKSUM_MD5 } }) {
    Text digest (g_compute_checksum_for_data (kind, der, n_der));
    add_row (section, caption, digest.get ());
  }
}

void
fill_public_key (SeroSection *section, GNode *asn, SeroCertificate *certificate)
{
  GNode *info = tesk_asn1x_node (asn, "tbsCertificate", "subjectPublicKeyInfo", NULL);
  const guint key_size = sero_certificate_get_key_size (certificate);

  add_row (section, _("Key Algorithm"),
           oid_description (tesk_asn1x_node (info, "algorithm", "algorithm", NULL)));

  if (Bytes parameters = element_raw (tesk_asn1x_node (info, "algorithm", "parameters", NULL)))
    add_row (section, _("Key Parameters"), hex_text (parameters.get ()));

  if (key_size != 0) {
    Text text (g_strdup_printf ("%u", key_size));
    add_row (section, _("Key Size"), text.get ());
  }

  std::string fingerprint;
  if (Bytes raw = element_raw (info)) {
    gsize n_raw = 0, n_digest = 0;
    auto *data = static_cast<const guchar *> (g_bytes_get_data (raw.get (), &n_raw));
    Text digest (reinterpret_cast<gchar *> (
      sero_fingerprint_from_subject_public_key_info (data, n_raw, G_CHECKSUM_SHA1, &n_digest)));
    if (digest)
      fingerprint = hex_text (digest.get (), n_digest);
  }
  add_row (section, _("Key SHA1 Fingerprint"), fingerprint);

  add_row (section, _("Public Key"), bits_hex (tesk_asn1x_node (info, "subjectPublicKey", NULL)));
}

SeroSection *
add_generic_extension (SeroCertificateWidget *self, GQuark oid, GBytes *value)
{
  SeroSection *section = _sero_certificate_widget_add_section (self, _("Extension"), FALSE);
  add_row (section, _("Identifier"), tesk_oid_get_description (oid));
  add_row (section, _("Value"), hex_text (value));
  return section;
}

SeroSection *
add_basic_constraints (SeroCertificateWidget *self, GBytes *value)
{
  gboolean is_ca = FALSE;
  gint path_len = -1;
  if (!_sero_certificate_extension_basic_constraints (value, &is_ca, &path_len))
    return NULL;

  SeroSection *section = _sero_certificate_widget_add_section (self, _("Basic Constraints"), FALSE);
  add_row (section, _("Certificate Authority"), is_ca ? _("Yes") : _("No"));
  Text length (path_len < 0 ? g_strdup (_("Unlimited")) : g_strdup_printf ("%d", path_len));
  add_row (section, _("Max Path Length"), length.get ());
  return section;
}

SeroSection *
add_extended_key_usage (SeroCertificateWidget *self, GBytes *value)
{
  Text quarks (reinterpret_cast<gchar *> (_sero_certificate_extension_extended_key_usage (value)));
  if (!quarks)
    return NULL;

  std::string purposes;
  for (const GQuark *oid = reinterpret_cast<const GQuark *> (quarks.get ()); *oid; oid++) {
    if (oid != reinterpret_cast<const GQuark *> (quarks.get ()))
      purposes += '\n';
    if (const gchar *description = tesk_oid_get_description (*oid))
      purposes += description;
  }

  SeroSection *section = _sero_certificate_widget_add_section (self, _("Extended Key Usage"), FALSE);
  add_row (section, _("Allowed Purposes"), purposes);
  return section;
}

SeroSection *
add_subject_key_identifier (SeroCertificateWidget *self, GBytes *value)
{
  gsize n_keyid = 0;
  Text keyid (static_cast<gchar *> (_sero_certificate_extension_subject_key_identifier (value, &n_keyid)));
  if (!keyid)
    return NULL;

  SeroSection *section = _sero_certificate_widget_add_section (self, _("Subject Key Identifier"), FALSE);
  add_row (section, _("Key Identifier"), hex_text (keyid.get (), n_keyid));
  return section;
}

SeroSection *
add_key_usage (SeroCertificateWidget *self, GBytes *value)
{
  gulong mask = 0;
  if (!_sero_certificate_extension_key_usage (value, &mask))
    return NULL;

  std::string usages;
  for (const auto &entry : usage_descriptions) {
    if (!(mask & entry.usage))
      continue;
    if (!usages.empty ())
      usages += '\n';
    usages += _(entry.description);
  }

  SeroSection *section = _sero_certificate_widget_add_section (self, _("Key Usage"), FALSE);
  add_row (section, _("Usages"), usages);
  return section;
}

SeroSection *
add_subject_alt_names (SeroCertificateWidget *self, GBytes *value)
{
  GArray *names = _sero_certificate_extension_subject_alt_name (value);
  if (!names)
    return NULL;

  SeroSection *section =
    _sero_certificate_widget_add_section (self, _("Subject Alternative Names"), FALSE);
  for (guint i = 0; i < names->len; i++) {
    const SeroGeneralName &name = g_array_index (names, SeroGeneralName, i);
    if (name.display)
      add_row (section, name.description, name.display);
    else
      add_row (section, name.description, name.raw ? hex_text (name.raw) : std::string ());
  }
  _sero_general_names_free (names);
  return section;
}

void
append_extension (SeroCertificateWidget *self, GNode *node)
{
  GNode *id = tesk_asn1x_node (node, "extnID", NULL);
  GQuark oid = id ? tesk_asn1x_get_oid_as_quark (id) : 0;
  g_return_if_fail (oid);

  GNode *extn_value = tesk_asn1x_node (node, "extnValue", NULL);
  Bytes value (extn_value ? tesk_asn1x_get_string_as_bytes (extn_value) : NULL);
  if (!value)
    value.reset (g_bytes_new_static ("", 0));

  struct Known {
    GQuark oid;
    SeroSection *(*add) (SeroCertificateWidget *, GBytes *);
  };
  const Known known[] = {
    { _sero_oid_basic_constraints_get_quark (), add_basic_constraints },
    { _sero_oid_extended_key_usage_get_quark (), add_extended_key_usage },
    { _sero_oid_subject_key_identifier_get_quark (), add_subject_key_identifier },
    { _sero_oid_key_usage_get_quark (), add_key_usage },
    { _sero_oid_subject_alt_name_get_quark (), add_subject_alt_names },
  };
  SeroSection *section = NULL;
  for (const auto &k : known) {
    if (k.oid == oid) {
      section = k.add (self, value.get ());
      break;
    }
  }
  if (!section)
    section = add_generic_extension (self, oid, value.get ());

  gboolean critical = FALSE;
  GNode *flag = tesk_asn1x_node (node, "critical", NULL);
  if (flag && tesk_asn1x_get_boolean (flag, &critical))
    add_row (section, _("Critical"), critical ? _("Yes") : _("No"));
}

void
fill_signature (SeroSection *section, GNode *asn)
{
  add_row (section, _("Signature Algorithm"),
           oid_description (tesk_asn1x_node (asn, "signatureAlgorithm", "algorithm", NULL)));

  if (Bytes parameters = element_raw (tesk_asn1x_node (asn, "signatureAlgorithm", "parameters", NULL)))
    add_row (section, _("Signature Parameters"), hex_text (parameters.get ()));

  GtkWidget *label = create_value_label (bits_hex (tesk_asn1x_node (asn, "signature", NULL)).c_str ());
  PangoAttrList *attributes = pango_attr_list_new ();
  pango_attr_list_insert (attributes, pango_attr_family_new ("Monospace"));
  gtk_label_set_attributes (GTK_LABEL (label), attributes);
  pango_attr_list_unref (attributes);
  sero_section_add_child (section, _("Signature"), label);
}

// The one section of a widget whose certificate cannot be shown.
void
add_unreadable (SeroCertificateWidget *self)
{
  SeroSection *section = _sero_certificate_widget_add_section (self, _("Invalid certificate"), TRUE);
  add_row (section, _("Error"), _("The certificate data could not be read."));
}

}  // namespace

void
sero_certificate_widget_set_certificate (SeroCertificateWidget *self, SeroCertificate *certificate)
{
  g_return_if_fail (SERO_IS_CERTIFICATE_WIDGET (self));
  g_return_if_fail (certificate == NULL || SERO_IS_CERTIFICATE (certificate));

  _sero_certificate_widget_take_certificate (self, certificate);

  gsize n_der = 0;
  const guchar *der = certificate ? sero_certificate_get_der_data (certificate, &n_der) : NULL;
  if (!der) {
    _sero_certificate_widget_take_certificate (self, NULL);
    _sero_certificate_widget_add_section (self, _("No certificate"), TRUE);
    return;
  }

  // Decoded before anything is added, so that a certificate that does not
  // decode gets one section that says so rather than a half-filled one.
  Bytes bytes (g_bytes_new_static (der, n_der));
  Tree asn (tesk_asn1x_create_and_decode (pkix_asn1_tab, "Certificate", bytes.get ()));
  if (!asn) {
    add_unreadable (self);
    return;
  }

  Text cn (sero_certificate_get_subject_cn (certificate));
  SeroSection *important = _sero_certificate_widget_add_section (self, cn ? cn.get () : _("Certificate"), TRUE);
  cn.reset ();
  if (!fill_important (important, asn.get ()))
    return;

  fill_name (_sero_certificate_widget_add_section (self, _("Subject Name"), FALSE), asn.get (), "subject");
  fill_name (_sero_certificate_widget_add_section (self, _("Issuer Name"), FALSE), asn.get (), "issuer");
  if (!fill_issued (_sero_certificate_widget_add_section (self, _("Issued Certificate"), FALSE), asn.get ()))
    return;
  fill_fingerprints (_sero_certificate_widget_add_section (self, _("Certificate Fingerprints"), FALSE), der, n_der);
  fill_public_key (_sero_certificate_widget_add_section (self, _("Public Key Info"), FALSE), asn.get (),
                   certificate);

  for (gint n = 1;; n++) {
    GNode *extension = tesk_asn1x_node (asn.get (), "tbsCertificate", "extensions", n, NULL);
    if (!extension)
      break;
    append_extension (self, extension);
  }

  fill_signature (_sero_certificate_widget_add_section (self, _("Signature"), FALSE), asn.get ());
}
