// Quarks of the dotted text of the extension identifiers that the
// certificate widgets show in readable form.
#pragma once

#include <glib.h>

#include "sero-export.h"

G_BEGIN_DECLS

SERO_EXPORT GQuark _sero_oid_basic_constraints_get_quark (void);     /* 2.5.29.19 */
SERO_EXPORT GQuark _sero_oid_extended_key_usage_get_quark (void);    /* 2.5.29.37 */
SERO_EXPORT GQuark _sero_oid_subject_key_identifier_get_quark (void); /* 2.5.29.14 */
SERO_EXPORT GQuark _sero_oid_key_usage_get_quark (void);             /* 2.5.29.15 */
SERO_EXPORT GQuark _sero_oid_subject_alt_name_get_quark (void);      /* 2.5.29.17 */

G_END_DECLS
