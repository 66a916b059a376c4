// Parsers of extension values and the quarks of their identifiers. Values
// are written out byte by byte, so each row shows the encoding it tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "der-builder.h"
#include "sero.h"
#include "sero-fixtures.h"

namespace {

using derb::from_hex;

GBytes *hex_bytes(const char *hex) { return serotest::bytes(from_hex(hex)); }

TEST(SeroOids, QuarksOfTheDottedIdentifiers) {
  struct Case {
    GQuark (*get)();
    const char *oid;
  } cases[] = {
      {_sero_oid_basic_constraints_get_quark, "2.5.29.19"},
      {_sero_oid_extended_key_usage_get_quark, "2.5.29.37"},
      {_sero_oid_subject_key_identifier_get_quark, "2.5.29.14"},
      {_sero_oid_key_usage_get_quark, "2.5.29.15"},
      {_sero_oid_subject_alt_name_get_quark, "2.5.29.17"},
  };
  for (const auto &c : cases) EXPECT_STREQ(g_quark_to_string(c.get()), c.oid);
}

TEST(SeroExtensions, BasicConstraints) {
  struct Case {
    const char *value;
    gboolean ok;
    gboolean ca;
    gint path_len;
  } cases[] = {
      {"30 03 01 01 FF", TRUE, TRUE, -1},
      {"30 06 01 01 FF 02 01 03", TRUE, TRUE, 3},
      {"30 00", TRUE, FALSE, -1},
      {"30 03 02 01 00", TRUE, FALSE, 0},
      {"30 03 01 01 FF 00", FALSE, FALSE, -1},        // a byte after the value
      {"30 03 02 01 FF", FALSE, FALSE, -1},           // negative path length
      {"30 07 02 05 01 00 00 00 00", FALSE, FALSE, -1},  // path length beyond gint
      {"30 06 02 01 03 01 01 FF", FALSE, FALSE, -1},  // fields out of order
      {"30 04 01 02 FF FF", FALSE, FALSE, -1},        // a boolean of two bytes
      {"04 00", FALSE, FALSE, -1},
      {"30 84 FF FF FF FF", FALSE, FALSE, -1},
      {"", FALSE, FALSE, -1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value);
    GBytes *data = hex_bytes(c.value);
    gboolean ca = 7;
    gint path_len = 7;
    EXPECT_EQ(_sero_certificate_extension_basic_constraints(data, &ca, &path_len), c.ok);
    if (c.ok) {
      EXPECT_EQ(ca, c.ca);
      EXPECT_EQ(path_len, c.path_len);
      EXPECT_TRUE(_sero_certificate_extension_basic_constraints(data, nullptr, nullptr));
    } else {
      EXPECT_EQ(ca, 7) << "outputs changed on failure";
      EXPECT_EQ(path_len, 7);
    }
    g_bytes_unref(data);
  }
}

TEST(SeroExtensions, ExtendedKeyUsage) {
  struct Case {
    const char *value;
    bool ok;
    std::vector<std::string> oids;
  } cases[] = {
      {"30 14 06 08 2B 06 01 05 05 07 03 01 06 08 2B 06 01 05 05 07 03 02", true,
       {"1.3.6.1.5.5.7.3.1", "1.3.6.1.5.5.7.3.2"}},
      {"30 0A 06 08 2B 06 01 05 05 07 03 04", true, {"1.3.6.1.5.5.7.3.4"}},
      {"30 00", true, {}},
      {"30 03 02 01 01", false, {}},
      {"30 0A 06 08 2B 06 01 05 05 07 03", false, {}},
      {"30 03 06 01 80", false, {}},  // an arc that never ends
      {"06 03 2B 06 01", false, {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value);
    GBytes *data = hex_bytes(c.value);
    GQuark *quarks = _sero_certificate_extension_extended_key_usage(data);
    if (!c.ok) {
      EXPECT_EQ(quarks, nullptr);
    } else {
      ASSERT_NE(quarks, nullptr);
      std::vector<std::string> got;
      for (GQuark *q = quarks; *q; q++) got.push_back(g_quark_to_string(*q));
      EXPECT_EQ(got, c.oids);
    }
    g_free(quarks);
    g_bytes_unref(data);
  }
}

TEST(SeroExtensions, SubjectKeyIdentifier) {
  struct Case {
    const char *value;
    const char *id;  // hex, or nullptr for none
  } cases[] = {
      {"04 04 01 02 03 04", "01 02 03 04"},
      {"04 00", nullptr},
      {"03 02 00 01", nullptr},
      {"04 05 01 02", nullptr},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value);
    GBytes *data = hex_bytes(c.value);
    gsize n = 99;
    auto *id = static_cast<guchar *>(_sero_certificate_extension_subject_key_identifier(data, &n));
    if (!c.id) {
      EXPECT_EQ(id, nullptr);
      EXPECT_EQ(n, 0u);
    } else {
      ASSERT_NE(id, nullptr);
      EXPECT_EQ(std::string(reinterpret_cast<char *>(id), n), from_hex(c.id));
    }
    g_free(id);
    g_bytes_unref(data);
  }
}

TEST(SeroExtensions, KeyUsageMaskFollowsTheBitNumbers) {
  struct Case {
    const char *value;
    gboolean ok;
    gulong mask;
  } cases[] = {
      {"03 02 05 A0", TRUE, 0x1 | 0x4},        // digital signature, key encipherment
      {"03 02 01 06", TRUE, 0x20 | 0x40},      // certificate and revocation list signature
      {"03 03 07 80 80", TRUE, 0x1 | 0x100},   // digital signature, decipher only
      {"03 02 01 FF", TRUE, 0x7f},             // the unused last bit is not counted
      {"03 01 00", TRUE, 0},
      {"03 02 08 80", FALSE, 0},                  // more than 7 unused bits
      {"03 01 03", FALSE, 0},                     // unused bits but no octets
      {"04 01 00", FALSE, 0},
      {"03 02 00", FALSE, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value);
    GBytes *data = hex_bytes(c.value);
    gulong mask = 0xdead;
    EXPECT_EQ(_sero_certificate_extension_key_usage(data, &mask), c.ok);
    EXPECT_EQ(mask, c.ok ? c.mask : 0xdead);
    g_bytes_unref(data);
  }
}

TEST(SeroExtensions, SubjectAltNames) {
  using namespace derb;
  const Bytes other_known = tlv(0xa0, cat({oid("1.3.6.1.5.5.7.8.5"), tlv(0xa0, utf8("me@xmpp.example"))}));
  const Bytes other_unknown = tlv(0xa0, cat({oid("1.2.3.4"), tlv(0xa0, octets("x"))}));
  const Bytes dir = tlv(0xa4, name({{"2.5.4.3", utf8("Dir, Inc")}, {"2.5.4.10", utf8("Org")}}));
  struct Case {
    Bytes name;
    SeroGeneralNameType type;
    const char *description;
    const char *display;  // nullptr for none
  } cases[] = {
      {tlv(0x82, "example.org"), SERO_GENERAL_NAME_DNS, "DNS", "example.org"},
      {tlv(0x81, "a@example.org"), SERO_GENERAL_NAME_RFC822, "Email", "a@example.org"},
      {tlv(0x87, from_hex("C0 00 02 01")), SERO_GENERAL_NAME_IP, "IP Address", "192.0.2.1"},
      {tlv(0x87, from_hex("20 01 0D B8 00 00 00 00 00 00 00 00 00 00 00 01")), SERO_GENERAL_NAME_IP,
       "IP Address", "2001:db8::1"},
      {tlv(0x87, from_hex("C0 00 02 00 FF FF FF 00")), SERO_GENERAL_NAME_IP, "IP Address", nullptr},
      {tlv(0x86, "https://example.org/"), SERO_GENERAL_NAME_URI, "URI", "https://example.org/"},
      {tlv(0x82, "bad\nname"), SERO_GENERAL_NAME_DNS, "DNS", nullptr},
      {tlv(0x88, from_hex("2A 03 04")), SERO_GENERAL_NAME_REGISTERED_ID, "Registered ID", "1.2.3.4"},
      {dir, SERO_GENERAL_NAME_DN, "Directory Name", "CN=Dir\\, Inc, O=Org"},
      {other_known, SERO_GENERAL_NAME_OTHER, "Other Name", "me@xmpp.example"},
      {other_unknown, SERO_GENERAL_NAME_OTHER, "Other Name", nullptr},
      {tlv(0xa3, seq({})), SERO_GENERAL_NAME_X400, "X400 Address", nullptr},
      {tlv(0xa5, seq({})), SERO_GENERAL_NAME_EDI, "EDI Party Name", nullptr},
  };
  Bytes all;
  for (const auto &c : cases) all += c.name;
  GBytes *data = serotest::bytes(tlv(0x30, all));
  GArray *names = _sero_certificate_extension_subject_alt_name(data);
  ASSERT_NE(names, nullptr);
  ASSERT_EQ(names->len, G_N_ELEMENTS(cases));
  for (guint i = 0; i < names->len; i++) {
    const auto &c = cases[i];
    const auto &got = g_array_index(names, SeroGeneralName, i);
    SCOPED_TRACE(c.description);
    EXPECT_EQ(got.type, guint32(c.type));
    EXPECT_STREQ(got.description, c.description);
    EXPECT_STREQ(got.display, c.display);
    gsize n = 0;
    const char *raw = static_cast<const char *>(g_bytes_get_data(got.raw, &n));
    EXPECT_EQ(std::string(raw, n), c.name) << "raw is the whole encoded name";
  }
  _sero_general_names_free(names);
  g_bytes_unref(data);
}

TEST(SeroExtensions, DamagedSubjectAltNamesGiveNothing) {
  using namespace derb;
  const Bytes cases[] = {
      seq({tlv(0xa2, tlv(0x16, "x"))}),   // a DNS name must be primitive
      seq({tlv(0x89, "x")}),               // no such alternative
      seq({tlv(0x16, "x")}),               // untagged
      seq({tlv(0x82, "ok")}) + Bytes(1, 0),  // a byte after the names
      from_hex("30 05 82 03 61"),
      octets("x"),
  };
  for (const auto &value : cases) {
    GBytes *data = serotest::bytes(value);
    EXPECT_EQ(_sero_certificate_extension_subject_alt_name(data), nullptr);
    g_bytes_unref(data);
  }
  _sero_general_names_free(nullptr);
}

}  // namespace
