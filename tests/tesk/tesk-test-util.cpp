#include "tesk-test-util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace tesktest {

namespace {

LogCapture *active_capture = nullptr;

const char *field_text (const GLogField *fields, gsize n_fields, const char *key)
{
  for (gsize i = 0; i < n_fields; i++) {
    if (g_strcmp0 (fields[i].key, key) == 0) {
      if (fields[i].length < 0)
        return static_cast<const char *> (fields[i].value);
      return nullptr;
    }
  }
  return nullptr;
}

GLogWriterOutput writer (GLogLevelFlags level, const GLogField *fields, gsize n_fields,
                         gpointer)
{
  const char *message = field_text (fields, n_fields, "MESSAGE");
  const char *domain = field_text (fields, n_fields, "GLIB_DOMAIN");
  const auto bare = static_cast<GLogLevelFlags> (level & G_LOG_LEVEL_MASK);

  if (active_capture) {
    active_capture->add ({bare, domain ? domain : "", message ? message : ""});
    return G_LOG_WRITER_HANDLED;
  }
  if (bare & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING))
    ADD_FAILURE () << "unexpected log message: " << (message ? message : "");
  if (bare & G_LOG_LEVEL_DEBUG)
    return G_LOG_WRITER_HANDLED;
  return g_log_writer_default (level, fields, n_fields, nullptr);
}

struct InstallWriter {
  InstallWriter () { g_log_set_writer_func (writer, nullptr, nullptr); }
} install_writer;

int hex_digit (char c)
{
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

}  // namespace

LogCapture::LogCapture ()
{
  active_capture = this;
}

LogCapture::~LogCapture ()
{
  active_capture = nullptr;
}

std::vector<std::string> LogCapture::messages (GLogLevelFlags level) const
{
  std::vector<std::string> out;
  for (const auto &e : entries_) {
    if (e.level == level)
      out.push_back (e.message);
  }
  return out;
}

std::vector<std::string> LogCapture::problems () const
{
  std::vector<std::string> out;
  for (const auto &e : entries_) {
    if (e.level & (G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING))
      out.push_back (e.message);
  }
  return out;
}

std::string assertion (const char *func, const char *expr)
{
  return std::string (func) + ": assertion '" + expr + "' failed";
}

bool is_not_reached (const std::string &message)
{
  static const std::regex pattern (
    R"(file tesk/tesk-asn1x: line [0-9]+ \([a-z_0-9]+\): should not be reached)");
  return std::regex_match (message, pattern);
}

std::string unhex (std::string_view text)
{
  std::string out;
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == ':' || c == '\n')
      continue;
    const int d = hex_digit (c);
    if (d < 0)
      throw std::invalid_argument ("bad hex digit");
    if (high < 0) {
      high = d;
    } else {
      out.push_back (static_cast<char> (high << 4 | d));
      high = -1;
    }
  }
  if (high >= 0)
    throw std::invalid_argument ("odd number of hex digits");
  return out;
}

std::string hex (std::string_view bytes)
{
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty ())
      out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string hex (GBytes *bytes)
{
  return bytes ? hex (string_of (bytes)) : std::string ("(none)");
}

Bytes bytes_of (const std::string &data)
{
  return Bytes (g_bytes_new (data.data (), data.size ()));
}

std::string string_of (GBytes *bytes)
{
  gsize n = 0;
  auto *p = static_cast<const char *> (g_bytes_get_data (bytes, &n));
  return std::string (p ? p : "", n);
}

std::string tlv (unsigned char identifier, const std::string &content)
{
  std::string out (1, static_cast<char> (identifier));
  const size_t n = content.size ();
  if (n < 128) {
    out.push_back (static_cast<char> (n));
  } else {
    std::string len;
    for (size_t v = n; v != 0; v >>= 8)
      len.insert (len.begin (), static_cast<char> (v & 0xFF));
    out.push_back (static_cast<char> (0x80 | len.size ()));
    out += len;
  }
  return out + content;
}

std::string read_fixture (const std::string &name)
{
  const char *dir = std::getenv ("TEST_DATADIR");
  std::string path = std::string (dir ? dir : "tests/data") + "/tesk/" + name;
  std::ifstream in (path, std::ios::binary);
  if (!in)
    throw std::runtime_error ("cannot read " + path);
  std::ostringstream ss;
  ss << in.rdbuf ();
  return ss.str ();
}

}  // namespace tesktest
