// The certificate interface: anything that can hand out the DER encoding
// of one X.509 certificate. Names and key sizes are read from that DER.
#pragma once

#include <glib-object.h>

#include "sero-export.h"

G_BEGIN_DECLS

#define SERO_TYPE_CERTIFICATE (sero_certificate_get_type ())
SERO_EXPORT
G_DECLARE_INTERFACE (SeroCertificate, sero_certificate, SERO, CERTIFICATE, GObject)

struct _SeroCertificateInterface {
  GTypeInterface parent_iface;

  /* The DER encoding (borrowed, owned by the certificate) or NULL. */
  const guchar *(*get_der_data) (SeroCertificate *self, gsize *n_data);
};

/**
 * sero_certificate_get_der_data:
 * @n_data: (out): the length of the encoding
 *
 * Returns: (transfer none) (array length=n_data) (nullable): the DER
 *   encoding, owned by the certificate
 */
SERO_EXPORT const guchar *sero_certificate_get_der_data (SeroCertificate *self, gsize *n_data);
/**
 * sero_certificate_get_subject_cn:
 *
 * Returns: (transfer full) (nullable): a new string with the first common
 *   name of the subject
 */
SERO_EXPORT gchar *sero_certificate_get_subject_cn (SeroCertificate *self);
/* Size of the subject's public key in bits, 0 when unknown. */
SERO_EXPORT guint sero_certificate_get_key_size (SeroCertificate *self);

G_END_DECLS
