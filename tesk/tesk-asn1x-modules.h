/* The ASN.1 modules built into the toolkit, as definition tables. The
 * tables are generated at build time from the modules under asn1/. */
#pragma once

#include "tesk-asn1x.h"

G_BEGIN_DECLS

/* Certificates, CRLs, names, attributes, extensions, and the containers
 * of PKCS #7, #8, #10 and #12 (module PKIX1, implicit tags). */
extern const TeskAsn1xDef pkix_asn1_tab[];

/* Key structures of RSA, DSA, DH, EC and GOST keys (module PK, explicit
 * tags). */
extern const TeskAsn1xDef pk_asn1_tab[];

/* Lone string types for reading an ANY element as a plain string. */
extern const TeskAsn1xDef def_ia5string[];
extern const TeskAsn1xDef def_utf8string[];
extern const TeskAsn1xDef def_bmpstring[];

G_END_DECLS
