// Filling the certificate widget from its certificate.
#include "sero-widgets-private.h"

#include "sero-certificate-widget-private.h"

void
sero_certificate_widget_set_certificate (SeroCertificateWidget *self, SeroCertificate *certificate)
{
  g_return_if_fail (SERO_IS_CERTIFICATE_WIDGET (self));
  g_return_if_fail (certificate == NULL || SERO_IS_CERTIFICATE (certificate));

  _sero_certificate_widget_take_certificate (self, certificate);

  gsize n_der = 0;
  const guchar *der = certificate ? sero_certificate_get_der_data (certificate, &n_der) : NULL;
  if (!der) {
    _sero_certificate_widget_take_certificate (self, NULL);
    _sero_certificate_widget_add_section (self, _("No certificate"), TRUE);
    return;
  }

  g_autofree gchar *cn = sero_certificate_get_subject_cn (certificate);
  _sero_certificate_widget_add_section (self, cn ? cn : _("Certificate"), TRUE);
}
