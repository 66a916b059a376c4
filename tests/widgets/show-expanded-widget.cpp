// Shows one certificate file in a certificate widget with its secondary
// sections already revealed, in a window of its own titled "Expanded
// certificate", until the window is closed or the process is stopped. The
// README's screenshot is taken of this window.
#include <gtk/gtk.h>

#include <string>

#include "sero-certificate-widget.h"
#include "sero.h"

namespace {

// The DER of the first certificate of a PEM file, or the file as it is.
std::string read_der(const char *path) {
  gchar *data = nullptr;
  gsize n = 0;
  if (!g_file_get_contents(path, &data, &n, nullptr)) return "";
  std::string text(data, n);
  g_free(data);
  const auto begin = text.find("-----BEGIN CERTIFICATE-----");
  if (begin == std::string::npos) return text;
  const auto start = text.find('\n', begin) + 1;
  const std::string body = text.substr(start, text.find("-----END", start) - start);
  guchar *raw = g_base64_decode(body.c_str(), &n);
  std::string der(reinterpret_cast<char *>(raw), n);
  g_free(raw);
  return der;
}

}  // namespace

int main(int argc, char **argv) {
  gtk_init(&argc, &argv);
  if (argc != 2) {
    g_printerr("usage: %s CERTIFICATE-FILE\n", argv[0]);
    return 2;
  }
  const std::string der = read_der(argv[1]);
  if (der.empty()) {
    g_printerr("%s: cannot read %s\n", argv[0], argv[1]);
    return 1;
  }
  g_object_set(gtk_settings_get_default(), "gtk-enable-animations", FALSE, NULL);

  SeroCertificate *certificate =
      sero_simple_certificate_new(reinterpret_cast<const guchar *>(der.data()), der.size());
  GtkWidget *widget = sero_certificate_widget_new(certificate);
  g_object_unref(certificate);

  GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "Expanded certificate");
  // A fixed width: the window's height is the widget's height at it.
  gtk_widget_set_size_request(widget, 560, -1);
  gtk_container_add(GTK_CONTAINER(window), widget);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);

  // Press the reveal button, as a user would.
  GList *children = gtk_container_get_children(GTK_CONTAINER(widget));
  for (GList *l = children; l; l = l->next)
    if (GTK_IS_BUTTON(l->data)) gtk_button_clicked(GTK_BUTTON(l->data));
  g_list_free(children);
  // Shrink the window to the revealed widget's natural height.
  while (gtk_events_pending()) gtk_main_iteration();
  gtk_window_resize(GTK_WINDOW(window), 1, 1);

  gtk_main();
  return 0;
}
