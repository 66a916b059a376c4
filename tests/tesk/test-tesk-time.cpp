// UTCTime and GeneralizedTime parsing, the two-digit year window and
// conversion to GDateTime.

#include "tesk-asn1x-private.h"
#include "tesk-test-defs.h"
#include "tesk-test-util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

using namespace tesktest;

namespace {

int current_year ()
{
  time_t now = time (nullptr);
  struct tm tm;
  gmtime_r (&now, &tm);
  return tm.tm_year + 1900;
}

enum class Form { utc, general };

struct TimeCase {
  Form form;
  const char *text;
  bool valid;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, offset = 0;
};

// Two-digit years below are resolved against the current date; 23 lies in
// the window of any year from 1963 to 2062.
const TimeCase time_cases[] = {
  {Form::utc, "230101120000Z", true, 2023, 1, 1, 12, 0, 0, 0},
  {Form::utc, "2301011200Z", true, 2023, 1, 1, 12, 0, 0, 0},
  {Form::utc, "230101120000", true, 2023, 1, 1, 12, 0, 0, 0},
  {Form::utc, "230101120000+0130", true, 2023, 1, 1, 12, 0, 0, 5400},
  {Form::utc, "230101120000-05", true, 2023, 1, 1, 12, 0, 0, -18000},
  {Form::utc, "230101120000+2400", true, 2023, 1, 1, 12, 0, 0, 86400},
  {Form::utc, "230101120000+2500", false},
  {Form::utc, "230101120000+0", false},
  {Form::utc, "230101120000+xx00", false},
  {Form::utc, "230101120000+01300", false},
  {Form::utc, "230230000000Z", true, 2023, 2, 30, 0, 0, 0, 0}, // day and month not compared
  {Form::utc, "230101", true, 2023, 1, 1, 0, 0, 0, 0},
  {Form::utc, "23010112000Z", false},  // odd number of digits
  {Form::utc, "23010112000000Z", false}, // more than twelve digits
  {Form::utc, "231301120000Z", false},
  {Form::utc, "230100120000Z", false},
  {Form::utc, "230101240000Z", false},
  {Form::utc, "230101126000Z", false},
  {Form::utc, "230101120060Z", false},
  {Form::utc, "230101120000ZZ", false},
  {Form::utc, "230101120000X", false},
  {Form::utc, "230101120000.123Z", true, 2023, 1, 1, 12, 0, 0, 0},
  {Form::utc, "23010", false},  // too short
  {Form::general, "20230101120000Z", true, 2023, 1, 1, 12, 0, 0, 0},
  {Form::general, "20230101120000.000Z", true, 2023, 1, 1, 12, 0, 0, 0},
  {Form::general, "20230101120000.0000Z", true, 2023, 1, 1, 12, 0, 0, 0},
  {Form::general, "20230101120000.5Z", false},
  {Form::general, "20230101120000.0000+0100", true, 2023, 1, 1, 12, 0, 0, 3600},
  {Form::general, "20230101120000.0000X", false},
  {Form::general, "18991231235959Z", false}, // before 1900
  {Form::general, "19000101000000Z", true, 1900, 1, 1, 0, 0, 0, 0},
  {Form::general, "2023010112", true, 2023, 1, 1, 12, 0, 0, 0},
  {Form::general, "2023010", false},  // too short
  {Form::general, "99991231235959Z", true, 9999, 12, 31, 23, 59, 59, 0},
};

TEST (TimeParse, Cases)
{
  for (const auto &c : time_cases) {
    SCOPED_TRACE (c.text);
    struct tm when;
    gint offset = 1;
    const gboolean ok = c.form == Form::utc
                          ? parse_utc_time (c.text, std::strlen (c.text), &when, &offset)
                          : parse_general_time (c.text, std::strlen (c.text), &when, &offset);
    ASSERT_EQ (ok, c.valid);
    if (!c.valid)
      continue;
    EXPECT_EQ (when.tm_year + 1900, c.year);
    EXPECT_EQ (when.tm_mon + 1, c.month);
    EXPECT_EQ (when.tm_mday, c.day);
    EXPECT_EQ (when.tm_hour, c.hour);
    EXPECT_EQ (when.tm_min, c.minute);
    EXPECT_EQ (when.tm_sec, c.second);
    EXPECT_EQ (offset, c.offset);
  }
}

TEST (TimeYears, WindowAroundTheCurrentYear)
{
  const struct {
    int two, now, four;
  } cases[] = {
    {50, 2024, 2050}, {84, 2024, 2084}, {85, 2024, 1985}, {0, 2024, 2000},
    {99, 2024, 1999}, {39, 2000, 2039}, {40, 2000, 2040}, {61, 2000, 1961}, {60, 2000, 2060},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE (c.two);
    EXPECT_EQ (two_to_four_digit_year_at (c.two, c.now), c.four);
  }
  const int now = current_year ();
  for (int two = 0; two < 100; two++) {
    const int year = two_to_four_digit_year (two);
    EXPECT_EQ (year % 100, two);
    EXPECT_GE (year, now - 39);
    EXPECT_LE (year, now + 60);
  }
  LogCapture log;
  EXPECT_EQ (two_to_four_digit_year (100), -1);
  EXPECT_EQ (log.problems (), std::vector<std::string>{assertion (
                                "two_to_four_digit_year", "year >= 0 && year <= 99")});
}

std::string date_text (GDateTime *dt)
{
  if (!dt)
    return "(none)";
  gchar *text = g_date_time_format (dt, "%Y-%m-%d %H:%M:%S %z");
  std::string out (text);
  g_free (text);
  g_date_time_unref (dt);
  return out;
}

TEST (TimeDateTime, FromNodes)
{
  std::string der = tlv (0x30, tlv (0x17, "230101120000+0130") +
                                 tlv (0x18, "20330615083000-0500") + tlv (0x17, "2301011200Z"));
  Tree tree (tesk_asn1x_create (test_misc_asn1_tab, "Times"));
  Bytes data = bytes_of (der);
  ASSERT_TRUE (tesk_asn1x_decode (tree.get (), data.get ())) << tesk_asn1x_message (tree.get ());

  // The wall-clock fields stay in the text's own offset.
  EXPECT_EQ (date_text (tesk_asn1x_get_time_as_date_time (tesk_asn1x_node (tree.get (), "utc", NULL))),
             "2023-01-01 12:00:00 +0130");
  EXPECT_EQ (date_text (tesk_asn1x_get_time_as_date_time (tesk_asn1x_node (tree.get (), "gen", NULL))),
             "2033-06-15 08:30:00 -0500");
  EXPECT_EQ (date_text (tesk_asn1x_get_time_as_date_time (tesk_asn1x_node (tree.get (), "t", NULL))),
             "2023-01-01 12:00:00 +0000");
}

TEST (TimeDateTime, ChoiceUsesItsChosenAlternative)
{
  Tree validity (tesk_asn1x_create (test_pkix_asn1_tab, "Validity"));
  Bytes data = bytes_of (tlv (0x30, tlv (0x17, "230101120000Z") + tlv (0x18, "20330101120000Z")));
  ASSERT_TRUE (tesk_asn1x_decode (validity.get (), data.get ()));
  EXPECT_EQ (date_text (tesk_asn1x_get_time_as_date_time (
               tesk_asn1x_node (validity.get (), "notAfter", NULL))),
             "2033-01-01 12:00:00 +0000");

  Tree fresh (tesk_asn1x_create (test_pkix_asn1_tab, "Time"));
  EXPECT_EQ (tesk_asn1x_get_time_as_date_time (fresh.get ()), nullptr);
  EXPECT_EQ (tesk_asn1x_get_time_as_date_time (fresh.get ()->children), nullptr);
}

TEST (TimeDateTime, WrongNodesAndBadContent)
{
  Tree choice (tesk_asn1x_create (test_misc_asn1_tab, "TimeChoice"));
  tesk_asn1x_set_choice (choice.get (), tesk_asn1x_node (choice.get (), "other", NULL));
  Tree integer (tesk_asn1x_create (test_misc_asn1_tab, "Int"));
  Tree times (tesk_asn1x_create (test_misc_asn1_tab, "Times"));
  GNode *utc = tesk_asn1x_node (times.get (), "utc", NULL);
  anode_take_value (utc, g_bytes_new ("bad", 3));

  LogCapture log;
  EXPECT_EQ (tesk_asn1x_get_time_as_date_time (choice.get ()), nullptr);
  EXPECT_EQ (tesk_asn1x_get_time_as_date_time (integer.get ()), nullptr);
  EXPECT_EQ (tesk_asn1x_get_time_as_date_time (utc), nullptr);
  const auto problems = log.problems ();
  ASSERT_EQ (problems.size (), 3u);
  EXPECT_EQ (problems[0],
             assertion ("tesk_asn1x_get_time_as_date_time",
                        "anode_def_type (node) == TESK_ASN1X_TIME || anode_def_type (node) == "
                        "TESK_ASN1X_UTC_TIME || anode_def_type (node) == "
                        "TESK_ASN1X_GENERALIZED_TIME"));
  EXPECT_EQ (problems[1], assertion ("tesk_asn1x_get_time_as_date_time",
                                     "type == TESK_ASN1X_TIME || type == TESK_ASN1X_UTC_TIME || "
                                     "type == TESK_ASN1X_GENERALIZED_TIME"));
  EXPECT_TRUE (is_not_reached (problems[2]));
  EXPECT_STREQ (tesk_asn1x_message (times.get ()), "utc: invalid time content");
}

}  // namespace
