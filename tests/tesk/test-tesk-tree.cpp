// Node trees: creation by name and by OID, preparation of identifiers and
// options, SET ordering, path lookup, counting, appending, clearing,
// destroying, failure texts and the dump.

#include "tesk-asn1x-private.h"
#include "tesk-test-defs.h"
#include "tesk-test-util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tesktest;

namespace {

std::vector<std::string> child_names (GNode *node)
{
  std::vector<std::string> names;
  for (GNode *c = node->children; c; c = c->next) {
    const gchar *name = tesk_asn1x_name (c);
    names.push_back (name ? name : "(none)");
  }
  return names;
}

Tree decoded (const TeskAsn1xDef *defs, const char *type, const std::string &der)
{
  Tree tree (tesk_asn1x_create (defs, type));
  Bytes data = bytes_of (der);
  EXPECT_TRUE (tesk_asn1x_decode (tree.get (), data.get ())) << tesk_asn1x_message (tree.get ());
  return tree;
}

// Collects what g_print writes while it exists.
class PrintCapture {
 public:
  PrintCapture () { previous_ = g_set_print_handler (handler); }
  ~PrintCapture () { g_set_print_handler (previous_); }
  static std::string take ()
  {
    std::string out;
    out.swap (text_);
    return out;
  }

 private:
  static void handler (const gchar *s) { text_ += s; }
  static inline std::string text_;
  GPrintFunc previous_;
};

TEST (TreeCreate, CertificateHasItsMembersAndFoldedOptions)
{
  Tree cert (tesk_asn1x_create (test_pkix_asn1_tab, "Certificate"));
  ASSERT_NE (cert, nullptr);
  EXPECT_EQ (tesk_asn1x_type (cert.get ()), TESK_ASN1X_SEQUENCE);
  EXPECT_EQ (child_names (cert.get ()),
             (std::vector<std::string>{"tbsCertificate", "signatureAlgorithm", "signature"}));

  GNode *version = tesk_asn1x_node (cert.get (), "tbsCertificate", "version", NULL);
  ASSERT_NE (version, nullptr);
  Anode *an = anode_of (version);
  ASSERT_NE (an->join, nullptr);
  EXPECT_STREQ (an->join->name, "Version");
  EXPECT_EQ (tesk_asn1x_type (version), TESK_ASN1X_INTEGER);

  struct Opt {
    int type;
    const char *name;
    const char *value;
  };
  const Opt expected[] = {
    {TESK_ASN1X_DEFAULT, nullptr, "v1"}, {TESK_ASN1X_TAG, nullptr, "0"},
    {TESK_ASN1X_CONSTANT, "v1", "0"},    {TESK_ASN1X_CONSTANT, "v2", "1"},
    {TESK_ASN1X_CONSTANT, "v3", "2"},
  };
  ASSERT_EQ (an->opts.size (), std::size (expected));
  for (size_t i = 0; i < an->opts.size (); i++) {
    SCOPED_TRACE (i);
    EXPECT_EQ (adef_type (an->opts[i]), expected[i].type);
    EXPECT_STREQ (an->opts[i]->name, expected[i].name);
    EXPECT_STREQ (an->opts[i]->value, expected[i].value);
  }
  EXPECT_TRUE (anode_calc_explicit (version, nullptr));
  EXPECT_EQ (anode_calc_tag (version), 0u);
  // Option records never remain as nodes.
  EXPECT_EQ (version->children, nullptr);
}

TEST (TreeCreate, IdentifierChainsReachTheFinalType)
{
  // X520CommonName refers to DirectoryString, a CHOICE of six strings.
  Tree cn (tesk_asn1x_create (test_pkix_asn1_tab, "X520CommonName"));
  ASSERT_NE (cn, nullptr);
  EXPECT_EQ (tesk_asn1x_type (cn.get ()), TESK_ASN1X_CHOICE);
  EXPECT_EQ (g_node_n_children (cn.get ()), 6u);
  // Symbolic size bounds bring their INTEGER definition along.
  Tree email (tesk_asn1x_create (test_pkix_asn1_tab, "Pkcs9email"));
  EXPECT_NE (anode_opt_lookup (email.get (), TESK_ASN1X_INTEGER, "ub-emailaddress-length"),
             nullptr);
}

struct FindCase {
  const TeskAsn1xDef *defs;
  const char *type;
  const char *root; // nullptr when nothing is found
};

const FindCase find_cases[] = {
  {test_pkix_asn1_tab, "Certificate", "Certificate"},
  {test_pkix_asn1_tab, "2.5.29.15", "KeyUsage"},
  {test_pkix_asn1_tab, "2.5.4.3", "X520CommonName"},
  {test_pkix_asn1_tab, "2.5.4.6", "X520countryName"},
  {test_pkix_asn1_tab, "1.2.840.113549.1.9.1", "Pkcs9email"},
  {test_pkix_asn1_tab, "2.5.4.99", nullptr},
  {test_pkix_asn1_tab, "NoSuchType", nullptr},
  {test_pkix_asn1_tab, "PKIX1", nullptr},     // the module itself is no definition
  {test_pkix_asn1_tab, "2.5.4.", nullptr},    // not an OID text, and no such name
  {test_misc_asn1_tab, "1.3.6.7", "LeafType"}, // refers to a value defined later
  {test_misc_asn1_tab, "1.3.6", "RootType"},
  {test_misc_asn1_tab, "1.9", nullptr},        // the last definition has no follower
  {test_broken_asn1_tab, "1.2", "GoodType"},
};

TEST (TreeCreate, ByNameAndByOid)
{
  for (const auto &c : find_cases) {
    SCOPED_TRACE (c.type);
    Tree tree (tesk_asn1x_create (c.defs, c.type));
    if (!c.root) {
      EXPECT_EQ (tree, nullptr);
      continue;
    }
    ASSERT_NE (tree, nullptr);
    EXPECT_STREQ (tesk_asn1x_name (tree.get ()), c.root);
  }
}

TEST (TreeCreate, UnresolvableOidValueIsReported)
{
  LogCapture log;
  EXPECT_EQ (tesk_asn1x_create (test_broken_asn1_tab, "9.9"), nullptr);
  ASSERT_EQ (log.problems ().size (), 2u);
  EXPECT_EQ (log.problems ()[0], "couldn't find oid definition in ASN.1 for: oid-missing");
  EXPECT_TRUE (is_not_reached (log.problems ()[1])) << log.problems ()[1];
}

TEST (TreeCreate, Preconditions)
{
  LogCapture log;
  EXPECT_EQ (tesk_asn1x_create (nullptr, "Certificate"), nullptr);
  EXPECT_EQ (tesk_asn1x_create (test_pkix_asn1_tab, nullptr), nullptr);
  EXPECT_EQ (tesk_asn1x_create_quark (test_pkix_asn1_tab, 0), nullptr);
  EXPECT_EQ (log.problems (), (std::vector<std::string>{
                                assertion ("tesk_asn1x_create", "defs"),
                                assertion ("tesk_asn1x_create", "type"),
                                assertion ("tesk_asn1x_create_quark", "type"),
                              }));
  Tree ku (tesk_asn1x_create_quark (test_pkix_asn1_tab, g_quark_from_string ("2.5.29.15")));
  ASSERT_NE (ku, nullptr);
  EXPECT_STREQ (tesk_asn1x_name (ku.get ()), "KeyUsage");
}

TEST (TreeCreate, SetMembersAreOrderedByTag)
{
  Tree set (tesk_asn1x_create (test_misc_asn1_tab, "TaggedSet"));
  EXPECT_EQ (child_names (set.get ()), (std::vector<std::string>{"a", "b"}));

  // Members without tags cannot be ordered; they keep their order.
  LogCapture log;
  Tree untagged (tesk_asn1x_create (test_misc_asn1_tab, "UntaggedSet"));
  EXPECT_EQ (child_names (untagged.get ()), (std::vector<std::string>{"x", "y"}));
  ASSERT_FALSE (log.problems ().empty ());
  EXPECT_EQ (log.problems ()[0],
             assertion ("compare_nodes_by_tag", "anode_def_flags (na) & FLAG_TAG"));
}

TEST (TreeCreate, RepeatedCreationGivesIndependentEqualTrees)
{
  Tree first (tesk_asn1x_create (test_pkix_asn1_tab, "Certificate"));
  GNode *serial = tesk_asn1x_node (first.get (), "tbsCertificate", "serialNumber", NULL);
  tesk_asn1x_set_integer_as_ulong (serial, 5);
  Tree second (tesk_asn1x_create (test_pkix_asn1_tab, "Certificate"));
  EXPECT_FALSE (tesk_asn1x_have (second.get ()));
  EXPECT_EQ (g_node_n_nodes (first.get (), G_TRAVERSE_ALL),
             g_node_n_nodes (second.get (), G_TRAVERSE_ALL));
  GNode *version = tesk_asn1x_node (second.get (), "tbsCertificate", "version", NULL);
  EXPECT_EQ (anode_of (version)->opts.size (), 5u);

  // Creation logs the same every time.
  for (int i = 0; i < 2; i++) {
    LogCapture log;
    Tree untagged (tesk_asn1x_create (test_misc_asn1_tab, "UntaggedSet"));
    EXPECT_FALSE (log.problems ().empty ()) << i;
  }
}

TEST (TreeNode, PathsByNameAndIndex)
{
  Tree seq = decoded (test_misc_asn1_tab, "IntSeq", unhex ("30 09 02 01 01 02 01 02 02 01 03"));
  EXPECT_EQ (tesk_asn1x_count (seq.get ()), 3u);
  EXPECT_EQ (tesk_asn1x_node (seq.get (), 0), seq.get ());
  EXPECT_EQ (tesk_asn1x_node (seq.get (), 4, NULL), nullptr);
  GNode *second = tesk_asn1x_node (seq.get (), 2, NULL);
  ASSERT_NE (second, nullptr);
  EXPECT_EQ (hex (anode_of (second)->value), "02");

  Tree cert (tesk_asn1x_create (test_pkix_asn1_tab, "Certificate"));
  EXPECT_EQ (tesk_asn1x_node (cert.get (), NULL), cert.get ());
  EXPECT_EQ (tesk_asn1x_node (cert.get (), "tbsCertificate", "nosuch", NULL), nullptr);
  GNode *alg = tesk_asn1x_node (cert.get (), "tbsCertificate", "subjectPublicKeyInfo",
                                "algorithm", "algorithm", NULL);
  ASSERT_NE (alg, nullptr);
  EXPECT_EQ (tesk_asn1x_type (alg), TESK_ASN1X_OBJECT_ID);
  // A fresh SEQUENCE OF has no present element to step into.
  EXPECT_EQ (tesk_asn1x_node (cert.get (), "tbsCertificate", "extensions", 1, NULL), nullptr);
}

TEST (TreeNode, IndexWhereANameBelongsIsRefused)
{
  Tree cert (tesk_asn1x_create (test_pkix_asn1_tab, "Certificate"));
  LogCapture log;
  EXPECT_EQ (tesk_asn1x_node (cert.get (), GINT_TO_POINTER (1), NULL), nullptr);
  EXPECT_EQ (log.problems (),
             std::vector<std::string>{
               "possible misuse of tesk_asn1x_node, expected a string, but got an index"});
}

TEST (TreeSequenceOf, TemplateSurvivesClearing)
{
  Tree seq = decoded (test_misc_asn1_tab, "IntSeq", unhex ("30 06 02 01 01 02 01 02"));
  EXPECT_EQ (g_node_n_children (seq.get ()), 2u);
  EXPECT_TRUE (tesk_asn1x_have (seq.get ()));
  tesk_asn1x_clear (seq.get ());
  EXPECT_EQ (g_node_n_children (seq.get ()), 1u);
  EXPECT_EQ (tesk_asn1x_count (seq.get ()), 0u);
  EXPECT_FALSE (tesk_asn1x_have (seq.get ()));
}

TEST (TreeSequenceOf, AppendCopiesTheTemplateOnly)
{
  // The template of the outer list holds two decoded inner elements; a new
  // outer element starts with a single empty inner template.
  Tree outer = decoded (test_misc_asn1_tab, "IntSeqSeq",
                        unhex ("30 08 30 06 02 01 01 02 01 02"));
  GNode *added = tesk_asn1x_append (outer.get ());
  ASSERT_NE (added, nullptr);
  EXPECT_EQ (added->parent, outer.get ());
  EXPECT_EQ (g_node_n_children (added), 1u);
  EXPECT_FALSE (tesk_asn1x_have (added));
  EXPECT_EQ (tesk_asn1x_type (added->children), TESK_ASN1X_INTEGER);
  EXPECT_EQ (tesk_asn1x_count (outer.get ()), 1u);
}

TEST (TreeSequenceOf, CountAndAppendNeedAList)
{
  Tree cert (tesk_asn1x_create (test_pkix_asn1_tab, "Certificate"));
  LogCapture log;
  EXPECT_EQ (tesk_asn1x_count (cert.get ()), 0u);
  EXPECT_EQ (tesk_asn1x_append (cert.get ()), nullptr);
  EXPECT_EQ (log.problems (),
             (std::vector<std::string>{
               "node passed to tesk_asn1x_count was not a sequence of or set of",
               "node passed to tesk_asn1x_append was not a sequence of or set of"}));
}

TEST (TreeDestroy, OnlyRootsAreFreed)
{
  Tree cert (tesk_asn1x_create (test_pkix_asn1_tab, "Certificate"));
  GNode *tbs = tesk_asn1x_node (cert.get (), "tbsCertificate", NULL);
  LogCapture log;
  tesk_asn1x_destroy (tbs);
  tesk_asn1x_destroy (nullptr);
  EXPECT_EQ (log.problems (),
             std::vector<std::string>{assertion ("tesk_asn1x_destroy", "G_NODE_IS_ROOT (node)")});
  EXPECT_EQ (tesk_asn1x_node (cert.get (), "tbsCertificate", "version", NULL)->parent, tbs);
}

TEST (TreeFailure, LabelFallsBackToReferenceThenUnknown)
{
  struct Case {
    const TeskAsn1xDef *defs;
    const char *type;
    const char *der;
    const char *message;
  } cases[] = {
    // The RDN element has no name of its own: its type names it.
    {test_pkix_asn1_tab, "Name", "30 02 31 00",
     "RelativeDistinguishedName: content size is out of bounds"},
    // Neither name nor reference: an element of a SEQUENCE OF INTEGER.
    {test_misc_asn1_tab, "IntSeq", "30 02 02 00", "unknown: zero length integer"},
    {test_misc_asn1_tab, "Int", "02 00", "Int: zero length integer"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE (c.der);
    Tree tree (tesk_asn1x_create (c.defs, c.type));
    Bytes data = bytes_of (unhex (c.der));
    EXPECT_FALSE (tesk_asn1x_decode (tree.get (), data.get ()));
    EXPECT_STREQ (tesk_asn1x_message (tree.get ()), c.message);
  }
}

TEST (TreeFailure, RecordingLogsADebugMessage)
{
  Tree tree (tesk_asn1x_create (test_misc_asn1_tab, "Int"));
  LogCapture log;
  EXPECT_FALSE (anode_failure (tree.get (), "something broke"));
  EXPECT_STREQ (tesk_asn1x_message (tree.get ()), "Int: something broke");
  EXPECT_EQ (log.messages (G_LOG_LEVEL_DEBUG),
             std::vector<std::string>{"Int Int: something broke"});
  EXPECT_TRUE (log.problems ().empty ());
}

TEST (TreeDump, FreshValidity)
{
  Tree validity (tesk_asn1x_create (test_pkix_asn1_tab, "Validity"));
  PrintCapture print;
  tesk_asn1x_dump (validity.get ());
  EXPECT_EQ (PrintCapture::take (), "+ Validity: (null) [sequence]\n"
                                    "    + notBefore: Time [choice]\n"
                                    "        + utcTime: (null) [utc_time]\n"
                                    "        + generalTime: (null) [generalized_time]\n"
                                    "    + notAfter: Time [choice]\n"
                                    "        + utcTime: (null) [utc_time]\n"
                                    "        + generalTime: (null) [generalized_time]\n");
}

TEST (TreeDump, OptionsFlagsAndContentMarkers)
{
  Tree ext = decoded (test_pkix_asn1_tab, "Extension",
                      unhex ("30 08 06 03 55 1D 0F 04 01 00"));
  PrintCapture print;
  tesk_asn1x_dump (ext.get ());
  EXPECT_EQ (PrintCapture::take (), "+ Extension: (null) [sequence] .\n"
                                    "    + extnID: (null) [object_id] *\n"
                                    "    + critical: (null) [boolean default]\n"
                                    "        - (null): (null) [default false]\n"
                                    "    + extnValue: (null) [octet_string] *\n");

  Tree version (tesk_asn1x_create (test_pkix_asn1_tab, "TBSCertificate"));
  tesk_asn1x_dump (tesk_asn1x_node (version.get (), "version", NULL));
  EXPECT_EQ (PrintCapture::take (), "+ version: Version [integer tag default list]\n"
                                    "    - (null): v1 [default]\n"
                                    "    - (null): 0 [tag explicit]\n"
                                    "    - v1: 0 [constant]\n"
                                    "    - v2: 1 [constant]\n"
                                    "    - v3: 2 [constant]\n");
}

TEST (TreeTags, UnknownTypeCodes)
{
  static const TeskAsn1xDef odd = {"Odd", 23, nullptr};
  GNode *node = _tesk_asn1x_create_from_def (&odd);
  LogCapture log;
  EXPECT_FALSE (anode_def_type_is_real (node));
  EXPECT_EQ (anode_calc_tag (node), kNoTag);
  ASSERT_EQ (log.problems ().size (), 2u);
  EXPECT_TRUE (is_not_reached (log.problems ()[0]));
  tesk_asn1x_destroy (node);
}

}  // namespace
