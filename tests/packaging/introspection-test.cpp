// Both widget libraries through their introspection data: a Python
// program creates a certificate widget for a certificate and reads its
// sections back (read-sections.py), under a private X server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "xvfb.h"

namespace {

[[maybe_unused]] auto *xvfb_env = ::testing::AddGlobalTestEnvironment(new testsupport::XvfbEnvironment);

// Debian's Python, which the introspection bindings belong to.
const std::string python = "/usr/bin/python3";

testsupport::Outcome read_sections(const std::string &flavour, const std::string &certificate) {
  const std::string dirs = testsupport::build_path("sero") + ":" + testsupport::build_path("sero-gtk3") + ":" +
                           testsupport::build_path("sero-gtk4");
  testsupport::RunOptions opts;
  opts.env["GI_TYPELIB_PATH"] = dirs;
  opts.env["LD_LIBRARY_PATH"] = dirs;
  opts.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=/nonexistent/packaging-test-bus";
  opts.env["PYTHONDONTWRITEBYTECODE"] = "1";
  const std::string script = std::string(std::getenv("TEST_SRCDIR")) + "/packaging/read-sections.py";
  return testsupport::run({python, script, flavour, certificate}, opts);
}

struct Section {
  std::string title;
  std::vector<std::string> rows;  // "caption<TAB>value"
};

// The sections of the certificate's widget and of the empty widget.
struct Shown {
  std::vector<Section> widget, empty;
};

Shown parse(const std::string &out) {
  Shown shown;
  std::vector<Section> *into = &shown.widget;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (line == "===")
      into = &shown.empty;
    else if (!line.empty() && line.front() == '[' && line.back() == ']')
      into->push_back({line.substr(1, line.size() - 2), {}});
    else if (!into->empty())
      into->back().rows.push_back(line);
  }
  return shown;
}

std::vector<std::string> titles(const std::vector<Section> &sections) {
  std::vector<std::string> out;
  for (const auto &s : sections) out.push_back(s.title);
  return out;
}

TEST(Introspection, BothLibrariesShowTheCertificatesSections) {
  ASSERT_EQ(testsupport::run({python, "-c", "import gi"}).status, 0) << python << " cannot import gi (python3-gi)";
  const std::string certificate = testsupport::data_path("widgets/certs/server.der");
  std::string first_output;
  for (const char *flavour : {"gtk3", "gtk4"}) {
    SCOPED_TRACE(flavour);
    const auto r = read_sections(flavour, certificate);
    ASSERT_EQ(r.status, 0) << r.err;
    const Shown shown = parse(r.out);
    ASSERT_FALSE(shown.widget.empty()) << r.out;

    // The always-visible section, then the secondary ones.
    EXPECT_EQ(shown.widget[0].title, "www.example.test");
    EXPECT_EQ(shown.widget[0].rows, (std::vector<std::string>{"Identity\twww.example.test",
                                                              "Verified by\tSero Test CA",
                                                              "Expires\t01/01/35"}));
    EXPECT_EQ(titles(shown.widget),
              (std::vector<std::string>{"www.example.test", "Subject Name", "Issuer Name",
                                        "Issued Certificate", "Certificate Fingerprints", "Public Key Info",
                                        "Basic Constraints", "Key Usage", "Extended Key Usage",
                                        "Subject Key Identifier", "Subject Alternative Names", "Extension",
                                        "Signature"}))
        << r.out;
    ASSERT_EQ(shown.widget.size(), 13u);
    EXPECT_EQ(shown.widget[10].rows,
              (std::vector<std::string>{"DNS\twww.example.test", "Email\tadmin@example.test",
                                        "IP Address\t192.0.2.7", "IP Address\t2001:db8::1", "Critical\tNo"}));
    EXPECT_EQ(titles(shown.empty), (std::vector<std::string>{"No certificate"}));

    // Both builds show the same, row for row.
    if (first_output.empty())
      first_output = r.out;
    else
      EXPECT_EQ(r.out, first_output);
  }
}

}  // namespace
