// Typed value access: defaults, integer forms, strings, bit strings, OIDs,
// choices, raw elements, the ANY accessors, and encoding.

#include "tesk-asn1x-modules.h"
#include "tesk-asn1x-private.h"
#include "tesk-test-cert.h"
#include "tesk-test-defs.h"
#include "tesk-test-util.h"

#include <gtest/gtest.h>

using namespace tesktest;

namespace {

Tree create (const char *type)
{
  Tree tree (tesk_asn1x_create (test_misc_asn1_tab, type));
  EXPECT_NE (tree, nullptr) << type;
  return tree;
}

Tree decoded (const TeskAsn1xDef *defs, const char *type, const std::string &der)
{
  Tree tree (tesk_asn1x_create (defs, type));
  Bytes data = bytes_of (der);
  EXPECT_TRUE (tesk_asn1x_decode (tree.get (), data.get ())) << tesk_asn1x_message (tree.get ());
  return tree;
}

std::string encoded (GNode *node)
{
  Bytes out (tesk_asn1x_encode (node, nullptr));
  return out ? hex (out.get ()) : "(none)";
}

TEST (AccessDefaults, AbsentFieldsReadAsTheirDefault)
{
  CertParts parts;
  parts.version.clear ();
  parts.extension = tlv (0x30, der_oid ("55 1D 0F") + tlv (0x04, unhex ("03 02 05 A0")));
  Tree cert = decoded (test_pkix_asn1_tab, "Certificate", parts.der ());

  gulong version = 99;
  GNode *vnode = tesk_asn1x_node (cert.get (), "tbsCertificate", "version", NULL);
  EXPECT_TRUE (tesk_asn1x_get_integer_as_ulong (vnode, &version));
  EXPECT_EQ (version, 0u);

  gboolean critical = TRUE;
  GNode *cnode = tesk_asn1x_node (cert.get (), "tbsCertificate", "extensions", 1, "critical", NULL);
  ASSERT_NE (cnode, nullptr);
  EXPECT_TRUE (tesk_asn1x_get_boolean (cnode, &critical));
  EXPECT_FALSE (critical);

  // Without value or default there is nothing to read.
  Tree plain = create ("Bool");
  gboolean b;
  EXPECT_FALSE (tesk_asn1x_get_boolean (plain.get (), &b));
  Tree defs = create ("Defaults");
  EXPECT_TRUE (tesk_asn1x_get_boolean (tesk_asn1x_node (defs.get (), "flag", NULL), &b));
  EXPECT_TRUE (b);
  gulong num = 0;
  EXPECT_TRUE (tesk_asn1x_get_integer_as_ulong (tesk_asn1x_node (defs.get (), "num", NULL), &num));
  EXPECT_EQ (num, 7u);
}

TEST (AccessDefaults, SettingTheDefaultRemovesTheValue)
{
  Tree tbs (tesk_asn1x_create (test_pkix_asn1_tab, "TBSCertificate"));
  GNode *version = tesk_asn1x_node (tbs.get (), "version", NULL);
  tesk_asn1x_set_integer_as_ulong (version, 2);
  EXPECT_EQ (hex (anode_of (version)->value), "02");
  tesk_asn1x_set_integer_as_ulong (version, 0);
  EXPECT_EQ (anode_of (version)->value, nullptr);

  Tree ext (tesk_asn1x_create (test_pkix_asn1_tab, "Extension"));
  GNode *critical = tesk_asn1x_node (ext.get (), "critical", NULL);
  tesk_asn1x_set_boolean (critical, TRUE);
  EXPECT_EQ (hex (anode_of (critical)->value), "FF");
  tesk_asn1x_set_boolean (critical, FALSE);
  EXPECT_EQ (anode_of (critical)->value, nullptr);

  Tree plain = create ("Bool");
  tesk_asn1x_set_boolean (plain.get (), FALSE);
  EXPECT_EQ (encoded (plain.get ()), "01 01 00");
}

TEST (AccessBoolean, OddByteIsNotReached)
{
  Tree tree = create ("Bool");
  anode_take_value (tree.get (), g_bytes_new ("\x01", 1));
  gboolean value = TRUE;
  LogCapture log;
  EXPECT_FALSE (tesk_asn1x_get_boolean (tree.get (), &value));
  ASSERT_EQ (log.problems ().size (), 1u);
  EXPECT_TRUE (is_not_reached (log.problems ()[0]));
}

TEST (AccessInteger, MinimalEncoding)
{
  const struct {
    gulong value;
    const char *content;
  } cases[] = {
    {0, "00"}, {127, "7F"}, {128, "00 80"}, {255, "00 FF"}, {256, "01 00"},
    {0x12345678, "12 34 56 78"}, {G_MAXULONG, "00 FF FF FF FF FF FF FF FF"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE (c.content);
    Tree tree = create ("Int");
    tesk_asn1x_set_integer_as_ulong (tree.get (), c.value);
    Bytes raw (tesk_asn1x_get_integer_as_raw (tree.get ()));
    EXPECT_EQ (hex (raw.get ()), c.content);
    gulong back = 0;
    // Nine bytes do not read back as an unsigned long.
    EXPECT_EQ (tesk_asn1x_get_integer_as_ulong (tree.get (), &back), c.value != G_MAXULONG);
    if (c.value != G_MAXULONG) {
      EXPECT_EQ (back, c.value);
    }
  }
}

TEST (AccessInteger, UnsignedMagnitudes)
{
  const struct {
    const char *content;
    const char *usg; // nullptr: refused with the warning
  } cases[] = {
    {"00 FF", "FF"}, {"00 00 01", "01"}, {"00", "00"}, {"7F 00", "7F 00"}, {"FF", nullptr},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE (c.content);
    Tree tree = decoded (test_misc_asn1_tab, "Int", tlv (0x02, unhex (c.content)));
    LogCapture log;
    Bytes usg (tesk_asn1x_get_integer_as_usg (tree.get ()));
    if (c.usg) {
      EXPECT_EQ (hex (usg.get ()), c.usg);
      EXPECT_TRUE (log.problems ().empty ());
    } else {
      EXPECT_EQ (usg, nullptr);
      EXPECT_EQ (log.problems (), std::vector<std::string>{"invalid two's complement integer"});
    }
  }
}

TEST (AccessInteger, RawAndUnsignedSetters)
{
  Tree tree = create ("Int");
  Bytes negative = bytes_of (unhex ("80 01"));
  {
    LogCapture log;
    tesk_asn1x_set_integer_as_raw (tree.get (), negative.get ());
    EXPECT_EQ (log.problems (), std::vector<std::string>{"integer is not two's complement"});
    EXPECT_EQ (anode_of (tree.get ())->value, nullptr);
    // A refused buffer handed over with take is released, not leaked.
    tesk_asn1x_take_integer_as_raw (tree.get (), g_bytes_ref (negative.get ()));
  }

  tesk_asn1x_set_integer_as_usg (tree.get (), negative.get ());
  EXPECT_EQ (encoded (tree.get ()), "02 03 00 80 01");
  Bytes usg (tesk_asn1x_get_integer_as_usg (tree.get ()));
  EXPECT_EQ (hex (usg.get ()), "80 01");
  {
    LogCapture log;
    EXPECT_EQ (tesk_asn1x_get_integer_as_raw (tree.get ()), nullptr);
    EXPECT_EQ (log.problems ().size (), 1u);
  }

  Bytes positive = bytes_of (unhex ("01 02"));
  tesk_asn1x_set_integer_as_raw (tree.get (), positive.get ());
  EXPECT_EQ (encoded (tree.get ()), "02 02 01 02");
  // The empty buffer has no data.
  Bytes empty (g_bytes_new (nullptr, 0));
  LogCapture log;
  tesk_asn1x_set_integer_as_raw (tree.get (), empty.get ());
  EXPECT_EQ (log.problems (),
             std::vector<std::string>{assertion ("tesk_asn1x_take_integer_as_raw", "p != NULL")});
}

TEST (AccessEnumerated, NamedValues)
{
  Tree tree = decoded (test_misc_asn1_tab, "Color", unhex ("0A 01 01"));
  EXPECT_EQ (tesk_asn1x_get_enumerated (tree.get ()), g_quark_from_string ("green"));
  tesk_asn1x_set_enumerated (tree.get (), g_quark_from_string ("blue"));
  EXPECT_EQ (encoded (tree.get ()), "0A 01 02");
  LogCapture log;
  tesk_asn1x_set_enumerated (tree.get (), g_quark_from_string ("purple"));
  EXPECT_EQ (log.problems (),
             std::vector<std::string>{assertion ("tesk_asn1x_set_enumerated", "opt && opt->value")});
  EXPECT_EQ (encoded (tree.get ()), "0A 01 02");
}

TEST (AccessBits, NumbersAndRawBits)
{
  Tree tree = create ("Bits");
  tesk_asn1x_set_bits_as_ulong (tree.get (), 0x101, 9);
  EXPECT_EQ (hex (anode_of (tree.get ())->value), "80 80");
  EXPECT_EQ (anode_of (tree.get ())->bits_empty, 7u);
  gulong value = 0;
  guint n_bits = 0;
  EXPECT_TRUE (tesk_asn1x_get_bits_as_ulong (tree.get (), &value, &n_bits));
  EXPECT_EQ (value, 0x101u);
  EXPECT_EQ (n_bits, 9u);
  EXPECT_EQ (encoded (tree.get ()), "03 03 07 80 80");

  Bytes raw = bytes_of (unhex ("FF FF"));
  tesk_asn1x_set_bits_as_raw (tree.get (), raw.get (), 12);
  EXPECT_EQ (encoded (tree.get ()), "03 03 04 FF F0");
  Bytes back (tesk_asn1x_get_bits_as_raw (tree.get (), &n_bits));
  EXPECT_EQ (n_bits, 12u);

  tesk_asn1x_set_bits_as_ulong (tree.get (), 0xA5, 8);
  EXPECT_EQ (encoded (tree.get ()), "03 02 00 A5");

  LogCapture log;
  tesk_asn1x_set_bits_as_ulong (tree.get (), 1, 65);
  EXPECT_EQ (log.problems (), std::vector<std::string>{assertion (
                                "tesk_asn1x_set_bits_as_ulong", "n_bits <= sizeof (gulong) * 8")});
  Bytes nine = bytes_of (std::string (9, '\x01'));
  tesk_asn1x_set_bits_as_raw (tree.get (), nine.get (), 72);
  EXPECT_FALSE (tesk_asn1x_get_bits_as_ulong (tree.get (), &value, &n_bits));
}

struct OidCase {
  const char *text;
  const char *content; // nullptr: does not encode
};

const OidCase oid_cases[] = {
  {"1.2.840.113549", "2A 86 48 86 F7 0D"},
  {"2.5.4.3", "55 04 03"},
  {"1.2.0", "2A 00"},
  {"1.2.98305", "2A 86 80 01"},          // an inner 0x80 group is an ordinary digit
  {"1.3.6.1.4.1.2147483647", "2B 06 01 04 01 87 FF FF FF 7F"},
  {"2.47.1", "7F 01"},
  {"2.999.3", "88 37 03"},
  {"1.2", nullptr},
  {"1", nullptr},
  {"1..2", nullptr},
  {".1.2", nullptr},
  {"1.2.", nullptr},
  {"1.2.x", nullptr},
  {"1.2.2147483648", nullptr},           // past a signed 32-bit arc
  {"3.1.1", nullptr},
  {"1.40.1", nullptr},
};

TEST (AccessOid, WritingAndReadingBack)
{
  for (const auto &c : oid_cases) {
    SCOPED_TRACE (c.text);
    Tree tree = create ("Oid");
    const gboolean ok = tesk_asn1x_set_oid_as_string (tree.get (), c.text);
    EXPECT_EQ (ok, c.content != nullptr);
    if (!c.content) {
      EXPECT_EQ (anode_of (tree.get ())->value, nullptr);
      continue;
    }
    EXPECT_EQ (hex (anode_of (tree.get ())->value), c.content);
    Text back (tesk_asn1x_get_oid_as_string (tree.get ()));
    EXPECT_STREQ (back.get (), c.text);
  }
}

TEST (AccessOid, InvalidContent)
{
  const char *contents[] = {"2A 80 01", "2A 90 80 80 80 80 01", "", "86", "80 01"};
  for (const char *content : contents) {
    SCOPED_TRACE (content);
    Tree tree = create ("Oid");
    anode_take_value (tree.get (), g_bytes_new (unhex (content).data (), unhex (content).size ()));
    LogCapture log;
    EXPECT_EQ (tesk_asn1x_get_oid_as_string (tree.get ()), nullptr);
    EXPECT_STREQ (tesk_asn1x_message (tree.get ()), "Oid: object id encoding is invalid");
    ASSERT_EQ (log.problems ().size (), 1u);
    EXPECT_TRUE (is_not_reached (log.problems ()[0]));
  }
  // A single byte gives the first two arcs; an unfinished last arc is dropped.
  Tree tree = create ("Oid");
  anode_take_value (tree.get (), g_bytes_new ("\x2A\x86", 2));
  Text text (tesk_asn1x_get_oid_as_string (tree.get ()));
  EXPECT_STREQ (text.get (), "1.2");
  // Arcs are read as unsigned 32-bit numbers.
  Tree wide = create ("Oid");
  anode_take_value (wide.get (), g_bytes_new ("\x2B\x8F\xFF\xFF\xFF\x7F", 6));
  Text wide_text (tesk_asn1x_get_oid_as_string (wide.get ()));
  EXPECT_STREQ (wide_text.get (), "1.3.4294967295");
  EXPECT_EQ (tesk_asn1x_get_oid_as_quark (tree.get ()), g_quark_from_string ("1.2"));
  EXPECT_TRUE (tesk_asn1x_set_oid_as_quark (tree.get (), g_quark_from_string ("2.5.29.15")));
  EXPECT_EQ (encoded (tree.get ()), "06 03 55 1D 0F");
}

TEST (AccessString, ReadingForms)
{
  Tree bmp = decoded (test_misc_asn1_tab, "BmpValue", unhex ("1E 04 00 41 00 42"));
  Text text (tesk_asn1x_get_bmpstring_as_utf8 (bmp.get ()));
  EXPECT_STREQ (text.get (), "AB");

  Tree octets = decoded (test_misc_asn1_tab, "Octets", unhex ("24 08 04 02 41 42 04 02 43 44"));
  gsize n = 0;
  Text raw (reinterpret_cast<gchar *> (tesk_asn1x_get_string_as_raw (octets.get (), nullptr, &n)));
  EXPECT_EQ (n, 4u);
  EXPECT_STREQ (raw.get (), "ABCD");
  // Written back in the form it was read, in definite lengths.
  EXPECT_EQ (encoded (octets.get ()), "24 08 04 02 41 42 04 02 43 44");
  Tree indefinite = decoded (test_misc_asn1_tab, "Octets", unhex ("24 80 04 02 41 42 00 00"));
  EXPECT_EQ (encoded (indefinite.get ()), "24 04 04 02 41 42");

  Tree nested = decoded (test_misc_asn1_tab, "Octets", unhex ("24 06 24 04 04 02 41 42"));
  EXPECT_EQ (tesk_asn1x_get_string_as_raw (nested.get (), nullptr, &n), nullptr);
  EXPECT_EQ (encoded (nested.get ()), "24 06 24 04 04 02 41 42");

  Tree zeros = decoded (test_misc_asn1_tab, "Octets", unhex ("04 03 00 00 05"));
  Bytes usg (tesk_asn1x_get_string_as_usg (zeros.get (), nullptr));
  EXPECT_EQ (hex (usg.get ()), "05");

  Tree latin = decoded (test_misc_asn1_tab, "Utf8", unhex ("0C 01 FF"));
  EXPECT_EQ (tesk_asn1x_get_string_as_utf8 (latin.get (), nullptr), nullptr);
  Tree word = decoded (test_misc_asn1_tab, "Utf8", tlv (0x0C, "caf\xC3\xA9"));
  Text utf8 (tesk_asn1x_get_string_as_utf8 (word.get (), nullptr));
  EXPECT_STREQ (utf8.get (), "caf\xC3\xA9");
}

TEST (AccessString, Setters)
{
  Tree tree = create ("Utf8");
  EXPECT_FALSE (tesk_asn1x_set_string_as_utf8 (tree.get (), const_cast<gchar *> ("\xFF"), nullptr));
  EXPECT_EQ (anode_of (tree.get ())->value, nullptr);
  EXPECT_TRUE (tesk_asn1x_set_string_as_utf8 (tree.get (), g_strdup ("hi"), g_free));
  EXPECT_EQ (encoded (tree.get ()), "0C 02 68 69");

  static int released = 0;
  static char data[] = "xyz";
  tesk_asn1x_set_string_as_raw (tree.get (), reinterpret_cast<guchar *> (data), 3,
                                [] (gpointer) { released++; });
  EXPECT_EQ (encoded (tree.get ()), "0C 03 78 79 7A");
  Bytes bytes = bytes_of ("ok");
  tesk_asn1x_set_string_as_bytes (tree.get (), bytes.get ());
  EXPECT_EQ (released, 1);
  EXPECT_EQ (encoded (tree.get ()), "0C 02 6F 6B");
}

TEST (AccessString, WrongTypeNamesTheTenStringTypes)
{
  Tree tree = create ("Int");
  gsize n = 0;
  LogCapture log;
  EXPECT_EQ (tesk_asn1x_get_string_as_raw (tree.get (), nullptr, &n), nullptr);
  EXPECT_EQ (log.problems (),
             std::vector<std::string>{assertion (
               "tesk_asn1x_get_string_as_raw",
               "type == TESK_ASN1X_OCTET_STRING || type == TESK_ASN1X_GENERAL_STRING || "
               "type == TESK_ASN1X_NUMERIC_STRING || type == TESK_ASN1X_IA5_STRING || "
               "type == TESK_ASN1X_TELETEX_STRING || type == TESK_ASN1X_PRINTABLE_STRING || "
               "type == TESK_ASN1X_UNIVERSAL_STRING || type == TESK_ASN1X_BMP_STRING || "
               "type == TESK_ASN1X_UTF8_STRING || type == TESK_ASN1X_VISIBLE_STRING")});
}

TEST (AccessTypeChecks, WrongNodeTypes)
{
  Tree integer = create ("Int");
  Tree boolean = create ("Bool");
  gboolean b;
  guint bits;
  LogCapture log;
  EXPECT_FALSE (tesk_asn1x_get_boolean (integer.get (), &b));
  EXPECT_FALSE (tesk_asn1x_get_boolean (nullptr, &b));
  EXPECT_EQ (tesk_asn1x_get_bits_as_raw (boolean.get (), &bits), nullptr);
  EXPECT_EQ (tesk_asn1x_get_oid_as_string (boolean.get ()), nullptr);
  tesk_asn1x_set_null (boolean.get ());
  EXPECT_EQ (log.problems (), (std::vector<std::string>{
                                assertion ("tesk_asn1x_get_boolean",
                                           "anode_def_type (node) == TESK_ASN1X_BOOLEAN"),
                                assertion ("tesk_asn1x_get_boolean", "node != NULL"),
                                assertion ("tesk_asn1x_get_bits_as_raw",
                                           "anode_def_type (node) == TESK_ASN1X_BIT_STRING"),
                                assertion ("tesk_asn1x_get_oid_as_string",
                                           "anode_def_type (node) == TESK_ASN1X_OBJECT_ID"),
                                assertion ("tesk_asn1x_set_null",
                                           "anode_def_type (node) == TESK_ASN1X_NULL"),
                              }));
}

TEST (AccessChoice, SetAndGet)
{
  Tree tree = create ("TimeChoice");
  GNode *other = tesk_asn1x_node (tree.get (), "other", NULL);
  EXPECT_TRUE (tesk_asn1x_set_choice (tree.get (), other));
  EXPECT_EQ (tesk_asn1x_get_choice (tree.get ()), other);
  tesk_asn1x_set_integer_as_ulong (other, 5);
  EXPECT_EQ (encoded (tree.get ()), "02 01 05");

  Tree stranger = create ("Int");
  LogCapture log;
  EXPECT_FALSE (tesk_asn1x_set_choice (tree.get (), stranger.get ()));
  EXPECT_EQ (tesk_asn1x_get_choice (tree.get ()), nullptr);
  EXPECT_EQ (log.problems (),
             std::vector<std::string>{assertion ("tesk_asn1x_set_choice", "!choice")});
}

TEST (AccessRaw, ElementsAndValues)
{
  Tree tree = decoded (test_misc_asn1_tab, "ExplicitAny", unhex ("30 05 A0 03 02 01 05"));
  GNode *x = tesk_asn1x_node (tree.get (), "x", NULL);
  Bytes element (tesk_asn1x_get_element_raw (x));
  EXPECT_EQ (hex (element.get ()), "02 01 05"); // without the explicit wrapper
  Bytes whole (tesk_asn1x_get_element_raw (tree.get ()));
  EXPECT_EQ (hex (whole.get ()), "30 05 A0 03 02 01 05");
  EXPECT_EQ (tesk_asn1x_get_value_raw (x), nullptr);

  Tree fresh = create ("Int");
  EXPECT_EQ (tesk_asn1x_get_element_raw (fresh.get ()), nullptr);
  tesk_asn1x_set_integer_as_ulong (fresh.get (), 3);
  Bytes value (tesk_asn1x_get_value_raw (fresh.get ()));
  EXPECT_EQ (hex (value.get ()), "03");
}

TEST (AccessAny, RawInAndOut)
{
  Tree holder = create ("Holder");
  ASSERT_TRUE (
    tesk_asn1x_set_oid_as_string (tesk_asn1x_node (holder.get (), "type", NULL), "1.2.3"));
  GNode *value = tesk_asn1x_node (holder.get (), "value", NULL);

  Bytes bad = bytes_of (unhex ("02 05 01"));
  EXPECT_FALSE (tesk_asn1x_set_any_raw (value, bad.get ()));
  EXPECT_STREQ (anode_of (value)->failure, "content is not encoded properly");

  // Lenient input is stored, and written back in DER form.
  Bytes ber = bytes_of (unhex ("30 80 02 81 01 05 00 00"));
  ASSERT_TRUE (tesk_asn1x_set_any_raw (value, ber.get ()));
  EXPECT_EQ (encoded (holder.get ()), "30 09 06 02 2A 03 30 03 02 01 05");
  Bytes raw (tesk_asn1x_get_any_raw (value, nullptr));
  EXPECT_EQ (hex (raw.get ()), "30 03 02 01 05");

  Tree empty = create ("PairSeq");
  EXPECT_EQ (tesk_asn1x_get_any_raw (tesk_asn1x_node (empty.get (), "second", NULL), nullptr),
             nullptr);
  EXPECT_STREQ (tesk_asn1x_message (empty.get ()), "second: missing value(s)");
}

TEST (AccessAny, FromAndInto)
{
  Tree seq = create ("IntSeq");
  tesk_asn1x_set_integer_as_ulong (tesk_asn1x_append (seq.get ()), 9);
  // The appended element follows the template; the template stays empty.
  Tree holder = create ("ExplicitAny");
  GNode *x = tesk_asn1x_node (holder.get (), "x", NULL);
  tesk_asn1x_set_any_from (x, seq.get ());
  EXPECT_EQ (encoded (holder.get ()), "30 07 A0 05 30 03 02 01 09");

  Tree into = create ("IntSeq");
  ASSERT_TRUE (tesk_asn1x_get_any_into (x, into.get ()));
  EXPECT_EQ (tesk_asn1x_count (into.get ()), 1u);
  Tree as (tesk_asn1x_get_any_as (x, test_misc_asn1_tab, "IntSeq"));
  ASSERT_NE (as, nullptr);
  EXPECT_EQ (encoded (as.get ()), "30 03 02 01 09");
  EXPECT_EQ (tesk_asn1x_get_any_as (x, test_misc_asn1_tab, "Bool"), nullptr);

  Tree unset = create ("Holder");
  EXPECT_FALSE (tesk_asn1x_get_any_into (tesk_asn1x_node (unset.get (), "value", NULL), into.get ()));
}

TEST (AccessAny, AsString)
{
  Tree holder = decoded (test_misc_asn1_tab, "Holder", unhex ("30 09 06 01 2A 1E 04 00 41 00 42"));
  GNode *value = tesk_asn1x_node (holder.get (), "value", NULL);
  Tree bmp (tesk_asn1x_get_any_as_string (value, TESK_ASN1X_BMP_STRING));
  ASSERT_NE (bmp, nullptr);
  Text text (tesk_asn1x_get_bmpstring_as_utf8 (bmp.get ()));
  EXPECT_STREQ (text.get (), "AB");
  EXPECT_EQ (tesk_asn1x_get_any_as_string (value, TESK_ASN1X_UTF8_STRING), nullptr);

  LogCapture log;
  EXPECT_EQ (tesk_asn1x_get_any_as_string (value, TESK_ASN1X_INTEGER), nullptr);
  ASSERT_EQ (log.problems ().size (), 1u);
  EXPECT_TRUE (is_not_reached (log.problems ()[0]));
}

TEST (Encode, SetOfContentIsSortedByEncoding)
{
  Tree set = create ("IntSet");
  tesk_asn1x_set_integer_as_ulong (set.get ()->children, 2);
  tesk_asn1x_set_integer_as_ulong (tesk_asn1x_append (set.get ()), 1);
  EXPECT_EQ (encoded (set.get ()), "31 06 02 01 01 02 01 02");
  // An empty required list is written empty, also one of choices.
  Tree empty = create ("IntSet");
  EXPECT_EQ (encoded (empty.get ()), "31 00");
  Tree choices = create ("ChoiceSeq");
  EXPECT_EQ (encoded (choices.get ()), "30 00");
  GNode *added = tesk_asn1x_append (choices.get ());
  tesk_asn1x_set_choice (added, tesk_asn1x_node (added, "other", NULL));
  tesk_asn1x_set_integer_as_ulong (tesk_asn1x_node (added, "other", NULL), 1);
  EXPECT_EQ (encoded (choices.get ()), "30 03 02 01 01");
}

TEST (Encode, TagsAndOptionalMembers)
{
  const struct {
    const char *type;
    const char *der;
  } cases[] = {
    {"ExplicitInt", "A5 03 02 01 09"},
    {"AppImplicitInt", "47 01 09"},
    {"TaggedSet", "31 06 81 01 FF 82 01 05"},
    {"OptChoice", "30 02 05 00"},
    {"Defaults", "30 08 01 01 00 02 01 09 05 00"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE (c.type);
    Tree tree = decoded (test_misc_asn1_tab, c.type, unhex (c.der));
    EXPECT_EQ (encoded (tree.get ()), hex (unhex (c.der)));
  }
}

TEST (Encode, InvalidTreesGiveNothing)
{
  Tree tree = create ("PairSeq");
  LogCapture log;
  EXPECT_EQ (tesk_asn1x_encode (tree.get (), nullptr), nullptr);
  EXPECT_TRUE (log.problems ().empty ());
  EXPECT_STREQ (tesk_asn1x_message (tree.get ()), "first: missing value");
}

TEST (Encode, CustomAllocator)
{
  static int live = 0;
  auto alloc = [] (gpointer p, gsize n) -> gpointer {
    if (n == 0) {
      live--;
      g_free (p);
      return nullptr;
    }
    live++;
    return g_malloc (n);
  };
  Tree tree = decoded (test_misc_asn1_tab, "IntSet", unhex ("31 06 02 01 02 02 01 01"));
  Bytes out (tesk_asn1x_encode (tree.get (), alloc));
  EXPECT_EQ (hex (out.get ()), "31 06 02 01 01 02 01 02");
  out.reset ();
  EXPECT_EQ (live, 0);
}

}  // namespace
