#include "sero-widgets-private.h"

#include "sero-certificate-widget-private.h"
#include "sero-gtk-shim.h"

#include <initializer_list>

struct _SeroCertificateWidget {
  SeroCertificateWidgetParent parent_instance;

  SeroCertificate *certificate;
  GtkWidget *reveal_button;
  GtkWidget *revealer;
  GtkWidget *secondary_box;
  GtkSizeGroup *size_group;
};

enum {
  PROP_0,
  PROP_CERTIFICATE,
  N_PROPERTIES,
};

static GParamSpec *properties[N_PROPERTIES];

G_DEFINE_FINAL_TYPE (SeroCertificateWidget, sero_certificate_widget,
                     sero_certificate_widget_parent_type ())

static void
on_reveal_button_clicked (GtkWidget *button, gpointer user_data)
{
  SeroCertificateWidget *self = static_cast<SeroCertificateWidget *> (user_data);
  g_assert (SERO_IS_CERTIFICATE_WIDGET (self));

  gtk_widget_set_visible (button, FALSE);
  gtk_revealer_set_reveal_child (GTK_REVEALER (self->revealer), TRUE);
}

static void
sero_certificate_widget_init (SeroCertificateWidget *self)
{
  GtkWidget *widget = GTK_WIDGET (self);
  sero::shim::certificate_widget_begin (widget);

  self->reveal_button = gtk_button_new_with_label ("\u2026");
  gtk_widget_set_halign (self->reveal_button, GTK_ALIGN_CENTER);
  sero::shim::certificate_widget_place_button (widget, self->reveal_button);

  self->secondary_box = gtk_box_new (GTK_ORIENTATION_VERTICAL, 0);
  self->revealer = GTK_WIDGET (g_object_new (GTK_TYPE_REVEALER,
                                             "child", self->secondary_box,
                                             "transition-type", GTK_REVEALER_TRANSITION_TYPE_SLIDE_DOWN,
                                             NULL));
  sero::shim::certificate_widget_place_revealer (widget, self->reveal_button, self->revealer);
  for (GtkWidget *part : { self->secondary_box, self->revealer })
    sero::shim::show (part);

  g_signal_connect (self->reveal_button, "clicked", G_CALLBACK (on_reveal_button_clicked), self);

  self->size_group = gtk_size_group_new (GTK_SIZE_GROUP_HORIZONTAL);
}

static void
sero_certificate_widget_get_property (GObject *object, guint property_id, GValue *value,
                                      GParamSpec *pspec)
{
  SeroCertificateWidget *self = SERO_CERTIFICATE_WIDGET (object);

  switch (property_id) {
  case PROP_CERTIFICATE:
    g_value_set_object (value, self->certificate);
    break;
  default:
    _sero_warn_invalid_property (object, property_id, pspec, "sero-certificate-widget");
    break;
  }
}

static void
sero_certificate_widget_set_property (GObject *object, guint property_id, const GValue *value,
                                      GParamSpec *pspec)
{
  SeroCertificateWidget *self = SERO_CERTIFICATE_WIDGET (object);

  switch (property_id) {
  case PROP_CERTIFICATE:
    sero_certificate_widget_set_certificate (self, SERO_CERTIFICATE (g_value_get_object (value)));
    break;
  default:
    _sero_warn_invalid_property (object, property_id, pspec, "sero-certificate-widget");
    break;
  }
}

static void
sero_certificate_widget_dispose (GObject *object)
{
  SeroCertificateWidget *self = SERO_CERTIFICATE_WIDGET (object);

  g_clear_object (&self->certificate);

  G_OBJECT_CLASS (sero_certificate_widget_parent_class)->dispose (object);
}

static void
sero_certificate_widget_finalize (GObject *object)
{
  SeroCertificateWidget *self = SERO_CERTIFICATE_WIDGET (object);

  g_clear_object (&self->size_group);
  sero::shim::certificate_widget_finalize (GTK_WIDGET (self));

  G_OBJECT_CLASS (sero_certificate_widget_parent_class)->finalize (object);
}

static void
sero_certificate_widget_class_init (SeroCertificateWidgetClass *klass)
{
  GObjectClass *object_class = G_OBJECT_CLASS (klass);

  _sero_widgets_init_i18n ();

  object_class->get_property = sero_certificate_widget_get_property;
  object_class->set_property = sero_certificate_widget_set_property;
  object_class->dispose = sero_certificate_widget_dispose;
  object_class->finalize = sero_certificate_widget_finalize;

  properties[PROP_CERTIFICATE] =
    g_param_spec_object ("certificate", "Certificate", "Certificate to display.",
                         SERO_TYPE_CERTIFICATE,
                         static_cast<GParamFlags> (G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS));
  g_object_class_install_properties (object_class, N_PROPERTIES, properties);

  sero::shim::certificate_widget_class_init (GTK_WIDGET_CLASS (klass));
}

GtkWidget *
sero_certificate_widget_new (SeroCertificate *certificate)
{
  return GTK_WIDGET (g_object_new (SERO_TYPE_CERTIFICATE_WIDGET, "certificate", certificate, NULL));
}

SeroCertificate *
sero_certificate_widget_get_certificate (SeroCertificateWidget *self)
{
  g_return_val_if_fail (SERO_IS_CERTIFICATE_WIDGET (self), NULL);
  return self->certificate;
}

void
_sero_certificate_widget_take_certificate (SeroCertificateWidget *self, SeroCertificate *certificate)
{
  if (self->certificate == certificate)
    return;
  if (certificate)
    g_object_ref (certificate);
  g_clear_object (&self->certificate);
  self->certificate = certificate;
  g_object_notify_by_pspec (G_OBJECT (self), properties[PROP_CERTIFICATE]);
}

SeroSection *
_sero_certificate_widget_add_section (SeroCertificateWidget *self, const gchar *title,
                                      gboolean important)
{
  g_assert (SERO_IS_CERTIFICATE_WIDGET (self));

  GtkWidget *section = sero_section_new (title);
  gtk_size_group_add_widget (self->size_group, section);
  if (important)
    sero::shim::certificate_widget_add_important (GTK_WIDGET (self), self->reveal_button, section);
  else
    sero::shim::box_append (self->secondary_box, section);
  sero::shim::show (section);
  return SERO_SECTION (section);
}

GtkWidget *
create_value_label (const gchar *text)
{
  GtkWidget *label = GTK_WIDGET (g_object_new (GTK_TYPE_LABEL,
                                               "label", text ? text : "",
                                               "xalign", 1.0,
                                               "halign", GTK_ALIGN_END,
                                               "hexpand", TRUE,
                                               "selectable", TRUE,
                                               "wrap", TRUE,
                                               NULL));
  sero::shim::show (label);
  return label;
}
