// Shows one certificate as a column of sections: the important ones
// always, the others behind a "…" button that slides them into view.
#pragma once

#include <gtk/gtk.h>

#include "sero-certificate.h"
#include "sero-export.h"

G_BEGIN_DECLS

#define SERO_TYPE_CERTIFICATE_WIDGET (sero_certificate_widget_get_type ())
#if GTK_CHECK_VERSION (4, 0, 0)
SERO_EXPORT
G_DECLARE_FINAL_TYPE (SeroCertificateWidget, sero_certificate_widget, SERO, CERTIFICATE_WIDGET, GtkWidget)
#else
SERO_EXPORT
G_DECLARE_FINAL_TYPE (SeroCertificateWidget, sero_certificate_widget, SERO, CERTIFICATE_WIDGET, GtkBox)
#endif

/**
 * sero_certificate_widget_new:
 * @certificate: (nullable): the certificate to show
 */
SERO_EXPORT GtkWidget *sero_certificate_widget_new (SeroCertificate *certificate);
/**
 * sero_certificate_widget_get_certificate:
 *
 * Returns: (transfer none) (nullable): the displayed certificate
 */
SERO_EXPORT SeroCertificate *sero_certificate_widget_get_certificate (SeroCertificateWidget *self);
/**
 * sero_certificate_widget_set_certificate:
 * @certificate: (nullable): the certificate to show
 *
 * Shows the certificate, appending its sections to those already shown.
 */
SERO_EXPORT void sero_certificate_widget_set_certificate (SeroCertificateWidget *self,
                                                          SeroCertificate *certificate);

G_END_DECLS
