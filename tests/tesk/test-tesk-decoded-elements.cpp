// What decoded nodes keep of the elements they were read from: each node
// gives back its own element, and a node inside an explicit tag gives the
// element that the tag wraps, whatever its type.

#include "tesk-test-cert.h"
#include "tesk-test-defs.h"
#include "tesk-test-util.h"

#include <gtest/gtest.h>

#include <string>

using namespace tesktest;

namespace {

TEST (DecodedElements, NodesGiveTheirOwnElement)
{
  const CertParts parts;
  const std::string extensions = tlv (0x30, parts.extension);
  struct Case {
    const TeskAsn1xDef *defs;
    const char *type;
    std::string der;
    const char *step1; // path below the root, nullptr for the root
    const char *step2;
    std::string element;
  } cases[] = {
    // Explicit tags around a primitive and a constructed type.
    {test_misc_asn1_tab, "ExplicitInt", unhex ("A5 03 02 01 07"), nullptr, nullptr,
     unhex ("02 01 07")},
    {test_pkix_asn1_tab, "Certificate", parts.der (), "tbsCertificate", "version",
     unhex ("02 01 02")},
    {test_pkix_asn1_tab, "Certificate", parts.der (), "tbsCertificate", "extensions",
     extensions},
    // Untagged members and the whole.
    {test_pkix_asn1_tab, "Certificate", parts.der (), "tbsCertificate", "subject",
     parts.subject},
    {test_pkix_asn1_tab, "Certificate", parts.der (), "tbsCertificate", nullptr, parts.tbs ()},
    {test_pkix_asn1_tab, "Certificate", parts.der (), nullptr, nullptr, parts.der ()},
  };

  for (const auto &c : cases) {
    SCOPED_TRACE (std::string (c.type) + " " + (c.step1 ? c.step1 : "") + " " +
                  (c.step2 ? c.step2 : ""));
    Tree tree (tesk_asn1x_create (c.defs, c.type));
    ASSERT_NE (tree, nullptr);
    Bytes data = bytes_of (c.der);
    ASSERT_TRUE (tesk_asn1x_decode (tree.get (), data.get ())) << tesk_asn1x_message (tree.get ());
    GNode *node = c.step1 ? tesk_asn1x_node (tree.get (), c.step1, c.step2, NULL) : tree.get ();
    ASSERT_NE (node, nullptr);
    Bytes element (tesk_asn1x_get_element_raw (node));
    ASSERT_NE (element, nullptr);
    EXPECT_EQ (hex (element.get ()), hex (c.element));
  }
}

} // namespace
