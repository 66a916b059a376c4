// Tiny DER writers for test inputs: elements from a tag and content, OIDs
// from dotted text, and hex in both directions.
#pragma once

#include <glib.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace teskmodules {

inline std::string
der (unsigned char tag, const std::string &content)
{
  std::string out (1, static_cast<char> (tag));
  size_t n = content.size ();
  if (n < 0x80) {
    out += static_cast<char> (n);
  } else {
    std::string len;
    for (; n; n >>= 8)
      len.insert (len.begin (), static_cast<char> (n & 0xFF));
    out += static_cast<char> (0x80 | len.size ());
    out += len;
  }
  return out + content;
}

inline std::string
oid (const std::string &dotted)
{
  std::vector<unsigned long> arcs;
  for (const char *p = dotted.c_str (); *p;) {
    char *end = nullptr;
    arcs.push_back (std::strtoul (p, &end, 10));
    p = *end ? end + 1 : end;
  }
  std::string content (1, static_cast<char> (arcs[0] * 40 + arcs[1]));
  for (size_t i = 2; i < arcs.size (); ++i) {
    std::string arc (1, static_cast<char> (arcs[i] & 0x7F));
    for (unsigned long v = arcs[i] >> 7; v; v >>= 7)
      arc.insert (arc.begin (), static_cast<char> (0x80 | (v & 0x7F)));
    content += arc;
  }
  return der (0x06, content);
}

inline std::string
unhex (const std::string &hex)
{
  std::string out;
  for (size_t i = 0; i + 1 < hex.size (); i += 2)
    out += static_cast<char> (std::stoi (hex.substr (i, 2), nullptr, 16));
  return out;
}

inline std::string
hex (const std::string &bytes)
{
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 0x0F];
  }
  return out;
}

// One attribute: SEQUENCE { type, value }.
inline std::string
ava (const std::string &dotted, const std::string &value)
{
  return der (0x30, oid (dotted) + value);
}

// An RDNSequence of RDNs, each a list of encoded AVAs.
inline std::string
rdn_sequence (const std::vector<std::vector<std::string>> &rdns)
{
  std::string content;
  for (const auto &rdn : rdns) {
    std::string set;
    for (const auto &a : rdn)
      set += a;
    content += der (0x31, set);
  }
  return der (0x30, content);
}

inline GBytes *
bytes_new (const std::string &data)
{
  return g_bytes_new (data.data (), data.size ());
}

} // namespace teskmodules
