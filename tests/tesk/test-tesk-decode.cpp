// Decoding: matching by tag with optional and default members, explicit
// and implicit tags, lists, choices, constructed strings, and every
// validation failure.

#include "tesk-asn1x-private.h"
#include "tesk-test-cert.h"
#include "tesk-test-defs.h"
#include "tesk-test-util.h"

#include <gtest/gtest.h>

#include <functional>

using namespace tesktest;

namespace {

struct CertCase {
  const char *what;
  std::function<void (CertParts &)> change;
  const char *message; // nullptr: decodes and validates
};

const CertCase cert_cases[] = {
  {"as made", [] (CertParts &) {}, nullptr},
  {"without version", [] (CertParts &p) { p.version.clear (); }, nullptr},
  {"version 3",
   [] (CertParts &p) { p.version = tlv (0xA0, tlv (0x02, unhex ("03"))); },
   "version: integer not part of listed set"},
  {"version too long for the list",
   [] (CertParts &p) { p.version = tlv (0xA0, tlv (0x02, unhex ("01 00 00 00 00 00 00 00 00"))); },
   "version: integer not part of list"},
  {"version wrapper is primitive",
   [] (CertParts &p) { p.version = unhex ("80 01 02"); },
   "version: missing context specific child"},
  {"version wrapper has two children",
   [] (CertParts &p) { p.version = tlv (0xA0, tlv (0x02, "\x02") + tlv (0x02, "\x02")); },
   "version: multiple context specific children"},
  {"version wrapper is universal",
   [] (CertParts &p) { p.version = tlv (0x20, tlv (0x02, "\x02")); },
   "version: missing context specific tag"},
  {"version wraps a boolean",
   [] (CertParts &p) { p.version = tlv (0xA0, tlv (0x01, "\xFF")); },
   "version: decoded tag did not match expected"},
  {"extension without critical",
   [] (CertParts &p) { p.extension = tlv (0x30, der_oid ("55 1D 0F") + tlv (0x04, unhex ("03 02 05 A0"))); },
   nullptr},
  {"critical is 01",
   [] (CertParts &p) { p.extension = tlv (0x30, der_oid ("55 1D 0F") + tlv (0x01, "\x01") + tlv (0x04, "")); },
   "critical: boolean must be true or false"},
  {"critical has two bytes",
   [] (CertParts &p) { p.extension = tlv (0x30, der_oid ("55 1D 0F") + tlv (0x01, unhex ("FF FF")) + tlv (0x04, "")); },
   "critical: invalid length boolean"},
  {"issuerUniqueID present",
   [] (CertParts &p) { p.unique_ids = unhex ("81 02 00 AA"); }, nullptr},
  {"both unique IDs present",
   [] (CertParts &p) { p.unique_ids = unhex ("81 02 00 AA 82 02 04 B0"); }, nullptr},
  {"extensions tagged 4",
   [] (CertParts &p) { p.extensions_tag = "\xA4"; },
   "extensions: decoded tag did not match expected"},
  {"element after the extensions",
   [] (CertParts &p) { p.after_extensions = unhex ("85 00"); },
   "extensions: encountered extra tag"},
  {"empty extensions list",
   [] (CertParts &p) { p.extension.clear (); p.after_extensions = unhex ("A3 02 30 00"); },
   nullptr},
  {"empty relative name",
   [] (CertParts &p) { p.subject = tlv (0x30, tlv (0x31, "")); },
   "RelativeDistinguishedName: content size is out of bounds"},
  {"no public key and no extensions",
   [] (CertParts &p) { p.spki.clear (); p.extension.clear (); },
   "subjectPublicKeyInfo: no decoded value"},
  {"serial in constructed form",
   [] (CertParts &p) { p.serial = tlv (0x22, tlv (0x02, "\x01")); },
   "serialNumber: structured value of an unexpected type"},
  {"validity in primitive form",
   [] (CertParts &p) { p.validity = unhex ("10 00"); },
   "validity: primitive value of an unexpected type"},
  {"empty serial",
   [] (CertParts &p) { p.serial = unhex ("02 00"); },
   "serialNumber: zero length integer"},
  {"empty bit string",
   [] (CertParts &p) { p.sig_value = unhex ("03 00"); },
   "signature: invalid length bit string"},
  {"eight empty bits",
   [] (CertParts &p) { p.sig_value = unhex ("03 02 08 00"); },
   "signature: invalid number of empty bits"},
  {"empty bits without bit bytes",
   [] (CertParts &p) { p.sig_value = unhex ("03 01 03"); },
   "signature: invalid number of empty bits"},
  {"trailing bits set",
   [] (CertParts &p) { p.sig_value = unhex ("03 02 01 01"); },
   "signature: bit string has invalid trailing bits"},
  {"time is neither UTC nor generalized",
   [] (CertParts &p) { p.validity = tlv (0x30, tlv (0x02, "\x01") + tlv (0x18, "20330101120000Z")); },
   "utcTime: decoded tag did not match expected"},
  {"UTCTime of eleven digits",
   [] (CertParts &p) { p.validity = tlv (0x30, tlv (0x17, "23010112000Z") + tlv (0x18, "20330101120000Z")); },
   "utcTime: invalid time content"},
  {"UTCTime without seconds",
   [] (CertParts &p) { p.validity = tlv (0x30, tlv (0x17, "2301011200Z") + tlv (0x18, "20330101120000Z")); },
   nullptr},
  {"empty algorithm OID",
   [] (CertParts &p) { p.sig_alg = tlv (0x30, tlv (0x06, "")); },
   "algorithm: object id encoding is invalid"},
  {"algorithm without parameters",
   [] (CertParts &p) { p.sig_alg = tlv (0x30, der_oid ("2A 86 48 CE 3D 04 03 02")); }, nullptr},
  {"trailing data",
   [] (CertParts &p) { p.sig_value += unhex ("05 00"); },
   "encountered extra tag"},
};

TEST (DecodeCertificate, Cases)
{
  for (const auto &c : cert_cases) {
    SCOPED_TRACE (c.what);
    CertParts parts;
    c.change (parts);
    Tree tree (tesk_asn1x_create (test_pkix_asn1_tab, "Certificate"));
    Bytes data = bytes_of (parts.der ());
    const gboolean ok = tesk_asn1x_decode (tree.get (), data.get ());
    if (!c.message) {
      EXPECT_TRUE (ok) << tesk_asn1x_message (tree.get ());
      continue;
    }
    EXPECT_FALSE (ok);
    const gchar *message = tesk_asn1x_message (tree.get ());
    ASSERT_NE (message, nullptr);
    EXPECT_NE (std::string (message).find (c.message), std::string::npos) << message;
  }
}

TEST (DecodeCertificate, WholeInputRules)
{
  CertParts parts;
  const std::string der = parts.der ();
  struct Case {
    std::string input;
    const char *message;
  } cases[] = {
    {der + unhex ("00"), "extra unexpected trailing data"},
    {der.substr (0, der.size () - 1), "content is not encoded properly"},
    {unhex ("30"), "content is not encoded properly"},
  };
  for (const auto &c : cases) {
    Tree tree (tesk_asn1x_create (test_pkix_asn1_tab, "Certificate"));
    Bytes data = bytes_of (c.input);
    EXPECT_FALSE (tesk_asn1x_decode (tree.get (), data.get ()));
    // Texts of the element reader carry no label.
    EXPECT_STREQ (tesk_asn1x_message (tree.get ()), c.message);
  }
}

TEST (DecodeCertificate, IndefiniteLengthForm)
{
  CertParts parts;
  std::string tbs = parts.tbs ();
  std::string der = unhex ("30 80") + tbs + parts.sig_alg + parts.sig_value + unhex ("00 00");
  Tree tree (tesk_asn1x_create (test_pkix_asn1_tab, "Certificate"));
  Bytes data = bytes_of (der);
  ASSERT_TRUE (tesk_asn1x_decode (tree.get (), data.get ())) << tesk_asn1x_message (tree.get ());
  Bytes element (tesk_asn1x_get_element_raw (tree.get ()));
  EXPECT_EQ (g_bytes_get_size (element.get ()), der.size ());
  // Written back in definite form.
  Bytes encoded (tesk_asn1x_encode (tree.get (), nullptr));
  EXPECT_EQ (hex (encoded.get ()), hex (parts.der ()));
}

TEST (DecodeCertificate, FieldsAreViewsOfTheInput)
{
  CertParts parts;
  parts.unique_ids = unhex ("81 02 00 AA");
  Tree tree (tesk_asn1x_create (test_pkix_asn1_tab, "Certificate"));
  Bytes data = bytes_of (parts.der ());
  ASSERT_TRUE (tesk_asn1x_decode (tree.get (), data.get ()));

  gsize n = 0;
  auto *base = static_cast<const guchar *> (g_bytes_get_data (data.get (), &n));
  GNode *serial = tesk_asn1x_node (tree.get (), "tbsCertificate", "serialNumber", NULL);
  auto *value = static_cast<const guchar *> (g_bytes_get_data (anode_of (serial)->value, nullptr));
  EXPECT_GE (value, base);
  EXPECT_LT (value, base + n);

  GNode *uid = tesk_asn1x_node (tree.get (), "tbsCertificate", "issuerUniqueID", NULL);
  guint bits = 0;
  Bytes raw (tesk_asn1x_get_bits_as_raw (uid, &bits));
  EXPECT_EQ (hex (raw.get ()), "AA");
  EXPECT_EQ (bits, 8u);
  EXPECT_FALSE (tesk_asn1x_have (tesk_asn1x_node (tree.get (), "tbsCertificate",
                                                  "subjectUniqueID", NULL)));
}

TEST (DecodeCertificate, DecodingAgainStartsOver)
{
  CertParts bad;
  bad.version = tlv (0xA0, tlv (0x02, unhex ("03")));
  CertParts good;
  good.version.clear ();
  Tree tree (tesk_asn1x_create (test_pkix_asn1_tab, "Certificate"));
  Bytes first = bytes_of (bad.der ());
  Bytes second = bytes_of (good.der ());
  EXPECT_FALSE (tesk_asn1x_decode (tree.get (), first.get ()));
  ASSERT_TRUE (tesk_asn1x_decode (tree.get (), second.get ()));
  GNode *version = tesk_asn1x_node (tree.get (), "tbsCertificate", "version", NULL);
  EXPECT_FALSE (tesk_asn1x_have (version));
  EXPECT_EQ (anode_of (version)->failure, nullptr);
}

struct TypeCase {
  const TeskAsn1xDef *defs;
  const char *type;
  const char *der;
  const char *message; // nullptr: valid
};

const TypeCase type_cases[] = {
  {test_misc_asn1_tab, "TaggedSet", "31 06 81 01 FF 82 01 05", nullptr},
  {test_misc_asn1_tab, "TaggedSet", "31 06 82 01 05 81 01 FF",
   "TaggedSet: content must be in ascending order"},
  {test_misc_asn1_tab, "IntSet", "31 06 02 01 02 02 01 01", nullptr}, // order not examined
  {test_misc_asn1_tab, "IntSeq", "30 06 02 01 01 01 01 FF", "IntSeq: invalid mismatched content"},
  {test_misc_asn1_tab, "IntSeq", "30 00", nullptr},
  {test_misc_asn1_tab, "Fixed3", "04 03 41 42 43", nullptr},
  {test_misc_asn1_tab, "Fixed3", "04 02 41 42", "Fixed3: content size is not correct"},
  {test_misc_asn1_tab, "Range2to4", "04 04 41 42 43 44", nullptr},
  {test_misc_asn1_tab, "Range2to4", "04 01 41", "Range2to4: content size is out of bounds"},
  {test_misc_asn1_tab, "Range2to4", "04 05 41 42 43 44 45",
   "Range2to4: content size is out of bounds"},
  {test_misc_asn1_tab, "RangeByName", "04 04 41 42 43 44", nullptr},
  {test_misc_asn1_tab, "RangeByName", "04 05 41 42 43 44 45",
   "RangeByName: content size is out of bounds"},
  {test_pkix_asn1_tab, "2.5.4.6", "13 02 4E 4C", nullptr},
  {test_pkix_asn1_tab, "2.5.4.6", "13 03 4E 4C 44", "X520countryName: content size is not correct"},
  {test_misc_asn1_tab, "Bool", "01 01 00", nullptr},
  {test_misc_asn1_tab, "Bool", "01 00", "Bool: invalid length boolean"},
  {test_misc_asn1_tab, "Null", "05 00", nullptr},
  {test_misc_asn1_tab, "Color", "0A 01 02", nullptr},
  {test_misc_asn1_tab, "Color", "0A 01 80", "Color: enumerated must be positive"},
  {test_misc_asn1_tab, "Color", "0A 01 05", "Color: integer not part of listed set"},
  {test_misc_asn1_tab, "Oid", "06 03 2A 86 00", nullptr},
  {test_misc_asn1_tab, "Oid", "06 03 2A 80 01", "Oid: object id encoding is invalid"},
  {test_misc_asn1_tab, "OptChoice", "30 02 05 00", nullptr}, // absent optional choice
  {test_misc_asn1_tab, "OptChoice", "30 05 05 00 02 01 07", nullptr},
  {test_misc_asn1_tab, "OptChoice", "30 04 05 00 05 00", "i: decoded tag did not match expected"},
  {test_misc_asn1_tab, "OptChoice", "30 08 05 00 02 01 07 01 01 00", "c: encountered extra tag"},
  {test_misc_asn1_tab, "DupChoice", "02 01 07", "DupChoice: only one choice may be set"},
  {test_misc_asn1_tab, "TimeChoice", "01 01 FF", "utcTime: decoded tag did not match expected"},
  {test_misc_asn1_tab, "Defaults", "30 02 05 00", nullptr},
  {test_misc_asn1_tab, "Defaults", "30 08 01 01 00 02 01 09 05 00", nullptr},
  {test_misc_asn1_tab, "PairSeq", "30 03 02 01 01", nullptr},
  {test_misc_asn1_tab, "PairSeq", "30 03 01 01 00", "first: decoded tag did not match expected"},
  {test_misc_asn1_tab, "ExplicitInt", "A5 03 02 01 09", nullptr},
  {test_misc_asn1_tab, "AppImplicitInt", "47 01 09", nullptr},
  {test_misc_asn1_tab, "Octets", "24 08 04 02 41 42 04 02 43 44", nullptr},
  {test_misc_asn1_tab, "Octets", "24 80 04 02 41 42 00 00", nullptr},
  {test_misc_asn1_tab, "Holder", "30 03 06 01 2A", nullptr},
  {test_misc_asn1_tab, "Holder", "30 08 06 01 2A 30 03 02 01 05", nullptr},
  {test_misc_asn1_tab, "ExplicitAny", "30 05 A0 03 02 01 05", nullptr},
  {test_misc_asn1_tab, "Times", "30 2A 17 0D 32 33 30 31 30 31 31 32 30 30 30 30 5A "
                                "18 0F 32 30 32 33 30 31 30 31 31 32 30 30 30 30 5A "
                                "17 08 32 33 30 31 30 31 30 30", nullptr},
};

TEST (DecodeTypes, Cases)
{
  for (const auto &c : type_cases) {
    SCOPED_TRACE (std::string (c.type) + " " + c.der);
    Tree tree (tesk_asn1x_create (c.defs, c.type));
    ASSERT_NE (tree, nullptr);
    Bytes data = bytes_of (unhex (c.der));
    const gboolean ok = tesk_asn1x_decode (tree.get (), data.get ());
    if (!c.message) {
      EXPECT_TRUE (ok) << tesk_asn1x_message (tree.get ());
    } else {
      EXPECT_FALSE (ok);
      EXPECT_STREQ (tesk_asn1x_message (tree.get ()), c.message);
    }
  }
}

TEST (DecodeTypes, SizeBoundFromAnIntegerDefinition)
{
  for (size_t n : {size_t (1), size_t (128), size_t (129)}) {
    SCOPED_TRACE (n);
    Tree tree (tesk_asn1x_create (test_pkix_asn1_tab, "Pkcs9email"));
    Bytes data = bytes_of (tlv (0x16, std::string (n, 'a')));
    const gboolean ok = tesk_asn1x_decode (tree.get (), data.get ());
    EXPECT_EQ (ok, n <= 128);
    if (!ok) {
      EXPECT_STREQ (tesk_asn1x_message (tree.get ()),
                    "Pkcs9email: content size is out of bounds");
    }
  }
}

TEST (DecodeTypes, NonEmptyNullFailsWithoutText)
{
  Tree tree (tesk_asn1x_create (test_misc_asn1_tab, "Null"));
  Bytes data = bytes_of (unhex ("05 01 00"));
  EXPECT_FALSE (tesk_asn1x_decode (tree.get (), data.get ()));
  EXPECT_EQ (tesk_asn1x_message (tree.get ()), nullptr);
}

TEST (DecodeTypes, ChoiceTriesEveryAlternative)
{
  Tree tree (tesk_asn1x_create (test_misc_asn1_tab, "TimeChoice"));
  Bytes data = bytes_of (unhex ("02 01 07"));
  ASSERT_TRUE (tesk_asn1x_decode (tree.get (), data.get ()));
  GNode *chosen = tesk_asn1x_get_choice (tree.get ());
  ASSERT_NE (chosen, nullptr);
  EXPECT_STREQ (tesk_asn1x_name (chosen), "other");
  // Alternatives that did not match leave no failure behind once one did.
  EXPECT_EQ (tesk_asn1x_message (tree.get ()), nullptr);
  EXPECT_FALSE (anode_of (chosen->prev)->chosen);
}

TEST (Validate, FreshTreesAndChoices)
{
  struct Case {
    const char *type;
    const char *message;
  } cases[] = {
    {"Int", "Int: missing value"},
    {"TimeChoice", "TimeChoice: one choice must be set"},
    {"PairSeq", "first: missing value"},
    {"IntSeq", nullptr},
    {"Defaults", "tail: missing value"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE (c.type);
    Tree tree (tesk_asn1x_create (test_misc_asn1_tab, c.type));
    EXPECT_EQ (tesk_asn1x_validate (tree.get (), TRUE), c.message == nullptr);
    EXPECT_STREQ (tesk_asn1x_message (tree.get ()), c.message);
  }
}

TEST (Decode, Preconditions)
{
  Tree tree (tesk_asn1x_create (test_misc_asn1_tab, "Int"));
  Bytes data = bytes_of (unhex ("02 01 01"));
  LogCapture log;
  EXPECT_FALSE (tesk_asn1x_decode (nullptr, data.get ()));
  EXPECT_FALSE (tesk_asn1x_decode (tree.get (), nullptr));
  EXPECT_EQ (tesk_asn1x_create_and_decode (nullptr, "Int", data.get ()), nullptr);
  EXPECT_EQ (tesk_asn1x_create_and_decode (test_misc_asn1_tab, nullptr, data.get ()), nullptr);
  EXPECT_EQ (tesk_asn1x_create_and_decode (test_misc_asn1_tab, "Int", nullptr), nullptr);
  EXPECT_EQ (tesk_asn1x_create_and_decode (test_misc_asn1_tab, "Nope", data.get ()), nullptr);
  EXPECT_FALSE (tesk_asn1x_validate (nullptr, TRUE));
  EXPECT_EQ (log.problems (), (std::vector<std::string>{
                                assertion ("tesk_asn1x_decode", "asn != NULL"),
                                assertion ("tesk_asn1x_decode", "data != NULL"),
                                assertion ("tesk_asn1x_create_and_decode", "defs != NULL"),
                                assertion ("tesk_asn1x_create_and_decode", "identifier != NULL"),
                                assertion ("tesk_asn1x_create_and_decode", "data != NULL"),
                                assertion ("tesk_asn1x_create_and_decode_full", "asn"),
                                assertion ("tesk_asn1x_validate", "asn"),
                              }));
}

TEST (Decode, CreateAndDecodeByOidAndFailure)
{
  Bytes good = bytes_of (unhex ("13 02 4E 4C"));
  Tree tree (tesk_asn1x_create_and_decode (test_pkix_asn1_tab, "2.5.4.6", good.get ()));
  ASSERT_NE (tree, nullptr);
  EXPECT_EQ (tesk_asn1x_type (tree.get ()), TESK_ASN1X_PRINTABLE_STRING);
  Bytes bad = bytes_of (unhex ("13 01 4E"));
  EXPECT_EQ (tesk_asn1x_create_and_decode (test_pkix_asn1_tab, "2.5.4.6", bad.get ()), nullptr);
}

TEST (Decode, EmptyInputFailsOnTheRoot)
{
  Tree tree (tesk_asn1x_create (test_misc_asn1_tab, "Int"));
  Bytes data (g_bytes_new (nullptr, 0));
  LogCapture log;
  EXPECT_FALSE (tesk_asn1x_decode (tree.get (), data.get ()));
  EXPECT_STREQ (tesk_asn1x_message (tree.get ()), "Int: decoded tag did not match expected");
  EXPECT_EQ (log.problems ().size (), 1u);
}

}  // namespace
