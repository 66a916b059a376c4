// What the certificate widget shows for a certificate, built once against
// GTK 3 and once against GTK 4, under a private X server: every section
// and row for a set of small certificates made for the purpose, the
// messages for fields that do not read, what a certificate that cannot be
// shown gives, and every certificate of the system's trust store.
#include <gtest/gtest.h>

#include <dirent.h>
#include <libintl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "certificate-view.h"
#include "logged-messages.h"
#include "process.h"
#include "sero-certificate-widget-private.h"
#include "sero.h"
#include "widget-tree.h"
#include "xvfb.h"

namespace {

using certview::Row;
using certview::Section;

using widgettest::domain;
using widgettest::LogRecord;
using widgettest::logged;

[[maybe_unused]] auto *xvfb_env = ::testing::AddGlobalTestEnvironment(new testsupport::XvfbEnvironment);
[[maybe_unused]] auto *gtk_env = ::testing::AddGlobalTestEnvironment(new widgettest::GtkEnvironment);

// A fixture's DER, whether the file holds it as it is or in PEM.
std::string read_der(const std::string &path) {
  const std::string data = testsupport::read_file(path);
  return certview::der_of_pem(data).value_or(data);
}

SeroCertificate *certificate_of(const std::string &der) {
  return sero_simple_certificate_new(reinterpret_cast<const guchar *>(der.data()), der.size());
}

// Every test fails on a warning or critical logged while it runs.
class Sections : public widgettest::LoggedTest {};

// Sections as the table below spells them. Values that are long digests
// or key material are written as {sha1}, {md5}, {keysha1}, {pubkey} and
// {sig}, and computed from the certificate's DER by the test itself.
Section important(const char *title, const char *identity, const char *verified_by, const char *expires) {
  return {title, {{"Identity", identity}, {"Verified by", verified_by}, {"Expires", expires}}};
}
Section issued(const char *version, const char *serial, const char *before, const char *after) {
  std::vector<Row> rows;
  if (version) rows.push_back({"Version", version});
  rows.push_back({"Serial Number", serial});
  rows.push_back({"Not Valid Before", before});
  rows.push_back({"Not Valid After", after});
  return {"Issued Certificate", rows};
}
Section fingerprints() { return {"Certificate Fingerprints", {{"SHA1", "{sha1}"}, {"MD5", "{md5}"}}}; }
Section public_key(const char *algorithm, const char *parameters, const char *size) {
  std::vector<Row> rows = {{"Key Algorithm", algorithm}};
  if (parameters) rows.push_back({"Key Parameters", parameters});
  if (size) rows.push_back({"Key Size", size});
  rows.push_back({"Key SHA1 Fingerprint", "{keysha1}"});
  rows.push_back({"Public Key", "{pubkey}"});
  return {"Public Key Info", rows};
}
Section signature(const char *algorithm, const char *parameters) {
  std::vector<Row> rows = {{"Signature Algorithm", algorithm}};
  if (parameters) rows.push_back({"Signature Parameters", parameters});
  rows.push_back({"Signature", "{sig}"});
  return {"Signature", rows};
}
const char *yes_no(bool b) { return b ? "Yes" : "No"; }
Section basic_constraints(bool ca, const char *path, bool critical) {
  return {"Basic Constraints", {{"Certificate Authority", yes_no(ca)}, {"Max Path Length", path}, {"Critical", yes_no(critical)}}};
}
Section key_usage(const char *usages, bool critical) {
  return {"Key Usage", {{"Usages", usages}, {"Critical", yes_no(critical)}}};
}
Section extended_key_usage(const char *purposes, bool critical) {
  return {"Extended Key Usage", {{"Allowed Purposes", purposes}, {"Critical", yes_no(critical)}}};
}
Section key_identifier(const char *id, bool critical) {
  return {"Subject Key Identifier", {{"Key Identifier", id}, {"Critical", yes_no(critical)}}};
}
Section extension(const char *id, const char *value, bool critical) {
  return {"Extension", {{"Identifier", id}, {"Value", value}, {"Critical", yes_no(critical)}}};
}

const char *const ed25519 = "1.3.101.112";  // not in the OID table: shown dotted
const char *const p256 = "06 08 2A 86 48 CE 3D 03 01 07";
const Row test_ca_cn = {"CN (Common Name)", "Sero Test CA"};
const Row sero_tests_o = {"O (Organization)", "Sero Tests"};

struct Case {
  const char *file;
  std::vector<Section> important, secondary;
};

const std::vector<Case> &cases() {
  static const std::vector<Case> table = {
      {"root.der",
       {important("Sero Test CA", "Sero Test CA", "Sero Test CA", "01/01/55")},
       {{"Subject Name", {test_ca_cn, sero_tests_o}},
        {"Issuer Name", {test_ca_cn, sero_tests_o}},
        issued("3", "01", "01/01/25", "01/01/55"),
        fingerprints(),
        public_key(ed25519, nullptr, "256"),
        basic_constraints(true, "Unlimited", true),
        key_usage("Certificate signature\nRevocation list signature", true),
        key_identifier("0A 0B 0C 0D", false),
        signature(ed25519, nullptr)}},
      {"v1-rsa.der",
       {important("Version One", "Version One", "Version One", "01/01/35")},
       {{"Subject Name", {{"CN (Common Name)", "Version One"}, sero_tests_o, {"C (Country)", "DE"}}},
        {"Issuer Name", {{"CN (Common Name)", "Version One"}, sero_tests_o, {"C (Country)", "DE"}}},
        issued("1", "02", "01/01/25", "01/01/35"),
        fingerprints(),
        public_key("RSA", "05 00", "1024"),
        signature("1.2.840.113549.1.1.11", "05 00")}},
      {"pathlen.der",
       {important("Sero Intermediate CA", "Sero Intermediate CA", "Sero Test CA", "01/01/35")},
       {{"Subject Name", {{"CN (Common Name)", "Sero Intermediate CA"}, sero_tests_o}},
        {"Issuer Name", {test_ca_cn, sero_tests_o}},
        issued("3", "03", "01/01/25", "01/01/35"),
        fingerprints(),
        public_key("Elliptic Curve", p256, "256"),
        basic_constraints(true, "2", true),
        extension("2.5.29.35", "30 06 80 04 0A 0B 0C 0D", false),
        signature(ed25519, nullptr)}},
      {"server.der",
       {important("www.example.test", "www.example.test", "Sero Test CA", "01/01/35")},
       {{"Subject Name",
         {{"C (Country)", "DE"},
          sero_tests_o,
          {"OU (Organizational Unit)", "Web"},
          {"L (Locality)", "Berlin"},
          {"CN (Common Name)", "www.example.test"},
          {"EMAIL (Email Address)", "admin@example.test"}}},
        {"Issuer Name", {test_ca_cn, sero_tests_o}},
        issued("3", "00 8F 00 AA", "01/01/25", "01/01/35"),
        fingerprints(),
        public_key("Elliptic Curve", "06 05 2B 81 04 00 22", "384"),
        basic_constraints(false, "Unlimited", false),
        key_usage("Digital signature\nKey encipherment", true),
        extended_key_usage("Server Authentication\nClient Authentication", false),
        key_identifier("5E 40 00 AB", false),
        {"Subject Alternative Names",
         {{"DNS", "www.example.test"},
          {"Email", "admin@example.test"},
          {"IP Address", "192.0.2.7"},
          {"IP Address", "2001:db8::1"},
          {"Critical", "No"}}},
        extension("2.5.29.35", "30 06 80 04 0A 0B 0C 0D", false),
        signature(ed25519, nullptr)}},
      {"usages.der",
       {important("All Usages", "All Usages", "All Usages", "01/01/35")},
       {{"Subject Name", {{"CN (Common Name)", "All Usages"}}},
        {"Issuer Name", {{"CN (Common Name)", "All Usages"}}},
        issued("3", "05", "01/01/25", "01/01/35"),
        fingerprints(),
        public_key("Elliptic Curve", p256, "256"),
        key_usage("Digital signature\nNon repudiation\nKey encipherment\nData encipherment\nKey agreement\n"
                  "Certificate signature\nRevocation list signature\nEncipher only\nDecipher only",
                  false),
        extension("1.3.6.1.4.1.55555.1.1", "0C 07 70 72 69 76 61 74 65", true),
        signature("SHA256 with ECDSA", nullptr)}},
      {"decipher.der",
       {important("Decipher Only", "Decipher Only", "Decipher Only", "01/01/35")},
       {{"Subject Name", {{"CN (Common Name)", "Decipher Only"}}},
        {"Issuer Name", {{"CN (Common Name)", "Decipher Only"}}},
        issued("3", "06", "01/01/25", "01/01/35"),
        fingerprints(),
        public_key("Elliptic Curve", p256, "256"),
        key_usage("Key agreement\nDecipher only", false),
        extended_key_usage("Code Signing\nServer Authentication\n1.3.6.1.4.1.55555.2", false),
        signature("SHA256 with ECDSA", nullptr)}},
      {"unparsable.der",
       {important("Unparsable Extensions", "Unparsable Extensions", "Unparsable Extensions", "01/01/35")},
       {{"Subject Name", {{"CN (Common Name)", "Unparsable Extensions"}}},
        {"Issuer Name", {{"CN (Common Name)", "Unparsable Extensions"}}},
        issued("3", "07", "01/01/25", "01/01/35"),
        fingerprints(),
        public_key(ed25519, nullptr, "256"),
        extension("2.5.29.19", "05 00", true),
        extension("2.5.29.37", "30 03 02 01 01", false),
        extension("2.5.29.15", "03 02 08 80", false),
        extension("2.5.29.17", "30 02 05 00", false),
        signature(ed25519, nullptr)}},
      // Names without a text of their own show the hex of their DER; key
      // usage bits past the listed nine and empty lists give empty values.
      {"names.der",
       {important("Odd Names", "Odd Names", "Odd Names", "01/01/35")},
       {{"Subject Name", {{"CN (Common Name)", "Odd Names"}}},
        {"Issuer Name", {{"CN (Common Name)", "Odd Names"}}},
        issued("3", "0C", "01/01/25", "01/01/35"),
        fingerprints(),
        public_key(ed25519, nullptr, "256"),
        {"Subject Alternative Names",
         {{"URI", "https://example.test/"},
          {"Registered ID", "1.2.3.4"},
          {"Directory Name", "CN=Directory Entry, O=Sero Tests"},
          {"Other Name", "me@example.test"},
          {"Other Name", "A0 14 06 09 2B 06 01 04 01 83 B2 03 03 A0 07 0C 05 6F 74 68 65 72"},
          {"Critical", "No"}}},
        key_usage("", false),
        extended_key_usage("", false),
        signature(ed25519, nullptr)}},
      {"bad-key-id.der",
       {important("bad-key-id", "bad-key-id", "bad-key-id", "01/01/35")},
       {{"Subject Name", {{"CN (Common Name)", "bad-key-id"}}},
        {"Issuer Name", {{"CN (Common Name)", "bad-key-id"}}},
        issued("3", "0B", "01/01/25", "01/01/35"),
        fingerprints(),
        public_key(ed25519, nullptr, "256"),
        extension("2.5.29.14", "05 00", false),
        signature(ed25519, nullptr)}},
      {"no-cn.der",
       {important("Certificate", "", "", "01/01/35")},
       {{"Subject Name", {{"O (Organization)", "No Common Name"}, {"OU (Organizational Unit)", "Unit"}, {"2.5.4.15", "#0C0750726976617465"}}},
        {"Issuer Name", {{"O (Organization)", "No Common Name"}, {"OU (Organizational Unit)", "Unit"}, {"2.5.4.15", "#0C0750726976617465"}}},
        issued("1", "08", "01/01/25", "01/01/35"),
        fingerprints(),
        public_key(ed25519, nullptr, "256"),
        signature(ed25519, nullptr)}},
      {"duplicate.der",
       {important("duplicate", "duplicate", "duplicate", "01/01/35")},
       {{"Subject Name", {{"CN (Common Name)", "duplicate"}}},
        {"Issuer Name", {{"CN (Common Name)", "duplicate"}}},
        issued("3", "09", "01/01/25", "01/01/35"),
        fingerprints(),
        public_key(ed25519, nullptr, "256"),
        key_identifier("01 02", false),
        key_identifier("03 04", false),
        signature(ed25519, nullptr)}},
      // A key the certificate library cannot size has no size row; its last,
      // partial byte is left out of the hex.
      {"odd-key.der",
       {important("odd-key", "odd-key", "odd-key", "01/01/35")},
       {{"Subject Name", {{"CN (Common Name)", "odd-key"}}},
        {"Issuer Name", {{"CN (Common Name)", "odd-key"}}},
        issued("3", "0D", "01/01/25", "01/01/35"),
        fingerprints(),
        {"Public Key Info",
         {{"Key Algorithm", "1.3.6.1.4.1.55555.4"},
          {"Key Parameters", "30 03 02 01 05"},
          {"Key SHA1 Fingerprint", "{keysha1}"},
          {"Public Key", "80 40"}}},
        signature(ed25519, nullptr)}},
      // A version outside the list of versions does not decode: one
      // section says so.
      {"huge-version.der", {{"Invalid certificate", {{"Error", "The certificate data could not be read."}}}}, {}},
  };
  return table;
}

// Replaces the placeholders of a spelled section by the computed values.
std::vector<Section> resolve(std::vector<Section> sections, const certview::Expected &e) {
  const std::map<std::string, std::string> values = {
      {"{sha1}", e.sha1}, {"{md5}", e.md5}, {"{keysha1}", e.key_sha1}, {"{pubkey}", e.public_key}, {"{sig}", e.signature}};
  for (auto &s : sections)
    for (auto &r : s.rows)
      if (auto it = values.find(r.value); it != values.end()) r.value = it->second;
  return sections;
}

void expect_sections(const std::vector<Section> &shown, const std::vector<Section> &expected) {
  for (size_t i = 0; i < std::max(shown.size(), expected.size()); i++) {
    if (i >= shown.size()) {
      ADD_FAILURE() << "missing section " << expected[i];
    } else if (i >= expected.size()) {
      ADD_FAILURE() << "extra section " << shown[i];
    } else {
      EXPECT_EQ(shown[i], expected[i]) << "section " << i;
    }
  }
}

std::string fixture(const char *name) { return testsupport::data_path(std::string("widgets/certs/") + name); }

TEST_F(Sections, EveryFieldOfEachCertificate) {
  for (const auto &c : cases()) {
    SCOPED_TRACE(c.file);
    const std::string der = read_der(fixture(c.file));
    auto expected = certview::expected_from_der(certview::bytes_of(der));
    ASSERT_TRUE(expected.has_value());
    SeroCertificate *cert = certificate_of(der);
    GtkWidget *widget = g_object_ref_sink(sero_certificate_widget_new(cert));
    g_object_unref(cert);

    certview::Shown shown = certview::read_widget(widget);
    expect_sections(shown.important, resolve(c.important, *expected));
    expect_sections(shown.secondary, resolve(c.secondary, *expected));

    g_object_unref(widget);
  }
}

// The signature alone is set in a monospace font; every other value keeps
// the label's default look.
TEST_F(Sections, OnlyTheSignatureIsMonospace) {
  const std::string der = read_der(fixture("server.der"));
  SeroCertificate *cert = certificate_of(der);
  GtkWidget *widget = g_object_ref_sink(sero_certificate_widget_new(cert));
  g_object_unref(cert);
  certview::Shown shown = certview::read_widget(widget);
  std::vector<Row> rows;
  for (const auto &s : shown.secondary)
    for (const auto &r : s.rows) rows.push_back(r);
  ASSERT_EQ(rows.size(), shown.secondary_values.size());
  ASSERT_FALSE(rows.empty());
  for (size_t i = 0; i < rows.size(); i++) {
    SCOPED_TRACE(rows[i].caption);
    PangoAttrList *attributes = gtk_label_get_attributes(GTK_LABEL(shown.secondary_values[i]));
    const bool last = i + 1 == rows.size();
    if (!last) {
      EXPECT_EQ(attributes, nullptr);
      continue;
    }
    EXPECT_EQ(rows[i].caption, "Signature");
    ASSERT_NE(attributes, nullptr);
    PangoAttrIterator *it = pango_attr_list_get_iterator(attributes);
    auto *family = reinterpret_cast<PangoAttrString *>(pango_attr_iterator_get(it, PANGO_ATTR_FAMILY));
    ASSERT_NE(family, nullptr);
    EXPECT_STREQ(family->value, "Monospace");
    pango_attr_iterator_destroy(it);
  }
  g_object_unref(widget);
}

// A second certificate on the same widget adds a second full set: its
// important section after the first one's, its other sections after all
// of the first one's.
TEST_F(Sections, ASecondCertificateAppendsAFullSet) {
  const std::string root = read_der(fixture("root.der")), v1 = read_der(fixture("v1-rsa.der"));
  SeroCertificate *first = certificate_of(root), *second = certificate_of(v1);
  GtkWidget *widget = g_object_ref_sink(sero_certificate_widget_new(first));
  const size_t n_first = certview::read_widget(widget).secondary.size();
  sero_certificate_widget_set_certificate(SERO_CERTIFICATE_WIDGET(widget), second);
  EXPECT_EQ(sero_certificate_widget_get_certificate(SERO_CERTIFICATE_WIDGET(widget)), second);

  certview::Shown shown = certview::read_widget(widget);
  ASSERT_EQ(shown.important.size(), 2u);
  EXPECT_EQ(shown.important[0].title, "Sero Test CA");
  EXPECT_EQ(shown.important[1].title, "Version One");
  auto expected_first = resolve(cases()[0].secondary, *certview::expected_from_der(certview::bytes_of(root)));
  auto expected_second = resolve(cases()[1].secondary, *certview::expected_from_der(certview::bytes_of(v1)));
  ASSERT_EQ(n_first, expected_first.size());
  std::vector<Section> both = expected_first;
  both.insert(both.end(), expected_second.begin(), expected_second.end());
  expect_sections(shown.secondary, both);
  g_object_unref(widget);
  g_object_unref(first);
  g_object_unref(second);
}

// What cannot be shown gets one section that says so and nothing else.
TEST_F(Sections, ACertificateThatCannotBeShownGetsOneSection) {
  const std::string root = read_der(fixture("root.der"));
  struct Case {
    const char *what;
    std::string der;
    std::vector<Section> important;
  } cases[] = {
      {"no certificate", "", {{"No certificate", {}}}},
      {"not DER", "this is not a certificate",
       {{"Invalid certificate", {{"Error", "The certificate data could not be read."}}}}},
      {"cut short", root.substr(0, root.size() / 2),
       {{"Invalid certificate", {{"Error", "The certificate data could not be read."}}}}},
      {"trailing bytes", root + std::string("\0\0", 2),
       {{"Invalid certificate", {{"Error", "The certificate data could not be read."}}}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    SeroCertificate *cert = c.der.empty() ? nullptr : certificate_of(c.der);
    GtkWidget *widget = g_object_ref_sink(sero_certificate_widget_new(cert));
    certview::Shown shown = certview::read_widget(widget);
    expect_sections(shown.important, c.important);
    EXPECT_TRUE(shown.secondary.empty()) << shown.secondary.size() << " secondary sections";
    EXPECT_EQ(sero_certificate_widget_get_certificate(SERO_CERTIFICATE_WIDGET(widget)), cert);
    g_object_unref(widget);
    if (cert) g_object_unref(cert);
  }
}

// Captions, fixed texts and OID descriptions come from the widgets' text
// domain; what the certificate itself holds is never looked up there, even
// where it reads like a translatable text. Runs in a German locale built for
// the test, with a small catalog of its own.
TEST_F(Sections, CaptionsAreTranslatedAndValuesAreNot) {
  testsupport::TempDir dir;
  auto made = testsupport::run({"localedef", "-i", "de_DE", "-f", "UTF-8", dir / "de_DE.UTF-8"});
  if (made.status != 0) GTEST_SKIP() << "cannot build a German locale: " << made.err;
  mkdir((dir / "de").c_str(), 0755);
  mkdir((dir / "de/LC_MESSAGES").c_str(), 0755);
  struct Entry {
    const char *id, *text;
  } entries[] = {
      {"Identity", "Identit\u00e4t"},
      {"Subject Name", "Inhaber"},
      {"Issued Certificate", "Ausgestelltes Zertifikat"},
      {"Version", "Fassung"},
      {"Yes", "Ja"},
      {"No", "Nein"},
      {"Unlimited", "Unbegrenzt"},
      {"Critical", "Kritisch"},
      {"Basic Constraints", "Grundlegende Einschr\u00e4nkungen"},
      {"Certificate signature", "Zertifikatsignatur"},
      {"Common Name", "Allgemeiner Name"},
      {"Organization", "Organisation"},
      // Texts that must stay as they are: untranslated captions and
      // values that happen to match an entry.
      {"SHA1", "SHA-Eins"},
      {"Sero Test CA", "Test-Zertifizierungsstelle"},
      {"Sero Tests", "Sero-Pr\u00fcfungen"},
  };
  std::string po = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n";
  for (const auto &e : entries) {
    gchar *text = g_strcompress(e.text);
    po += std::string("msgid \"") + e.id + "\"\nmsgstr \"" + text + "\"\n";
    g_free(text);
  }
  testsupport::write_file(dir / "sero-4.po", po);
  auto compiled = testsupport::run({"msgfmt", "-o", dir / "de/LC_MESSAGES/sero-4.mo", dir / "sero-4.po"});
  ASSERT_EQ(compiled.status, 0) << compiled.err;

  // The widget class binds its domain once; point it at the test catalog
  // afterwards, and put everything back at the end.
  g_type_class_unref(g_type_class_ref(SERO_TYPE_CERTIFICATE_WIDGET));
  const std::string old_dir = bindtextdomain("sero-4", nullptr);
  const std::string old_locale = setlocale(LC_MESSAGES, nullptr);
  const char *old_locpath = g_getenv("LOCPATH");
  const std::string saved_locpath = old_locpath ? old_locpath : "";
  g_setenv("LOCPATH", dir.path().c_str(), TRUE);
  g_unsetenv("LANGUAGE");
  bindtextdomain("sero-4", dir.path().c_str());
  const bool switched = setlocale(LC_MESSAGES, "de_DE.UTF-8") != nullptr;

  const std::string der = read_der(fixture("root.der"));
  SeroCertificate *cert = certificate_of(der);
  GtkWidget *widget = g_object_ref_sink(sero_certificate_widget_new(cert));
  g_object_unref(cert);
  certview::Shown shown = certview::read_widget(widget);
  g_object_unref(widget);

  setlocale(LC_MESSAGES, old_locale.c_str());
  bindtextdomain("sero-4", old_dir.c_str());
  if (old_locpath)
    g_setenv("LOCPATH", saved_locpath.c_str(), TRUE);
  else
    g_unsetenv("LOCPATH");
  ASSERT_TRUE(switched) << "the German locale does not load";

  ASSERT_EQ(shown.important.size(), 1u);
  EXPECT_EQ(shown.important[0].title, "Sero Test CA");
  ASSERT_FALSE(shown.important[0].rows.empty());
  EXPECT_EQ(shown.important[0].rows[0], (Row{"Identit\u00e4t", "Sero Test CA"}));
  std::map<std::string, Section> by_title;
  for (const auto &section : shown.secondary) by_title.emplace(section.title, section);
  ASSERT_EQ(by_title.count("Inhaber"), 1u);
  EXPECT_EQ(by_title["Inhaber"].rows,
            (std::vector<Row>{{"CN (Allgemeiner Name)", "Sero Test CA"}, {"O (Organisation)", "Sero Tests"}}));
  ASSERT_EQ(by_title.count("Ausgestelltes Zertifikat"), 1u);
  EXPECT_EQ(by_title["Ausgestelltes Zertifikat"].rows.at(0), (Row{"Fassung", "3"}));
  ASSERT_EQ(by_title.count("Certificate Fingerprints"), 1u) << "a title without an entry stays as it is";
  EXPECT_EQ(by_title["Certificate Fingerprints"].rows.at(0).caption, "SHA1");
  ASSERT_EQ(by_title.count("Grundlegende Einschr\u00e4nkungen"), 1u);
  EXPECT_EQ(by_title["Grundlegende Einschr\u00e4nkungen"].rows,
            (std::vector<Row>{{"Certificate Authority", "Ja"}, {"Max Path Length", "Unbegrenzt"}, {"Kritisch", "Ja"}}));
  ASSERT_EQ(by_title.count("Key Usage"), 1u);
  EXPECT_EQ(by_title["Key Usage"].rows.at(0).value, "Zertifikatsignatur\nRevocation list signature");
}

// A date that reads but that the locale cannot write stops the filling
// there: the check that failed is reported, and what would follow the
// date is left out. Runs in a locale built for the test whose date format
// is not one.
TEST_F(Sections, ADateThatCannotBeWrittenStopsTheFilling) {
  const char *const c_locale = "/usr/share/i18n/locales/C";
  if (access(c_locale, R_OK) != 0) GTEST_SKIP() << "no locale source " << c_locale;
  testsupport::TempDir dir;
  std::string source = testsupport::read_file(c_locale);
  const auto line = source.find("\nd_fmt");
  ASSERT_NE(line, std::string::npos);
  source.replace(line + 1, source.find('\n', line + 1) - line - 1, "d_fmt \"%Q\"");
  testsupport::write_file(dir / "broken-dates", source);
  auto made = testsupport::run({"localedef", "-i", dir / "broken-dates", "-f", "UTF-8", dir / "xx_XX.UTF-8"});
  if (made.status != 0) GTEST_SKIP() << "cannot build a locale: " << made.err;

  const std::string old_locale = setlocale(LC_TIME, nullptr);
  const char *old_locpath = g_getenv("LOCPATH");
  const std::string saved_locpath = old_locpath ? old_locpath : "";
  g_setenv("LOCPATH", dir.path().c_str(), TRUE);
  const bool switched = setlocale(LC_TIME, "xx_XX.UTF-8") != nullptr;

  SeroCertificate *cert = certificate_of(read_der(fixture("root.der")));
  GtkWidget *widget = g_object_ref_sink(sero_certificate_widget_new(cert));
  g_object_unref(cert);

  setlocale(LC_TIME, old_locale.c_str());
  if (old_locpath)
    g_setenv("LOCPATH", saved_locpath.c_str(), TRUE);
  else
    g_unsetenv("LOCPATH");
  std::vector<LogRecord> messages;
  for (const auto &r : logged)
    if (r.level & (G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL)) messages.push_back(r);
  logged.clear();
  ASSERT_TRUE(switched) << "the locale does not load";

  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].domain, domain);
  EXPECT_EQ(messages[0].level, G_LOG_LEVEL_CRITICAL);
  EXPECT_EQ(messages[0].message, "sero_certificate_widget_set_certificate: assertion 'display != NULL' failed");
  certview::Shown shown = certview::read_widget(widget);
  expect_sections(shown.important, {{"Sero Test CA", {{"Identity", "Sero Test CA"}, {"Verified by", "Sero Test CA"}}}});
  EXPECT_TRUE(shown.secondary.empty()) << shown.secondary.size() << " secondary sections";
  g_object_unref(widget);
}

// Every certificate the system trusts: shown in full, without a message,
// with fingerprints that are the digests of its DER.
TEST_F(Sections, EveryCertificateOfTheTrustStore) {
  const std::string folder = "/etc/ssl/certs";
  std::set<std::string> files;
  if (DIR *dir = opendir(folder.c_str())) {
    while (dirent *entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > 4 && name.substr(name.size() - 4) == ".pem") {
        char *real = realpath((folder + "/" + name).c_str(), nullptr);
        if (real) files.insert(real);
        free(real);
      }
    }
    closedir(dir);
  }
  if (files.empty()) GTEST_SKIP() << "no certificates under " << folder;

