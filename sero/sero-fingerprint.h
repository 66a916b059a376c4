// Fingerprints of public keys.
#pragma once

#include <glib.h>

#include "sero-export.h"

G_BEGIN_DECLS

/* A new buffer with the digest, of the given checksum kind, of the
 * complete DER encoding of a SubjectPublicKeyInfo; its length goes to
 * n_fingerprint. NULL when the data is not one DER element. */
SERO_EXPORT guchar *sero_fingerprint_from_subject_public_key_info (const guchar *key_info,
                                                                   gsize n_key_info,
                                                                   GChecksumType checksum_type,
                                                                   gsize *n_fingerprint);

G_END_DECLS
