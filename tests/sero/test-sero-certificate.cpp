// Certificate objects: the DER they hold, the subject's common name and the
// size of the public key, from real certificates and from hand-made ones.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "der-builder.h"
#include "sero.h"
#include "sero-fixtures.h"

namespace {

using serotest::fixture;

struct CertificateDeleter {
  void operator()(SeroCertificate *cert) const { g_object_unref(cert); }
};
using CertificatePtr = std::unique_ptr<SeroCertificate, CertificateDeleter>;

CertificatePtr make(const std::string &der) {
  return CertificatePtr(sero_simple_certificate_new(reinterpret_cast<const guchar *>(der.data()), der.size()));
}

std::string cn_of(const std::string &der) {
  auto cert = make(der);
  gchar *cn = sero_certificate_get_subject_cn(cert.get());
  std::string out = cn ? cn : "(none)";
  g_free(cn);
  return out;
}

TEST(SeroCertificate, HoldsItsOwnCopyOfTheDer) {
  std::string der = fixture("rsa-2048.der");
  const std::string original = der;
  auto cert = make(der);
  der[10] ^= 0xff;
  gsize n = 0;
  const guchar *data = sero_certificate_get_der_data(cert.get(), &n);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(data), n), original);
  EXPECT_TRUE(G_TYPE_IS_INTERFACE(sero_certificate_get_type()));
  EXPECT_TRUE(SERO_IS_CERTIFICATE(cert.get()));
}

TEST(SeroCertificate, SubjectCommonNameAndKeySizeOfRealCertificates) {
  struct Case {
    const char *file;
    const char *cn;
    guint bits;
  } cases[] = {
      {"rsa-2048.pem", "RSA Test", 2048},
      {"rsa-3072.pem", "RSA 3072", 3072},
      {"dsa-2048.pem", "DSA 2048", 2048},
      {"ec-p256.pem", "EC P-256", 256},
      {"ec-p384.pem", "EC P-384", 384},
      {"ec-p521.pem", "EC P-521", 521},
      {"ed25519.pem", "Ed25519", 256},
      {"no-cn.pem", "(none)", 256},
      {"utf8-cn.pem", "Zoë Ünïcode", 256},
      {"second-cn.pem", "First Name", 256},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.file);
    const std::string der = serotest::pem_to_der(fixture(c.file));
    EXPECT_EQ(cn_of(der), c.cn);
    EXPECT_EQ(sero_certificate_get_key_size(make(der).get()), c.bits);
  }
}

