#include "sero-private.h"

#include "sero-simple-certificate.h"

struct _SeroSimpleCertificate {
  GObject parent_instance;
  GBytes *der;
};

static void sero_simple_certificate_iface_init (SeroCertificateInterface *iface);

G_DEFINE_FINAL_TYPE_WITH_CODE (SeroSimpleCertificate, sero_simple_certificate, G_TYPE_OBJECT,
                               G_IMPLEMENT_INTERFACE (SERO_TYPE_CERTIFICATE,
                                                      sero_simple_certificate_iface_init))

static void
sero_simple_certificate_init (SeroSimpleCertificate *)
{
}

static void
sero_simple_certificate_finalize (GObject *object)
{
  auto *self = SERO_SIMPLE_CERTIFICATE (object);
  g_clear_pointer (&self->der, g_bytes_unref);
  G_OBJECT_CLASS (sero_simple_certificate_parent_class)->finalize (object);
}

static void
sero_simple_certificate_class_init (SeroSimpleCertificateClass *klass)
{
  G_OBJECT_CLASS (klass)->finalize = sero_simple_certificate_finalize;
}

static const guchar *
sero_simple_certificate_get_der_data (SeroCertificate *certificate, gsize *n_data)
{
  auto *self = SERO_SIMPLE_CERTIFICATE (certificate);
  return static_cast<const guchar *> (g_bytes_get_data (self->der, n_data));
}

static void
sero_simple_certificate_iface_init (SeroCertificateInterface *iface)
{
  iface->get_der_data = sero_simple_certificate_get_der_data;
}

SeroCertificate *
sero_simple_certificate_new (const guchar *data, gsize n_data)
{
  g_return_val_if_fail (data != NULL, NULL);
  g_return_val_if_fail (n_data > 0, NULL);

  auto *self = SERO_SIMPLE_CERTIFICATE (g_object_new (SERO_TYPE_SIMPLE_CERTIFICATE, NULL));
  self->der = g_bytes_new (data, n_data);
  return SERO_CERTIFICATE (self);
}
