// The GTK 4 side of the widgets: plain widgets with layout managers,
// children placed and removed by hand.
#include "sero-widgets-private.h"

#include "sero-gtk-shim.h"

namespace sero::shim {

void
show (GtkWidget *)
{
}

void
add_heading_classes (GtkWidget *label)
{
  add_style_class (label, "caption-heading");
}

void
add_style_class (GtkWidget *widget, const char *name)
{
  gtk_widget_add_css_class (widget, name);
}

void
set_row_child (GtkWidget *row, GtkWidget *child)
{
  gtk_list_box_row_set_child (GTK_LIST_BOX_ROW (row), child);
}

void
box_append (GtkWidget *box, GtkWidget *child)
{
  gtk_box_append (GTK_BOX (box), child);
}

void
list_box_append (GtkWidget *list_box, GtkWidget *row)
{
  gtk_list_box_insert (GTK_LIST_BOX (list_box), row, -1);
}

void
section_class_init (GtkWidgetClass *klass)
{
  gtk_widget_class_set_layout_manager_type (klass, GTK_TYPE_GRID_LAYOUT);
}

void
section_begin (GtkWidget *)
{
}

void
section_place (GtkWidget *section, GtkWidget *label, GtkWidget *frame)
{
  gtk_widget_set_parent (label, section);
  gtk_widget_insert_after (frame, section, label);
  GtkLayoutManager *layout = gtk_widget_get_layout_manager (section);
  GtkLayoutChild *child = gtk_layout_manager_get_layout_child (layout, frame);
  gtk_grid_layout_child_set_row (GTK_GRID_LAYOUT_CHILD (child), 1);
}

void
section_dispose (GtkWidget **label, GtkWidget **frame)
{
  g_clear_pointer (label, gtk_widget_unparent);
  g_clear_pointer (frame, gtk_widget_unparent);
}

void
certificate_widget_class_init (GtkWidgetClass *klass)
{
  gtk_widget_class_set_layout_manager_type (klass, GTK_TYPE_BOX_LAYOUT);
}

void
certificate_widget_begin (GtkWidget *widget)
{
  gtk_orientable_set_orientation (GTK_ORIENTABLE (gtk_widget_get_layout_manager (widget)),
                                  GTK_ORIENTATION_VERTICAL);
}

void
certificate_widget_place_button (GtkWidget *widget, GtkWidget *button)
{
  gtk_widget_insert_before (button, widget, NULL);
}

void
certificate_widget_place_revealer (GtkWidget *widget, GtkWidget *button, GtkWidget *revealer)
{
  gtk_widget_insert_after (revealer, widget, button);
}

void
certificate_widget_add_important (GtkWidget *widget, GtkWidget *button, GtkWidget *section)
{
  gtk_widget_insert_before (section, widget, button);
}

void
certificate_widget_finalize (GtkWidget *widget)
{
  while (GtkWidget *child = gtk_widget_get_first_child (widget))
    gtk_widget_unparent (child);
}

}  // namespace sero::shim
