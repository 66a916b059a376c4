// A titled group of caption and value rows: a heading above a framed
// list, all captions of one section sharing one width.
#pragma once

#include <gtk/gtk.h>

#include "sero-export.h"

G_BEGIN_DECLS

#define SERO_TYPE_SECTION (sero_section_get_type ())
#if GTK_CHECK_VERSION (4, 0, 0)
SERO_EXPORT
G_DECLARE_FINAL_TYPE (SeroSection, sero_section, SERO, SECTION, GtkWidget)
#else
SERO_EXPORT
G_DECLARE_FINAL_TYPE (SeroSection, sero_section, SERO, SECTION, GtkGrid)
#endif

/**
 * sero_section_new:
 * @title: (nullable): the heading
 */
SERO_EXPORT GtkWidget *sero_section_new (const gchar *title);
/* Appends a row with the caption and the child; the section takes the
 * child's floating reference. */
SERO_EXPORT void sero_section_add_child (SeroSection *self, const gchar *caption, GtkWidget *child);

G_END_DECLS
