#include <glib.h>

// Precondition messages name the C function, as they do in C callers.
#undef G_STRFUNC
#define G_STRFUNC ((const char *) (__func__))

#include "sero-viewer-application.h"

#include <glib/gi18n.h>

#include <cstdlib>

#include "sero-certificate-widget.h"
#include "sero-section.h"

namespace {

constexpr char application_id[] = "org.varnet.SeroViewerGtk4";
constexpr char version[] = "3.90.0";

// The file names of the command line, until the first activation.
gchar **remaining_args = nullptr;

gboolean
print_version_and_exit (const gchar *, const gchar *, gpointer, GError **)
{
  g_print ("%s -- %s\n", gettext ("SERO Certificate Viewer"), version);
  std::exit (0);
}

const GOptionEntry options[] = {
  { "version", 0, G_OPTION_FLAG_NO_ARG, G_OPTION_ARG_CALLBACK,
    reinterpret_cast<gpointer> (print_version_and_exit), N_("Show the application's version"), nullptr },
  { G_OPTION_REMAINING, 0, 0, G_OPTION_ARG_FILENAME_ARRAY, &remaining_args, nullptr, "[file...]" },
  { nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr },
};

void
on_parser_parsed (SeroParser *parser, gpointer user_data)
{
  auto **slot = static_cast<SeroCertificate **> (user_data);
  TaboAttributes *attrs = sero_parser_get_parsed_attributes (parser);
  const TaboAttribute *value = attrs ? tabo_attributes_find (attrs, CKA_VALUE) : nullptr;
  // An item without a value (a key, say) gives nothing to show.
  if (!value || !value->value || value->length == 0)
    return;
  SeroCertificate *certificate = sero_simple_certificate_new (value->value, value->length);
  if (*slot)
    g_object_unref (*slot);
  *slot = certificate;
}

GtkWidget *
reason_label (const gchar *text)
{
  GtkWidget *label = gtk_label_new (text);
  gtk_label_set_selectable (GTK_LABEL (label), TRUE);
  gtk_label_set_line_wrap (GTK_LABEL (label), TRUE);
  gtk_label_set_xalign (GTK_LABEL (label), 1.0);
  gtk_widget_set_hexpand (label, TRUE);
  return label;
}

// Tells the user why a file shows no certificate: on standard error, and
// in the widget's own section for the missing certificate.
void
report_unloadable (GtkWidget *widget, GFile *file, const GError *error)
{
  g_autofree gchar *name = g_file_get_parse_name (file);
  const gchar *reason = error ? error->message : gettext ("The file holds no certificate");
  g_printerr ("%s: %s: %s\n", g_get_prgname (), name, reason);

  SeroSection *section = nullptr;
  GList *children = gtk_container_get_children (GTK_CONTAINER (widget));
  for (GList *l = children; l && !section; l = l->next)
    if (SERO_IS_SECTION (l->data))
      section = SERO_SECTION (l->data);
  g_list_free (children);
  if (!section) {
    section = SERO_SECTION (sero_section_new (gettext ("No certificate")));
    gtk_box_pack_start (GTK_BOX (widget), GTK_WIDGET (section), FALSE, TRUE, 0);
  }
  sero_section_add_child (section, gettext ("File"), reason_label (name));
  sero_section_add_child (section, gettext ("Reason"), reason_label (reason));
}

// Appends the widget for one file to the window's box: its certificate,
// or an empty widget that says why there is none.
GtkWidget *
append_file_widget (GtkWidget *box, GFile *file)
{
  GError *error = nullptr;
  SeroCertificate *certificate = simple_certificate_new_from_file (file, nullptr, &error);
  GtkWidget *widget = sero_certificate_widget_new (certificate);
  if (certificate)
    g_object_unref (certificate);
  else
    report_unloadable (widget, file, error);
  g_clear_error (&error);

  gtk_widget_set_halign (widget, GTK_ALIGN_CENTER);
  gtk_container_add (GTK_CONTAINER (box), widget);
  return widget;
}

// Files dropped on the window, as a list of URIs, get a widget each below
// the ones already shown.
void
on_drag_data_received (GtkWidget *, GdkDragContext *, gint, gint, GtkSelectionData *data, guint, guint,
                       gpointer box)
{
  g_auto (GStrv) uris = gtk_selection_data_get_uris (data);
  if (!uris)
    return;
  for (gchar **uri = uris; *uri; uri++) {
    g_autoptr (GFile) file = g_file_new_for_uri (*uri);
    gtk_widget_show_all (append_file_widget (GTK_WIDGET (box), file));
  }
}

void
activate (GtkApplication *application, gpointer)
{
  GtkWidget *window = gtk_application_window_new (application);
  gtk_window_set_title (GTK_WINDOW (window), "Window");
  gtk_window_set_default_size (GTK_WINDOW (window), 400, 300);

  GtkWidget *scrolled = gtk_scrolled_window_new (nullptr, nullptr);
  GtkWidget *box = gtk_box_new (GTK_ORIENTATION_VERTICAL, 12);
  g_object_set (scrolled, "child", box, NULL);
  GtkPolicyType horizontal, vertical;
  gtk_scrolled_window_get_policy (GTK_SCROLLED_WINDOW (scrolled), &horizontal, &vertical);
  gtk_scrolled_window_set_policy (GTK_SCROLLED_WINDOW (scrolled), GTK_POLICY_NEVER, vertical);

  if (remaining_args) {
    for (gchar **arg = remaining_args; *arg; arg++) {
      g_autoptr (GFile) file = g_file_new_for_commandline_arg (*arg);
      append_file_widget (box, file);
    }
  }
  g_clear_pointer (&remaining_args, g_strfreev);

  // GTK requests the data and finishes the drop itself.
  gtk_drag_dest_set (window, GTK_DEST_DEFAULT_ALL, nullptr, 0, GDK_ACTION_COPY);
  gtk_drag_dest_add_uri_targets (window);
  g_signal_connect (window, "drag-data-received", G_CALLBACK (on_drag_data_received), box);

  gtk_container_add (GTK_CONTAINER (window), scrolled);
  gtk_widget_show_all (window);
}

}  // namespace

SeroCertificate *
simple_certificate_new_from_file (GFile *file, GCancellable *cancellable, GError **error)
{
  g_return_val_if_fail (G_IS_FILE (file), NULL);
  g_return_val_if_fail (!error || !*error, NULL);

  GBytes *bytes = g_file_load_bytes (file, cancellable, nullptr, error);
  if (!bytes)
    return nullptr;

  SeroCertificate *certificate = nullptr;
  SeroParser *parser = sero_parser_new ();
  g_signal_connect (parser, "parsed", G_CALLBACK (on_parser_parsed), &certificate);
  const gboolean parsed = sero_parser_parse_bytes (parser, bytes, error);
  g_bytes_unref (bytes);
  g_object_unref (parser);

  if (!parsed) {
    g_clear_object (&certificate);
    return nullptr;
  }
  if (!certificate)
    g_set_error_literal (error, G_IO_ERROR, G_IO_ERROR_INVALID_DATA,
                         gettext ("The file holds no certificate"));
  return certificate;
}

GtkApplication *
sero_viewer_application_new (void)
{
  GtkApplication *application = gtk_application_new (application_id, G_APPLICATION_DEFAULT_FLAGS);
  g_application_add_main_option_entries (G_APPLICATION (application), options);
  g_signal_connect (application, "activate", G_CALLBACK (activate), nullptr);
  return application;
}
