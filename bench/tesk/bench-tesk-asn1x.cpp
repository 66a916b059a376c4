// Throughput of decoding and writing back a certificate, against peers
// measured in the same run: a naive recursive TLV walk that copies every
// value, and (when built with libcrypto) OpenSSL's d2i_X509/i2d_X509.
// Prints the time per certificate of each and the ratios.
//   bench-tesk-asn1x [certificate.der] [seconds per measurement]

#include "tesk-asn1x-modules.h"
#include "tesk-asn1x.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#ifdef HAVE_LIBCRYPTO
#include <openssl/x509.h>
#endif

namespace {

// The peer: a schema-less tree of elements, each value copied out.
struct Element {
  unsigned char identifier = 0;
  std::vector<unsigned char> value;
  std::vector<Element> children;
};

bool naive_parse (const unsigned char *&p, const unsigned char *end, Element &out, int depth)
{
  if (end - p < 2 || depth > 64)
    return false;
  out.identifier = *p++;
  size_t len = *p++;
  if (len & 0x80) {
    size_t n = len & 0x7F;
    if (n > 4 || static_cast<size_t> (end - p) < n)
      return false;
    len = 0;
    while (n--)
      len = (len << 8) | *p++;
  }
  if (static_cast<size_t> (end - p) < len)
    return false;
  const unsigned char *content_end = p + len;
  if (out.identifier & 0x20) {
    while (p < content_end) {
      out.children.emplace_back ();
      if (!naive_parse (p, content_end, out.children.back (), depth + 1))
        return false;
    }
  } else {
    out.value.assign (p, content_end);
    p = content_end;
  }
  return true;
}

// Content length of an element as written.
size_t naive_content (const Element &e)
{
  size_t c = e.value.size ();
  for (const auto &child : e.children) {
    const size_t cc = naive_content (child);
    size_t header = 2;
    for (size_t v = cc; v >= 128 && v != 0; v >>= 8)
      header++;
    c += header + cc;
  }
  return c;
}

void naive_write (const Element &e, std::vector<unsigned char> &out)
{
  const size_t c = naive_content (e);
  out.push_back (e.identifier);
  if (c < 128) {
    out.push_back (static_cast<unsigned char> (c));
  } else {
    unsigned char buf[8];
    int n = 0;
    for (size_t v = c; v; v >>= 8)
      buf[n++] = v & 0xFF;
    out.push_back (0x80 | n);
    while (n--)
      out.push_back (buf[n]);
  }
  out.insert (out.end (), e.value.begin (), e.value.end ());
  for (const auto &child : e.children)
    naive_write (child, out);
}

double measure (const char *name, double seconds, const std::function<bool ()> &once)
{
  using clock = std::chrono::steady_clock;
  // Warm up, then run in batches until the time is spent.
  for (int i = 0; i < 100; i++)
    if (!once ()) {
      std::fprintf (stderr, "%s failed\n", name);
      std::exit (1);
    }
  long runs = 0;
  const auto start = clock::now ();
  auto now = start;
  while (std::chrono::duration<double> (now - start).count () < seconds) {
    for (int i = 0; i < 200; i++)
      once ();
    runs += 200;
    now = clock::now ();
  }
  const double ns = std::chrono::duration<double, std::nano> (now - start).count () / runs;
  std::printf ("%-34s %10.0f ns per certificate\n", name, ns);
  return ns;
}

std::string read_all (const char *path)
{
  std::ifstream in (path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf ();
  return ss.str ();
}

}  // namespace

int main (int argc, char **argv)
{
  std::string default_path;
  if (const char *dir = std::getenv ("TEST_DATADIR"))
    default_path = std::string (dir) + "/tesk/server.der";
  const char *path = argc > 1 ? argv[1] : default_path.c_str ();
  const double seconds = argc > 2 ? std::atof (argv[2]) : 1.0;

  const std::string der = read_all (path);
  if (der.empty ()) {
    std::fprintf (stderr, "cannot read %s\n", path);
    return 1;
  }
  GBytes *bytes = g_bytes_new_static (der.data (), der.size ());
  std::printf ("certificate: %s, %zu bytes\n", path, der.size ());

  const double create = measure ("tesk create Certificate tree", seconds, [] {
    GNode *asn = tesk_asn1x_create (pkix_asn1_tab, "Certificate");
    tesk_asn1x_destroy (asn);
    return asn != nullptr;
  });
  const double decode = measure ("tesk create + decode", seconds, [&] {
    GNode *asn = tesk_asn1x_create_and_decode (pkix_asn1_tab, "Certificate", bytes);
    tesk_asn1x_destroy (asn);
    return asn != nullptr;
  });
  const double round = measure ("tesk create + decode + encode", seconds, [&] {
    GNode *asn = tesk_asn1x_create_and_decode (pkix_asn1_tab, "Certificate", bytes);
    if (!asn)
      return false;
    GBytes *out = tesk_asn1x_encode (asn, nullptr);
    const bool ok = out && g_bytes_get_size (out) == der.size ();
    if (out)
      g_bytes_unref (out);
    tesk_asn1x_destroy (asn);
    return ok;
  });
  const double naive = measure ("naive TLV walk + write", seconds, [&] {
    Element root;
    auto *p = reinterpret_cast<const unsigned char *> (der.data ());
    if (!naive_parse (p, p + der.size (), root, 0))
      return false;
    std::vector<unsigned char> out;
    naive_write (root, out);
    return out.size () == der.size ();
  });

  std::printf ("ratio tesk decode / naive walk+write:          %.2f\n", decode / naive);
  std::printf ("ratio tesk decode+encode / naive walk+write:   %.2f\n", round / naive);
  std::printf ("share of tree creation in decode+encode:       %.0f%%\n", 100.0 * create / round);

#ifdef HAVE_LIBCRYPTO
  const double openssl = measure ("OpenSSL d2i_X509 + i2d_X509", seconds, [&] {
    auto *p = reinterpret_cast<const unsigned char *> (der.data ());
    X509 *x = d2i_X509 (nullptr, &p, static_cast<long> (der.size ()));
    if (!x)
      return false;
    unsigned char *out = nullptr;
    const int n = i2d_X509 (x, &out);
    OPENSSL_free (out);
    X509_free (x);
    return n == static_cast<int> (der.size ());
  });
  std::printf ("ratio tesk decode+encode / OpenSSL:            %.2f\n", round / openssl);
#endif

  g_bytes_unref (bytes);
  return 0;
}
