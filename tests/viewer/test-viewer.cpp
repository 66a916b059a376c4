// The certificate viewer: its command line without a display, and its
// window for various sets of files, run inside this process under a
// private X server.
#include <gtest/gtest.h>

#include <gio/gio.h>
#include <glib/gstdio.h>

#include <csignal>
#include <map>
#include <optional>

#include <string>
#include <utility>
#include <vector>

#include "process.h"
#include "sero-certificate-widget.h"
#include "sero-section.h"
#include "sero-viewer-application.h"
#include "xvfb.h"

namespace {

const std::string viewer = testsupport::build_path("viewer/sero-viewer-gtk3");

std::string fixture(const std::string &name) { return testsupport::data_path("sero/" + name); }
// The sample certificates that ship with the viewer and that the demo shows.
std::string sample(const std::string &name) { return testsupport::data_path("../../viewer/samples/" + name); }

// No session bus: every run is an instance of its own, so parallel tests
// never hand their files to one another.
const std::map<std::string, std::optional<std::string>> isolated = {
    {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/sero-viewer-test-bus"},
};

TEST(ViewerCommandLine, VersionPrintsOneLineAndExitsWithoutADisplay) {
  const std::vector<std::vector<std::string>> cases = {
      {"--version"},
      {"--version", fixture("rsa-2048.pem")},
      {fixture("rsa-2048.pem"), "--version"},
      {"/nonexistent/file.pem", "--version", "another"},
  };
  for (const auto &args : cases) {
    std::vector<std::string> argv = {viewer};
    argv.insert(argv.end(), args.begin(), args.end());
    testsupport::RunOptions opts;
    opts.env = isolated;
    opts.env["DISPLAY"] = std::nullopt;
    opts.env["WAYLAND_DISPLAY"] = std::nullopt;
    opts.env["LANGUAGE"] = std::nullopt;
    auto outcome = testsupport::run(argv, opts);
    SCOPED_TRACE(args.front());
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "SERO Certificate Viewer -- 3.90.0\n");
    EXPECT_EQ(outcome.err, "");
  }
}

TEST(ViewerCommandLine, HelpNamesTheFileArguments) {
  testsupport::RunOptions opts;
  opts.env = isolated;
  opts.env["DISPLAY"] = std::nullopt;
  auto outcome = testsupport::run({viewer, "--help"}, opts);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("sero-viewer-gtk3 [OPTION\xe2\x80\xa6] [file...]"), std::string::npos) << outcome.out;
  EXPECT_NE(outcome.out.find("--version"), std::string::npos);
  EXPECT_NE(outcome.out.find("Show the application's version"), std::string::npos);
}

TEST(ViewerCommandLine, UnknownOptionFailsBeforeAnyWindow) {
  testsupport::RunOptions opts;
  opts.env = isolated;
  opts.env["DISPLAY"] = std::nullopt;
  opts.env["LANGUAGE"] = std::nullopt;
  auto outcome = testsupport::run({viewer, "--bogus", fixture("rsa-2048.pem")}, opts);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_NE(outcome.err.find("--bogus"), std::string::npos) << outcome.err;
}

// What one window of the viewer shows.
struct WidgetView {
  GtkAlign halign = GTK_ALIGN_FILL;
  bool has_certificate = false;
  guint certificate_refs = 0;  // the widget's own reference should be the only one
  bool shown = false;
  std::vector<std::string> sections;                          // titles, top to bottom
  std::vector<std::pair<std::string, std::string>> rows;       // of the first section
};
struct WindowView {
  std::string title;
  bool shown = false;
  int width = 0, height = 0;
  GtkPolicyType hpolicy = GTK_POLICY_ALWAYS, vpolicy = GTK_POLICY_NEVER;
  int spacing = -1;
  std::vector<WidgetView> widgets;
};

std::vector<GtkWidget *> kids(GtkWidget *container) {
  std::vector<GtkWidget *> out;
  GList *list = gtk_container_get_children(GTK_CONTAINER(container));
  for (GList *l = list; l; l = l->next) out.push_back(GTK_WIDGET(l->data));
  g_list_free(list);
  return out;
}

std::string label_of(GtkWidget *label) { return gtk_label_get_text(GTK_LABEL(label)); }

