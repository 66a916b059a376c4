// Whole certificates through the built-in PKIX module: the small edge-case
// certificates under tests/data, and every certificate of the system's CA
// bundle, each decoded, validated, named and written back byte for byte.
#include <gtest/gtest.h>

#include <glob.h>

#include <memory>
#include <string>
#include <vector>

#include "der-builder.h"
#include "log-capture.h"
#include "process.h"
#include "tesk-asn1x-modules.h"
#include "tesk-asn1x.h"
#include "tesk-dn.h"

namespace {

using namespace teskmodules;

std::string
text (const char *s)
{
  return s ? s : "(none)";
}

std::string
take (gchar *s)
{
  std::string out = text (s);
  g_free (s);
  return out;
}

struct BytesDeleter {
  void operator() (GBytes *b) const { g_bytes_unref (b); }
};
using Bytes = std::unique_ptr<GBytes, BytesDeleter>;

struct TreeDeleter {
  void operator() (GNode *n) const { tesk_asn1x_destroy (n); }
};
using Tree = std::unique_ptr<GNode, TreeDeleter>;

std::string
str (GBytes *b)
{
  gsize n = 0;
  const auto *data = static_cast<const char *> (g_bytes_get_data (b, &n));
  return std::string (data ? data : "", n);
}

// Checks that the tree writes back exactly the bytes it was decoded from.
void
expect_round_trip (GNode *cert, const std::string &der)
{
  Bytes encoded (tesk_asn1x_encode (cert, nullptr));
  ASSERT_TRUE (encoded) << text (tesk_asn1x_message (cert));
  EXPECT_EQ (hex (str (encoded.get ())), hex (der));
}

TEST (TeskCertificates, EdgeCaseFixtures)
{
  struct Case {
    const char *file;
    const char *subject;
    const char *issuer;
    gulong version;    // as encoded: 0 for v1, 2 for v3
    int n_extensions;  // -1: no extensions field
    const char *message; // the start of a message logged while reading names
  } cases[] = {
    { "v1-no-version.der", "C=DE, CN=Plain Server", "C=DE, O=Example Test CA", 0, -1, nullptr },
    { "v3-no-extensions.der", "C=DE, CN=Plain Server", "C=DE, O=Example Test CA", 2, -1, nullptr },
    { "duplicate-extensions.der", "C=DE, CN=Plain Server", "C=DE, O=Example Test CA", 2, 2, nullptr },
    { "bmp-names.der", "C=RU, O=Пример, CN=Сервер AB", "C=DE, O=Example Test CA", 2, -1, nullptr },
    { "utf8-names.der", "C=DE, O=Exämple GmbH, CN=Grüße Server", "C=DE, O=Exämple GmbH, CN=Grüße Server",
      2, 3, nullptr },
    { "country-three-letters.der", "C=#1303555341, CN=Three Letter Country", "C=DE, O=Example Test CA",
      2, -1, "couldn't decode value for OID: 2.5.4.6: X520countryName: content size is not correct" },
    { "russian-numbers.der",
      "C=RU, OGRN=1027700132195, SNILS=12345678901, OGRNIP=#120F333034353030313136303030313537, "
      "INN=007707083893, CN=Registration Numbers",
      "C=DE, O=Example Test CA", 2, -1, nullptr },
    { "multi-valued-rdn.der", "O=Example, OU=Web+CN=Server", "C=DE, O=Example Test CA", 2, -1, nullptr },
  };

  for (const Case &c : cases) {
    SCOPED_TRACE (c.file);
    std::string der = testsupport::read_file (testsupport::data_path (std::string ("tesk-modules/") + c.file));
    Bytes data (bytes_new (der));
    Tree cert (tesk_asn1x_create_and_decode (pkix_asn1_tab, "Certificate", data.get ()));
    ASSERT_TRUE (cert);
    EXPECT_TRUE (tesk_asn1x_validate (cert.get (), TRUE)) << text (tesk_asn1x_message (cert.get ()));

    LogCapture log;
    EXPECT_EQ (take (tesk_dn_read (tesk_asn1x_node (cert.get (), "tbsCertificate", "subject", "rdnSequence", NULL))),
               c.subject);
    EXPECT_EQ (take (tesk_dn_read (tesk_asn1x_node (cert.get (), "tbsCertificate", "issuer", "rdnSequence", NULL))),
               c.issuer);
    auto messages = log.at (G_LOG_LEVEL_MESSAGE);
    if (c.message) {
      ASSERT_EQ (messages.size (), 1u);
      EXPECT_EQ (messages[0], c.message);
    } else {
      EXPECT_TRUE (messages.empty ()) << messages[0];
    }

    gulong version = 99;
    EXPECT_TRUE (tesk_asn1x_get_integer_as_ulong (tesk_asn1x_node (cert.get (), "tbsCertificate", "version", NULL),
                                                  &version));
    EXPECT_EQ (version, c.version);

    GNode *extensions = tesk_asn1x_node (cert.get (), "tbsCertificate", "extensions", NULL);
    ASSERT_NE (extensions, nullptr);
    if (c.n_extensions < 0) {
      EXPECT_FALSE (tesk_asn1x_have (extensions));
    } else {
      EXPECT_EQ (tesk_asn1x_count (extensions), guint (c.n_extensions));
    }

    expect_round_trip (cert.get (), der);
  }
}

TEST (TeskCertificates, DuplicateExtensionsAreKeptApart)
{
  std::string der = testsupport::read_file (testsupport::data_path ("tesk-modules/duplicate-extensions.der"));
  Bytes data (bytes_new (der));
  Tree cert (tesk_asn1x_create_and_decode (pkix_asn1_tab, "Certificate", data.get ()));
  ASSERT_TRUE (cert);

  struct Case {
    gint index;
    gboolean critical;
    const char *value;
  } cases[] = {
    { 1, TRUE, "30030101FF" },
    { 2, FALSE, "3000" }, // critical absent: the default
  };
  for (const Case &c : cases) {
    GNode *ext = tesk_asn1x_node (cert.get (), "tbsCertificate", "extensions", c.index, NULL);
    ASSERT_NE (ext, nullptr) << c.index;
    gchar *oid = tesk_asn1x_get_oid_as_string (tesk_asn1x_node (ext, "extnID", NULL));
    EXPECT_EQ (take (oid), "2.5.29.19");
    gboolean critical = !c.critical;
    EXPECT_TRUE (tesk_asn1x_get_boolean (tesk_asn1x_node (ext, "critical", NULL), &critical));
    EXPECT_EQ (critical, c.critical);
    Bytes value (tesk_asn1x_get_string_as_bytes (tesk_asn1x_node (ext, "extnValue", NULL)));
    ASSERT_TRUE (value);
    EXPECT_EQ (hex (str (value.get ())), c.value);
  }
}

TEST (TeskCertificates, UnlistedVersionFailsValidation)
{
  std::string der = testsupport::read_file (testsupport::data_path ("tesk-modules/version-4.der"));
  Bytes data (bytes_new (der));
  Tree cert (tesk_asn1x_create (pkix_asn1_tab, "Certificate"));
  ASSERT_TRUE (cert);
  EXPECT_FALSE (tesk_asn1x_decode (cert.get (), data.get ()));
  EXPECT_EQ (text (tesk_asn1x_message (cert.get ())), "version: integer not part of listed set");

  Tree again (tesk_asn1x_create_and_decode (pkix_asn1_tab, "Certificate", data.get ()));
  EXPECT_FALSE (again);
}

// Every certificate of the PEM files in the system's CA directory.
std::vector<std::pair<std::string, std::string>>
bundle_certificates ()
{
  std::vector<std::pair<std::string, std::string>> certs;
  glob_t found {};
  if (glob ("/etc/ssl/certs/*.pem", 0, nullptr, &found) == 0) {
    for (size_t i = 0; i < found.gl_pathc; ++i) {
      std::string path = found.gl_pathv[i];
      std::string pem;
      try {
        pem = testsupport::read_file (path);
      } catch (...) {
        continue; // a dangling link
      }
      const std::string begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
      for (size_t at = pem.find (begin); at != std::string::npos; at = pem.find (begin, at)) {
        size_t stop = pem.find (end, at);
        if (stop == std::string::npos)
          break;
        std::string body = pem.substr (at + begin.size (), stop - at - begin.size ());
        gsize n = 0;
        guchar *der = g_base64_decode (body.c_str (), &n);
        certs.emplace_back (path, std::string (reinterpret_cast<char *> (der), n));
        g_free (der);
        at = stop;
      }
    }
  }
  globfree (&found);
  return certs;
}

TEST (TeskCertificates, WholeCaBundle)
{
  auto certs = bundle_certificates ();
  if (certs.empty ())
    GTEST_SKIP () << "no CA certificates under /etc/ssl/certs";

  size_t round_trips = 0;
  for (const auto &[path, der] : certs) {
    SCOPED_TRACE (path);
    Bytes data (bytes_new (der));
    Tree cert (tesk_asn1x_create_and_decode (pkix_asn1_tab, "Certificate", data.get ()));
    ASSERT_TRUE (cert);
    EXPECT_TRUE (tesk_asn1x_validate (cert.get (), TRUE)) << text (tesk_asn1x_message (cert.get ()));

    LogCapture log;
    for (const char *which : { "subject", "issuer" }) {
      std::string name = take (tesk_dn_read (tesk_asn1x_node (cert.get (), "tbsCertificate", which, "rdnSequence", NULL)));
      EXPECT_NE (name, "(none)") << which;
      EXPECT_FALSE (name.empty ()) << which;
    }
    EXPECT_TRUE (log.messages ().empty ()) << log.messages ()[0].message;

    Bytes encoded (tesk_asn1x_encode (cert.get (), nullptr));
    ASSERT_TRUE (encoded) << text (tesk_asn1x_message (cert.get ()));
    if (str (encoded.get ()) == der)
      ++round_trips;
    else
      ADD_FAILURE () << "re-encoding differs from the input";
  }
  EXPECT_EQ (round_trips, certs.size ());
  RecordProperty ("certificates", int (certs.size ()));
}

} // namespace
