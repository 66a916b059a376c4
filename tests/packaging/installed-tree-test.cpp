// A staged installation (meson install --destdir) into a scratch
// directory: where everything lands, the libraries' sonames, programs
// built against the installed headers and pkg-config files, the desktop
// files through their validators, and the manual pages.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "packaging-paths.h"
#include "process.h"

namespace {

std::string join(const std::vector<std::string> &words, const char *sep = " ") {
  std::string out;
  for (const auto &w : words) out += (out.empty() ? "" : sep) + w;
  return out;
}

bool have_program(const std::string &name) {
  return testsupport::run({"sh", "-c", "command -v \"$0\" >/dev/null", name}).status == 0;
}

class InstalledTree : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dest_ = new testsupport::TempDir;
    testsupport::RunOptions opts;
    opts.timeout = 240;
    install_ = new testsupport::Outcome(testsupport::run(
        {MESON_PROGRAM, "install", "-C", testsupport::build_path(""), "--destdir", dest_->path(),
         "--no-rebuild", "--quiet"},
        opts));
  }
  static void TearDownTestSuite() {
    delete install_;
    delete dest_;
    install_ = nullptr;
    dest_ = nullptr;
  }
  void SetUp() override {
    ASSERT_EQ(install_->status, 0) << install_->out << install_->err;
  }

  // The path of an installed file inside the staging directory.
  static std::string staged(const std::string &path) { return dest_->path() + path; }

  static testsupport::TempDir *dest_;
  static testsupport::Outcome *install_;
};

testsupport::TempDir *InstalledTree::dest_ = nullptr;
testsupport::Outcome *InstalledTree::install_ = nullptr;

const std::string bindir = INSTALL_BINDIR;
const std::string libdir = INSTALL_LIBDIR;
const std::string includedir = INSTALL_INCLUDEDIR;
const std::string datadir = INSTALL_DATADIR;
const std::string mandir = INSTALL_MANDIR;
const std::string localedir = INSTALL_LOCALEDIR;
const std::string sysconfdir = INSTALL_SYSCONFDIR;
const std::string agentdir = INSTALL_AGENTDIR;
const std::string preauthdir = INSTALL_PREAUTHDIR;
const std::string prefix = INSTALL_PREFIX;
constexpr bool with_gui = WITH_GUI;

enum class Kind { file, program, link };

struct Entry {
  std::string path;
  Kind kind;
  std::string link_target = {};  // for links
  bool gui = false;              // only in builds with the GUI areas
};

