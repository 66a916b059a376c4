// Distinguished names: printing values by their attribute's type, reading
// whole names and single parts, walking with a callback, and building
// names from text.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "der-builder.h"
#include "log-capture.h"
#include "process.h"
#include "tesk-asn1x-modules.h"
#include "tesk-asn1x.h"
#include "tesk-dn.h"

namespace {

using namespace teskmodules;

GQuark q (const char *oid) { return g_quark_from_string (oid); }

std::string
text (const char *s)
{
  return s ? s : "(none)";
}

// Takes a new string, returns it as text.
std::string
take (gchar *s)
{
  std::string out = text (s);
  g_free (s);
  return out;
}

struct Tree {
  GNode *root = nullptr;
  explicit Tree (GNode *n) : root (n) {}
  ~Tree () { tesk_asn1x_destroy (root); }
  Tree (const Tree &) = delete;
  Tree &operator= (const Tree &) = delete;
};

GNode *
decode (const char *type, const std::string &data)
{
  GBytes *bytes = bytes_new (data);
  GNode *asn = tesk_asn1x_create_and_decode (pkix_asn1_tab, type, bytes);
  g_bytes_unref (bytes);
  return asn;
}

TEST (TeskDnPrintValue, ByAttributeType)
{
  struct Case {
    const char *oid;
    const char *value;   // hex of the value element
    const char *want;
    const char *message; // a message that must be logged, or nullptr
  } cases[] = {
    { "2.5.4.3", "0C06536572766572", "Server", nullptr },               // UTF8String
    { "2.5.4.3", "1E0400410042", "AB", nullptr },                       // BMPString
    { "2.5.4.3", "1306536572766572", "Server", nullptr },               // PrintableString
    { "2.5.4.3", "1603616263", "abc", nullptr },                        // IA5String
    { "2.5.4.3", "0C02C328", "#C328", nullptr },                        // not UTF-8: content in hex
    { "2.5.4.3", "0C03410042", "#410042", nullptr },                    // a zero byte is not cut short
    { "2.5.4.3", "0C00", "#0C00",
      "couldn't decode value for OID: 2.5.4.3: " }, // empty: no alternative fits
    { "2.5.4.3", "020101", "#020101", "couldn't decode value for OID: 2.5.4.3: " },
    { "2.5.4.6", "13024445", "DE", nullptr },
    { "2.5.4.6", "1303555341", "#1303555341",
      "couldn't decode value for OID: 2.5.4.6: X520countryName: content size is not correct" },
    { "2.5.4.5", "130431323334", "1234", nullptr },                     // not a choice
    { "0.9.2342.19200300.100.1.25", "16076578616D706C65", "example", nullptr },
    { "1.3.6.1.5.5.7.9.1", "180F31393730303130313030303030305A", "19700101000000Z", nullptr },
    { "1.2.643.100.1", "120D31303237373030313332313935", "1027700132195", nullptr },
    { "1.2.3.4", "13024142", "#13024142", nullptr },                    // unknown OID
    { "1.2.840.113549.1.1.1", "0500", "#0500", nullptr },               // known, not printable
  };

  for (const Case &c : cases) {
    SCOPED_TRACE (std::string (c.oid) + " " + c.value);
    Tree name (decode ("RDNSequence", rdn_sequence ({ { ava (c.oid, unhex (c.value)) } })));
    ASSERT_NE (name.root, nullptr);
    GNode *value = tesk_asn1x_node (name.root, 1, 1, "value", NULL);
    ASSERT_NE (value, nullptr);

    LogCapture log;
    EXPECT_EQ (take (tesk_dn_print_value (q (c.oid), value)), c.want);
    auto messages = log.at (G_LOG_LEVEL_MESSAGE);
    if (c.message) {
      ASSERT_EQ (messages.size (), 1u);
      EXPECT_EQ (messages[0].substr (0, std::string (c.message).size ()), c.message);
    } else {
      EXPECT_TRUE (messages.empty ()) << messages[0];
    }
    EXPECT_TRUE (log.at (G_LOG_LEVEL_CRITICAL).empty ());
  }
}

TEST (TeskDnPrintValue, OidWithoutValueTypePrintsInHex)
{
  // 1.2.643.100.5 is printable but designates no type in the module.
  std::string value = unhex ("120F333034353030313136303030313537");
  Tree name (decode ("RDNSequence", rdn_sequence ({ { ava ("1.2.643.100.5", value) } })));
  ASSERT_NE (name.root, nullptr);

  LogCapture log;
  EXPECT_EQ (take (tesk_dn_print_value (q ("1.2.643.100.5"), tesk_asn1x_node (name.root, 1, 1, "value", NULL))),
             "#" + hex (value));
  auto criticals = log.at (G_LOG_LEVEL_CRITICAL);
  ASSERT_EQ (criticals.size (), 1u);
  EXPECT_EQ (criticals[0], "dn_print_oid_value_parsed: assertion 'asn1' failed");
}

TEST (TeskDnRead, WholeNames)
{
  struct Case {
    const char *what;
    std::vector<std::vector<std::string>> rdns;
    const char *want;
  } cases[] = {
    { "attributes of one RDN joined with +, RDNs with a comma",
      { { ava ("2.5.4.10", der (0x13, "Example")) },
        { ava ("2.5.4.11", der (0x13, "Web")), ava ("2.5.4.3", der (0x13, "Server")) } },
      "O=Example, OU=Web+CN=Server" },
    { "unknown OIDs are labelled with their dotted text",
      { { ava ("1.2.3.4", der (0x13, "AB")) }, { ava ("2.5.4.6", der (0x13, "DE")) } },
      "1.2.3.4=#13024142, C=DE" },
    { "non-printable known OIDs too",
      { { ava ("1.2.840.113549.1.1.1", der (0x05, "")) } },
      "1.2.840.113549.1.1.1=#0500" },
    { "values are not escaped",
      { { ava ("2.5.4.3", der (0x0C, "a,b+c=d")) } },
      "CN=a,b+c=d" },
    { "email and domain components",
      { { ava ("0.9.2342.19200300.100.1.25", der (0x16, "org")) },
        { ava ("1.2.840.113549.1.9.1", der (0x16, "a@example.org")) } },
      "DC=org, EMAIL=a@example.org" },
    { "an empty name reads as nothing", {}, nullptr },
  };

  for (const Case &c : cases) {
    SCOPED_TRACE (c.what);
    Tree name (decode ("RDNSequence", rdn_sequence (c.rdns)));
    ASSERT_NE (name.root, nullptr);
    LogCapture log;
    EXPECT_EQ (take (tesk_dn_read (name.root)), text (c.want));
    EXPECT_TRUE (log.at (G_LOG_LEVEL_CRITICAL).empty ());
  }
}

TEST (TeskDnRead, PrintableOidWithoutShortName)
{
  // 1.2.840.113549.1.9.20 is printable but has no short name to label it.
  Tree name (decode ("RDNSequence",
                     rdn_sequence ({ { ava ("2.5.4.3", der (0x13, "x")) },
                                     { ava ("1.2.840.113549.1.9.20", der (0x1E, unhex ("0041"))) } })));
  ASSERT_NE (name.root, nullptr);
  LogCapture log;
  EXPECT_EQ (tesk_dn_read (name.root), nullptr);
  auto criticals = log.at (G_LOG_LEVEL_CRITICAL);
  ASSERT_EQ (criticals.size (), 1u);
  EXPECT_EQ (criticals[0], "tesk_dn_read: assertion 'rdn' failed");
}

TEST (TeskDnReadPart, ByShortNameOrOid)
{
  Tree name (decode ("RDNSequence",
                     rdn_sequence ({ { ava ("2.5.4.10", der (0x13, "Example")) },
                                     { ava ("2.5.4.11", der (0x13, "Web")),
                                       ava ("2.5.4.3", der (0x0C, "First")) },
                                     { ava ("2.5.4.3", der (0x0C, "Second")) },
                                     { ava ("1.2.3.4", der (0x13, "AB")) } })));
  ASSERT_NE (name.root, nullptr);

  struct Case {
    const char *part;
    const char *want;
  } cases[] = {
    { "CN", "First" },        // the first match wins
    { "cn", "First" },        // ASCII case is ignored
    { "2.5.4.3", "First" },
    { "O", "Example" },
    { "ou", "Web" },
    { "1.2.3.4", "#13024142" },
    { "L", nullptr },
    { "Common Name", nullptr }, // descriptions are not names
  };
  for (const Case &c : cases)
    EXPECT_EQ (take (tesk_dn_read_part (name.root, c.part)), text (c.want)) << c.part;
}

TEST (TeskDnParse, CallbackSeesEveryAttributeInOrder)
{
  Tree name (decode ("RDNSequence",
                     rdn_sequence ({ { ava ("2.5.4.6", der (0x13, "DE")) },
                                     { ava ("2.5.4.11", der (0x13, "Web")),
                                       ava ("2.5.4.3", der (0x13, "Server")) } })));
  ASSERT_NE (name.root, nullptr);

  using Seen = std::vector<std::tuple<guint, std::string, std::string>>;
  Seen seen;
  auto callback = [] (guint index, GQuark oid, GNode *value, gpointer data) {
    static_cast<Seen *> (data)->emplace_back (index, g_quark_to_string (oid),
                                              take (tesk_dn_print_value (oid, value)));
  };
  EXPECT_TRUE (tesk_dn_parse (name.root, callback, &seen));
  EXPECT_EQ (seen, (Seen { { 1, "2.5.4.6", "DE" }, { 2, "2.5.4.11", "Web" }, { 2, "2.5.4.3", "Server" } }));

  // Without a callback the walk still succeeds; so does an empty name.
  EXPECT_TRUE (tesk_dn_parse (name.root, nullptr, nullptr));
  Tree empty (decode ("RDNSequence", rdn_sequence ({})));
  ASSERT_NE (empty.root, nullptr);
  seen.clear ();
  EXPECT_TRUE (tesk_dn_parse (empty.root, callback, &seen));
  EXPECT_TRUE (seen.empty ());
}

TEST (TeskDnAddStringPart, ChoosesTheStringType)
{
  struct Case {
    const char *oid;
    const char *text;
    unsigned char tag; // of the encoded value
  } cases[] = {
    { "2.5.4.3", "Example Ltd.", 0x13 },       // printableString
    { "2.5.4.3", "(a+b)/c-d:e=f?g, 'h'", 0x13 },
    { "2.5.4.3", "a&b", 0x16 },                // ia5String
    { "2.5.4.3", "a@example.org", 0x16 },
    { "2.5.4.3", "tab\there", 0x16 },          // whitespace controls are IA5
    { "2.5.4.3", "Gr\xC3\xBC\xC3\x9F" "e", 0x0C }, // utf8String
    { "2.5.4.3", "bell\x07", 0x0C },           // other controls need UTF-8
    { "2.5.4.10", "Example", 0x13 },
    { "2.5.4.6", "DE", 0x13 },                 // not a choice: the type itself
    { "0.9.2342.19200300.100.1.25", "org", 0x16 },
    // This choice has no ia5String; the text goes in as UTF-8.
    { "1.2.840.113549.1.9.7", "a&b", 0x0C },
  };

  for (const Case &c : cases) {
    SCOPED_TRACE (std::string (c.oid) + " \"" + c.text + "\"");
    Tree name (tesk_asn1x_create (pkix_asn1_tab, "RDNSequence"));
    ASSERT_NE (name.root, nullptr);
    LogCapture log;
    tesk_dn_add_string_part (name.root, q (c.oid), c.text);
    EXPECT_TRUE (log.at (G_LOG_LEVEL_CRITICAL).empty ());

    GBytes *encoded = tesk_asn1x_encode (name.root, nullptr);
    ASSERT_NE (encoded, nullptr) << tesk_asn1x_message (name.root);
    std::string got (static_cast<const char *> (g_bytes_get_data (encoded, nullptr)),
                     g_bytes_get_size (encoded));
    g_bytes_unref (encoded);
    EXPECT_EQ (hex (got), hex (rdn_sequence ({ { ava (c.oid, der (c.tag, c.text)) } })));
  }
}

TEST (TeskDnAddStringPart, EachCallAddsOneRdnThatReadsBack)
{
  Tree name (tesk_asn1x_create (pkix_asn1_tab, "RDNSequence"));
  ASSERT_NE (name.root, nullptr);
  tesk_dn_add_string_part (name.root, q ("2.5.4.6"), "DE");
  tesk_dn_add_string_part (name.root, q ("2.5.4.10"), "Exämple & Co");
  tesk_dn_add_string_part (name.root, q ("2.5.4.3"), "Server");
  EXPECT_EQ (tesk_asn1x_count (name.root), 3u);

  GBytes *encoded = tesk_asn1x_encode (name.root, nullptr);
  ASSERT_NE (encoded, nullptr);
  GNode *decoded = tesk_asn1x_create_and_decode (pkix_asn1_tab, "RDNSequence", encoded);
  g_bytes_unref (encoded);
  ASSERT_NE (decoded, nullptr);
  EXPECT_EQ (take (tesk_dn_read (decoded)), "C=DE, O=Exämple & Co, CN=Server");
  tesk_asn1x_destroy (decoded);
}

TEST (TeskDnAddStringPart, RefusedPartsLeaveTheNameAlone)
{
  struct Case {
    const char *oid;
    const char *text;
    const char *critical;
  } cases[] = {
    { "1.2.3.4", "x", "tesk_dn_add_string_part: assertion 'flags & TESK_OID_PRINTABLE' failed" },
    // Printable, but the module has no type for it.
    { "1.2.643.100.5", "304500116000157", "tesk_dn_add_string_part: assertion 'value' failed" },
    { "2.5.4.3", "\xC3(", "tesk_dn_add_string_part: assertion 'g_utf8_validate (string, -1, NULL)' failed" },
  };
  for (const Case &c : cases) {
    SCOPED_TRACE (c.oid);
    Tree name (tesk_asn1x_create (pkix_asn1_tab, "RDNSequence"));
    ASSERT_NE (name.root, nullptr);
    LogCapture log;
    tesk_dn_add_string_part (name.root, q (c.oid), c.text);
    auto criticals = log.at (G_LOG_LEVEL_CRITICAL);
    ASSERT_FALSE (criticals.empty ());
    EXPECT_EQ (criticals[0], c.critical);
    EXPECT_EQ (tesk_asn1x_count (name.root), 0u);
  }
}

TEST (TeskDnRead, AttributeWithoutValueElement)
{
  // A name being built whose attribute has a type but no value yet.
  Tree name (tesk_asn1x_create (pkix_asn1_tab, "RDNSequence"));
  ASSERT_NE (name.root, nullptr);
  GNode *ava = tesk_asn1x_append (tesk_asn1x_append (name.root));
  ASSERT_NE (ava, nullptr);
  ASSERT_TRUE (tesk_asn1x_set_oid_as_quark (tesk_asn1x_node (ava, "type", NULL), q ("2.5.4.3")));

  LogCapture log;
  EXPECT_EQ (tesk_dn_print_value (q ("2.5.4.3"), tesk_asn1x_node (ava, "value", NULL)), nullptr);
  EXPECT_EQ (tesk_dn_read (name.root), nullptr);
  auto criticals = log.at (G_LOG_LEVEL_CRITICAL);
  ASSERT_FALSE (criticals.empty ());
  EXPECT_EQ (criticals.back (), "tesk_dn_read: assertion 'rdn' failed");
}

TEST (TeskDn, Preconditions)
{
  Tree name (decode ("RDNSequence", rdn_sequence ({ { ava ("2.5.4.3", der (0x13, "x")) } })));
  ASSERT_NE (name.root, nullptr);
  GNode *value = tesk_asn1x_node (name.root, 1, 1, "value", NULL);

  LogCapture log;
  EXPECT_EQ (tesk_dn_read (nullptr), nullptr);
  EXPECT_EQ (tesk_dn_read_part (nullptr, "CN"), nullptr);
  EXPECT_EQ (tesk_dn_read_part (name.root, nullptr), nullptr);
  EXPECT_FALSE (tesk_dn_parse (nullptr, nullptr, nullptr));
  EXPECT_EQ (tesk_dn_print_value (0, value), nullptr);
  EXPECT_EQ (tesk_dn_print_value (q ("2.5.4.3"), nullptr), nullptr);
  tesk_dn_add_string_part (nullptr, q ("2.5.4.3"), "x");
  tesk_dn_add_string_part (name.root, 0, "x");
  tesk_dn_add_string_part (name.root, q ("2.5.4.3"), nullptr);

  EXPECT_EQ (log.at (G_LOG_LEVEL_CRITICAL),
             (std::vector<std::string> {
                 "tesk_dn_read: assertion 'asn' failed",
                 "tesk_dn_read_part: assertion 'asn' failed",
                 "tesk_dn_read_part: assertion 'match' failed",
                 "tesk_dn_parse: assertion 'asn' failed",
                 "tesk_dn_print_value: assertion 'oid != 0' failed",
                 "tesk_dn_print_value: assertion 'value != NULL' failed",
                 "tesk_dn_add_string_part: assertion 'asn != NULL' failed",
                 "tesk_dn_add_string_part: assertion 'oid != 0' failed",
                 "tesk_dn_add_string_part: assertion 'string != NULL' failed",
             }));
  EXPECT_EQ (tesk_asn1x_count (name.root), 1u);
}

} // namespace
