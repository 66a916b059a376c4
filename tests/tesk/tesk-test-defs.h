// Definition tables written for the toolkit tests.
#pragma once

#include "tesk-asn1x.h"

// Certificate, TBSCertificate, Name, Extension, KeyUsage, BasicConstraints
// and the attribute types commonName, countryName and emailAddress, with
// the records of the built-in PKIX module.
extern const TeskAsn1xDef test_pkix_asn1_tab[];
// Small types for single rules: SET OF and SET ordering, sizes, tags,
// defaults, choices, ANY, times and an OID chain with a forward reference.
extern const TeskAsn1xDef test_misc_asn1_tab[];
// A module with an OID value that refers to an undefined name.
extern const TeskAsn1xDef test_broken_asn1_tab[];