TEST_F(InstalledTree, EveryPartIsWhereADistributionPutsIt) {
  std::vector<Entry> entries = {
      {bindir + "/install", Kind::program},
      {bindir + "/test", Kind::program},
      {bindir + "/sero-viewer-gtk3", Kind::program, {}, true},
      {agentdir + "/agent", Kind::program},
      {preauthdir + "/test.so", Kind::file},
      {sysconfdir + "/xdg/autostart/zarfo-agent.desktop", Kind::file},
      {prefix + "/lib/systemd/user/zarfo-agent.service", Kind::file},
      // Sessions under systemd hide the autostart entry and start the unit.
      {prefix + "/lib/systemd/user/graphical-session.target.wants/zarfo-agent.service", Kind::link,
       "../zarfo-agent.service"},
      {datadir + "/applications/org.varnet.SeroViewerGtk4.desktop", Kind::file, {}, true},
      {datadir + "/metainfo/org.varnet.SeroViewerGtk4.metainfo.xml", Kind::file, {}, true},
      {includedir + "/sero-4/sero.h", Kind::file},
      {includedir + "/sero-4/sero-certificate.h", Kind::file},
      {includedir + "/sero-4/sero-simple-certificate.h", Kind::file},
      {includedir + "/tabo-2/tabo.h", Kind::file},
      {includedir + "/tabo-2/sero-export.h", Kind::file},
      {libdir + "/pkgconfig/sero-4.pc", Kind::file},
      {libdir + "/pkgconfig/tabo-2.pc", Kind::file},
      {includedir + "/sero-4-gtk3/sero-certificate-widget.h", Kind::file, {}, true},
      {includedir + "/sero-4-gtk3/sero-section.h", Kind::file, {}, true},
      {includedir + "/sero-4-gtk3/sero-secure-entry-buffer.h", Kind::file, {}, true},
      {includedir + "/sero-4-gtk4/sero-certificate-widget.h", Kind::file, {}, true},
      {includedir + "/sero-4-gtk4/sero-section.h", Kind::file, {}, true},
      {libdir + "/pkgconfig/sero-4-gtk3.pc", Kind::file, {}, true},
      {libdir + "/pkgconfig/sero-4-gtk4.pc", Kind::file, {}, true},
      {datadir + "/gir-1.0/Sero-4.0.gir", Kind::file, {}, true},
      {datadir + "/gir-1.0/SeroGtk3-4.0.gir", Kind::file, {}, true},
      {datadir + "/gir-1.0/SeroGtk4-4.0.gir", Kind::file, {}, true},
      {libdir + "/girepository-1.0/Sero-4.0.typelib", Kind::file, {}, true},
      {libdir + "/girepository-1.0/SeroGtk3-4.0.typelib", Kind::file, {}, true},
      {libdir + "/girepository-1.0/SeroGtk4-4.0.typelib", Kind::file, {}, true},
      {mandir + "/man1/install.1", Kind::file},
      {mandir + "/man1/test.1", Kind::file},
      {mandir + "/man1/agent.1", Kind::file},
      {mandir + "/man1/sero-viewer-gtk3.1", Kind::file, {}, true},
  };
  for (const char *domain : {"tullwerk", "sero-4", "zarfo"})
    entries.push_back({localedir + "/de/LC_MESSAGES/" + domain + ".mo", Kind::file});
  for (const char *lib : {"sero-4", "tabo-2", "sero-4-gtk3", "sero-4-gtk4"}) {
    const bool gui = std::string(lib).find("gtk") != std::string::npos;
    const std::string base = libdir + "/lib" + lib + ".so";
    entries.push_back({base + ".0.0.0", Kind::file, {}, gui});
    entries.push_back({base + ".0", Kind::link, "lib" + std::string(lib) + ".so.0.0.0", gui});
    entries.push_back({base, Kind::link, "lib" + std::string(lib) + ".so.0", gui});
  }

  for (const Entry &e : entries) {
    SCOPED_TRACE(e.path);
    struct stat st;
    const bool present = lstat(staged(e.path).c_str(), &st) == 0;
    if (e.gui && !with_gui) {
      EXPECT_FALSE(present) << "installed without the GUI areas";
      continue;
    }
    ASSERT_TRUE(present);
    switch (e.kind) {
      case Kind::file:
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 0444, 0444u) << "readable by everyone";
        break;
      case Kind::program:
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0755u);
        break;
      case Kind::link: {
        ASSERT_TRUE(S_ISLNK(st.st_mode));
        char target[4096];
        const ssize_t n = readlink(staged(e.path).c_str(), target, sizeof target);
        ASSERT_GT(n, 0);
        EXPECT_EQ(std::string(target, n), e.link_target);
        break;
      }
    }
  }

  // Catalogues are compiled, not copied sources.
  const std::string mo = testsupport::read_file(staged(localedir + "/de/LC_MESSAGES/tullwerk.mo"));
  ASSERT_GE(mo.size(), 4u);
  EXPECT_EQ(mo.substr(0, 4), std::string("\xde\x12\x04\x95", 4));
}

