// install and test in a German locale, speaking from the build tree's
// catalogues: translated messages, the catalogue's quotation marks for the
// locale quoting style, and the translated help text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "german-locale.h"
#include "process.h"

namespace {

const std::string test_prog = testsupport::build_path("src/test");
const std::string install_prog = testsupport::build_path("src/install");
const std::string agent_prog = testsupport::build_path("demo/agent");

class GermanMessages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { locale_ = new packagingtest::GermanLocale; }
  static void TearDownTestSuite() {
    delete locale_;
    locale_ = nullptr;
  }
  void SetUp() override {
    // scripts/setup installs the locale sources that localedef needs.
    ASSERT_TRUE(locale_->ok()) << "no German locale: " << locale_->why();
  }

  testsupport::Outcome run(const std::vector<std::string> &argv) {
    testsupport::RunOptions opts;
    opts.env = locale_->env();
    opts.cwd = dir_.path();
    return testsupport::run(argv, opts);
  }

  static packagingtest::GermanLocale *locale_;
  testsupport::TempDir dir_;
};

packagingtest::GermanLocale *GermanMessages::locale_ = nullptr;

struct Case {
  const char *what;
  std::vector<std::string> argv;
  int status;
  std::string err;
};

TEST_F(GermanMessages, DiagnosticsAreTranslatedWithTheCataloguesQuotes) {
  const std::string t = test_prog + ": ";
  const std::string i = install_prog + ": ";
  const std::string try_help = "\xe2\x80\x9e" + install_prog + " --help\xe2\x80\x9c liefert weitere Informationen.\n";
  const Case cases[] = {
      {"one quoted operand", {test_prog, "1", "-eq", "x"}, 2, t + "ungültige Ganzzahl „x“\n"},
      {"a quoted parenthesis", {test_prog, "(", "a", "-a", "b"}, 2, t + "„)“ erwartet\n"},
      {"two quoting slots", {test_prog, "(", "a", "b", "c", "d", "e"}, 2, t + "„)“ erwartet, „b“ gefunden\n"},
      {"a quoted name before the message", {test_prog, "a", "-x", "b"}, 2, t + "„-x“: zweistelliger Operator erwartet\n"},
      {"no placeholder", {test_prog, "-l", "abc", "-nt", "x"}, 2, t + "-nt akzeptiert -l nicht\n"},
      {"extra argument", {test_prog, "(", "a", ")", "b"}, 2, t + "zusätzliches Argument „b“\n"},
      {"missing operand and the hint", {install_prog}, 1, i + "Dateioperand fehlt\n" + try_help},
      {"shell quoting keeps its own marks", {install_prog, "a"}, 1,
       i + "fehlender Zieldateioperand nach 'a'\n" + try_help},
      {"invalid mode", {install_prog, "-m", "bogus", "a", "b"}, 1, i + "ungültiger Modus „bogus“\n"},
      {"invalid user", {install_prog, "-o", "no-such-user-here", "a", "b"}, 1,
       i + "ungültiger Benutzer „no-such-user-here“\n"},
      {"argument matching lists the choices", {install_prog, "--backup=bogus", "a", "b"}, 1,
       i + "ungültiges Argument „bogus“ für „Art der Sicherung“\n"
           "Gültige Argumente sind:\n"
           "  - „none“, „off“\n"
           "  - „simple“, „never“\n"
           "  - „existing“, „nil“\n"
           "  - „numbered“, „t“\n" +
           try_help},
      {"options that exclude each other", {install_prog, "-t", "x", "-T", "a"}, 1,
       i + "--target-directory (-t) und --no-target-directory (-T) schließen einander aus\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const auto r = run(c.argv);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
  }
}

TEST_F(GermanMessages, HelpTextIsTranslatedThroughout) {
  const auto r = run({install_prog, "--help"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string first_line = "Aufruf: " + install_prog + " [OPTION]... [-T] QUELLE ZIEL\n";
  EXPECT_EQ(r.out.substr(0, first_line.size()), first_line);
  const std::string footer =
      "\nOnline-Hilfe für qent tullwerk: <https://www.varnet.org/software/tullwerk/>\n"
      "Melden Sie Übersetzungsfehler an <https://www.varnet.org/software/tullwerk/translations/de/>\n"
      "Vollständige Dokumentation <https://www.varnet.org/software/tullwerk/install>\n"
      "oder lokal verfügbar mit: info '(tullwerk) install invocation'\n";
  ASSERT_GE(r.out.size(), footer.size());
  EXPECT_EQ(r.out.substr(r.out.size() - footer.size()), footer);
  // No paragraph is left in English.
  for (const char *english : {"Usage:", "Mandatory arguments", "make a backup of each",
                              "The backup suffix", "never make backups", "online help"}) {
    EXPECT_EQ(r.out.find(english), std::string::npos) << english;
  }
}

TEST_F(GermanMessages, AgentOptionsSpeakTheZarfoCatalogue) {
  testsupport::RunOptions opts;
  opts.env = locale_->env();
  opts.env["DISPLAY"] = std::nullopt;
  opts.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=/nonexistent/packaging-test-bus";
  const auto r = testsupport::run({agent_prog, "--help"}, opts);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\n  --version        Versionsnummer anzeigen\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Display version number"), std::string::npos) << r.out;
}

// Without the catalogue the same locale falls back to English texts and
// the quotation marks of its character set, so the German above really
// comes from the build tree's catalogue.
TEST_F(GermanMessages, WithoutTheCatalogueTheLocaleGivesEnglishAndItsOwnMarks) {
  testsupport::RunOptions opts;
  opts.env = locale_->env();
  opts.env["TULLWERK_LOCALEDIR"] = dir_.path();
  const auto r = testsupport::run({test_prog, "1", "-eq", "x"}, opts);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, test_prog + ": invalid integer \xe2\x80\x98x\xe2\x80\x99\n");
}

}  // namespace
