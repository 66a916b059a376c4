// Files dropped on the viewer's window, as a file manager drops them: the
// window takes lists of URIs, and each dropped file gets a certificate
// widget below those of the command line. The application runs inside
// this process under a private X server; the dropped list is a real
// selection of type text/uri-list, converted through the X server.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "certificate-view.h"
#include "process.h"
#include "sero-certificate-widget.h"
#include "sero-viewer-application.h"
#include "xvfb.h"

namespace {

[[maybe_unused]] auto *xvfb_env = ::testing::AddGlobalTestEnvironment(new testsupport::XvfbEnvironment);

std::string fixture(const std::string &name) { return testsupport::data_path("sero/" + name); }

std::string uri_of(const std::string &path) {
  gchar *uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
  std::string out = uri ? uri : "";
  g_free(uri);
  return out;
}

// A selection holding the URIs as text/uri-list, the form in which a drop
// of files arrives; owned by the caller (gtk_selection_data_free).
GtkSelectionData *uri_list_selection(const std::vector<std::string> &uris) {
  GtkClipboard *clipboard =
      gtk_clipboard_get_for_display(gdk_display_get_default(), gdk_atom_intern_static_string("SERO_TEST_DROP"));
  GtkTargetList *list = gtk_target_list_new(nullptr, 0);
  gtk_target_list_add_uri_targets(list, 0);
  int n_targets = 0;
  GtkTargetEntry *targets = gtk_target_table_new_from_list(list, &n_targets);
  gtk_target_list_unref(list);

  auto *owned = new std::vector<std::string>(uris);
  auto provide = +[](GtkClipboard *, GtkSelectionData *data, guint, gpointer user_data) {
    const auto &items = *static_cast<std::vector<std::string> *>(user_data);
    std::vector<gchar *> strv;
    for (const auto &u : items) strv.push_back(const_cast<gchar *>(u.c_str()));
    strv.push_back(nullptr);
    gtk_selection_data_set_uris(data, strv.data());
  };
  auto clear = +[](GtkClipboard *, gpointer user_data) { delete static_cast<std::vector<std::string> *>(user_data); };
  EXPECT_TRUE(gtk_clipboard_set_with_data(clipboard, targets, n_targets, provide, clear, owned));
  gtk_target_table_free(targets, n_targets);

  GtkSelectionData *data = gtk_clipboard_wait_for_contents(clipboard, gdk_atom_intern_static_string("text/uri-list"));
  gtk_clipboard_clear(clipboard);
  return data;
}

bool accepts_uri_lists(GtkWidget *window) {
  GtkTargetList *targets = gtk_drag_dest_get_target_list(window);
  return targets && gtk_target_list_find(targets, gdk_atom_intern_static_string("text/uri-list"), nullptr);
}

struct Shown {
  bool has_certificate;
  std::string title;  // of the first section
  std::vector<certview::Row> rows;
  bool visible;
};

struct DropRun {
  bool accepts = false;
  std::vector<Shown> widgets;  // after the drop, top to bottom
  std::string err;             // what the viewer printed to standard error
};

std::string *printed = nullptr;

// Starts the viewer with the files on its command line, drops the URIs on
// its window and records what the window shows then.
DropRun drop_on_viewer(const std::vector<std::string> &files, const std::vector<std::string> &dropped) {
  DropRun run;
  struct State {
    DropRun *run;
    const std::vector<std::string> *dropped;
  } state = {&run, &dropped};
  GtkApplication *app = sero_viewer_application_new();
  auto on_activate = +[](GtkApplication *application, gpointer data) {
    auto *s = static_cast<State *>(data);
    GList *windows = gtk_application_get_windows(application);
    ASSERT_NE(windows, nullptr);
    GtkWidget *window = GTK_WIDGET(windows->data);
    s->run->accepts = accepts_uri_lists(window);
    EXPECT_EQ(gtk_drag_dest_get_track_motion(window), FALSE);

    GtkSelectionData *selection = uri_list_selection(*s->dropped);
    EXPECT_NE(selection, nullptr);
    if (selection) {
      g_signal_emit_by_name(window, "drag-data-received", static_cast<GdkDragContext *>(nullptr), 10, 10, selection,
                            0u, 0u);
      gtk_selection_data_free(selection);
    }

    GtkWidget *box = gtk_bin_get_child(GTK_BIN(gtk_bin_get_child(GTK_BIN(window))));
    if (GTK_IS_VIEWPORT(box)) box = gtk_bin_get_child(GTK_BIN(box));
    for (GtkWidget *child : widgettest::children(box)) {
      EXPECT_TRUE(SERO_IS_CERTIFICATE_WIDGET(child));
      EXPECT_EQ(gtk_widget_get_halign(child), GTK_ALIGN_CENTER);
      const auto shown = certview::read_widget(child);
      Shown w{sero_certificate_widget_get_certificate(SERO_CERTIFICATE_WIDGET(child)) != nullptr, "", {},
              gtk_widget_get_visible(child) != FALSE};
      if (!shown.important.empty()) {
        w.title = shown.important[0].title;
        w.rows = shown.important[0].rows;
      }
      s->run->widgets.push_back(w);
    }
    gtk_widget_destroy(window);
  };
  g_signal_connect_after(app, "activate", G_CALLBACK(on_activate), &state);

  std::vector<std::string> args = {"sero-viewer-gtk3"};
  args.insert(args.end(), files.begin(), files.end());
  std::vector<char *> argv;
  for (auto &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  printed = &run.err;
  GPrintFunc old = g_set_printerr_handler(+[](const gchar *text) { *printed += text; });
  EXPECT_EQ(g_application_run(G_APPLICATION(app), int(argv.size() - 1), argv.data()), 0);
  g_set_printerr_handler(old);
  printed = nullptr;
  g_object_unref(app);
  return run;
}

class ViewerDrop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/packaging-test-bus", TRUE);
  }
};

