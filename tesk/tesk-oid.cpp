/* The OID information table. */
#include "tesk-oid.h"

#include <glib/gi18n.h>

#include "tesk-asn1x-private.h"

namespace {

constexpr const gchar *TEXT_DOMAIN = "sero-4";

struct OidInfo {
  GQuark oid;
  const gchar *oidstr;
  const gchar *attr;
  const gchar *description;
  guint flags;
};

constexpr guint PRINTABLE = TESK_OID_PRINTABLE;
constexpr guint CHOICE = TESK_OID_PRINTABLE | TESK_OID_IS_CHOICE;

/* Quarks are filled in on first use. */
OidInfo oid_info[] = {
  { 0, "0.9.2342.19200300.100.1.25", "DC", N_ ("Domain Component"), PRINTABLE },
  { 0, "0.9.2342.19200300.100.1.1", "UID", N_ ("User ID"), CHOICE },

  { 0, "1.2.840.113549.1.9.1", "EMAIL", N_ ("Email Address"), PRINTABLE },
  { 0, "1.2.840.113549.1.9.7", NULL, NULL, CHOICE },
  { 0, "1.2.840.113549.1.9.20", NULL, NULL, PRINTABLE },

  { 0, "1.3.6.1.5.5.7.9.1", "dateOfBirth", N_ ("Date of Birth"), PRINTABLE },
  { 0, "1.3.6.1.5.5.7.9.2", "placeOfBirth", N_ ("Place of Birth"), PRINTABLE },
  { 0, "1.3.6.1.5.5.7.9.3", "gender", N_ ("Gender"), PRINTABLE },
  { 0, "1.3.6.1.5.5.7.9.4", "countryOfCitizenship", N_ ("Country of Citizenship"), PRINTABLE },
  { 0, "1.3.6.1.5.5.7.9.5", "countryOfResidence", N_ ("Country of Residence"), PRINTABLE },

  { 0, "2.5.4.3", "CN", N_ ("Common Name"), CHOICE },
  { 0, "2.5.4.4", "surName", N_ ("Surname"), CHOICE },
  { 0, "2.5.4.5", "serialNumber", N_ ("Serial Number"), PRINTABLE },
  { 0, "2.5.4.6", "C", N_ ("Country"), PRINTABLE },
  { 0, "2.5.4.7", "L", N_ ("Locality"), CHOICE },
  { 0, "2.5.4.8", "ST", N_ ("State"), CHOICE },
  { 0, "2.5.4.9", "STREET", N_ ("Street"), CHOICE },
  { 0, "2.5.4.10", "O", N_ ("Organization"), CHOICE },
  { 0, "2.5.4.11", "OU", N_ ("Organizational Unit"), CHOICE },
  { 0, "2.5.4.12", "T", N_ ("Title"), CHOICE },
  { 0, "2.5.4.20", "telephoneNumber", N_ ("Telephone Number"), PRINTABLE },
  { 0, "2.5.4.42", "givenName", N_ ("Given Name"), CHOICE },
  { 0, "2.5.4.43", "initials", N_ ("Initials"), CHOICE },
  { 0, "2.5.4.44", "generationQualifier", N_ ("Generation Qualifier"), CHOICE },
  { 0, "2.5.4.46", "dnQualifier", N_ ("DN Qualifier"), PRINTABLE },
  { 0, "2.5.4.65", "pseudonym", N_ ("Pseudonym"), CHOICE },

  /* Russian registration numbers */
  { 0, "1.2.643.100.1", "OGRN", N_ ("OGRN"), PRINTABLE },
  { 0, "1.2.643.100.3", "SNILS", N_ ("SNILS"), PRINTABLE },
  { 0, "1.2.643.100.5", "OGRNIP", N_ ("OGRNIP"), PRINTABLE },
  { 0, "1.2.643.3.131.1.1", "INN", N_ ("INN"), PRINTABLE },

  { 0, "1.2.840.113549.1.1.1", "rsaEncryption", N_ ("RSA"), 0 },
  { 0, "1.2.840.113549.1.1.2", "md2WithRSAEncryption", N_ ("MD2 with RSA"), 0 },
  { 0, "1.2.840.113549.1.1.4", "md5WithRSAEncryption", N_ ("MD5 with RSA"), 0 },
  { 0, "1.2.840.113549.1.1.5", "sha1WithRSAEncryption", N_ ("SHA1 with RSA"), 0 },

  { 0, "1.2.840.10040.4.1", "dsa", N_ ("DSA"), 0 },
  { 0, "1.2.840.10040.4.3", "sha1WithDSA", N_ ("SHA1 with DSA"), 0 },

  { 0, "1.2.840.10045.2.1", "ec", N_ ("Elliptic Curve"), 0 },
  { 0, "1.2.840.10045.4.1", "sha1WithECDSA", N_ ("SHA1 with ECDSA"), 0 },
  { 0, "1.2.840.10045.4.3.1", "sha224WithECDSA", N_ ("SHA224 with ECDSA"), 0 },
  { 0, "1.2.840.10045.4.3.2", "sha256WithECDSA", N_ ("SHA256 with ECDSA"), 0 },
  { 0, "1.2.840.10045.4.3.3", "sha384WithECDSA", N_ ("SHA384 with ECDSA"), 0 },
  { 0, "1.2.840.10045.4.3.4", "sha512WithECDSA", N_ ("SHA512 with ECDSA"), 0 },

  { 0, "1.2.643.2.2.3", "gostR3411-94-with-gostR3410-2001",
    N_ ("GOST R 34.11-94 with GOST R 34.10-2001"), 0 },
  { 0, "1.2.643.2.2.19", "gostr3410-2001", N_ ("GOST R 34.10-2001"), 0 },
  { 0, "1.2.643.7.1.1.1.1", "gost-3410-2012-256", N_ ("GOST R 34.10-2012 256-bit curve"), 0 },
  { 0, "1.2.643.7.1.1.1.2", "gost-3410-2012-512", N_ ("GOST R 34.10-2012 512-bit curve"), 0 },
  { 0, "1.2.643.7.1.1.3.2", "signwithdigest-gost-3410-2012-256",
    N_ ("GOST R 34.11-2012/256 with GOST R 34.10-2012 256-bit curve"), 0 },
  { 0, "1.2.643.7.1.1.3.3", "signwithdigest-gost-3410-2012-512",
    N_ ("GOST R 34.11-2012/512 with GOST R 34.10-2012 512-bit curve"), 0 },

  /* Extended key usages */
  { 0, "1.3.6.1.5.5.7.3.1", NULL, N_ ("Server Authentication"), 0 },
  { 0, "1.3.6.1.5.5.7.3.2", NULL, N_ ("Client Authentication"), 0 },
  { 0, "1.3.6.1.5.5.7.3.3", NULL, N_ ("Code Signing"), 0 },
  { 0, "1.3.6.1.5.5.7.3.4", NULL, N_ ("Email Protection"), 0 },
  { 0, "1.3.6.1.5.5.7.3.8", NULL, N_ ("Time Stamping"), 0 },

  { 0, NULL, NULL, NULL, 0 },
};

const OidInfo *
find_oid_info (GQuark oid)
{
  static gsize inited_oids = 0;

  TESK_RETURN_VAL_IF_FAIL (oid != 0, NULL);

  if (g_once_init_enter (&inited_oids)) {
    for (OidInfo *info = oid_info; info->oidstr; ++info)
      info->oid = g_quark_from_static_string (info->oidstr);
    g_once_init_leave (&inited_oids, 1);
  }

  for (const OidInfo *info = oid_info; info->oidstr; ++info) {
    if (info->oid == oid)
      return info;
  }
  return NULL;
}

} // namespace

extern "C" const gchar *
tesk_oid_get_name (GQuark oid)
{
  TESK_RETURN_VAL_IF_FAIL (oid, NULL);

  const OidInfo *info = find_oid_info (oid);
  return info ? info->attr : g_quark_to_string (oid);
}

extern "C" const gchar *
tesk_oid_get_description (GQuark oid)
{
  TESK_RETURN_VAL_IF_FAIL (oid, NULL);

  const OidInfo *info = find_oid_info (oid);
  if (!info)
    return g_quark_to_string (oid);
  return info->description ? g_dgettext (TEXT_DOMAIN, info->description) : NULL;
}

extern "C" guint
tesk_oid_get_flags (GQuark oid)
{
  TESK_RETURN_VAL_IF_FAIL (oid, 0);

  const OidInfo *info = find_oid_info (oid);
  return info ? info->flags : 0;
}