// The dynamic section of an installed object, as readelf prints it.
std::string dynamic_section(const std::string &path) {
  auto r = testsupport::run({"readelf", "-d", path});
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

TEST_F(InstalledTree, SharedObjectsHaveVersionedSonamesAndNoBuildTreePaths) {
  struct Case {
    std::string path, soname;
    bool gui;
  } cases[] = {
      {libdir + "/libsero-4.so.0.0.0", "libsero-4.so.0", false},
      {libdir + "/libtabo-2.so.0.0.0", "libtabo-2.so.0", false},
      {libdir + "/libsero-4-gtk3.so.0.0.0", "libsero-4-gtk3.so.0", true},
      {libdir + "/libsero-4-gtk4.so.0.0.0", "libsero-4-gtk4.so.0", true},
      {preauthdir + "/test.so", "test.so.0", false},
  };
  const std::string build_root = testsupport::build_path("");
  for (const Case &c : cases) {
    if (c.gui && !with_gui) continue;
    SCOPED_TRACE(c.path);
    const std::string dyn = dynamic_section(staged(c.path));
    EXPECT_NE(dyn.find("Library soname: [" + c.soname + "]"), std::string::npos) << dyn;
    EXPECT_EQ(dyn.find(build_root), std::string::npos) << "refers to the build tree:\n" << dyn;
  }
  for (const std::string &program : {bindir + "/install", bindir + "/test", agentdir + "/agent"}) {
    SCOPED_TRACE(program);
    EXPECT_EQ(dynamic_section(staged(program)).find(build_root), std::string::npos);
  }
}

// Compiler flags of installed packages: flags that point into the staging
// directory but outside the prefix belong to the host's own libraries
// (GLib, GTK), which the sysroot must not move.
std::vector<std::string> staged_flags(const std::string &dest, const std::string &package,
                                      std::string *error) {
  testsupport::RunOptions opts;
  opts.env["PKG_CONFIG_PATH"] = dest + libdir + "/pkgconfig";
  opts.env["PKG_CONFIG_SYSROOT_DIR"] = dest;
  opts.env["PKG_CONFIG_LIBDIR"] = std::nullopt;
  auto r = testsupport::run({PKG_CONFIG_PROGRAM, "--cflags", "--libs", package}, opts);
  if (r.status != 0) {
    *error = r.err;
    return {};
  }
  std::vector<std::string> flags;
  std::istringstream words(r.out);
  for (std::string w; words >> w;) {
    for (const char *opt : {"-I", "-L"}) {
      if (w.rfind(opt + dest, 0) == 0 && w.compare(2 + dest.size(), prefix.size(), prefix) != 0)
        w = opt + w.substr(2 + dest.size());
    }
    flags.push_back(w);
  }
  return flags;
}

TEST_F(InstalledTree, ProgramsBuildAgainstTheInstalledHeadersAndPkgConfigFiles) {
  // Each program also tells which file its library was loaded from, so a
  // program that picked up the build tree's library would be noticed.
  const std::string where = R"(
static const char *library_of (const void *symbol)
{
  Dl_info info;
  return dladdr (symbol, &info) && info.dli_fname ? info.dli_fname : "?";
}
)";
  struct Case {
    const char *package;
    std::string source;
    std::vector<std::string> args;
    std::string expected;  // what the program prints before the library path
    const char *library;
    bool gui;
  } cases[] = {
      {"sero-4",
       "#define _GNU_SOURCE\n#include <dlfcn.h>\n#include <stdio.h>\n#include <sero.h>\n" + where + R"(
int main (int argc, char **argv)
{
  gchar *der = NULL;
  gsize n = 0;
  if (argc != 2 || !g_file_get_contents (argv[1], &der, &n, NULL))
    return 2;
  SeroCertificate *certificate = sero_simple_certificate_new ((const guchar *) der, n);
  gchar *cn = sero_certificate_get_subject_cn (certificate);
  printf ("%s %u\n%s\n", cn, sero_certificate_get_key_size (certificate),
          library_of ((const void *) sero_simple_certificate_new));
  g_free (cn);
  g_object_unref (certificate);
  g_free (der);
  return 0;
}
)",
       {testsupport::data_path("widgets/certs/server.der")},
       "www.example.test 384\n",
       "libsero-4.so.0",
       false},
      {"sero-4-gtk3",
       "#define _GNU_SOURCE\n#include <dlfcn.h>\n#include <stdio.h>\n#include <sero-certificate-widget.h>\n"
       "#include <sero-section.h>\n#include <sero-secure-entry-buffer.h>\n" + where + R"(
int main (void)
{
  printf ("%s < %s, %s < %s, %s\n%s\n",
          g_type_name (sero_certificate_widget_get_type ()),
          g_type_name (g_type_parent (sero_certificate_widget_get_type ())),
          g_type_name (sero_section_get_type ()), g_type_name (g_type_parent (sero_section_get_type ())),
          g_type_name (sero_secure_entry_buffer_get_type ()),
          library_of ((const void *) sero_certificate_widget_get_type));
  return 0;
}
)",
       {},
       "SeroCertificateWidget < GtkBox, SeroSection < GtkGrid, SeroSecureEntryBuffer\n",
       "libsero-4-gtk3.so.0",
       true},
      {"sero-4-gtk4",
       "#define _GNU_SOURCE\n#include <dlfcn.h>\n#include <stdio.h>\n#include <sero-certificate-widget.h>\n"
       "#include <sero-section.h>\n" + where + R"(
int main (void)
{
  printf ("%s < %s, %s < %s\n%s\n",
          g_type_name (sero_certificate_widget_get_type ()),
          g_type_name (g_type_parent (sero_certificate_widget_get_type ())),
          g_type_name (sero_section_get_type ()), g_type_name (g_type_parent (sero_section_get_type ())),
          library_of ((const void *) sero_certificate_widget_get_type));
  return 0;
}
)",
       {},
       "SeroCertificateWidget < GtkWidget, SeroSection < GtkWidget\n",
       "libsero-4-gtk4.so.0",
       true},
  };
  for (const Case &c : cases) {
    if (c.gui && !with_gui) continue;
    SCOPED_TRACE(c.package);
    testsupport::TempDir work;
    testsupport::write_file(work / "program.c", c.source);
    std::string error;
    const auto flags = staged_flags(dest_->path(), c.package, &error);
    ASSERT_FALSE(flags.empty()) << error;
    std::vector<std::string> compile = {C_COMPILER, "-Wall", "-Werror", "-o", work / "program",
                                        work / "program.c"};
    compile.insert(compile.end(), flags.begin(), flags.end());
    auto built = testsupport::run(compile);
    ASSERT_EQ(built.status, 0) << join(compile) << "\n" << built.err;

    testsupport::RunOptions opts;
    opts.env["LD_LIBRARY_PATH"] = staged(libdir);
    std::vector<std::string> argv = {work / "program"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    auto ran = testsupport::run(argv, opts);
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.out, c.expected + staged(libdir) + "/" + c.library + "\n");
  }
}