TEST_F(ViewerDrop, DroppedFilesAreShownBelowThoseOfTheCommandLine) {
  testsupport::TempDir dir;
  testsupport::write_file(dir / "notes.txt", "just some words\n");
  // A name that a URI must escape.
  testsupport::write_file(dir / "with space #1.pem", testsupport::read_file(fixture("ec-p256.pem")));
  const std::string missing = dir / "gone.pem";

  const DropRun run = drop_on_viewer(
      {fixture("rsa-2048.pem")},
      {uri_of(fixture("three.pem")), uri_of(dir / "with space #1.pem"), uri_of(missing), uri_of(dir / "notes.txt")});
  EXPECT_TRUE(run.accepts) << "the window takes no lists of files";

  struct Expected {
    bool has_certificate;
    std::string title;
  } expected[] = {
      {true, "RSA Test"},        // from the command line
      {true, "Third"},           // the last certificate of the dropped file
      {true, "EC P-256"},
      {false, "No certificate"},
      {false, "No certificate"},
  };
  ASSERT_EQ(run.widgets.size(), std::size(expected));
  for (size_t i = 0; i < run.widgets.size(); i++) {
    SCOPED_TRACE(i);
    EXPECT_EQ(run.widgets[i].has_certificate, expected[i].has_certificate);
    EXPECT_EQ(run.widgets[i].title, expected[i].title);
    EXPECT_TRUE(run.widgets[i].visible) << "added to a window already shown, but not shown itself";
  }
  // The files that show nothing say why, as on the command line.
  const std::vector<certview::Row> missing_rows = {
      {"File", missing}, {"Reason", "Error opening file " + missing + ": No such file or directory"}};
  EXPECT_EQ(run.widgets[3].rows, missing_rows);
  EXPECT_EQ(run.err, "sero-viewer-gtk3: " + missing + ": Error opening file " + missing +
                         ": No such file or directory\n"
                         "sero-viewer-gtk3: " + dir / "notes.txt" + ": The data holds no certificate\n");
}

TEST_F(ViewerDrop, AnEmptyListAddsNothing) {
  const DropRun run = drop_on_viewer({fixture("rsa-2048.pem")}, {});
  EXPECT_TRUE(run.accepts);
  ASSERT_EQ(run.widgets.size(), 1u);
  EXPECT_EQ(run.widgets[0].title, "RSA Test");
  EXPECT_EQ(run.err, "");
}

}  // namespace
