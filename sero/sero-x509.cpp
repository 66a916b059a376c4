#include "sero-private.h"

#include "sero-x509.h"

#include <array>
#include <utility>

namespace sero::x509 {

using der::Class;
using der::Element;
using der::Reader;
namespace tag = der::tag;

namespace {

bool
is_time (const std::optional<Element> &element)
{
  return element && !element->constructed &&
         (element->is_universal (tag::utc_time) || element->is_universal (tag::generalized_time));
}

// AlgorithmIdentifier: SEQUENCE { OID, parameters ANY OPTIONAL }.
bool
is_algorithm (const std::optional<Element> &element)
{
  if (!element || !element->is_sequence ())
    return false;
  Reader reader (element->contents);
  auto oid = reader.next ();
  if (!oid || !oid->is_universal (tag::oid) || !der::oid_text (oid->contents))
    return false;
  if (!reader.at_end () && !reader.next ())
    return false;
  return reader.at_end ();
}

// Name: SEQUENCE OF SET OF SEQUENCE { OID, ANY }; calls fn for each
// attribute in encoded order with its type, its value and whether it
// starts a new relative name. False when the structure is damaged.
template <typename Fn>
bool
walk_name (const Element &name, Fn &&fn)
{
  if (!name.is_sequence ())
    return false;
  Reader rdns (name.contents);
  while (!rdns.at_end ()) {
    auto rdn = rdns.next ();
    if (!rdn || !rdn->constructed || !rdn->is_universal (tag::set))
      return false;
    Reader attrs (rdn->contents);
    bool first = true;
    while (!attrs.at_end ()) {
      auto attr = attrs.next ();
      if (!attr || !attr->is_sequence ())
        return false;
      Reader fields (attr->contents);
      auto type = fields.next ();
      auto value = fields.next ();
      if (!type || !type->is_universal (tag::oid) || !value || !fields.at_end ())
        return false;
      if (!fn (*type, *value, first))
        return true;
      first = false;
    }
  }
  return !rdns.failed ();
}

constexpr std::array<std::pair<std::string_view, std::string_view>, 15> attribute_names = { {
  { "2.5.4.3", "CN" },
  { "2.5.4.4", "SN" },
  { "2.5.4.5", "serialNumber" },
  { "2.5.4.6", "C" },
  { "2.5.4.7", "L" },
  { "2.5.4.8", "ST" },
  { "2.5.4.9", "STREET" },
  { "2.5.4.10", "O" },
  { "2.5.4.11", "OU" },
  { "2.5.4.12", "title" },
  { "2.5.4.42", "GN" },
  { "2.5.4.46", "dnQualifier" },
  { "0.9.2342.19200300.100.1.1", "UID" },
  { "0.9.2342.19200300.100.1.25", "DC" },
  { "1.2.840.113549.1.9.1", "emailAddress" },
} };

std::string
hex_text (der::Bytes bytes)
{
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string text;
  for (guint8 byte : bytes) {
    text += digits[byte >> 4];
    text += digits[byte & 0xf];
  }
  return text;
}

struct Curve {
  std::string_view oid;
  guint bits;
};

constexpr std::array<Curve, 10> named_curves = { {
  { "1.2.840.10045.3.1.1", 192 },   // P-192
  { "1.3.132.0.33", 224 },          // P-224
  { "1.2.840.10045.3.1.7", 256 },   // P-256
  { "1.3.132.0.34", 384 },          // P-384
  { "1.3.132.0.35", 521 },          // P-521
  { "1.3.132.0.10", 256 },          // secp256k1
  { "1.3.36.3.3.2.8.1.1.7", 256 },  // brainpoolP256r1
  { "1.3.36.3.3.2.8.1.1.11", 384 }, // brainpoolP384r1
  { "1.3.36.3.3.2.8.1.1.13", 512 }, // brainpoolP512r1
  { "1.3.36.3.3.2.8.1.1.3", 192 },  // brainpoolP192r1
} };

// Keys whose size follows from the algorithm alone.
constexpr std::array<Curve, 4> fixed_size_keys = { {
  { "1.3.101.110", 256 },  // X25519
  { "1.3.101.111", 448 },  // X448
  { "1.3.101.112", 256 },  // Ed25519
  { "1.3.101.113", 456 },  // Ed448
} };

guint
rsa_key_size (der::Bytes key)
{
  // RSAPublicKey: SEQUENCE { modulus INTEGER, publicExponent INTEGER }.
  auto seq = der::read_only (key);
  if (!seq || !seq->is_sequence ())
    return 0;
  Reader reader (seq->contents);
  auto modulus = reader.next ();
  if (!modulus || !modulus->is_universal (tag::integer))
    return 0;
  return der::integer_bits (modulus->contents);
}

guint
dsa_key_size (const std::optional<Element> &params)
{
  // Dss-Parms: SEQUENCE { p INTEGER, q INTEGER, g INTEGER }; without them
  // the parameters are inherited from the issuer and the size is unknown.
  if (!params || !params->is_sequence ())
    return 0;
  Reader reader (params->contents);
  auto p = reader.next ();
  if (!p || !p->is_universal (tag::integer))
    return 0;
  return der::integer_bits (p->contents);
}

guint
ec_key_size (const std::optional<Element> &params, der::Bytes point)
{
  if (params && params->is_universal (tag::oid)) {
    if (auto oid = der::oid_text (params->contents))
      for (const auto &curve : named_curves)
        if (curve.oid == *oid)
          return curve.bits;
  }
  // An unknown or explicitly given curve: judge by the size of the point,
  // uncompressed (04, x, y) or compressed (02 or 03, x).
  if (point.size () > 1 && point[0] == 0x04 && (point.size () - 1) % 2 == 0)
    return static_cast<guint> ((point.size () - 1) / 2 * 8);
  if (point.size () > 1 && (point[0] == 0x02 || point[0] == 0x03))
    return static_cast<guint> ((point.size () - 1) * 8);
  return 0;
}

}  // namespace

std::optional<Certificate>
parse (der::Bytes data)
{
  // Certificate: SEQUENCE { tbsCertificate, signatureAlgorithm, signature }.
  auto outer = der::read_only (data);
  if (!outer || !outer->is_sequence ())
    return std::nullopt;
  Reader top (outer->contents);
  auto tbs = top.next ();
  auto signature_algorithm = top.next ();
  auto signature = top.next ();
  if (!tbs || !tbs->is_sequence () || !is_algorithm (signature_algorithm) || !signature ||
      !signature->is_universal (tag::bit_string) || signature->contents.empty () || !top.at_end ())
    return std::nullopt;

  Certificate cert;
  cert.tbs = *tbs;
  Reader fields (tbs->contents);
  if (auto version = fields.next_if (Class::context, 0)) {
    if (!version->constructed || !der::integer_value (der::read_only (version->contents).value_or (Element {})))
      return std::nullopt;
  }
  auto serial = fields.next ();
  auto algorithm = fields.next ();
  auto issuer = fields.next ();
  auto validity = fields.next ();
  auto subject = fields.next ();
  auto spki = fields.next ();
  if (!serial || !serial->is_universal (tag::integer) || serial->contents.empty ())
    return std::nullopt;
  if (!is_algorithm (algorithm) || !issuer || !issuer->is_sequence () || !subject ||
      !subject->is_sequence () || !spki || !spki->is_sequence ())
    return std::nullopt;
  if (!validity || !validity->is_sequence ())
    return std::nullopt;
  Reader times (validity->contents);
  if (!is_time (times.next ()) || !is_time (times.next ()) || !times.at_end ())
    return std::nullopt;
  Reader key (spki->contents);
  if (!is_algorithm (key.next ()))
    return std::nullopt;
  auto bits = key.next ();
  if (!bits || !bits->is_universal (tag::bit_string) || bits->contents.empty () || !key.at_end ())
    return std::nullopt;
  // Whatever follows (unique identifiers, extensions) must at least be
  // well-formed elements.
  while (!fields.at_end ())
    if (!fields.next ())
      return std::nullopt;

  cert.issuer = *issuer;
  cert.subject = *subject;
  cert.spki = *spki;
  return cert;
}

std::optional<std::string>
name_part (const Element &name, std::string_view oid)
{
  std::optional<std::string> found;
  walk_name (name, [&] (const Element &type, const Element &value, bool) {
    if (!der::oid_equals (type, oid))
      return true;
    found = der::string_text (value);
    return false;
  });
  return found;
}

std::optional<std::string>
name_text (const Element &name)
{
  std::string text;
  const bool ok = walk_name (name, [&] (const Element &type, const Element &value, bool first) {
    if (!text.empty ())
      text += first ? ", " : "+";
    const std::string oid = der::oid_text (type.contents).value_or ("");
    std::string_view label = oid;
    for (const auto &[dotted, short_name] : attribute_names)
      if (dotted == oid)
        label = short_name;
    text += label;
    text += '=';
    if (auto value_text = der::string_text (value)) {
      for (size_t i = 0; i < value_text->size (); i++) {
        const char ch = (*value_text)[i];
        const bool edge = (i == 0 && (ch == ' ' || ch == '#')) ||
                          (i + 1 == value_text->size () && ch == ' ');
        if (edge || std::string_view (",+\"\\<>;=").find (ch) != std::string_view::npos)
          text += '\\';
        text += ch;
      }
    } else {
      text += '#' + hex_text (value.whole);
    }
    return true;
  });
  if (!ok)
    return std::nullopt;
  return text;
}

guint
key_size (const Element &spki)
{
  if (!spki.is_sequence ())
    return 0;
  Reader reader (spki.contents);
  auto algorithm = reader.next ();
  auto bits = reader.next ();
  if (!algorithm || !algorithm->is_sequence () || !bits || !bits->is_universal (tag::bit_string) ||
      bits->contents.empty () || bits->contents[0] != 0)
    return 0;
  const der::Bytes key = bits->contents.subspan (1);

  Reader alg (algorithm->contents);
  auto oid_element = alg.next ();
  if (!oid_element || !oid_element->is_universal (tag::oid))
    return 0;
  auto params = alg.next ();
  const auto oid = der::oid_text (oid_element->contents);
  if (!oid)
    return 0;

  if (*oid == "1.2.840.113549.1.1.1" || *oid == "1.2.840.113549.1.1.10")
    return rsa_key_size (key);
  if (*oid == "1.2.840.10040.4.1")
    return dsa_key_size (params);
  if (*oid == "1.2.840.10045.2.1")
    return ec_key_size (params, key);
  for (const auto &fixed : fixed_size_keys)
    if (fixed.oid == *oid)
      return fixed.bits;
  return 0;
}

}  // namespace sero::x509
