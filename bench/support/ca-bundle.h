// The certificates benchmarks run over: the system's CA bundle.
#pragma once

#include <string>
#include <vector>

namespace benchsupport {

// The DER of every certificate in the PEM files that match the pattern
// (for example "/etc/ssl/certs/*.pem"); blocks whose base64 does not
// decode are left out.
std::vector<std::string> load_bundle(const char *pattern);

}  // namespace benchsupport