WidgetView view_of(GtkWidget *widget) {
  WidgetView view;
  view.halign = gtk_widget_get_halign(widget);
  SeroCertificate *certificate = sero_certificate_widget_get_certificate(SERO_CERTIFICATE_WIDGET(widget));
  view.has_certificate = certificate != nullptr;
  if (certificate) view.certificate_refs = G_OBJECT(certificate)->ref_count;
  view.shown = gtk_widget_get_visible(widget);
  for (GtkWidget *child : kids(widget)) {
    if (!SERO_IS_SECTION(child)) continue;
    gchar *title = nullptr;
    g_object_get(child, "title", &title, NULL);
    view.sections.push_back(title);
    g_free(title);
    if (view.sections.size() > 1) continue;
    // The section's grid holds its heading and the frame around the rows.
    for (GtkWidget *part : kids(child)) {
      if (!GTK_IS_FRAME(part)) continue;
      for (GtkWidget *row : kids(gtk_bin_get_child(GTK_BIN(part)))) {
        auto cells = kids(gtk_bin_get_child(GTK_BIN(row)));
        view.rows.emplace_back(label_of(cells.at(0)), label_of(cells.at(1)));
      }
    }
  }
  return view;
}

WindowView view_of_window(GtkWindow *window) {
  WindowView view;
  view.title = gtk_window_get_title(window);
  view.shown = gtk_widget_get_visible(GTK_WIDGET(window));
  gtk_window_get_default_size(window, &view.width, &view.height);
  GtkWidget *scrolled = gtk_bin_get_child(GTK_BIN(window));
  EXPECT_TRUE(GTK_IS_SCROLLED_WINDOW(scrolled));
  gtk_scrolled_window_get_policy(GTK_SCROLLED_WINDOW(scrolled), &view.hpolicy, &view.vpolicy);
  GtkWidget *box = gtk_bin_get_child(GTK_BIN(scrolled));
  if (GTK_IS_VIEWPORT(box)) box = gtk_bin_get_child(GTK_BIN(box));
  EXPECT_TRUE(GTK_IS_BOX(box));
  EXPECT_EQ(gtk_orientable_get_orientation(GTK_ORIENTABLE(box)), GTK_ORIENTATION_VERTICAL);
  view.spacing = gtk_box_get_spacing(GTK_BOX(box));
  for (GtkWidget *child : kids(box)) {
    EXPECT_TRUE(SERO_IS_CERTIFICATE_WIDGET(child));
    view.widgets.push_back(view_of(child));
  }
  return view;
}

struct ViewerRun {
  int status = -1;
  std::vector<WindowView> windows;  // one per activation, in order
  std::string err;                  // what the viewer printed to standard error
};

std::string *printed = nullptr;
void capture_printerr(const gchar *text) { *printed += text; }

// Runs the application in this process with the arguments; each
// activation's window is recorded and closed. With activations > 1, the
// first activation activates the running application again.
ViewerRun run_viewer(const std::vector<std::string> &args, int activations = 1) {
  ViewerRun run;
  struct State {
    ViewerRun *run;
    int activations;
    GtkApplication *app;
  } state = {&run, activations, nullptr};

  printed = &run.err;
  GPrintFunc old = g_set_printerr_handler(capture_printerr);
  GtkApplication *app = sero_viewer_application_new();
  state.app = app;
  auto on_activate = +[](GtkApplication *application, gpointer data) {
    auto *s = static_cast<State *>(data);
    GtkWindow *window = gtk_application_get_active_window(application);
    GList *windows = gtk_application_get_windows(application);
    if (windows) window = GTK_WINDOW(windows->data);  // the newest
    ASSERT_NE(window, nullptr);
    s->run->windows.push_back(view_of_window(window));
    if (int(s->run->windows.size()) < s->activations) g_application_activate(G_APPLICATION(application));
    gtk_widget_destroy(GTK_WIDGET(window));
  };
  g_signal_connect_after(app, "activate", G_CALLBACK(on_activate), &state);

  std::vector<std::string> argv_strings = {"sero-viewer-gtk3"};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<char *> argv;
  for (auto &s : argv_strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  run.status = g_application_run(G_APPLICATION(app), int(argv.size() - 1), argv.data());
  g_object_unref(app);
  g_set_printerr_handler(old);
  printed = nullptr;
  return run;
}

class Viewer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/sero-viewer-test-bus", TRUE);
  }
};

[[maybe_unused]] auto *xvfb_env = ::testing::AddGlobalTestEnvironment(new testsupport::XvfbEnvironment);

