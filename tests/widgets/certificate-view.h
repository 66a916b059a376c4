// Reading what a certificate widget shows (every section's title and every
// row's caption and value) and computing, straight from a certificate's
// DER, the values the widget must show for it.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sero-section.h"
#include "widget-tree.h"

namespace certview {

struct Row {
  std::string caption, value;
  bool operator==(const Row &) const = default;
};

struct Section {
  std::string title;
  std::vector<Row> rows;
  bool operator==(const Section &) const = default;
};

inline std::ostream &operator<<(std::ostream &out, const Section &s) {
  out << "[" << s.title << "]";
  for (const auto &r : s.rows) out << " {" << r.caption << ": " << r.value << "}";
  return out;
}

// The value widget of every row, with its section, in display order.
struct Shown {
  std::vector<Section> important, secondary;
  std::vector<GtkWidget *> secondary_values;  // value widgets of the secondary sections
};

inline Section read_section(GtkWidget *section, std::vector<GtkWidget *> *values = nullptr) {
  Section out;
  auto parts = widgettest::children(section);
  if (parts.size() != 2) return out;
  out.title = widgettest::label_text(parts[0]);
  for (GtkWidget *row : widgettest::children(widgettest::only_child(parts[1]))) {
    auto cells = widgettest::children(widgettest::only_child(row));
    if (cells.size() != 2) continue;
    out.rows.push_back({widgettest::label_text(cells[0]),
                        GTK_IS_LABEL(cells[1]) ? widgettest::label_text(cells[1]) : std::string("<not a label>")});
    if (values) values->push_back(cells[1]);
  }
  return out;
}

inline Shown read_widget(GtkWidget *widget) {
  Shown shown;
  for (GtkWidget *child : widgettest::children(widget)) {
    if (SERO_IS_SECTION(child)) {
      shown.important.push_back(read_section(child));
    } else if (GTK_IS_REVEALER(child)) {
      for (GtkWidget *s : widgettest::children(widgettest::only_child(child)))
        shown.secondary.push_back(read_section(s, &shown.secondary_values));
    }
  }
  return shown;
}

// The DER of the first certificate in PEM text, or nothing when the text
// holds none.
inline std::optional<std::string> der_of_pem(const std::string &text) {
  const auto begin = text.find("-----BEGIN CERTIFICATE-----");
  if (begin == std::string::npos) return std::nullopt;
  const auto start = text.find('\n', begin) + 1;
  const std::string body = text.substr(start, text.find("-----END", start) - start);
  gsize n = 0;
  guchar *raw = g_base64_decode(body.c_str(), &n);
  std::string der(reinterpret_cast<char *>(raw), n);
  g_free(raw);
  return der;
}

// A minimal DER reader, enough to find the parts of a certificate.
using Bytes = std::basic_string_view<uint8_t>;

struct Element {
  uint8_t tag = 0;
  Bytes whole, contents;
};

// The element at the start of data, or nothing when it is not one.
inline std::optional<Element> read_element(Bytes data) {
  if (data.size() < 2) return std::nullopt;
  size_t length = data[1], header = 2;
  if (length & 0x80) {
    const size_t n = length & 0x7f;
    if (n == 0 || n > 4 || data.size() < 2 + n) return std::nullopt;
    length = 0;
    for (size_t i = 0; i < n; i++) length = length << 8 | data[2 + i];
    header += n;
  }
  if (data.size() - header < length) return std::nullopt;
  return Element{data[0], data.substr(0, header + length), data.substr(header, length)};
}

inline std::vector<Element> read_children(Bytes contents) {
  std::vector<Element> out;
  while (!contents.empty()) {
    auto e = read_element(contents);
    if (!e) break;
    out.push_back(*e);
    contents.remove_prefix(e->whole.size());
  }
  return out;
}

inline std::string hex(Bytes bytes, bool upper = true, const char *delimiter = " ") {
  static const char upper_digits[] = "0123456789ABCDEF", lower_digits[] = "0123456789abcdef";
  const char *digits = upper ? upper_digits : lower_digits;
  std::string out;
  for (size_t i = 0; i < bytes.size(); i++) {
    if (i && delimiter) out += delimiter;
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 0xf];
  }
  return out;
}

inline std::string digest(GChecksumType type, Bytes data, bool upper, const char *delimiter) {
  GChecksum *checksum = g_checksum_new(type);
  g_checksum_update(checksum, data.data(), data.size());
  uint8_t buffer[64];
  gsize n = sizeof buffer;
  g_checksum_get_digest(checksum, buffer, &n);
  g_checksum_free(checksum);
  return hex(Bytes(buffer, n), upper, delimiter);
}

// What the widget must show for a certificate, computed from its DER.
struct Expected {
  std::string sha1, md5;      // lower case, unseparated
  std::string key_sha1;       // of the subjectPublicKeyInfo
  std::string public_key;     // the subject public key's bytes
  std::string signature;      // the signature's bytes
  size_t extensions = 0;      // number of extensions
};

inline std::optional<Expected> expected_from_der(Bytes der) {
  auto cert = read_element(der);
  if (!cert) return std::nullopt;
  auto top = read_children(cert->contents);
  if (top.size() != 3) return std::nullopt;
  auto tbs = read_children(top[0].contents);
  size_t i = (!tbs.empty() && tbs[0].tag == 0xa0) ? 1 : 0;  // the version is optional
  // serialNumber, signature, issuer, validity, subject, subjectPublicKeyInfo
  if (tbs.size() < i + 6) return std::nullopt;
  const Element &spki = tbs[i + 5];
  auto key_parts = read_children(spki.contents);
  if (key_parts.size() != 2 || key_parts[1].contents.empty()) return std::nullopt;

  Expected e;
  e.sha1 = digest(G_CHECKSUM_SHA1, der, false, nullptr);
  e.md5 = digest(G_CHECKSUM_MD5, der, false, nullptr);
  e.key_sha1 = digest(G_CHECKSUM_SHA1, spki.whole, true, " ");
  // A bit string's first content byte counts the unused bits.
  e.public_key = hex(key_parts[1].contents.substr(1));
  if (top[2].contents.empty()) return std::nullopt;
  e.signature = hex(top[2].contents.substr(1));
  for (size_t j = i + 6; j < tbs.size(); j++) {
    if (tbs[j].tag == 0xa3) {  // [3] EXPLICIT Extensions
      auto list = read_element(tbs[j].contents);
      if (list) e.extensions = read_children(list->contents).size();
    }
  }
  return e;
}

inline Bytes bytes_of(const std::string &s) { return Bytes(reinterpret_cast<const uint8_t *>(s.data()), s.size()); }

}  // namespace certview