TEST(SeroCertificate, CommonNameInEveryStringType) {
  using namespace derb;
  const Bytes key = rsa_spki(Bytes(1, '\x01') + Bytes(127, '\0'));
  struct Case {
    const char *what;
    Bytes value;
    const char *cn;
  } cases[] = {
      {"UTF8String", utf8("Grüße"), "Grüße"},
      {"PrintableString", tlv(0x13, "Plain Name"), "Plain Name"},
      {"IA5String", tlv(0x16, "ia5@example.org"), "ia5@example.org"},
      {"TeletexString as Latin-1", tlv(0x14, "Caf\xe9"), "Café"},
      {"BMPString", tlv(0x1e, Bytes("\0B\0\xe9\0r", 6)), "Bér"},
      {"BMPString with a surrogate pair", tlv(0x1e, Bytes("\xd8\x3d\xde\x00", 4)), "\xf0\x9f\x98\x80"},
      {"UniversalString", tlv(0x1c, Bytes("\0\0\0A\0\x01\xf6\0", 8)), "A\xf0\x9f\x98\x80"},
      {"UTF8String that is not UTF-8", utf8("\xff\xfe"), "(none)"},
      {"UTF8String with a zero byte", utf8(Bytes("a\0b", 3)), "(none)"},
      {"PrintableString with 8-bit bytes", tlv(0x13, "\xe9t\xe9"), "(none)"},
      {"BMPString of odd length", tlv(0x1e, Bytes("\0A\0", 3)), "(none)"},
      {"a lone surrogate", tlv(0x1e, Bytes("\xdc\x00", 2)), "(none)"},
      {"an OCTET STRING", octets("raw"), "(none)"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(cn_of(certificate(name({{"2.5.4.10", utf8("Org")}, {"2.5.4.3", c.value}}), key)), c.cn);
  }
}

TEST(SeroCertificate, KeySizeOfHandMadeKeys) {
  using namespace derb;
  auto spki = [](const std::string &algorithm, const Bytes &params, const Bytes &key) {
    return seq({seq({oid(algorithm), params}), bits(key)});
  };
  const Bytes p_1024 = Bytes(1, '\0') + Bytes(1, '\x80') + Bytes(127, '\x11');
  struct Case {
    const char *what;
    Bytes spki;
    guint bits;
  } cases[] = {
      {"RSA, modulus with its sign byte", rsa_spki(Bytes(1, '\0') + Bytes(1, '\x80') + Bytes(255, '\x01')), 2048},
      {"RSA, odd modulus size", rsa_spki(Bytes(1, '\x01') + Bytes(64, '\xff')), 513},
      {"RSA, damaged key", spki("1.2.840.113549.1.1.1", null(), "\x30\x05\x02"), 0},
      {"DSA with parameters", spki("1.2.840.10040.4.1", seq({integer(p_1024), small_int(3), small_int(5)}),
                                   integer("\x07")), 1024},
      {"DSA with inherited parameters", spki("1.2.840.10040.4.1", "", integer("\x07")), 0},
      {"EC on an unlisted curve, uncompressed point",
       spki("1.2.840.10045.2.1", oid("1.2.3.4"), Bytes(1, '\x04') + Bytes(64, '\x01')), 256},
      {"EC on an unlisted curve, compressed point",
       spki("1.2.840.10045.2.1", oid("1.2.3.4"), Bytes(1, '\x02') + Bytes(48, '\x01')), 384},
      {"EC on secp256k1", spki("1.2.840.10045.2.1", oid("1.3.132.0.10"), Bytes(1, '\x04') + Bytes(64, '\x01')), 256},
      {"an unknown algorithm", spki("1.2.3.4.5", null(), "\x01\x02"), 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    auto der = certificate(name({{"2.5.4.3", utf8("Key")}}), c.spki);
    EXPECT_EQ(sero_certificate_get_key_size(make(der).get()), c.bits);
  }
}

TEST(SeroCertificate, DataThatIsNoCertificateHasNoNameAndNoKey) {
  const std::string der = fixture("rsa-2048.der");
  const std::string cases[] = {der.substr(0, der.size() / 2), "\x30\x00", std::string(40, 'x')};
  for (const auto &data : cases) {
    auto cert = make(data);
    EXPECT_EQ(cn_of(data), "(none)");
    EXPECT_EQ(sero_certificate_get_key_size(cert.get()), 0u);
    gsize n = 0;
    EXPECT_NE(sero_certificate_get_der_data(cert.get(), &n), nullptr) << "the bytes are still there";
    EXPECT_EQ(n, data.size());
  }
}

TEST(SeroFingerprint, Sha1OfTheKeyInfoMatchesAnOutsideDigest) {
  const std::string spki = fixture("rsa-2048.spki.der");
  std::string expected = fixture("rsa-2048.spki.sha1");
  expected.erase(expected.find_last_not_of("\n") + 1);

  gsize n = 0;
  guchar *digest = sero_fingerprint_from_subject_public_key_info(
      reinterpret_cast<const guchar *>(spki.data()), spki.size(), G_CHECKSUM_SHA1, &n);
  ASSERT_NE(digest, nullptr);
  ASSERT_EQ(n, 20u);
  std::string hex;
  for (gsize i = 0; i < n; i++) {
    char buf[3];
    g_snprintf(buf, sizeof buf, "%02x", digest[i]);
    hex += buf;
  }
  g_free(digest);
  EXPECT_EQ(hex, expected);

  // Not one DER element: no fingerprint.
  const std::string cut = spki.substr(0, spki.size() - 3);
  EXPECT_EQ(sero_fingerprint_from_subject_public_key_info(reinterpret_cast<const guchar *>(cut.data()),
                                                          cut.size(), G_CHECKSUM_SHA1, &n),
            nullptr);
  EXPECT_EQ(n, 0u);
}

}  // namespace