// Rewrites every occurrence of from in text to to.
std::string replace_all(std::string text, const std::string &from, const std::string &to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

// The value of key in the [Desktop Entry] group of a desktop file.
std::string desktop_key(const std::string &contents, const std::string &key) {
  std::istringstream lines(contents);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  return {};
}

bool is_staged_program(const std::string &path) {
  return access(path.c_str(), X_OK) == 0;
}

TEST_F(InstalledTree, DesktopEntriesAreValidAndStartInstalledPrograms) {
  // scripts/setup installs the validators, so a missing one is a fault.
  ASSERT_TRUE(have_program("desktop-file-validate")) << "desktop-file-validate is not installed";
  struct Case {
    std::string path, program;
    bool gui;
  } cases[] = {
      {datadir + "/applications/org.varnet.SeroViewerGtk4.desktop", bindir + "/sero-viewer-gtk3", true},
      {sysconfdir + "/xdg/autostart/zarfo-agent.desktop", agentdir + "/agent", false},
  };
  for (const Case &c : cases) {
    if (c.gui && !with_gui) continue;
    SCOPED_TRACE(c.path);
    auto r = testsupport::run({"desktop-file-validate", staged(c.path)});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "") << "warnings or hints";
    const std::string contents = testsupport::read_file(staged(c.path));
    const std::string exec = desktop_key(contents, "Exec");
    EXPECT_EQ(exec.substr(0, exec.find(' ')), c.program);
    EXPECT_TRUE(is_staged_program(staged(c.program)));
  }
  if (!with_gui) return;
  // A file manager offers the viewer for each certificate type.
  const std::string viewer = testsupport::read_file(staged(cases[0].path));
  std::set<std::string> types;
  std::istringstream list(desktop_key(viewer, "MimeType"));
  for (std::string type; std::getline(list, type, ';');) types.insert(type);
  EXPECT_EQ(types, (std::set<std::string>{"application/pkix-cert", "application/x-x509-ca-cert",
                                          "application/x-pem-file"}));
}

