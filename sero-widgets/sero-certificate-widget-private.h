// What the certificate widget's sources share inside the library.
#pragma once

#include "sero-certificate-widget.h"
#include "sero-section.h"

G_BEGIN_DECLS

/* Adds a new section to the widget: among the always visible ones when
 * important, else among those behind the reveal button. Returns it,
 * owned by the widget. */
SeroSection *_sero_certificate_widget_add_section (SeroCertificateWidget *self, const gchar *title,
                                                   gboolean important);

/* Replaces the widget's certificate (a new reference is taken first, the
 * old one released) and notifies "certificate" when it changed. */
void _sero_certificate_widget_take_certificate (SeroCertificateWidget *self,
                                                SeroCertificate *certificate);

G_END_DECLS

/* A new label for one value: right-aligned, selectable, wrapping. NULL
 * gives an empty label. */
GtkWidget *create_value_label (const gchar *text);