  for (const auto &file : files) {
    SCOPED_TRACE(file);
    const std::string der = read_der(file);
    auto expected = certview::expected_from_der(certview::bytes_of(der));
    ASSERT_TRUE(expected.has_value());
    SeroCertificate *cert = certificate_of(der);
    GtkWidget *widget = g_object_ref_sink(sero_certificate_widget_new(cert));
    g_object_unref(cert);
    certview::Shown shown = certview::read_widget(widget);

    ASSERT_EQ(shown.important.size(), 1u);
    EXPECT_EQ(shown.important[0].rows.size(), 3u) << shown.important[0];
    std::vector<std::string> titles;
    for (const auto &s : shown.secondary) titles.push_back(s.title);
    ASSERT_EQ(titles.size(), 6 + expected->extensions);
    const std::vector<std::string> fixed = {"Subject Name", "Issuer Name", "Issued Certificate",
                                            "Certificate Fingerprints", "Public Key Info"};
    EXPECT_EQ(std::vector<std::string>(titles.begin(), titles.begin() + 5), fixed);
    EXPECT_EQ(titles.back(), "Signature");
    for (size_t i = 5; i + 1 < shown.secondary.size(); i++) {
      ASSERT_FALSE(shown.secondary[i].rows.empty());
      EXPECT_EQ(shown.secondary[i].rows.back().caption, "Critical") << shown.secondary[i];
    }
    EXPECT_FALSE(shown.secondary[0].rows.empty()) << "an empty subject";
    EXPECT_EQ(shown.secondary[3], (Section{"Certificate Fingerprints", {{"SHA1", expected->sha1}, {"MD5", expected->md5}}}));
    auto signature_rows = shown.secondary.back().rows;
    EXPECT_EQ(signature_rows.back(), (Row{"Signature", expected->signature}));
    auto key_rows = shown.secondary[4].rows;
    ASSERT_GE(key_rows.size(), 3u);
    EXPECT_EQ(key_rows.back(), (Row{"Public Key", expected->public_key}));
    EXPECT_EQ(key_rows[key_rows.size() - 2], (Row{"Key SHA1 Fingerprint", expected->key_sha1}));
    g_object_unref(widget);
  }
  RecordProperty("certificates", int(files.size()));
}

}  // namespace