TEST_F(InstalledTree, MetainfoIsValidAndNamesTheDesktopEntry) {
  if (!with_gui) GTEST_SKIP() << "the viewer is not built";
  ASSERT_TRUE(have_program("appstreamcli")) << "appstreamcli is not installed";
  const std::string path = staged(datadir + "/metainfo/org.varnet.SeroViewerGtk4.metainfo.xml");
  auto r = testsupport::run({"appstreamcli", "validate", "--no-net", "--no-color", path});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("W:"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("E:"), std::string::npos) << r.out;
  const std::string xml = testsupport::read_file(path);
  EXPECT_NE(xml.find("<launchable type=\"desktop-id\">org.varnet.SeroViewerGtk4.desktop</launchable>"),
            std::string::npos);
  EXPECT_TRUE(access(staged(datadir + "/applications/org.varnet.SeroViewerGtk4.desktop").c_str(), R_OK) == 0);
}

TEST_F(InstalledTree, UserUnitVerifiesAndStartsTheInstalledAgent) {
  ASSERT_TRUE(have_program("systemd-analyze")) << "systemd-analyze is not installed";
  const std::string unit = testsupport::read_file(staged(prefix + "/lib/systemd/user/zarfo-agent.service"));
  EXPECT_EQ(desktop_key(unit, "ExecStart"), agentdir + "/agent");
  // The session starts the agent once: through the unit, which the link
  // in graphical-session.target.wants enables, and not also through the
  // autostart entry, which sessions under systemd then skip.
  EXPECT_EQ(desktop_key(unit, "WantedBy"), "graphical-session.target");
  const std::string autostart = testsupport::read_file(staged(sysconfdir + "/xdg/autostart/zarfo-agent.desktop"));
  EXPECT_EQ(desktop_key(autostart, "X-GNOME-HiddenUnderSystemd"), "true");
  // Verified with the agent's staged path, so that the check of the
  // command's existence looks at what was installed.
  testsupport::TempDir work;
  testsupport::write_file(work / "zarfo-agent.service",
                          replace_all(unit, "ExecStart=" + agentdir, "ExecStart=" + staged(agentdir)));
  // As a unit of the user's service manager, which the verifier sets up
  // in a runtime directory of its own.
  ASSERT_EQ(mkdir((work / "runtime").c_str(), 0700), 0);
  testsupport::RunOptions opts;
  opts.env["XDG_RUNTIME_DIR"] = work / "runtime";
  auto r = testsupport::run({"systemd-analyze", "verify", "--user", "--man=no", work / "zarfo-agent.service"}, opts);
  EXPECT_EQ(r.status, 0) << r.err;
  // Unknown keys and bad values are reported but do not fail the command.
  EXPECT_EQ(r.err, "");
}

// Options in a help text ("--name", "-x").
std::set<std::string> help_options(const std::string &help) {
  std::set<std::string> out;
  static const std::regex option("(^|[ ,])(--[a-z][a-z-]*|-[A-Za-z])\\b");
  for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it)
    out.insert((*it)[2]);
  return out;
}

// Options a manual page sets in bold ("\fB\-\-name", "\fB\-x\fR"),
// written back as the user types them.
std::set<std::string> page_options(const std::string &page) {
  std::set<std::string> out;
  static const std::regex option(R"(\\fB((\\-\\-[a-z](\\-|[a-z])*)|\\-[A-Za-z])\\f)");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), option); it != std::sregex_iterator(); ++it)
    out.insert(replace_all((*it)[1], "\\-", "-"));
  return out;
}

