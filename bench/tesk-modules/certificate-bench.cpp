// Time per certificate for the work the certificate widget starts with:
// decode a DER certificate, read its subject as text, free everything.
// Runs over every certificate of the system's CA bundle, for the toolkit
// and, in the same run, for OpenSSL as the peer (d2i_X509 and its
// one-line subject name).
#include <glib.h>
#include <openssl/x509.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ca-bundle.h"
#include "tesk-asn1x-modules.h"
#include "tesk-asn1x.h"
#include "tesk-dn.h"

namespace {

// Sink that keeps the compiler from dropping the work.
size_t total_chars = 0;

bool
tesk_one (const std::string &der)
{
  GBytes *data = g_bytes_new_static (der.data (), der.size ());
  GNode *cert = tesk_asn1x_create_and_decode (pkix_asn1_tab, "Certificate", data);
  g_bytes_unref (data);
  if (!cert)
    return false;
  gchar *subject = tesk_dn_read (tesk_asn1x_node (cert, "tbsCertificate", "subject", "rdnSequence", NULL));
  total_chars += subject ? std::strlen (subject) : 0;
  g_free (subject);
  tesk_asn1x_destroy (cert);
  return subject != nullptr;
}

bool
openssl_one (const std::string &der)
{
  const unsigned char *p = reinterpret_cast<const unsigned char *> (der.data ());
  X509 *cert = d2i_X509 (nullptr, &p, static_cast<long> (der.size ()));
  if (!cert)
    return false;
  char *subject = X509_NAME_oneline (X509_get_subject_name (cert), nullptr, 0);
  total_chars += subject ? std::strlen (subject) : 0;
  bool ok = subject != nullptr;
  OPENSSL_free (subject);
  X509_free (cert);
  return ok;
}

// Best of several rounds, in microseconds per certificate.
double
measure (const std::vector<std::string> &certs, const std::function<bool (const std::string &)> &one,
         int rounds, int passes)
{
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    auto start = std::chrono::steady_clock::now ();
    for (int p = 0; p < passes; ++p) {
      for (const auto &der : certs) {
        if (!one (der)) {
          std::fprintf (stderr, "a certificate failed to decode\n");
          std::exit (1);
        }
      }
    }
    std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now () - start;
    best = std::min (best, took.count () / double (passes * certs.size ()));
  }
  return best;
}

} // namespace

int
main (int argc, char **argv)
{
  const char *pattern = argc > 1 ? argv[1] : "/etc/ssl/certs/*.pem";
  int passes = argc > 2 ? std::atoi (argv[2]) : 20;
  auto certs = benchsupport::load_bundle (pattern);
  if (certs.empty ()) {
    std::printf ("no certificates match %s; nothing measured\n", pattern);
    return 0;
  }

  // Warm both up (the toolkit fills its OID table on first use).
  measure (certs, tesk_one, 1, 1);
  measure (certs, openssl_one, 1, 1);

  double tesk = measure (certs, tesk_one, 5, passes);
  double peer = measure (certs, openssl_one, 5, passes);

  std::printf ("certificates: %zu, passes per round: %d, best of 5 rounds\n", certs.size (), passes);
  std::printf ("create+decode+subject+destroy, toolkit: %8.2f us/certificate\n", tesk);
  std::printf ("d2i_X509+X509_NAME_oneline+free, OpenSSL: %8.2f us/certificate\n", peer);
  std::printf ("ratio toolkit/OpenSSL: %.3f\n", tesk / peer);
  return total_chars ? 0 : 1;
}
