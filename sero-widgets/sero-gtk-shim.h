// What differs between the GTK 3 and the GTK 4 build of the widgets. Each
// library's folder implements these functions for its GTK version; the
// widget sources call only these where the versions part ways.
#pragma once

#include <gtk/gtk.h>

#if GTK_CHECK_VERSION (4, 0, 0)
using SeroSectionParent = GtkWidget;
using SeroCertificateWidgetParent = GtkWidget;
inline GType sero_section_parent_type () { return GTK_TYPE_WIDGET; }
inline GType sero_certificate_widget_parent_type () { return GTK_TYPE_WIDGET; }
#else
using SeroSectionParent = GtkGrid;
using SeroCertificateWidgetParent = GtkBox;
inline GType sero_section_parent_type () { return GTK_TYPE_GRID; }
inline GType sero_certificate_widget_parent_type () { return GTK_TYPE_BOX; }
#endif

namespace sero::shim {

// GTK 3 creates widgets hidden; this shows one there and does nothing in
// GTK 4, where widgets are visible from the start.
void show (GtkWidget *widget);

// Style classes of a section's title label.
void add_heading_classes (GtkWidget *label);
void add_style_class (GtkWidget *widget, const char *name);

// Makes child the only child of a list-box row.
void set_row_child (GtkWidget *row, GtkWidget *child);
// Appends a child to a box.
void box_append (GtkWidget *box, GtkWidget *child);
// Appends a row at the end of a list box.
void list_box_append (GtkWidget *list_box, GtkWidget *row);

// Section: class set-up (the layout), the first construction step, the
// placing of title and frame, and the parts of disposal the version needs.
void section_class_init (GtkWidgetClass *klass);
void section_begin (GtkWidget *section);
void section_place (GtkWidget *section, GtkWidget *label, GtkWidget *frame);
void section_dispose (GtkWidget **label, GtkWidget **frame);

// Certificate widget: class set-up, the vertical layout, placing the
// reveal button and the revealer, an important section, and the removal of
// remaining children at finalization.
void certificate_widget_class_init (GtkWidgetClass *klass);
void certificate_widget_begin (GtkWidget *widget);
void certificate_widget_place_button (GtkWidget *widget, GtkWidget *button);
void certificate_widget_place_revealer (GtkWidget *widget, GtkWidget *button, GtkWidget *revealer);
void certificate_widget_add_important (GtkWidget *widget, GtkWidget *button, GtkWidget *section);
void certificate_widget_finalize (GtkWidget *widget);

}  // namespace sero::shim
