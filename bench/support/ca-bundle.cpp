#include "ca-bundle.h"

#include <glib.h>
#include <glob.h>

#include <fstream>
#include <sstream>
#include <string_view>

namespace benchsupport {

std::vector<std::string> load_bundle(const char *pattern) {
  constexpr std::string_view begin = "-----BEGIN CERTIFICATE-----", end = "-----END CERTIFICATE-----";
  std::vector<std::string> certs;
  glob_t found{};
  if (glob(pattern, 0, nullptr, &found) == 0) {
    for (size_t i = 0; i < found.gl_pathc; ++i) {
      std::ifstream in(found.gl_pathv[i], std::ios::binary);
      std::stringstream ss;
      ss << in.rdbuf();
      const std::string pem = ss.str();
      for (size_t at = pem.find(begin); at != std::string::npos; at = pem.find(begin, at)) {
        const size_t stop = pem.find(end, at);
        if (stop == std::string::npos) break;
        const std::string body = pem.substr(at + begin.size(), stop - at - begin.size());
        gsize n = 0;
        guchar *der = g_base64_decode(body.c_str(), &n);
        if (n > 0) certs.emplace_back(reinterpret_cast<char *>(der), n);
        g_free(der);
        at = stop;
      }
    }
  }
  globfree(&found);
  return certs;
}

}  // namespace benchsupport
