// The GTK 3 side of the widgets: containers, packing, and showing what is
// created, since GTK 3 creates widgets hidden.
#include "sero-widgets-private.h"

#include "sero-gtk-shim.h"

namespace sero::shim {

void
show (GtkWidget *widget)
{
  gtk_widget_show (widget);
}

void
add_heading_classes (GtkWidget *label)
{
  add_style_class (label, "heading");
  add_style_class (label, "h4");
}

void
add_style_class (GtkWidget *widget, const char *name)
{
  gtk_style_context_add_class (gtk_widget_get_style_context (widget), name);
}

void
set_row_child (GtkWidget *row, GtkWidget *child)
{
  gtk_container_add (GTK_CONTAINER (row), child);
}

void
box_append (GtkWidget *box, GtkWidget *child)
{
  gtk_container_add (GTK_CONTAINER (box), child);
}

void
list_box_append (GtkWidget *list_box, GtkWidget *row)
{
  gtk_container_add (GTK_CONTAINER (list_box), row);
}

void
section_class_init (GtkWidgetClass *)
{
}

void
section_begin (GtkWidget *section)
{
  gtk_orientable_set_orientation (GTK_ORIENTABLE (section), GTK_ORIENTATION_VERTICAL);
}

void
section_place (GtkWidget *section, GtkWidget *label, GtkWidget *frame)
{
  gtk_container_add (GTK_CONTAINER (section), label);
  gtk_container_add (GTK_CONTAINER (section), frame);
}

void
section_dispose (GtkWidget **, GtkWidget **)
{
  // The grid destroys its children itself.
}

void
certificate_widget_class_init (GtkWidgetClass *)
{
}

void
certificate_widget_begin (GtkWidget *widget)
{
  gtk_orientable_set_orientation (GTK_ORIENTABLE (widget), GTK_ORIENTATION_VERTICAL);
}

void
certificate_widget_place_button (GtkWidget *widget, GtkWidget *button)
{
  gtk_box_pack_end (GTK_BOX (widget), button, FALSE, TRUE, 0);
  // Once hidden by a click, the button stays hidden even when the window
  // around it is shown again with all its children.
  gtk_widget_set_no_show_all (button, TRUE);
  gtk_widget_show (button);
}

void
certificate_widget_place_revealer (GtkWidget *widget, GtkWidget *, GtkWidget *revealer)
{
  // Packed after the button at the end, so it lies above the button.
  gtk_box_pack_end (GTK_BOX (widget), revealer, FALSE, TRUE, 0);
}

void
certificate_widget_add_important (GtkWidget *widget, GtkWidget *, GtkWidget *section)
{
  gtk_box_pack_start (GTK_BOX (widget), section, FALSE, TRUE, 0);
}

void
certificate_widget_finalize (GtkWidget *)
{
}

}  // namespace sero::shim
