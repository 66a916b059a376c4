// The viewer in a German locale: the captions and titles of the
// certificate widgets it shows come from the build tree's "sero-4"
// catalogue. The application runs inside this process under a private X
// server; the locale is set before GTK starts.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "certificate-view.h"
#include "german-locale.h"
#include "process.h"
#include "sero-certificate-widget.h"
#include "sero-viewer-application.h"
#include "xvfb.h"

namespace {

packagingtest::GermanLocale *german = nullptr;

// Makes the locale and switches this process to it before any test, and
// so before GTK reads the locale and the widget library binds its domain.
class GermanEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    german = new packagingtest::GermanLocale;
    if (german->ok()) german->apply();
    g_setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/packaging-test-bus", TRUE);
  }
  void TearDown() override {
    delete german;
    german = nullptr;
  }
};

[[maybe_unused]] auto *german_env = ::testing::AddGlobalTestEnvironment(new GermanEnvironment);
[[maybe_unused]] auto *xvfb_env = ::testing::AddGlobalTestEnvironment(new testsupport::XvfbEnvironment);

// What each certificate widget of the viewer's window shows.
std::vector<certview::Shown> run_viewer(const std::vector<std::string> &files) {
  std::vector<certview::Shown> shown;
  GtkApplication *app = sero_viewer_application_new();
  auto on_activate = +[](GtkApplication *application, gpointer data) {
    auto *out = static_cast<std::vector<certview::Shown> *>(data);
    GList *windows = gtk_application_get_windows(application);
    ASSERT_NE(windows, nullptr);
    GtkWidget *window = GTK_WIDGET(windows->data);
    GtkWidget *box = gtk_bin_get_child(GTK_BIN(gtk_bin_get_child(GTK_BIN(window))));
    if (GTK_IS_VIEWPORT(box)) box = gtk_bin_get_child(GTK_BIN(box));
    for (GtkWidget *child : widgettest::children(box))
      if (SERO_IS_CERTIFICATE_WIDGET(child)) out->push_back(certview::read_widget(child));
    gtk_widget_destroy(window);
  };
  g_signal_connect_after(app, "activate", G_CALLBACK(on_activate), &shown);
  std::vector<std::string> args = {"sero-viewer-gtk3"};
  args.insert(args.end(), files.begin(), files.end());
  std::vector<char *> argv;
  for (auto &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The viewer reports the file it cannot load on standard error.
  GPrintFunc old = g_set_printerr_handler(+[](const gchar *) {});
  EXPECT_EQ(g_application_run(G_APPLICATION(app), int(argv.size() - 1), argv.data()), 0);
  g_set_printerr_handler(old);
  g_object_unref(app);
  return shown;
}

std::vector<std::string> captions(const certview::Section &section) {
  std::vector<std::string> out;
  for (const auto &row : section.rows) out.push_back(row.caption);
  return out;
}

std::vector<std::string> titles(const std::vector<certview::Section> &sections) {
  std::vector<std::string> out;
  for (const auto &s : sections) out.push_back(s.title);
  return out;
}

TEST(ViewerInGerman, CaptionsAndTitlesAreTranslated) {
  ASSERT_TRUE(german->ok()) << "no German locale: " << german->why();
  const auto shown = run_viewer({testsupport::data_path("widgets/certs/server.der"), "/nonexistent/cert.pem"});
  ASSERT_EQ(shown.size(), 2u);

  const auto &server = shown[0];
  ASSERT_EQ(server.important.size(), 1u);
  EXPECT_EQ(server.important[0].title, "www.example.test");
  EXPECT_EQ(captions(server.important[0]),
            (std::vector<std::string>{"Identität", "Bestätigt durch", "Läuft ab"}));
  EXPECT_EQ(titles(server.secondary),
            (std::vector<std::string>{"Name des Inhabers", "Name des Ausstellers", "Ausgestelltes Zertifikat",
                                      "Fingerabdrücke des Zertifikats", "Angaben zum öffentlichen Schlüssel",
                                      "Basiseinschränkungen", "Schlüsselverwendung",
                                      "Erweiterte Schlüsselverwendung", "Schlüsselkennung des Inhabers",
                                      "Alternative Namen des Inhabers", "Erweiterung", "Signatur"}));
  ASSERT_GE(server.secondary.size(), 3u);
  EXPECT_EQ(captions(server.secondary[2]),
            (std::vector<std::string>{"Version", "Seriennummer", "Nicht gültig vor", "Nicht gültig nach"}));
  // Values the widget library translates as well: key usages and names of
  // algorithms and attributes.
  const auto &usage = server.secondary[6];
  ASSERT_FALSE(usage.rows.empty());
  EXPECT_EQ(usage.rows[0].value, "Digitale Signatur\nSchlüsselverschlüsselung");
  EXPECT_EQ(server.secondary[4].rows.at(0).value, "Elliptische Kurve");
  EXPECT_EQ(server.secondary[0].rows.at(1).caption, "O (Organisation)");

  // The widget for the file that could not be loaded has the library's
  // translated title.
  const auto &missing = shown[1];
  ASSERT_FALSE(missing.important.empty());
  EXPECT_EQ(missing.important[0].title, "Kein Zertifikat");
}

}  // namespace
