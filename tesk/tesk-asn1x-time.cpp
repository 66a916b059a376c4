// UTCTime and GeneralizedTime values: parsing into a broken-down time with
// an offset from UTC, and conversion to GDateTime.

#include "tesk-asn1x-private.h"

#include <cstring>

namespace {

// The decimal value of n characters, or -1 when one is not a digit.
int atoin (const char *p, int digits)
{
  int ret = 0;
  for (int i = 0; i < digits; i++) {
    if (!g_ascii_isdigit (p[i]))
      return -1;
    ret = ret * 10 + (p[i] - '0');
  }
  return ret;
}

enum class Year { two_digits, four_digits };

gboolean parse_time (const gchar *time, gsize n_time, Year year_form, struct tm *when,
                     gint *offset)
{
  std::memset (when, 0, sizeof (*when));
  when->tm_mday = 1;
  *offset = 0;

  const char *p = time;
  const char *e = time + n_time;
  const char *digits_end = p;
  while (digits_end < e && g_ascii_isdigit (*digits_end))
    digits_end++;

  int fields = 0;
  if (year_form == Year::four_digits) {
    if (digits_end - p >= 4) {
      when->tm_year = atoin (p, 4) - 1900;
      p += 4;
    }
    fields = 1;
  }

  int *targets[] = {&when->tm_year, &when->tm_mon, &when->tm_mday,
                    &when->tm_hour, &when->tm_min, &when->tm_sec};
  for (int i = fields; i < 6 && digits_end - p >= 2; i++) {
    int value = atoin (p, 2);
    p += 2;
    if (i == 0) {
      const int year = two_to_four_digit_year (value);
      value = year < 0 ? -1 - 1900 : year - 1900;
    } else if (i == 1) {
      value -= 1;
    }
    *targets[i] = value;
  }

  if (when->tm_year < 0 || when->tm_year > 9999 || when->tm_mon < 0 || when->tm_mon > 11 ||
      when->tm_mday < 1 || when->tm_mday > 31 || when->tm_hour < 0 || when->tm_hour > 23 ||
      when->tm_min < 0 || when->tm_min > 59 || when->tm_sec < 0 || when->tm_sec > 59)
    return FALSE;
  if (p != digits_end)
    return FALSE;

  if (p == e)
    return TRUE;

  // A fractional part: its start and four more characters are skipped.
  if (*p == '.') {
    if (e - p < 5)
      return FALSE;
    p += 5;
    if (p == e)
      return TRUE;
  }

  if (*p == 'Z')
    return p + 1 == e;

  if (*p == '+' || *p == '-') {
    const bool negative = *p == '-';
    const std::ptrdiff_t following = e - p - 1;
    if (following < 2)
      return FALSE;
    int off = atoin (p + 1, 2) * 3600;
    if (off < 0 || off > 86400)
      return FALSE;
    if (following >= 4) {
      off += atoin (p + 3, 2) * 60;
      p += 5;
    } else {
      p += 3;
    }
    *offset = negative ? -off : off;
    return p == e;
  }

  return FALSE;
}

}  // namespace

int two_to_four_digit_year_at (int year, int current_year)
{
  TESK_RETURN_VAL_IF_FAIL (year >= 0 && year <= 99, -1);
  const int low = current_year - 39;
  int candidate = low - (low % 100) + year;
  if (candidate < low)
    candidate += 100;
  return candidate;
}

int two_to_four_digit_year (int year)
{
  const time_t now = ::time (nullptr);
  TESK_RETURN_VAL_IF_FAIL (now >= 0, -1);
  struct tm tm;
  if (!gmtime_r (&now, &tm)) {
    TESK_NOT_REACHED ();
    return -1;
  }
  TESK_RETURN_VAL_IF_FAIL (year >= 0 && year <= 99, -1);
  return two_to_four_digit_year_at (year, tm.tm_year + 1900);
}

gboolean parse_utc_time (const gchar *time, gsize n_time, struct tm *when, gint *offset)
{
  if (n_time < 6 || n_time > 27) {
    std::memset (when, 0, sizeof (*when));
    when->tm_mday = 1;
    *offset = 0;
    return FALSE;
  }
  return parse_time (time, n_time, Year::two_digits, when, offset);
}

gboolean parse_general_time (const gchar *time, gsize n_time, struct tm *when, gint *offset)
{
  if (n_time < 8 || n_time > 29) {
    std::memset (when, 0, sizeof (*when));
    when->tm_mday = 1;
    *offset = 0;
    return FALSE;
  }
  return parse_time (time, n_time, Year::four_digits, when, offset);
}

gboolean anode_read_time (GNode *node, GBytes *data, struct tm *when, gint *offset)
{
  auto text = bytes_span (data);
  auto *chars = reinterpret_cast<const gchar *> (text.data ());
  gboolean ok;

  switch (anode_def_type (node)) {
  case TESK_ASN1X_GENERALIZED_TIME:
    ok = parse_general_time (chars, text.size (), when, offset);
    break;
  case TESK_ASN1X_UTC_TIME:
    ok = parse_utc_time (chars, text.size (), when, offset);
    break;
  case TESK_ASN1X_TIME: {
    const int flags = anode_def_flags (node);
    if (flags & FLAG_GENERALIZED) {
      ok = parse_general_time (chars, text.size (), when, offset);
    } else if (flags & FLAG_UTC) {
      ok = parse_utc_time (chars, text.size (), when, offset);
    } else {
      TESK_NOT_REACHED ();
      return FALSE;
    }
    break;
  }
  default:
    TESK_NOT_REACHED ();
    return FALSE;
  }

  if (!ok)
    return anode_failure (node, "invalid time content");
  return TRUE;
}

GDateTime *tesk_asn1x_get_time_as_date_time (GNode *node)
{
  TESK_RETURN_VAL_IF_FAIL (node, nullptr);

  const int type = anode_def_type (node);
  if (type == TESK_ASN1X_CHOICE) {
    node = tesk_asn1x_get_choice (node);
    if (node == nullptr)
      return nullptr;
    TESK_RETURN_VAL_IF_FAIL (anode_def_type (node) == TESK_ASN1X_TIME ||
                             anode_def_type (node) == TESK_ASN1X_UTC_TIME ||
                             anode_def_type (node) == TESK_ASN1X_GENERALIZED_TIME,
                             nullptr);
  } else {
    TESK_RETURN_VAL_IF_FAIL (type == TESK_ASN1X_TIME || type == TESK_ASN1X_UTC_TIME ||
                             type == TESK_ASN1X_GENERALIZED_TIME,
                             nullptr);
  }

  GBytes *value = anode_of (node)->value;
  if (value == nullptr)
    return nullptr;

  struct tm when;
  gint offset = 0;
  if (!anode_read_time (node, value, &when, &offset)) {
    TESK_NOT_REACHED ();
    return nullptr;
  }

  GTimeZone *tz = g_time_zone_new_offset (offset);
  GDateTime *dt = g_date_time_new (tz, when.tm_year + 1900, when.tm_mon + 1, when.tm_mday,
                                   when.tm_hour, when.tm_min, when.tm_sec);
  g_time_zone_unref (tz);
  return dt;
}