TEST_F(InstalledTree, ManualPagesRenderCleanlyAndDocumentEveryOptionOfTheHelp) {
  struct Case {
    const char *page;
    std::vector<std::string> help_command;  // empty: the program has no help text
    bool gui;
  } cases[] = {
      {"install.1", {testsupport::build_path("src/install"), "--help"}, false},
      {"test.1", {}, false},
      {"agent.1", {testsupport::build_path("demo/agent"), "--help"}, false},
      {"sero-viewer-gtk3.1", {testsupport::build_path("viewer/sero-viewer-gtk3"), "--help"}, true},
  };
  for (const Case &c : cases) {
    if (c.gui && !with_gui) continue;
    SCOPED_TRACE(c.page);
    const std::string page = staged(mandir + "/man1/" + c.page);
    auto rendered = testsupport::run({"groff", "-man", "-Tutf8", "-ww", "-z", page});
    EXPECT_EQ(rendered.status, 0);
    EXPECT_EQ(rendered.err, "") << "roff warnings";
    if (c.help_command.empty()) continue;
    testsupport::RunOptions opts;
    opts.env["DISPLAY"] = std::nullopt;
    opts.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=/nonexistent/packaging-test-bus";
    auto help = testsupport::run(c.help_command, opts);
    ASSERT_EQ(help.status, 0) << help.err;
    const auto options = help_options(help.out);
    EXPECT_FALSE(options.empty());
    const auto documented = page_options(testsupport::read_file(page));
    for (const auto &name : options) {
      // Options of the toolkit's own help groups are not the program's.
      if (name.rfind("--help-", 0) == 0) continue;
      EXPECT_TRUE(documented.count(name)) << name << " is not documented";
    }
    for (const auto &name : documented)
      EXPECT_TRUE(options.count(name)) << name << " is documented but not in the help text";
  }
}

// The test program has no help text; its page lists the operators, and the
// installed program must know each of them: a word it does not take as an
// operator makes the expression malformed (status 2).
TEST_F(InstalledTree, TestPageListsOnlyOperatorsTheProgramKnows) {
  const std::string page = testsupport::read_file(staged(mandir + "/man1/test.1"));
  std::set<std::string> unary, binary;
  static const std::regex unary_op(R"((\n|, )\\-([A-Za-z]) \\fI[A-Z]+\\fR)");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), unary_op); it != std::sregex_iterator(); ++it)
    unary.insert("-" + (*it)[2].str());
  static const std::regex binary_op(R"(\\fI[A-Z]+1\\fR (\\-[a-z]+|!=|==|=) \\fI[A-Z]+2\\fR)");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), binary_op); it != std::sregex_iterator(); ++it)
    binary.insert(replace_all((*it)[1], "\\-", "-"));
  // "likewise \-ne (not equal), ..."
  static const std::regex likewise(R"(\\-([a-z]{2}) \()");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), likewise); it != std::sregex_iterator(); ++it)
    binary.insert("-" + (*it)[1].str());
  EXPECT_GE(unary.size(), 20u);
  EXPECT_GE(binary.size(), 12u);

  testsupport::TempDir work;
  testsupport::RunOptions opts;
  opts.cwd = work.path();
  const std::string program = staged(bindir + "/test");
  for (const auto &op : unary) {
    auto r = testsupport::run({program, op, "9"}, opts);
    EXPECT_TRUE(r.status == 0 || r.status == 1) << op << ": " << r.status << " " << r.err;
    EXPECT_EQ(r.err, "") << op;
  }
  for (const auto &op : binary) {
    auto r = testsupport::run({program, "1", op, "1"}, opts);
    EXPECT_TRUE(r.status == 0 || r.status == 1) << op << ": " << r.status << " " << r.err;
    EXPECT_EQ(r.err, "") << op;
  }
  // And a word that is no operator is noticed.
  EXPECT_EQ(testsupport::run({program, "-Q", "9"}, opts).status, 2);
}

}  // namespace
