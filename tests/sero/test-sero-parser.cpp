// The parser: which data yields which certificates, in which order, and
// how data without certificates fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sero.h"
#include "sero-fixtures.h"

namespace {

using serotest::fixture;

struct Parsed {
  gboolean ok = FALSE;
  std::vector<std::string> labels;  // CKA_LABEL of each item
  std::vector<std::string> values;  // CKA_VALUE of each item
  GQuark error_domain = 0;
  int error_code = 0;
  std::string error_message;
};

void on_parsed(SeroParser *parser, gpointer data) {
  auto *parsed = static_cast<Parsed *>(data);
  TaboAttributes *attrs = sero_parser_get_parsed_attributes(parser);
  ASSERT_NE(attrs, nullptr);
  gulong klass = 0, type = 99;
  EXPECT_TRUE(tabo_attributes_find_ulong(attrs, CKA_CLASS, &klass));
  EXPECT_EQ(klass, CKO_CERTIFICATE);
  EXPECT_TRUE(tabo_attributes_find_ulong(attrs, CKA_CERTIFICATE_TYPE, &type));
  EXPECT_EQ(type, CKC_X_509);
  const TaboAttribute *value = tabo_attributes_find(attrs, CKA_VALUE);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->type, CKA_VALUE);
  parsed->values.emplace_back(reinterpret_cast<char *>(value->value), value->length);
  const TaboAttribute *label = tabo_attributes_find(attrs, CKA_LABEL);
  parsed->labels.emplace_back(label ? std::string(reinterpret_cast<char *>(label->value), label->length)
                                    : "(none)");
}

Parsed parse(const std::string &data) {
  Parsed parsed;
  SeroParser *parser = sero_parser_new();
  g_signal_connect(parser, "parsed", G_CALLBACK(on_parsed), &parsed);
  GBytes *bytes = serotest::bytes(data);
  GError *error = nullptr;
  parsed.ok = sero_parser_parse_bytes(parser, bytes, &error);
  if (error) {
    parsed.error_domain = error->domain;
    parsed.error_code = error->code;
    parsed.error_message = error->message;
    g_error_free(error);
  }
  EXPECT_EQ(sero_parser_get_parsed_attributes(parser), nullptr) << "attributes outlive the emission";
  g_bytes_unref(bytes);
  g_object_unref(parser);
  return parsed;
}

std::string replace(std::string text, const std::string &from, const std::string &to) {
  auto pos = text.find(from);
  if (pos != std::string::npos) text.replace(pos, from.size(), to);
  return text;
}

