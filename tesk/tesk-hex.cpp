/* Hexadecimal text for byte strings. */
#include "tesk-hex.h"

#include "tesk-asn1x-private.h"

#include <cstring>
#include <memory>
#include <string_view>

namespace {

constexpr std::string_view HEXC_UPPER = "0123456789ABCDEF";
constexpr std::string_view HEXC_LOWER = "0123456789abcdef";

/* The value of one hex digit, either case, or -1. */
int
hex_digit (gchar ch)
{
  auto pos = HEXC_UPPER.find (g_ascii_toupper (ch));
  return pos == std::string_view::npos ? -1 : static_cast<int> (pos);
}

struct GFreeDeleter {
  void operator() (gpointer p) const { g_free (p); }
};

} // namespace

extern "C" guchar *
tesk_hex_decode_full (const gchar *data, gssize n_data, const gchar *delim, guint group,
                      gsize *n_decoded)
{
  TESK_RETURN_VAL_IF_FAIL (data || !n_data, NULL);
  TESK_RETURN_VAL_IF_FAIL (n_decoded, NULL);
  TESK_RETURN_VAL_IF_FAIL (group >= 1, NULL);

  std::string_view text = n_data < 0 ? std::string_view (data)
                                     : std::string_view (data, static_cast<gsize> (n_data));
  std::string_view separator = delim ? std::string_view (delim) : std::string_view ();

  std::unique_ptr<guchar, GFreeDeleter> result (
      static_cast<guchar *> (g_malloc0 (text.size () / 2 + 1)));
  gsize decoded = 0;
  gsize pos = 0;
  *n_decoded = 0;

  for (bool first = true; pos < text.size (); first = false) {
    if (!first && delim) {
      if (text.substr (pos, separator.size ()) != separator)
        return NULL;
      pos += separator.size ();
    }
    for (guint part = 0; part < group && pos < text.size (); ++part) {
      int high = hex_digit (text[pos++]);
      if (high < 0 || pos >= text.size ())
        return NULL;
      int low = hex_digit (text[pos++]);
      if (low < 0)
        return NULL;
      result.get ()[decoded++] = static_cast<guchar> (high << 4 | low);
    }
  }

  *n_decoded = decoded;
  return result.release ();
}

extern "C" guchar *
tesk_hex_decode (const gchar *data, gssize n_data, gsize *n_decoded)
{
  return tesk_hex_decode_full (data, n_data, NULL, 1, n_decoded);
}

extern "C" gchar *
tesk_hex_encode_full (gconstpointer data, gsize n_data, gboolean upper_case, const gchar *delim,
                      guint group)
{
  TESK_RETURN_VAL_IF_FAIL (data || !n_data, NULL);

  std::string_view digits = upper_case ? HEXC_UPPER : HEXC_LOWER;
  const auto *bytes = static_cast<const guchar *> (data);
  gsize n_delim = delim ? std::strlen (delim) : 0;
  gsize n_groups = group ? (n_data + group - 1) / group : 0;
  GString *result = g_string_sized_new (n_data * 2 + (n_groups ? n_groups - 1 : 0) * n_delim);

  for (gsize i = 0; i < n_data; ++i) {
    if (i && delim && group && i % group == 0)
      g_string_append_len (result, delim, static_cast<gssize> (n_delim));
    g_string_append_c (result, digits[bytes[i] >> 4]);
    g_string_append_c (result, digits[bytes[i] & 0x0F]);
  }

  return g_string_free (result, FALSE);
}

extern "C" gchar *
tesk_hex_encode (gconstpointer data, gsize n_data)
{
  return tesk_hex_encode_full (data, n_data, TRUE, NULL, 0);
}
