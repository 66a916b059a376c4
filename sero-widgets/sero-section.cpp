#include "sero-widgets-private.h"

#include "sero-gtk-shim.h"
#include "sero-section.h"

#include <initializer_list>

struct _SeroSection {
  SeroSectionParent parent_instance;

  GtkWidget *frame;
  GtkWidget *label;
  GtkWidget *list_box;
  GtkSizeGroup *size_group;
};

enum {
  PROP_0,
  PROP_TITLE,
  N_PROPERTIES,
};

static GParamSpec *properties[N_PROPERTIES];

G_DEFINE_FINAL_TYPE (SeroSection, sero_section, sero_section_parent_type ())

namespace {

void
set_margins (GtkWidget *widget)
{
  gtk_widget_set_margin_start (widget, 12);
  gtk_widget_set_margin_end (widget, 12);
  gtk_widget_set_margin_top (widget, 8);
  gtk_widget_set_margin_bottom (widget, 8);
}

}  // namespace

static void
sero_section_init (SeroSection *self)
{
  GtkWidget *widget = GTK_WIDGET (self);
  sero::shim::section_begin (widget);

  self->label = gtk_label_new (NULL);
  set_margins (self->label);
  gtk_label_set_xalign (GTK_LABEL (self->label), 0.0);
  gtk_widget_set_halign (self->label, GTK_ALIGN_START);
  gtk_widget_set_hexpand (self->label, TRUE);
  sero::shim::add_heading_classes (self->label);

  self->list_box = gtk_list_box_new ();
  gtk_list_box_set_selection_mode (GTK_LIST_BOX (self->list_box), GTK_SELECTION_NONE);

  self->frame = gtk_frame_new (NULL);
  g_object_set (self->frame, "child", self->list_box, NULL);
  gtk_widget_set_hexpand (self->frame, TRUE);

  self->size_group = gtk_size_group_new (GTK_SIZE_GROUP_HORIZONTAL);

  sero::shim::section_place (widget, self->label, self->frame);
  for (GtkWidget *part : { self->label, self->list_box, self->frame })
    sero::shim::show (part);

  set_margins (widget);
}

static void
sero_section_get_property (GObject *object, guint property_id, GValue *value, GParamSpec *pspec)
{
  SeroSection *self = SERO_SECTION (object);

  switch (property_id) {
  case PROP_TITLE:
    g_value_set_string (value, gtk_label_get_text (GTK_LABEL (self->label)));
    break;
  default:
    _sero_warn_invalid_property (object, property_id, pspec, "sero-section");
    break;
  }
}

static void
sero_section_set_property (GObject *object, guint property_id, const GValue *value, GParamSpec *pspec)
{
  SeroSection *self = SERO_SECTION (object);

  switch (property_id) {
  case PROP_TITLE: {
    const gchar *title = g_value_get_string (value);
    gtk_label_set_text (GTK_LABEL (self->label), title ? title : "");
    break;
  }
  default:
    _sero_warn_invalid_property (object, property_id, pspec, "sero-section");
    break;
  }
}

static void
sero_section_dispose (GObject *object)
{
  SeroSection *self = SERO_SECTION (object);

  g_clear_object (&self->size_group);
  sero::shim::section_dispose (&self->label, &self->frame);

  G_OBJECT_CLASS (sero_section_parent_class)->dispose (object);
}

static void
sero_section_class_init (SeroSectionClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  _sero_widgets_init_i18n ();

  object_class->get_property = sero_section_get_property;
  object_class->set_property = sero_section_set_property;
  object_class->dispose = sero_section_dispose;

  properties[PROP_TITLE] =
    g_param_spec_string ("title", "Title", "The title of the section", NULL,
                         static_cast<GParamFlags> (G_PARAM_READWRITE | G_PARAM_CONSTRUCT |
                                                   G_PARAM_STATIC_STRINGS));
  g_object_class_install_properties (object_class, N_PROPERTIES, properties);

  sero::shim::section_class_init (GTK_WIDGET_CLASS (klass));
}

GtkWidget *
sero_section_new (const gchar *title)
{
  return GTK_WIDGET (g_object_new (SERO_TYPE_SECTION, "title", title, NULL));
}

void
sero_section_add_child (SeroSection *self, const gchar *caption, GtkWidget *child)
{
  g_return_if_fail (SERO_IS_SECTION (self));

  GtkWidget *row = gtk_list_box_row_new ();
  GtkWidget *box = gtk_box_new (GTK_ORIENTATION_HORIZONTAL, 12);
  sero::shim::set_row_child (row, box);

  GtkWidget *label = gtk_label_new (caption);
  gtk_label_set_xalign (GTK_LABEL (label), 0.0);
  set_margins (label);
  gtk_widget_set_halign (label, GTK_ALIGN_START);
  sero::shim::add_style_class (label, "caption");

  set_margins (child);
  gtk_widget_set_halign (child, GTK_ALIGN_END);

  gtk_size_group_add_widget (self->size_group, label);

  sero::shim::box_append (box, label);
  sero::shim::box_append (box, child);
  sero::shim::list_box_append (self->list_box, row);

  for (GtkWidget *part : { row, box, label, child })
    sero::shim::show (part);
}
