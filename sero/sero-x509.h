// The parts of an X.509 certificate that the library itself reads: the
// outer structure (enough to tell a certificate from other data), names
// and the subject public key.
#pragma once

#include "sero-der.h"

#include <optional>
#include <string>

namespace sero::x509 {

struct Certificate {
  der::Element tbs;      // TBSCertificate
  der::Element issuer;   // Name
  der::Element subject;  // Name
  der::Element spki;     // SubjectPublicKeyInfo
};

// Checks that data is exactly one certificate, down to the subject public
// key info, and returns where its parts lie.
std::optional<Certificate> parse (der::Bytes data);

// Value of the first attribute of the name with the given type, as text.
std::optional<std::string> name_part (const der::Element &name, std::string_view oid);

// The name as one line: attributes as TYPE=value in encoded order,
// relative names separated by ", ", attributes within one by "+".
std::optional<std::string> name_text (const der::Element &name);

// Size of the public key in bits, 0 when it is of an unknown kind.
guint key_size (const der::Element &spki);

}  // namespace sero::x509