TEST_F(Viewer, NoFilesGiveAnEmptyWindow) {
  ViewerRun run = run_viewer({});
  EXPECT_EQ(run.status, 0);
  ASSERT_EQ(run.windows.size(), 1u);
  const WindowView &w = run.windows[0];
  EXPECT_EQ(w.title, "Window");
  EXPECT_TRUE(w.shown);
  EXPECT_EQ(w.width, 400);
  EXPECT_EQ(w.height, 300);
  EXPECT_EQ(w.hpolicy, GTK_POLICY_NEVER);
  EXPECT_EQ(w.vpolicy, GTK_POLICY_AUTOMATIC);
  EXPECT_EQ(w.spacing, 12);
  EXPECT_TRUE(w.widgets.empty());
  EXPECT_EQ(run.err, "");
}

TEST_F(Viewer, OneCentredWidgetPerFileInCommandLineOrder) {
  struct Case {
    const char *what;
    std::vector<std::string> files;
    std::vector<std::string> titles;  // title of each widget's first section
  } cases[] = {
      {"one file", {fixture("rsa-2048.pem")}, {"RSA Test"}},
      {"three files", {fixture("ec-p384.pem"), fixture("rsa-2048.der"), fixture("dsa-2048.pem")},
       {"EC P-384", "RSA Test", "DSA 2048"}},
      {"several certificates in one file show the last", {fixture("three.pem")}, {"Third"}},
      {"a subject without a common name", {fixture("no-cn.pem")}, {"Certificate"}},
      {"the bundled samples, a chain showing its leaf", {sample("sample.pem"), sample("chain.pem")},
       {"Sample Certificate", "Sample Leaf"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    ViewerRun run = run_viewer(c.files);
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(run.windows.size(), 1u);
    const auto &widgets = run.windows[0].widgets;
    ASSERT_EQ(widgets.size(), c.titles.size());
    for (size_t i = 0; i < widgets.size(); i++) {
      EXPECT_EQ(widgets[i].halign, GTK_ALIGN_CENTER);
      EXPECT_TRUE(widgets[i].shown);
      EXPECT_TRUE(widgets[i].has_certificate);
      EXPECT_EQ(widgets[i].certificate_refs, 1u) << "the viewer kept a reference of its own";
      ASSERT_FALSE(widgets[i].sections.empty());
      EXPECT_EQ(widgets[i].sections[0], c.titles[i]);
    }
    EXPECT_EQ(run.err, "");
  }
}

TEST_F(Viewer, FilesWithoutACertificateGiveAWidgetThatSaysWhy) {
  testsupport::TempDir dir;
  testsupport::write_file(dir / "notes.txt", "just some words\n");
  const std::string missing = dir / "missing.pem";
  ViewerRun run = run_viewer({fixture("rsa-2048.pem"), missing, dir / "notes.txt", fixture("public-key.pem"),
                        fixture("ec-p256.pem")});
  EXPECT_EQ(run.status, 0);
  ASSERT_EQ(run.windows.size(), 1u);
  const auto &widgets = run.windows[0].widgets;
  ASSERT_EQ(widgets.size(), 5u);
  EXPECT_EQ(widgets[0].sections.at(0), "RSA Test");
  EXPECT_EQ(widgets[4].sections.at(0), "EC P-256");

  const std::string missing_reason = "Error opening file " + missing + ": No such file or directory";
  struct Expected {
    std::string file, reason;
  } failed[] = {
      {missing, missing_reason},
      {dir / "notes.txt", "The data holds no certificate"},
      {fixture("public-key.pem"), "The data holds no certificate"},
  };
  std::string err;
  for (int i = 0; i < 3; i++) {
    const auto &w = widgets[1 + i];
    SCOPED_TRACE(failed[i].file);
    EXPECT_FALSE(w.has_certificate);
    EXPECT_EQ(w.halign, GTK_ALIGN_CENTER);
    EXPECT_EQ(w.sections, std::vector<std::string>{"No certificate"});
    using Rows = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(w.rows, (Rows{{"File", failed[i].file}, {"Reason", failed[i].reason}}));
    err += "sero-viewer-gtk3: " + failed[i].file + ": " + failed[i].reason + "\n";
  }
  EXPECT_EQ(run.err, err);
}

TEST_F(Viewer, NamesAreRelativeToTheWorkingDirectoryOrURIs) {
  g_autofree gchar *here = g_get_current_dir();
  ASSERT_EQ(g_chdir(testsupport::data_path("sero").c_str()), 0);
  gchar *uri = g_filename_to_uri(fixture("ec-p256.pem").c_str(), nullptr, nullptr);
  ViewerRun run = run_viewer({"rsa-2048.pem", uri});
  g_free(uri);
  ASSERT_EQ(g_chdir(here), 0);
  ASSERT_EQ(run.windows.size(), 1u);
  const auto &widgets = run.windows[0].widgets;
  ASSERT_EQ(widgets.size(), 2u);
  EXPECT_EQ(widgets[0].sections.at(0), "RSA Test");
  EXPECT_EQ(widgets[1].sections.at(0), "EC P-256");
  EXPECT_EQ(run.err, "");
}

TEST_F(Viewer, LaterActivationsShowNoFiles) {
  ViewerRun run = run_viewer({fixture("rsa-2048.pem"), fixture("ec-p256.pem")}, 2);
  EXPECT_EQ(run.status, 0);
  ASSERT_EQ(run.windows.size(), 2u);
  EXPECT_EQ(run.windows[0].widgets.size(), 2u);
  EXPECT_TRUE(run.windows[1].widgets.empty());
  EXPECT_EQ(run.windows[1].title, "Window");
}

struct LogRecord {
  std::string domain, message;
};
void record(const gchar *domain, GLogLevelFlags, const gchar *message, gpointer data) {
  static_cast<std::vector<LogRecord> *>(data)->push_back({domain ? domain : "", message});
}

TEST_F(Viewer, LoadingChecksItsArguments) {
  std::vector<LogRecord> log;
  guint handler = g_log_set_handler("Sero", G_LOG_LEVEL_CRITICAL, record, &log);
  GObject *not_a_file = G_OBJECT(g_object_new(G_TYPE_OBJECT, NULL));
  EXPECT_EQ(simple_certificate_new_from_file(reinterpret_cast<GFile *>(not_a_file), nullptr, nullptr), nullptr);
  GFile *file = g_file_new_for_path(fixture("rsa-2048.pem").c_str());
  GError *error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_FAILED, "earlier");
  EXPECT_EQ(simple_certificate_new_from_file(file, nullptr, &error), nullptr);
  EXPECT_STREQ(error->message, "earlier");
  g_error_free(error);
  // And the ordinary path, for contrast.
  SeroCertificate *cert = simple_certificate_new_from_file(file, nullptr, nullptr);
  EXPECT_NE(cert, nullptr);
  g_clear_object(&cert);
  g_object_unref(file);
  g_object_unref(not_a_file);
  g_log_remove_handler("Sero", handler);

  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].message, "simple_certificate_new_from_file: assertion 'G_IS_FILE (file)' failed");
  EXPECT_EQ(log[1].message, "simple_certificate_new_from_file: assertion '!error || !*error' failed");
}

