// Real certificates end to end: decode, read the fields the certificate
// widget shows, and write back byte for byte. Uses the records written
// for the tests and the built-in PKIX module, and the system's CA bundle
// when it is installed.

#include "tesk-asn1x-modules.h"
#include "tesk-test-defs.h"
#include "tesk-test-util.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <string>
#include <vector>

using namespace tesktest;

namespace {

struct Module {
  const char *name;
  const TeskAsn1xDef *defs;
};

const Module modules[] = {
  {"test records", test_pkix_asn1_tab},
  {"built-in", pkix_asn1_tab},
};

std::string oid_text (GNode *node)
{
  Text text (tesk_asn1x_get_oid_as_string (node));
  return text ? text.get () : "(none)";
}

TEST (Certificate, ServerFixtureReadsAndRoundTrips)
{
  const std::string der = read_fixture ("server.der");
  for (const auto &m : modules) {
    SCOPED_TRACE (m.name);
    Bytes data = bytes_of (der);
    Tree cert (tesk_asn1x_create_and_decode (m.defs, "Certificate", data.get ()));
    ASSERT_NE (cert, nullptr);

    gulong version = 0;
    EXPECT_TRUE (tesk_asn1x_get_integer_as_ulong (
      tesk_asn1x_node (cert.get (), "tbsCertificate", "version", NULL), &version));
    EXPECT_EQ (version, 2u);

    Bytes serial (tesk_asn1x_get_integer_as_raw (
      tesk_asn1x_node (cert.get (), "tbsCertificate", "serialNumber", NULL)));
    EXPECT_EQ (hex (serial.get ()), "00 C0 FF EE 12 34 56 78");

    EXPECT_EQ (oid_text (tesk_asn1x_node (cert.get (), "signatureAlgorithm", "algorithm", NULL)),
               "1.2.840.113549.1.1.11");
    EXPECT_EQ (oid_text (tesk_asn1x_node (cert.get (), "tbsCertificate", "subjectPublicKeyInfo",
                                          "algorithm", "algorithm", NULL)),
               "1.2.840.113549.1.1.1");
    Bytes params (tesk_asn1x_get_element_raw (tesk_asn1x_node (
      cert.get (), "tbsCertificate", "subjectPublicKeyInfo", "algorithm", "parameters", NULL)));
    EXPECT_EQ (hex (params.get ()), "05 00");

    guint bits = 0;
    Bytes key (tesk_asn1x_get_bits_as_raw (
      tesk_asn1x_node (cert.get (), "tbsCertificate", "subjectPublicKeyInfo", "subjectPublicKey",
                       NULL),
      &bits));
    EXPECT_EQ (bits, 270u * 8);

    // Subject: C, O, OU, CN, emailAddress, one attribute per RDN.
    GNode *rdns = tesk_asn1x_node (cert.get (), "tbsCertificate", "subject", "rdnSequence", NULL);
    ASSERT_NE (rdns, nullptr);
    EXPECT_EQ (tesk_asn1x_count (rdns), 5u);
    GNode *cn_type = tesk_asn1x_node (rdns, 4, 1, "type", NULL);
    EXPECT_EQ (oid_text (cn_type), "2.5.4.3");
    GNode *cn_value = tesk_asn1x_node (rdns, 4, 1, "value", NULL);
    Tree cn (tesk_asn1x_get_any_as (cn_value, m.defs, "2.5.4.3"));
    ASSERT_NE (cn, nullptr);
    GNode *chosen = tesk_asn1x_get_choice (cn.get ());
    ASSERT_NE (chosen, nullptr);
    Text name (tesk_asn1x_get_string_as_utf8 (chosen, nullptr));
    EXPECT_STREQ (name.get (), "Server");

    GDateTime *not_after = tesk_asn1x_get_time_as_date_time (
      tesk_asn1x_node (cert.get (), "tbsCertificate", "validity", "notAfter", NULL));
    ASSERT_NE (not_after, nullptr);
    EXPECT_GE (g_date_time_get_year (not_after), 2030);
    g_date_time_unref (not_after);

    // Extensions: basicConstraints (critical), keyUsage (critical), SAN, SKI.
    GNode *exts = tesk_asn1x_node (cert.get (), "tbsCertificate", "extensions", NULL);
    ASSERT_EQ (tesk_asn1x_count (exts), 4u);
    std::vector<std::string> ids;
    std::vector<int> critical;
    for (guint i = 1; i <= 4; i++) {
      ids.push_back (oid_text (tesk_asn1x_node (exts, i, "extnID", NULL)));
      gboolean c = FALSE;
      EXPECT_TRUE (tesk_asn1x_get_boolean (tesk_asn1x_node (exts, i, "critical", NULL), &c));
      critical.push_back (c ? 1 : 0);
    }
    EXPECT_EQ (ids, (std::vector<std::string>{"2.5.29.19", "2.5.29.15", "2.5.29.17", "2.5.29.14"}));
    EXPECT_EQ (critical, (std::vector<int>{1, 1, 0, 0}));

    Bytes ku_der (tesk_asn1x_get_string_as_bytes (tesk_asn1x_node (exts, 2, "extnValue", NULL)));
    Tree ku (tesk_asn1x_create_and_decode (m.defs, "KeyUsage", ku_der.get ()));
    ASSERT_NE (ku, nullptr);
    gulong usage = 0;
    guint n_bits = 0;
    ASSERT_TRUE (tesk_asn1x_get_bits_as_ulong (ku.get (), &usage, &n_bits));
    // digitalSignature (bit 0), keyCertSign (5), cRLSign (6) over 7 bits.
    EXPECT_EQ (n_bits, 7u);
    EXPECT_EQ (usage, 0x43u);

    Bytes bc_der (tesk_asn1x_get_string_as_bytes (tesk_asn1x_node (exts, 1, "extnValue", NULL)));
    Tree bc (tesk_asn1x_create_and_decode (m.defs, "BasicConstraints", bc_der.get ()));
    ASSERT_NE (bc, nullptr);
    gboolean ca = FALSE;
    EXPECT_TRUE (tesk_asn1x_get_boolean (tesk_asn1x_node (bc.get (), "cA", NULL), &ca));
    EXPECT_TRUE (ca);
    gulong path = 0;
    EXPECT_TRUE (tesk_asn1x_get_integer_as_ulong (
      tesk_asn1x_node (bc.get (), "pathLenConstraint", NULL), &path));
    EXPECT_EQ (path, 1u);

    Bytes again (tesk_asn1x_encode (cert.get (), nullptr));
    EXPECT_EQ (string_of (again.get ()), der);
  }
}

TEST (Certificate, EllipticCurveFixtureRoundTrips)
{
  const std::string der = read_fixture ("ec.der");
  Bytes data = bytes_of (der);
  Tree cert (tesk_asn1x_create_and_decode (pkix_asn1_tab, "Certificate", data.get ()));
  ASSERT_NE (cert, nullptr);
  EXPECT_EQ (oid_text (tesk_asn1x_node (cert.get (), "signatureAlgorithm", "algorithm", NULL)),
             "1.2.840.10045.4.3.2");
  // The parameters of ecdsa-with-SHA256 are absent.
  EXPECT_FALSE (tesk_asn1x_have (
    tesk_asn1x_node (cert.get (), "signatureAlgorithm", "parameters", NULL)));
  Bytes again (tesk_asn1x_encode (cert.get (), nullptr));
  EXPECT_EQ (string_of (again.get ()), der);
}

// Every certificate of the system bundle, decoded and written back.
TEST (Certificate, SystemBundleRoundTrips)
{
  const char *dir = "/etc/ssl/certs";
  DIR *d = opendir (dir);
  if (!d)
    GTEST_SKIP () << dir << " is not installed";

  int count = 0;
  while (struct dirent *entry = readdir (d)) {
    std::string name = entry->d_name;
    if (name.size () < 5 || name.compare (name.size () - 4, 4, ".pem") != 0)
      continue;
    gchar *contents = nullptr;
    gsize length = 0;
    std::string path = std::string (dir) + "/" + name;
    if (!g_file_get_contents (path.c_str (), &contents, &length, nullptr))
      continue;
    std::string pem (contents, length);
    g_free (contents);

    const std::string begin = "-----BEGIN CERTIFICATE-----";
    const std::string end = "-----END CERTIFICATE-----";
    auto b = pem.find (begin);
    auto e = pem.find (end);
    if (b == std::string::npos || e == std::string::npos)
      continue;
    std::string base64 = pem.substr (b + begin.size (), e - b - begin.size ());
    gsize n = 0;
    guchar *raw = g_base64_decode (base64.c_str (), &n);
    std::string der (reinterpret_cast<char *> (raw), n);
    g_free (raw);

    SCOPED_TRACE (name);
    Bytes data = bytes_of (der);
    Tree cert (tesk_asn1x_create_and_decode (pkix_asn1_tab, "Certificate", data.get ()));
    ASSERT_NE (cert, nullptr);
    Bytes again (tesk_asn1x_encode (cert.get (), nullptr));
    ASSERT_NE (again, nullptr);
    EXPECT_EQ (string_of (again.get ()), der);
    count++;
  }
  closedir (d);
  if (count == 0)
    GTEST_SKIP () << "no certificates in " << dir;
  RecordProperty ("certificates", count);
}

}  // namespace
