// The built-in definition tables: their shape (module record, counts,
// terminator, order of the top-level definitions), the records that the
// toolkit's users depend on, and the value types of the attribute OIDs.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "tesk-asn1x-modules.h"
#include "tesk-asn1x.h"

namespace {

bool is_end (const TeskAsn1xDef *def) { return !def->name && !def->type && !def->value; }

// The next sibling of a record, skipping its subtree; nullptr when it has
// none.
const TeskAsn1xDef *
next_sibling (const TeskAsn1xDef *def)
{
  if (!(def->type & FLAG_RIGHT))
    return nullptr;
  if (def->type & FLAG_DOWN) {
    int depth = 1;
    do {
      ++def;
      if (is_end (def))
        return nullptr;
      if (def->type & FLAG_DOWN)
        ++depth;
      if (!(def->type & FLAG_RIGHT))
        --depth;
    } while (depth > 0);
  }
  ++def;
  return is_end (def) ? nullptr : def;
}

const TeskAsn1xDef *
first_child (const TeskAsn1xDef *def)
{
  return (def->type & FLAG_DOWN) ? def + 1 : nullptr;
}

std::vector<const TeskAsn1xDef *>
top_level (const TeskAsn1xDef *table)
{
  std::vector<const TeskAsn1xDef *> defs;
  for (const TeskAsn1xDef *def = first_child (table); def; def = next_sibling (def))
    defs.push_back (def);
  return defs;
}

const TeskAsn1xDef *
find_definition (const TeskAsn1xDef *table, const std::string &name)
{
  for (const TeskAsn1xDef *def : top_level (table)) {
    if (def->name && name == def->name)
      return def;
  }
  return nullptr;
}

size_t
count_records (const TeskAsn1xDef *table)
{
  size_t n = 0;
  while (!is_end (&table[n]))
    ++n;
  return n + 1; // with the terminator
}

std::vector<std::string>
read_lines (const std::string &path)
{
  std::istringstream in (testsupport::read_file (path));
  std::vector<std::string> lines;
  for (std::string line; std::getline (in, line);) {
    if (!line.empty ())
      lines.push_back (line);
  }
  return lines;
}

std::string
text (const char *s)
{
  return s ? s : "(none)";
}

// The dotted text of every named OBJECT IDENTIFIER value, resolving arcs
// that name other values; the first definition of a name wins, as in the
// toolkit's OID search.
std::map<std::string, std::string>
resolve_oids (const TeskAsn1xDef *table)
{
  std::map<std::string, std::string> dotted;
  bool progress = true;
  while (progress) {
    progress = false;
    for (const TeskAsn1xDef *def : top_level (table)) {
      if ((def->type & 0xFF) != TESK_ASN1X_OBJECT_ID || !def->name || dotted.count (def->name))
        continue;
      std::string oid;
      bool complete = true;
      for (const TeskAsn1xDef *arc = first_child (def); arc; arc = next_sibling (arc)) {
        std::string value = text (arc->value);
        if (value.find_first_not_of ("0123456789") != std::string::npos) {
          auto it = dotted.find (value);
          if (it == dotted.end ()) {
            complete = false;
            break;
          }
          value = it->second;
        }
        oid += (oid.empty () ? "" : ".") + value;
      }
      if (complete && !oid.empty ()) {
        dotted[def->name] = oid;
        progress = true;
      }
    }
  }
  return dotted;
}

TEST (TeskModulesShape, ModuleRecordsCountsAndTerminators)
{
  struct Case {
    const char *what;
    const TeskAsn1xDef *table;
    const char *module;
    guint word;
    size_t records;
    size_t definitions;
  } cases[] = {
    { "pkix", pkix_asn1_tab, "PKIX1", 0x20001010, 1298, 394 },
    { "pk", pk_asn1_tab, "PK", 0x20000810, 81, 22 },
  };

  for (const Case &c : cases) {
    SCOPED_TRACE (c.what);
    EXPECT_STREQ (c.table[0].name, c.module);
    EXPECT_EQ (c.table[0].type, c.word);
    EXPECT_EQ (c.table[0].value, nullptr);
    EXPECT_EQ (count_records (c.table), c.records);

    // The module's own identifier: unnamed, empty, followed by the
    // definitions.
    EXPECT_EQ (c.table[1].name, nullptr);
    EXPECT_EQ (c.table[1].type, guint (TESK_ASN1X_OBJECT_ID) | guint (FLAG_RIGHT));
    EXPECT_EQ (c.table[1].value, nullptr);

    auto defs = top_level (c.table);
    ASSERT_EQ (defs.size (), c.definitions + 1);
    for (size_t i = 1; i < defs.size (); ++i)
      EXPECT_NE (defs[i]->name, nullptr) << "definition " << i;
    // The last definition has no sibling, and its subtree ends right
    // before the terminator.
    EXPECT_FALSE (defs.back ()->type & FLAG_RIGHT);
  }
}

TEST (TeskModulesShape, TopLevelDefinitionsInOrder)
{
  struct Case {
    const char *list;
    const TeskAsn1xDef *table;
  } cases[] = {
    { "tesk-modules/pkix-definitions.txt", pkix_asn1_tab },
    { "tesk-modules/pk-definitions.txt", pk_asn1_tab },
  };

  for (const Case &c : cases) {
    SCOPED_TRACE (c.list);
    auto wanted = read_lines (testsupport::data_path (c.list));
    auto defs = top_level (c.table);
    ASSERT_EQ (defs.size (), wanted.size () + 1);
    for (size_t i = 0; i < wanted.size (); ++i)
      EXPECT_EQ (text (defs[i + 1]->name), wanted[i]) << "position " << i + 1;
  }
}

TEST (TeskModulesShape, StringTypeRecords)
{
  struct Case {
    const TeskAsn1xDef *def;
    guint word;
  } cases[] = {
    { def_ia5string, 0x0000111D },
    { def_utf8string, 0x00001122 },
    { def_bmpstring, 0x00001121 },
  };
  for (const Case &c : cases) {
    EXPECT_EQ (c.def->name, nullptr);
    EXPECT_EQ (c.def->type, c.word);
    EXPECT_EQ (c.def->value, nullptr);
  }
}

// Records of the definitions that certificate and name handling rely on,
// as (depth below the definition, name, type word, value).
struct Record {
  int depth;
  const char *name;
  guint word;
  const char *value;
};

const Record known_records[] = {
    { 0, "Certificate", 0x60000005, nullptr },
    { 1, "tbsCertificate", 0x40000002, "TBSCertificate" },
    { 1, "signatureAlgorithm", 0x40000002, "AlgorithmIdentifier" },
    { 1, "signature", 0x00000006, nullptr },
    { 0, "TBSCertificate", 0x60000005, nullptr },
    { 1, "version", 0x6000A002, "Version" },
    { 2, nullptr, 0x40000009, "v1" },
    { 2, nullptr, 0x00000808, "0" },
    { 1, "serialNumber", 0x40000002, "CertificateSerialNumber" },
    { 1, "signature", 0x40000002, "AlgorithmIdentifier" },
    { 1, "issuer", 0x40000002, "Name" },
    { 1, "validity", 0x40000002, "Validity" },
    { 1, "subject", 0x40000002, "Name" },
    { 1, "subjectPublicKeyInfo", 0x40000002, "SubjectPublicKeyInfo" },
    { 1, "issuerUniqueID", 0x60006002, "UniqueIdentifier" },
    { 2, nullptr, 0x00001008, "1" },
    { 1, "subjectUniqueID", 0x60006002, "UniqueIdentifier" },
    { 2, nullptr, 0x00001008, "2" },
    { 1, "extensions", 0x20006002, "Extensions" },
    { 2, nullptr, 0x00000808, "3" },
    { 0, "Version", 0x60040003, nullptr },
    { 1, "v1", 0x40000001, "0" },
    { 1, "v2", 0x40000001, "1" },
    { 1, "v3", 0x00000001, "2" },
    { 0, "CertificateSerialNumber", 0x40000003, nullptr },
    { 0, "Validity", 0x60000005, nullptr },
    { 1, "notBefore", 0x40000002, "Time" },
    { 1, "notAfter", 0x00000002, "Time" },
    { 0, "Time", 0x60000012, nullptr },
    { 1, "utcTime", 0x40000024, nullptr },
    { 1, "generalTime", 0x00000025, nullptr },
    { 0, "UniqueIdentifier", 0x40000006, nullptr },
    { 0, "SubjectPublicKeyInfo", 0x60000005, nullptr },
    { 1, "algorithm", 0x40000002, "AlgorithmIdentifier" },
    { 1, "subjectPublicKey", 0x00000006, nullptr },
    { 0, "Extensions", 0x6020000B, nullptr },
    { 1, "MAX", 0x4008000A, "1" },
    { 1, nullptr, 0x00000002, "Extension" },
    { 0, "Extension", 0x60000005, nullptr },
    { 1, "extnID", 0x4000000C, nullptr },
    { 1, "critical", 0x60008004, nullptr },
    { 2, nullptr, 0x00020009, nullptr },
    { 1, "extnValue", 0x00000007, nullptr },
    { 0, "AlgorithmIdentifier", 0x60000005, nullptr },
    { 1, "algorithm", 0x4000000C, nullptr },
    { 1, "parameters", 0x2040400D, nullptr },
    { 2, "algorithm", 0x00000001, nullptr },
    { 0, "Name", 0x60000012, nullptr },
    { 1, "rdnSequence", 0x00000002, "RDNSequence" },
    { 0, "RDNSequence", 0x6000000B, nullptr },
    { 1, nullptr, 0x00000002, "RelativeDistinguishedName" },
    { 0, "RelativeDistinguishedName", 0x6020000F, nullptr },
    { 1, "MAX", 0x4008000A, "1" },
    { 1, nullptr, 0x00000002, "AttributeTypeAndValue" },
    { 0, "AttributeTypeAndValue", 0x60000005, nullptr },
    { 1, "type", 0x40000002, "AttributeType" },
    { 1, "value", 0x00000002, "AttributeValue" },
    { 0, "AttributeType", 0x4000000C, nullptr },
    { 0, "AttributeValue", 0x6040000D, nullptr },
    { 1, "type", 0x00000001, nullptr },
    { 0, "DirectoryString", 0x60000012, nullptr },
    { 1, "teletexString", 0x6020001E, nullptr },
    { 2, "MAX", 0x0008000A, "1" },
    { 1, "printableString", 0x6020001F, nullptr },
    { 2, "MAX", 0x0008000A, "1" },
    { 1, "universalString", 0x60200020, nullptr },
    { 2, "MAX", 0x0008000A, "1" },
    { 1, "utf8String", 0x60200022, nullptr },
    { 2, "MAX", 0x0008000A, "1" },
    { 1, "bmpString", 0x60200021, nullptr },
    { 2, "MAX", 0x0008000A, "1" },
    { 1, "ia5String", 0x2020001D, nullptr },
    { 2, "MAX", 0x0008000A, "1" },
    { 0, "id-at", 0x7000000C, nullptr },
    { 1, "joint-iso-ccitt", 0x40000001, "2" },
    { 1, "ds", 0x40000001, "5" },
    { 1, nullptr, 0x00000001, "4" },
    { 0, "id-at-commonName", 0x7010000C, "AttributeType" },
    { 1, nullptr, 0x40000001, "id-at" },
    { 1, nullptr, 0x00000001, "3" },
    { 0, "X520CommonName", 0x40000002, "DirectoryString" },
    { 0, "id-ce", 0x7000000C, nullptr },
    { 1, "joint-iso-ccitt", 0x40000001, "2" },
    { 1, "ds", 0x40000001, "5" },
    { 1, nullptr, 0x00000001, "29" },
    { 0, "id-ce-keyUsage", 0x7000000C, nullptr },
    { 1, nullptr, 0x40000001, "id-ce" },
    { 1, nullptr, 0x00000001, "15" },
    { 0, "KeyUsage", 0x60040006, nullptr },
    { 1, "digitalSignature", 0x40000001, "0" },
    { 1, "nonRepudiation", 0x40000001, "1" },
    { 1, "keyEncipherment", 0x40000001, "2" },
    { 1, "dataEncipherment", 0x40000001, "3" },
    { 1, "keyAgreement", 0x40000001, "4" },
    { 1, "keyCertSign", 0x40000001, "5" },
    { 1, "cRLSign", 0x40000001, "6" },
    { 1, "encipherOnly", 0x40000001, "7" },
    { 1, "decipherOnly", 0x00000001, "8" },
    { 0, "BasicConstraints", 0x60000005, nullptr },
    { 1, "cA", 0x60008004, nullptr },
    { 2, nullptr, 0x00020009, nullptr },
    { 1, "pathLenConstraint", 0x20084003, nullptr },
    { 2, "0", 0x0000000A, "MAX" },
};

TEST (TeskModulesPkix, KnownDefinitionsRecordByRecord)
{
  const size_t n_known = G_N_ELEMENTS (known_records);
  for (size_t start = 0; start < n_known;) {
    ASSERT_EQ (known_records[start].depth, 0);
    size_t end = start + 1;
    while (end < n_known && known_records[end].depth > 0)
      ++end;

    const char *name = known_records[start].name;
    SCOPED_TRACE (name);
    const TeskAsn1xDef *def = find_definition (pkix_asn1_tab, name);
    ASSERT_NE (def, nullptr);

    // Walk the definition's subtree in table order, tracking depth.
    const TeskAsn1xDef *stop = next_sibling (def);
    int depth = 0;
    std::vector<int> open; // FLAG_RIGHT pending at each level
    size_t i = start;
    for (const TeskAsn1xDef *rec = def; rec != stop && !is_end (rec); ++rec, ++i) {
      ASSERT_LT (i, end) << "more records than expected";
      const Record &want = known_records[i];
      EXPECT_EQ (depth, want.depth) << "record " << i - start;
      EXPECT_EQ (text (rec->name), text (want.name)) << "record " << i - start;
      EXPECT_EQ (rec->type, want.word) << "record " << i - start << " " << text (rec->name);
      EXPECT_EQ (text (rec->value), text (want.value)) << "record " << i - start;

      if (rec->type & FLAG_DOWN) {
        open.push_back (rec->type & FLAG_RIGHT);
        ++depth;
      } else if (!(rec->type & FLAG_RIGHT)) {
        while (!open.empty () && !open.back ()) {
          open.pop_back ();
          --depth;
        }
        if (!open.empty ()) {
          open.pop_back ();
          --depth;
        }
      }
    }
    EXPECT_EQ (i, end) << "fewer records than expected";
    start = end;
  }
}

TEST (TeskModulesPkix, AttributeValueTypes)
{
  struct Case {
    const char *oid;
    const char *oid_definition;
    const char *value_type;
    TeskAsn1xType type;
    const char *refers_to; // for an IDENTIFIER
    const char *size;      // "min" or "min..max", nullptr for none
  } cases[] = {
    { "2.5.4.43", "id-at-initials", "X520initials", TESK_ASN1X_IDENTIFIER, "DirectoryString", nullptr },
    { "2.5.4.44", "id-at-generationQualifier", "X520generationQualifier", TESK_ASN1X_IDENTIFIER, "DirectoryString", nullptr },
    { "2.5.4.4", "id-at-surname", "X520surName", TESK_ASN1X_IDENTIFIER, "DirectoryString", nullptr },
    { "2.5.4.42", "id-at-givenName", "X520givenName", TESK_ASN1X_IDENTIFIER, "DirectoryString", nullptr },
    { "2.5.4.41", "id-at-name", "X520name", TESK_ASN1X_IDENTIFIER, "DirectoryString", nullptr },
    { "2.5.4.3", "id-at-commonName", "X520CommonName", TESK_ASN1X_IDENTIFIER, "DirectoryString", nullptr },
    { "2.5.4.7", "id-at-localityName", "X520LocalityName", TESK_ASN1X_IDENTIFIER, "DirectoryString", nullptr },
    { "2.5.4.8", "id-at-stateOrProvinceName", "X520StateOrProvinceName", TESK_ASN1X_IDENTIFIER, "DirectoryString", nullptr },
    { "2.5.4.10", "id-at-organizationName", "X520OrganizationName", TESK_ASN1X_IDENTIFIER, "DirectoryString", nullptr },
    { "2.5.4.11", "id-at-organizationalUnitName", "X520OrganizationalUnitName", TESK_ASN1X_IDENTIFIER, "DirectoryString", nullptr },
    { "2.5.4.12", "id-at-title", "X520Title", TESK_ASN1X_IDENTIFIER, "DirectoryString", nullptr },
    { "2.5.4.13", "id-at-description", "X520Description", TESK_ASN1X_IDENTIFIER, "DirectoryString", nullptr },
    { "2.5.4.46", "id-at-dnQualifier", "X520dnQualifier", TESK_ASN1X_PRINTABLE_STRING, nullptr, nullptr },
    { "2.5.4.6", "id-at-countryName", "X520countryName", TESK_ASN1X_PRINTABLE_STRING, nullptr, "2" },
    { "2.5.4.5", "id-at-serialNumber", "X520serialNumber", TESK_ASN1X_PRINTABLE_STRING, nullptr, nullptr },
    { "2.5.4.20", "id-at-telephoneNumber", "X520telephoneNumber", TESK_ASN1X_PRINTABLE_STRING, nullptr, nullptr },
    { "2.5.4.23", "id-at-facsimileTelephoneNumber", "X520facsimileTelephoneNumber", TESK_ASN1X_PRINTABLE_STRING, nullptr, nullptr },
    { "2.5.4.65", "id-at-pseudonym", "X520pseudonym", TESK_ASN1X_IDENTIFIER, "DirectoryString", nullptr },
    { "2.5.4.9", "id-at-streetAddress", "X520streetAddress", TESK_ASN1X_IDENTIFIER, "DirectoryString", nullptr },
    { "2.5.4.16", "id-at-postalAddress", "X520postalAddress", TESK_ASN1X_IDENTIFIER, "PostalAddress", nullptr },
    { "1.2.840.113549.1.9.1", "emailAddress", "Pkcs9email", TESK_ASN1X_IA5_STRING, nullptr, "1..ub-emailaddress-length" },
    { "0.9.2342.19200300.100.1.25", "id-at-domainComponent", "domainComponent", TESK_ASN1X_IA5_STRING, nullptr, nullptr },
    { "0.9.2342.19200300.100.1.1", "id-at-userId", "userId", TESK_ASN1X_IDENTIFIER, "DirectoryString", nullptr },
    { "1.3.6.1.5.5.7.9.1", "id-pda-dateOfBirth", "DateOfBirth", TESK_ASN1X_GENERALIZED_TIME, nullptr, nullptr },
    { "1.3.6.1.5.5.7.9.2", "id-pda-placeOfBirth", "PlaceOfBirth", TESK_ASN1X_IDENTIFIER, "DirectoryString", nullptr },
    { "1.3.6.1.5.5.7.9.3", "id-pda-gender", "Gender", TESK_ASN1X_PRINTABLE_STRING, nullptr, "1" },
    { "1.3.6.1.5.5.7.9.4", "id-pda-countryOfCitizenship", "CountryOfCitizenship", TESK_ASN1X_PRINTABLE_STRING, nullptr, "2" },
    { "1.3.6.1.5.5.7.9.5", "id-pda-countryOfResidence", "CountryOfResidence", TESK_ASN1X_PRINTABLE_STRING, nullptr, "2" },
    { "1.2.643.100.1", "id-ogrn", "OGRN", TESK_ASN1X_NUMERIC_STRING, nullptr, "13" },
    { "1.2.643.100.3", "id-snils", "SNILS", TESK_ASN1X_NUMERIC_STRING, nullptr, "11" },
    { "1.2.643.3.131.1.1", "id-inn", "INN", TESK_ASN1X_NUMERIC_STRING, nullptr, "12" },
  };

  auto dotted = resolve_oids (pkix_asn1_tab);
  auto defs = top_level (pkix_asn1_tab);

  for (const Case &c : cases) {
    SCOPED_TRACE (c.oid);
    // The first OID definition with that text, and the one after it.
    size_t at = 0;
    for (size_t i = 1; i < defs.size () && !at; ++i) {
      auto it = dotted.find (text (defs[i]->name));
      if ((defs[i]->type & 0xFF) == TESK_ASN1X_OBJECT_ID && it != dotted.end () &&
          it->second == c.oid && find_definition (pkix_asn1_tab, defs[i]->name) == defs[i])
        at = i;
    }
    ASSERT_NE (at, 0u) << "no definition has this OID";
    ASSERT_LT (at + 1, defs.size ());
    EXPECT_EQ (text (defs[at]->name), c.oid_definition);
    const TeskAsn1xDef *type = defs[at + 1];
    EXPECT_EQ (text (type->name), c.value_type);
    EXPECT_EQ (type->type & 0xFF, guint (c.type));
    if (c.refers_to) {
      EXPECT_EQ (text (type->value), c.refers_to);
    }

    std::optional<std::string> size;
    for (const TeskAsn1xDef *opt = first_child (type); opt; opt = next_sibling (opt)) {
      if ((opt->type & 0xFF) == TESK_ASN1X_SIZE)
        size = (opt->type & FLAG_MIN_MAX) ? text (opt->value) + ".." + text (opt->name)
                                          : text (opt->value);
    }
    EXPECT_EQ (bool (type->type & FLAG_SIZE), c.size != nullptr);
    EXPECT_EQ (size.value_or ("(none)"), c.size ? c.size : "(none)");
  }
}

TEST (TeskModulesPkix, DuplicateNamesResolveToTheFirst)
{
  auto dotted = resolve_oids (pkix_asn1_tab);
  EXPECT_EQ (dotted["id-ogrn"], "1.2.643.100.1");
  EXPECT_EQ (dotted["id-at-name"], "2.5.4.41");
  for (const auto &[name, oid] : dotted)
    EXPECT_NE (oid, "1.2.643.100.5") << name << " would make OGRNIP reachable by OID";

  // OGRNIP is only reachable by name, after the second id-ogrn.
  auto defs = top_level (pkix_asn1_tab);
  size_t ogrnip = 0;
  for (size_t i = 1; i < defs.size (); ++i) {
    if (text (defs[i]->name) == "OGRNIP")
      ogrnip = i;
  }
  ASSERT_GT (ogrnip, 1u);
  EXPECT_STREQ (defs[ogrnip - 1]->name, "id-ogrn");
  const TeskAsn1xDef *last_arc = first_child (defs[ogrnip - 1]);
  while (next_sibling (last_arc))
    last_arc = next_sibling (last_arc);
  EXPECT_STREQ (last_arc->value, "5");
}

TEST (TeskModulesPkix, SymbolicSizesNameIntegerDefinitions)
{
  // Every SIZE bound that is a name must be a top-level INTEGER value.
  const TeskAsn1xDef *end = pkix_asn1_tab + count_records (pkix_asn1_tab) - 1;
  int symbolic = 0;
  for (const TeskAsn1xDef *rec = pkix_asn1_tab; rec != end; ++rec) {
    if ((rec->type & 0xFF) != TESK_ASN1X_SIZE || !(rec->type & FLAG_MIN_MAX) || !rec->name)
      continue;
    std::string bound = rec->name;
    if (bound == "MAX" || !g_ascii_isalpha (bound[0]))
      continue;
    ++symbolic;
    const TeskAsn1xDef *def = find_definition (pkix_asn1_tab, bound);
    ASSERT_NE (def, nullptr) << bound;
    EXPECT_EQ (def->type & 0xFF, guint (TESK_ASN1X_INTEGER)) << bound;
    EXPECT_TRUE (def->value && g_ascii_isdigit (def->value[0])) << bound;
  }
  EXPECT_GT (symbolic, 0);
  const TeskAsn1xDef *email = find_definition (pkix_asn1_tab, "ub-emailaddress-length");
  ASSERT_NE (email, nullptr);
  EXPECT_STREQ (email->value, "128");
}

TEST (TeskModulesPkix, CreateByOidTextGivesTheFollowingType)
{
  struct Case {
    const char *oid;
    const char *name; // of the created root, nullptr for no tree
    TeskAsn1xType type;
  } cases[] = {
    { "2.5.4.3", "X520CommonName", TESK_ASN1X_CHOICE },
    { "2.5.4.6", "X520countryName", TESK_ASN1X_PRINTABLE_STRING },
    { "2.5.4.41", "X520name", TESK_ASN1X_CHOICE },
    { "1.2.840.113549.1.9.1", "Pkcs9email", TESK_ASN1X_IA5_STRING },
    { "1.3.6.1.5.5.7.9.1", "DateOfBirth", TESK_ASN1X_GENERALIZED_TIME },
    { "1.2.643.100.1", "OGRN", TESK_ASN1X_NUMERIC_STRING },
    { "1.2.643.3.131.1.1", "INN", TESK_ASN1X_NUMERIC_STRING },
    { "2.5.29.15", "KeyUsage", TESK_ASN1X_BIT_STRING },
    { "2.5.29.19", "BasicConstraints", TESK_ASN1X_SEQUENCE },
    { "1.2.840.113549.1.9.7", "pkcs-9-challengePassword", TESK_ASN1X_CHOICE },
    { "1.2.643.100.5", nullptr, TeskAsn1xType (0) },
    { "1.2.3.4.5", nullptr, TeskAsn1xType (0) },
  };
  for (const Case &c : cases) {
    SCOPED_TRACE (c.oid);
    GNode *asn = tesk_asn1x_create (pkix_asn1_tab, c.oid);
    if (!c.name) {
      EXPECT_EQ (asn, nullptr);
      continue;
    }
    ASSERT_NE (asn, nullptr);
    EXPECT_STREQ (tesk_asn1x_name (asn), c.name);
    EXPECT_EQ (tesk_asn1x_type (asn), c.type);
    tesk_asn1x_destroy (asn);
  }
}

TEST (TeskModulesPkix, CountryValueMustHaveTwoLetters)
{
  struct Case {
    const char *der;
    size_t n;
    bool ok;
  } cases[] = {
    { "\x13\x02" "DE", 4, true },
    { "\x13\x03" "USA", 5, false },
    { "\x13\x01" "D", 3, false },
  };
  for (const Case &c : cases) {
    GBytes *data = g_bytes_new_static (c.der, c.n);
    GNode *asn = tesk_asn1x_create (pkix_asn1_tab, "2.5.4.6");
    ASSERT_NE (asn, nullptr);
    EXPECT_EQ (bool (tesk_asn1x_decode (asn, data)), c.ok) << c.der + 2;
    if (!c.ok) {
      EXPECT_STREQ (tesk_asn1x_message (asn), "X520countryName: content size is not correct");
    }
    tesk_asn1x_destroy (asn);
    g_bytes_unref (data);
  }
}

} // namespace
