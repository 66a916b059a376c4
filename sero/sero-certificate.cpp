#include "sero-private.h"

#include "sero-certificate.h"
#include "sero-x509.h"

G_DEFINE_INTERFACE (SeroCertificate, sero_certificate, G_TYPE_OBJECT)

static void
sero_certificate_default_init (SeroCertificateInterface *)
{
}

namespace {

std::optional<sero::x509::Certificate>
parsed (SeroCertificate *self)
{
  gsize n_data = 0;
  const guchar *data = sero_certificate_get_der_data (self, &n_data);
  if (!data)
    return std::nullopt;
  return sero::x509::parse ({ data, n_data });
}

}  // namespace

const guchar *
sero_certificate_get_der_data (SeroCertificate *self, gsize *n_data)
{
  g_return_val_if_fail (SERO_IS_CERTIFICATE (self), NULL);
  g_return_val_if_fail (n_data != NULL, NULL);

  *n_data = 0;
  auto *iface = SERO_CERTIFICATE_GET_IFACE (self);
  if (!iface->get_der_data)
    return NULL;
  const guchar *data = iface->get_der_data (self, n_data);
  if (!data || *n_data == 0) {
    *n_data = 0;
    return NULL;
  }
  return data;
}

gchar *
sero_certificate_get_subject_cn (SeroCertificate *self)
{
  g_return_val_if_fail (SERO_IS_CERTIFICATE (self), NULL);

  auto cert = parsed (self);
  if (!cert)
    return NULL;
  auto cn = sero::x509::name_part (cert->subject, "2.5.4.3");
  return cn ? g_strndup (cn->data (), cn->size ()) : NULL;
}

guint
sero_certificate_get_key_size (SeroCertificate *self)
{
  g_return_val_if_fail (SERO_IS_CERTIFICATE (self), 0);

  auto cert = parsed (self);
  return cert ? sero::x509::key_size (cert->spki) : 0;
}
