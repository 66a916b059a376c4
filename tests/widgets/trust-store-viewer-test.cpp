// The viewer, run inside this process under a private X server, over every
// certificate file of the system's trust store at once: every file gets a
// widget with the full set of sections, the fingerprints are the digests
// of the files' DER, and nothing is logged on the way.
#include <gtest/gtest.h>

#include <dirent.h>

#include <set>
#include <string>
#include <vector>

#include "certificate-view.h"
#include "process.h"
#include "sero-certificate-widget.h"
#include "sero-viewer-application.h"
#include "xvfb.h"

namespace {

std::vector<std::string> problems;

void record_log(const gchar *log_domain, GLogLevelFlags level, const gchar *message, gpointer) {
  if (level & (G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR))
    problems.push_back(std::string(log_domain ? log_domain : "") + ": " + message);
}

GLogWriterOutput record_structured(GLogLevelFlags level, const GLogField *fields, gsize n_fields, gpointer data) {
  if (level & (G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR)) {
    std::string text;
    for (gsize i = 0; i < n_fields; i++)
      if (std::string(fields[i].key) == "MESSAGE" && fields[i].value)
        text = fields[i].length < 0 ? static_cast<const char *>(fields[i].value)
                                    : std::string(static_cast<const char *>(fields[i].value), fields[i].length);
    problems.push_back(text);
  }
  return g_log_writer_default(level, fields, n_fields, data);
}

std::vector<std::string> trust_store_files() {
  const std::string folder = "/etc/ssl/certs";
  std::set<std::string> files;
  if (DIR *dir = opendir(folder.c_str())) {
    while (dirent *entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > 4 && name.substr(name.size() - 4) == ".pem") {
        if (char *real = realpath((folder + "/" + name).c_str(), nullptr)) {
          files.insert(real);
          free(real);
        }
      }
    }
    closedir(dir);
  }
  return {files.begin(), files.end()};
}

[[maybe_unused]] auto *xvfb_env = ::testing::AddGlobalTestEnvironment(new testsupport::XvfbEnvironment);

struct ViewerRun {
  int status = -1;
  std::vector<certview::Shown> widgets;
  std::vector<bool> has_certificate;
};

TEST(TrustStoreInTheViewer, EveryCertificateIsShownInFull) {
  const std::vector<std::string> files = trust_store_files();
  if (files.empty()) GTEST_SKIP() << "no certificates under /etc/ssl/certs";

  // No session bus, so this run is an instance of its own.
  g_setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/sero-sections-test-bus", TRUE);
  g_log_set_writer_func(record_structured, nullptr, nullptr);
  g_log_set_default_handler(record_log, nullptr);
  for (const char *d : {"Sero", "Gtk", "GLib", "GLib-GObject", "GLib-GIO", "Gdk"})
    g_log_set_handler(d, GLogLevelFlags(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL), record_log, nullptr);

  ViewerRun run;
  GtkApplication *app = sero_viewer_application_new();
  auto on_activate = +[](GtkApplication *application, gpointer data) {
    auto *r = static_cast<ViewerRun *>(data);
    GList *windows = gtk_application_get_windows(application);
    ASSERT_NE(windows, nullptr);
    GtkWidget *window = GTK_WIDGET(windows->data);
    // window > scrolled window > (viewport) > box of certificate widgets
    GtkWidget *inner = gtk_bin_get_child(GTK_BIN(gtk_bin_get_child(GTK_BIN(window))));
    if (GTK_IS_VIEWPORT(inner)) inner = gtk_bin_get_child(GTK_BIN(inner));
    for (GtkWidget *child : widgettest::children(inner)) {
      r->widgets.push_back(certview::read_widget(child));
      r->has_certificate.push_back(SERO_IS_CERTIFICATE_WIDGET(child) &&
                                   sero_certificate_widget_get_certificate(SERO_CERTIFICATE_WIDGET(child)));
    }
    gtk_widget_destroy(window);
  };
  g_signal_connect_after(app, "activate", G_CALLBACK(on_activate), &run);
  std::vector<std::string> args = {"sero-viewer-gtk3"};
  args.insert(args.end(), files.begin(), files.end());
  std::vector<char *> argv;
  for (auto &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  run.status = g_application_run(G_APPLICATION(app), int(argv.size() - 1), argv.data());
  g_object_unref(app);

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(problems, std::vector<std::string>{});
  ASSERT_EQ(run.widgets.size(), files.size());
  for (size_t i = 0; i < files.size(); i++) {
    SCOPED_TRACE(files[i]);
    const std::string der = certview::der_of_pem(testsupport::read_file(files[i])).value_or("");
    auto expected = certview::expected_from_der(certview::bytes_of(der));
    ASSERT_TRUE(expected.has_value());
    EXPECT_TRUE(run.has_certificate[i]);
    const certview::Shown &shown = run.widgets[i];
    ASSERT_EQ(shown.important.size(), 1u);
    EXPECT_EQ(shown.important[0].rows.size(), 3u) << shown.important[0];
    // The five fixed sections, one per extension, and the signature.
    ASSERT_EQ(shown.secondary.size(), 6 + expected->extensions);
    EXPECT_EQ(shown.secondary[3],
              (certview::Section{"Certificate Fingerprints", {{"SHA1", expected->sha1}, {"MD5", expected->md5}}}));
    EXPECT_EQ(shown.secondary.back().title, "Signature");
  }
}

}  // namespace
