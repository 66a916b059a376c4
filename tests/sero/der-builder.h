// Building small DER encodings by hand, so that tests can make exactly the
// certificate or extension value a case needs.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

namespace derb {

using Bytes = std::string;

inline Bytes length_octets(size_t n) {
  if (n < 0x80) return Bytes(1, char(n));
  Bytes out;
  for (size_t v = n; v; v >>= 8) out.insert(out.begin(), char(v & 0xff));
  return Bytes(1, char(0x80 | out.size())) + out;
}

inline Bytes tlv(unsigned tag, const Bytes &contents) {
  return Bytes(1, char(tag)) + length_octets(contents.size()) + contents;
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto &p : parts) out += p;
  return out;
}

inline Bytes seq(std::initializer_list<Bytes> parts) { return tlv(0x30, cat(parts)); }
inline Bytes set(std::initializer_list<Bytes> parts) { return tlv(0x31, cat(parts)); }

inline Bytes oid(const std::string &dotted) {
  std::vector<uint64_t> arcs;
  std::stringstream in(dotted);
  std::string arc;
  while (std::getline(in, arc, '.')) arcs.push_back(std::stoull(arc));
  Bytes contents;
  auto put = [&](uint64_t v) {
    Bytes digits(1, char(v & 0x7f));
    for (v >>= 7; v; v >>= 7) digits.insert(digits.begin(), char(0x80 | (v & 0x7f)));
    contents += digits;
  };
  put(arcs[0] * 40 + arcs[1]);
  for (size_t i = 2; i < arcs.size(); i++) put(arcs[i]);
  return tlv(0x06, contents);
}

inline Bytes integer(const Bytes &contents) { return tlv(0x02, contents); }
inline Bytes small_int(int v) { return integer(Bytes(1, char(v))); }
inline Bytes null() { return tlv(0x05, ""); }
inline Bytes bits(const Bytes &octets, int unused = 0) { return tlv(0x03, Bytes(1, char(unused)) + octets); }
inline Bytes octets(const Bytes &contents) { return tlv(0x04, contents); }
inline Bytes utf8(const Bytes &text) { return tlv(0x0c, text); }
inline Bytes utc(const Bytes &text) { return tlv(0x17, text); }

// A name of one attribute per relative name.
inline Bytes name(std::initializer_list<std::pair<std::string, Bytes>> attrs) {
  Bytes rdns;
  for (const auto &[type, value] : attrs) rdns += set({seq({oid(type), value})});
  return tlv(0x30, rdns);
}

inline Bytes rsa_spki(const Bytes &modulus) {
  return seq({seq({oid("1.2.840.113549.1.1.1"), null()}),
              bits(seq({integer(modulus), integer("\x01\x00\x01")}))});
}

// A structurally complete certificate around the given subject and key.
inline Bytes certificate(const Bytes &subject, const Bytes &spki) {
  const Bytes algorithm = seq({oid("1.2.840.113549.1.1.11"), null()});
  const Bytes tbs = seq({tlv(0xa0, small_int(2)), small_int(1), algorithm,
                         name({{"2.5.4.3", utf8("Issuer")}}),
                         seq({utc("250101000000Z"), utc("350101000000Z")}), subject, spki});
  return seq({tbs, algorithm, bits(Bytes(16, '\x5a'))});
}

inline Bytes from_hex(const std::string &hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size();) {
    if (hex[i] == ' ') { i++; continue; }
    out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    i += 2;
  }
  return out;
}

}  // namespace derb
