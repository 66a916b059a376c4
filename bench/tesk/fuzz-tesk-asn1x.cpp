// Fuzz target for the DER decoder: every input is decoded as one of the
// PKIX types, validated, read through the typed getters and written back.
// What is written must decode again and write back unchanged.

#include "tesk-asn1x-modules.h"
#include "tesk-asn1x.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The type an input decodes as is chosen by its length, so that a
// certificate from the seed corpus is read as a certificate.
const char *const types[] = {
  "Certificate",      "Name",           "Extension",       "KeyUsage",
  "BasicConstraints", "GeneralNames",   "AuthorityKeyIdentifier",
  "CRLDistributionPoints", "CertificatePolicies", "SubjectPublicKeyInfo",
  "CertificateList",  "pkcs-7-ContentInfo", "2.5.4.3", "2.5.4.6",
};

GLogWriterOutput quiet (GLogLevelFlags level, const GLogField *, gsize, gpointer)
{
  // Criticals and warnings point at a misuse of the toolkit itself, which
  // no input must be able to cause.
  if (level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL))
    abort ();
  return G_LOG_WRITER_HANDLED;
}

void read_values (GNode *node)
{
  for (GNode *child = node->children; child; child = child->next)
    read_values (child);

  switch (tesk_asn1x_type (node)) {
  case TESK_ASN1X_OBJECT_ID:
    if (GBytes *v = tesk_asn1x_get_value_raw (node)) {
      g_bytes_unref (v);
      g_free (tesk_asn1x_get_oid_as_string (node));
    }
    break;
  case TESK_ASN1X_UTC_TIME:
  case TESK_ASN1X_GENERALIZED_TIME:
    if (GDateTime *dt = tesk_asn1x_get_time_as_date_time (node))
      g_date_time_unref (dt);
    break;
  case TESK_ASN1X_BIT_STRING: {
    guint n_bits = 0;
    gulong value = 0;
    if (GBytes *b = tesk_asn1x_get_bits_as_raw (node, &n_bits))
      g_bytes_unref (b);
    tesk_asn1x_get_bits_as_ulong (node, &value, &n_bits);
    break;
  }
  case TESK_ASN1X_INTEGER: {
    gulong value = 0;
    tesk_asn1x_get_integer_as_ulong (node, &value);
    break;
  }
  case TESK_ASN1X_BMP_STRING:
    g_free (tesk_asn1x_get_bmpstring_as_utf8 (node));
    break;
  case TESK_ASN1X_OCTET_STRING:
  case TESK_ASN1X_UTF8_STRING:
  case TESK_ASN1X_PRINTABLE_STRING:
  case TESK_ASN1X_IA5_STRING:
  case TESK_ASN1X_TELETEX_STRING:
    g_free (tesk_asn1x_get_string_as_utf8 (node, nullptr));
    break;
  case TESK_ASN1X_ANY:
    if (GNode *s = tesk_asn1x_get_any_as_string (node, TESK_ASN1X_UTF8_STRING))
      tesk_asn1x_destroy (s);
    break;
  default:
    break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize (int *, char ***)
{
  g_log_set_writer_func (quiet, nullptr, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t *data, size_t size)
{
  glong length = tesk_asn1x_element_length (data, size);
  gsize n_content = 0;
  if (size > 0)
    tesk_asn1x_element_content (data, size, &n_content);

  const char *type = types[size % G_N_ELEMENTS (types)];
  if (length > 300)
    type = "Certificate";

  GBytes *bytes = g_bytes_new (data, size);
  GNode *asn = tesk_asn1x_create (pkix_asn1_tab, type);
  if (asn && size > 0 && tesk_asn1x_decode (asn, bytes)) {
    read_values (asn);
    GBytes *out = tesk_asn1x_encode (asn, nullptr);
    if (!out)
      abort ();
    GNode *again = tesk_asn1x_create_and_decode (pkix_asn1_tab, type, out);
    if (!again)
      abort ();
    GBytes *out2 = tesk_asn1x_encode (again, nullptr);
    if (!out2 || !g_bytes_equal (out, out2))
      abort ();
    g_bytes_unref (out2);
    tesk_asn1x_destroy (again);
    g_bytes_unref (out);
  } else if (asn) {
    tesk_asn1x_message (asn);
  }
  tesk_asn1x_destroy (asn);
  g_bytes_unref (bytes);
  return 0;
}
