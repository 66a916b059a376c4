// A certificate that holds its own copy of a DER encoding.
#pragma once

#include "sero-certificate.h"

G_BEGIN_DECLS

#define SERO_TYPE_SIMPLE_CERTIFICATE (sero_simple_certificate_get_type ())
SERO_EXPORT
G_DECLARE_FINAL_TYPE (SeroSimpleCertificate, sero_simple_certificate, SERO, SIMPLE_CERTIFICATE, GObject)

/**
 * sero_simple_certificate_new:
 * @data: (array length=n_data): a DER encoding, copied
 * @n_data: the length of @data
 *
 * Returns: (transfer full): a new certificate holding a copy of the bytes
 */
SERO_EXPORT SeroCertificate *sero_simple_certificate_new (const guchar *data, gsize n_data);

G_END_DECLS
