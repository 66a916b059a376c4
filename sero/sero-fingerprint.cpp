#include "sero-private.h"

#include "sero-der.h"
#include "sero-fingerprint.h"

guchar *
sero_fingerprint_from_subject_public_key_info (const guchar *key_info, gsize n_key_info,
                                               GChecksumType checksum_type, gsize *n_fingerprint)
{
  g_return_val_if_fail (key_info != NULL || n_key_info == 0, NULL);
  g_return_val_if_fail (n_fingerprint != NULL, NULL);

  *n_fingerprint = 0;
  const gssize length = g_checksum_type_get_length (checksum_type);
  g_return_val_if_fail (length > 0, NULL);

  auto element = sero::der::read_only ({ key_info, n_key_info });
  if (!element || !element->is_sequence ())
    return NULL;

  GChecksum *checksum = g_checksum_new (checksum_type);
  g_checksum_update (checksum, key_info, n_key_info);
  auto *digest = static_cast<guchar *> (g_malloc (length));
  gsize n_digest = length;
  g_checksum_get_digest (checksum, digest, &n_digest);
  g_checksum_free (checksum);
  *n_fingerprint = n_digest;
  return digest;
}
