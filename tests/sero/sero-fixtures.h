// Loading the certificate fixtures of tests/data/sero.
#pragma once

#include <glib.h>

#include <string>

#include "process.h"

namespace serotest {

inline std::string fixture(const std::string &name) {
  return testsupport::read_file(testsupport::data_path("sero/" + name));
}

inline GBytes *bytes(const std::string &data) { return g_bytes_new(data.data(), data.size()); }

// The DER inside the first block of a PEM text.
inline std::string pem_to_der(const std::string &pem) {
  auto start = pem.find('\n', pem.find("-----BEGIN ")) + 1;
  auto end = pem.find("-----END ");
  std::string body = pem.substr(start, end - start);
  gsize n = 0;
  guchar *der = g_base64_decode(body.c_str(), &n);
  std::string out(reinterpret_cast<char *>(der), n);
  g_free(der);
  return out;
}

}  // namespace serotest