TEST_F(Viewer, ProgramReportsAnUnreadableFileAndKeepsShowingTheOthers) {
  // The built program itself, on the private display: it names the file
  // that cannot be loaded on standard error, then shows its window until
  // it is stopped.
  testsupport::TempDir dir;
  const std::string missing = dir / "gone.pem";
  GError *error = nullptr;
  GSubprocessLauncher *launcher = g_subprocess_launcher_new(
      GSubprocessFlags(G_SUBPROCESS_FLAGS_STDERR_PIPE | G_SUBPROCESS_FLAGS_STDOUT_SILENCE));
  g_subprocess_launcher_setenv(launcher, "DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/sero-viewer-test-bus", TRUE);
  GSubprocess *child = g_subprocess_launcher_spawn(launcher, &error, viewer.c_str(), fixture("rsa-2048.pem").c_str(),
                                                   missing.c_str(), nullptr);
  ASSERT_NE(child, nullptr) << error->message;
  GDataInputStream *err = g_data_input_stream_new(g_subprocess_get_stderr_pipe(child));
  gchar *line = g_data_input_stream_read_line_utf8(err, nullptr, nullptr, nullptr);
  EXPECT_STREQ(line, ("sero-viewer-gtk3: " + missing + ": Error opening file " + missing +
                      ": No such file or directory").c_str());
  g_free(line);
  g_subprocess_send_signal(child, SIGTERM);
  EXPECT_TRUE(g_subprocess_wait(child, nullptr, nullptr));
  ASSERT_TRUE(g_subprocess_get_if_signaled(child)) << "the viewer had exited before it was stopped";
  EXPECT_EQ(g_subprocess_get_term_sig(child), SIGTERM);
  g_object_unref(err);
  g_object_unref(child);
  g_object_unref(launcher);
}

}  // namespace