std::string crlf(const std::string &text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

TEST(SeroParser, FindsEveryCertificateInOrder) {
  const std::string rsa = fixture("rsa-2048.pem");
  struct Case {
    const char *what;
    std::string data;
    std::vector<std::string> labels;
  } cases[] = {
      {"one PEM certificate", rsa, {"RSA Test"}},
      {"bare DER", fixture("rsa-2048.der"), {"RSA Test"}},
      {"three PEM blocks", fixture("three.pem"), {"First", "Second", "Third"}},
      {"a key block is skipped", fixture("key-and-cert.pem"), {"Keyed"}},
      {"text around the blocks", "Subject: someone\n" + rsa + "trailing words\n", {"RSA Test"}},
      {"CRLF line ends", crlf(rsa), {"RSA Test"}},
      {"header lines before the base64 text",
       replace(rsa, "-----\n", "-----\nComment: made for a test\n\n"), {"RSA Test"}},
      {"X509 CERTIFICATE label",
       replace(replace(rsa, "BEGIN CERTIFICATE", "BEGIN X509 CERTIFICATE"), "END CERTIFICATE",
               "END X509 CERTIFICATE"),
       {"RSA Test"}},
      {"trusted certificate", fixture("trusted.pem"), {"EC P-256"}},
      {"subject without a common name", fixture("no-cn.pem"), {"(none)"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Parsed parsed = parse(c.data);
    EXPECT_TRUE(parsed.ok) << parsed.error_message;
    EXPECT_EQ(parsed.labels, c.labels);
  }
}

TEST(SeroParser, ValueIsTheCertificateDer) {
  const std::string der = fixture("rsa-2048.der");
  EXPECT_EQ(parse(fixture("rsa-2048.pem")).values, std::vector<std::string>{der});
  EXPECT_EQ(parse(der).values, std::vector<std::string>{der});
  // The trust settings after a trusted certificate are not part of it.
  const std::string plain = serotest::pem_to_der(fixture("ec-p256.pem"));
  EXPECT_EQ(parse(fixture("trusted.pem")).values, std::vector<std::string>{plain});
}

TEST(SeroParser, DataWithoutCertificatesFails) {
  const std::string rsa = fixture("rsa-2048.pem");
  const std::string der = fixture("rsa-2048.der");
  struct Case {
    const char *what;
    std::string data;
    int code;
  } cases[] = {
      {"empty data", "", SERO_ERROR_UNRECOGNIZED},
      {"plain text", "hello, world\n", SERO_ERROR_UNRECOGNIZED},
      {"a public key only", fixture("public-key.pem"), SERO_ERROR_UNRECOGNIZED},
      {"DER cut short", der.substr(0, der.size() - 1), SERO_ERROR_UNRECOGNIZED},
      {"DER with a byte after it", der + '\0', SERO_ERROR_UNRECOGNIZED},
      {"DER of something else", serotest::pem_to_der(fixture("public-key.pem")), SERO_ERROR_UNRECOGNIZED},
      {"base64 with a stray character", replace(rsa, "MII", "M*I"), SERO_ERROR_FAILURE},
      {"base64 cut short", replace(rsa, "MII", "MI"), SERO_ERROR_FAILURE},
      {"no end line", rsa.substr(0, rsa.find("-----END")), SERO_ERROR_FAILURE},
      {"a public key relabelled as a certificate",
       replace(replace(fixture("public-key.pem"), "BEGIN PUBLIC KEY", "BEGIN CERTIFICATE"),
               "END PUBLIC KEY", "END CERTIFICATE"),
       SERO_ERROR_FAILURE},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Parsed parsed = parse(c.data);
    EXPECT_FALSE(parsed.ok);
    EXPECT_TRUE(parsed.values.empty()) << "items were announced for failing data";
    EXPECT_EQ(parsed.error_domain, SERO_DATA_ERROR);
    EXPECT_EQ(parsed.error_code, c.code) << parsed.error_message;
    EXPECT_FALSE(parsed.error_message.empty());
  }
}

TEST(SeroParser, DamagedBlockAmongGoodOnesFailsWholeAndNamesTheBlock) {
  const std::string three = fixture("three.pem");
  auto second = three.find("-----BEGIN", 1);
  std::string damaged = three;
  damaged.insert(three.find('\n', second) + 1, "!");
  Parsed parsed = parse(damaged);
  EXPECT_FALSE(parsed.ok);
  EXPECT_TRUE(parsed.values.empty());
  EXPECT_EQ(parsed.error_message,
            "The certificate in PEM block 2 is damaged: characters that are not base64 text");
}

void drop_parser(SeroParser *parser, gpointer data) {
  *static_cast<int *>(data) += 1;
  g_object_unref(parser);
  // The parse call holds its own reference until it returns.
  EXPECT_TRUE(SERO_IS_PARSER(parser));
}

TEST(SeroParser, HandlerMayDropTheLastReference) {
  SeroParser *parser = sero_parser_new();
  int calls = 0;
  GBytes *data = serotest::bytes(fixture("rsa-2048.pem"));
  g_signal_connect(parser, "parsed", G_CALLBACK(drop_parser), &calls);
  EXPECT_TRUE(sero_parser_parse_bytes(parser, data, nullptr));
  EXPECT_EQ(calls, 1);
  g_bytes_unref(data);
}

TEST(TaboAttributes, StoresCopiesAndReplacesByType) {
  TaboAttributes *attrs = tabo_attributes_new();
  std::string value = "abc";
  tabo_attributes_add_data(attrs, CKA_VALUE, value.data(), value.size());
  value[0] = 'X';
  const TaboAttribute *found = tabo_attributes_find(attrs, CKA_VALUE);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(found->value), found->length), "abc");
  tabo_attributes_add_data(attrs, CKA_VALUE, "de", 2);
  EXPECT_EQ(tabo_attributes_count(attrs), 1u);
  found = tabo_attributes_find(attrs, CKA_VALUE);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(found->value), found->length), "de");
  EXPECT_EQ(tabo_attributes_find(attrs, CKA_LABEL), nullptr);
  gulong number = 0;
  EXPECT_FALSE(tabo_attributes_find_ulong(attrs, CKA_VALUE, &number)) << "a 2-byte value is no ulong";
  tabo_attributes_unref(attrs);
}

}  // namespace
