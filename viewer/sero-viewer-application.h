// The certificate viewer's application: its options, its window, and the
// loading of certificate files.
#pragma once

#include <gtk/gtk.h>

#include "sero.h"

G_BEGIN_DECLS

/* A new application with the viewer's id, options and activation. */
GtkApplication *sero_viewer_application_new (void);

/* Loads and parses the file; returns a new reference to the certificate
 * of the last item parsed, or NULL with error set. */
SeroCertificate *simple_certificate_new_from_file (GFile *file, GCancellable *cancellable,
                                                   GError **error);

G_END_DECLS
