// Finding definitions by name and by OID text through the per-thread table
// index: the answers and the messages of the record-by-record search, for
// regular tables and for tables the index cannot cover.

#include "tesk-asn1x-private.h"
#include "tesk-test-defs.h"
#include "tesk-test-util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tesktest;

namespace {

// OID values that resolve in another order than they are written, a
// repeated name, and a size bound whose name is first taken by a type
// that is no INTEGER.
const TeskAsn1xDef order_asn1_tab[] = {
  {"ORDER", 0x20001010, nullptr},
  {nullptr, 0x4000000c, nullptr},
  {"oid-early", 0x7000000c, nullptr}, // 1.2.5, known only in the second pass
  {nullptr, 0x40000001, "oid-base"},
  {nullptr, 0x00000001, "5"},
  {"EarlyType", 0x40000003, nullptr},
  {"oid-base", 0x7000000c, nullptr}, // 1.2
  {nullptr, 0x40000001, "1"},
  {nullptr, 0x00000001, "2"},
  {"BaseType", 0x40000004, nullptr},
  {"oid-late", 0x7000000c, nullptr}, // 1.2.5 again, known in the first pass
  {nullptr, 0x40000001, "1"},
  {nullptr, 0x40000001, "2"},
  {nullptr, 0x00000001, "5"},
  {"LateType", 0x40000014, nullptr},
  {"ub-dup", 0x40000004, nullptr},
  {"Bounded", 0x60200007, nullptr}, // OCTET STRING SIZE (1..ub-dup)
  {"ub-dup", 0x0008000a, "1"},
  {"ub-dup", 0x10000003, "8"},
  {nullptr, 0, nullptr},
};

// The last definition claims a sibling that the table does not have.
const TeskAsn1xDef loose_asn1_tab[] = {
  {"LOOSE", 0x20001010, nullptr},
  {nullptr, 0x4000000c, nullptr},
  {"First", 0x40000003, nullptr},
  {"Last", 0x40000004, nullptr},
  {nullptr, 0, nullptr},
};

struct LookupCase {
  const char *type;
  const char *root; // nullptr when nothing is found
  TeskAsn1xType root_type;
};

const LookupCase order_cases[] = {
  {"1.2.5", "LateType", TESK_ASN1X_NULL}, // the first value to resolve wins
  {"1.2", "BaseType", TESK_ASN1X_BOOLEAN},
  {"EarlyType", "EarlyType", TESK_ASN1X_INTEGER},
  {"ub-dup", "ub-dup", TESK_ASN1X_BOOLEAN}, // the first of a repeated name
  {"1.2.6", nullptr, TESK_ASN1X_NULL},
  {"oid-missing", nullptr, TESK_ASN1X_NULL},
};

TEST (TableIndex, ResolvesLikeTheMultiPassSearch)
{
  // Twice: once building the index, once answering from it.
  for (int round = 0; round < 2; ++round) {
    for (const auto &c : order_cases) {
      SCOPED_TRACE (std::string (c.type) + ", round " + std::to_string (round));
      Tree tree (tesk_asn1x_create (order_asn1_tab, c.type));
      if (!c.root) {
        EXPECT_EQ (tree, nullptr);
        continue;
      }
      ASSERT_NE (tree, nullptr);
      EXPECT_STREQ (tesk_asn1x_name (tree.get ()), c.root);
      EXPECT_EQ (tesk_asn1x_type (tree.get ()), c.root_type);
    }
  }
}

TEST (TableIndex, SizeBoundNamesTheIntegerDefinition)
{
  struct Case {
    std::string der;
    bool ok;
  } cases[] = {
    {tlv (0x04, std::string (8, 'x')), true},
    {tlv (0x04, std::string (9, 'x')), false},
  };
  for (const auto &c : cases) {
    Tree tree (tesk_asn1x_create (order_asn1_tab, "Bounded"));
    ASSERT_NE (tree, nullptr);
    Bytes data = bytes_of (c.der);
    EXPECT_EQ (tesk_asn1x_decode (tree.get (), data.get ()), c.ok) << c.der.size ();
    if (!c.ok) {
      EXPECT_STREQ (tesk_asn1x_message (tree.get ()), "Bounded: content size is out of bounds");
    }
  }
}

TEST (TableIndex, UnresolvableOidValueIsReportedEveryTime)
{
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE (round);
    LogCapture log;
    EXPECT_EQ (tesk_asn1x_create (test_broken_asn1_tab, "9.9"), nullptr);
    ASSERT_EQ (log.problems ().size (), 2u);
    EXPECT_EQ (log.problems ()[0], "couldn't find oid definition in ASN.1 for: oid-missing");
    EXPECT_TRUE (is_not_reached (log.problems ()[1])) << log.problems ()[1];

    // A value met before the unresolvable one is found without a word.
    log.clear ();
    Tree good (tesk_asn1x_create (test_broken_asn1_tab, "1.2"));
    ASSERT_NE (good, nullptr);
    EXPECT_STREQ (tesk_asn1x_name (good.get ()), "GoodType");
    EXPECT_TRUE (log.problems ().empty ());
  }
}

TEST (TableIndex, MalformedTableIsSearchedAsWritten)
{
  const std::vector<std::string> past_end = {
    assertion ("adef_next_sibling", "!adef_is_terminator (next)"),
  };
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE (round);
    LogCapture log;
    // Names before the bad record are found quietly.
    for (const char *name : {"First", "Last"}) {
      Tree tree (tesk_asn1x_create (loose_asn1_tab, name));
      ASSERT_NE (tree, nullptr) << name;
      EXPECT_STREQ (tesk_asn1x_name (tree.get ()), name);
    }
    EXPECT_TRUE (log.problems ().empty ());

    // Searches that walk past it report it, each time.
    EXPECT_EQ (tesk_asn1x_create (loose_asn1_tab, "Missing"), nullptr);
    EXPECT_EQ (log.problems (), past_end);
    log.clear ();
    EXPECT_EQ (tesk_asn1x_create (loose_asn1_tab, "1.2"), nullptr);
    EXPECT_EQ (log.problems (), past_end);
  }
}

} // namespace
