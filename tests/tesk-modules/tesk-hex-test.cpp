// The hex codec: grouping and delimiters on the way out, strict reading
// of digits, groups and delimiters on the way in.
#include <gtest/gtest.h>

#include <string>

#include "log-capture.h"
#include "tesk-hex.h"

namespace {

const guchar sample[] = { 0x30, 0x82, 0x01, 0x0A };

TEST (TeskHex, Encode)
{
  struct Case {
    gsize n;
    gboolean upper;
    const char *delim;
    guint group;
    const char *want;
  } cases[] = {
    { 4, TRUE, " ", 1, "30 82 01 0A" },
    { 4, TRUE, ":", 2, "3082:010A" },
    { 4, FALSE, nullptr, 0, "3082010a" },
    { 4, TRUE, ":", 0, "3082010A" },      // group 0: no delimiters
    { 4, TRUE, nullptr, 2, "3082010A" },  // no delimiter text
    { 3, TRUE, "::", 2, "3082::01" },     // short last group, longer delimiter
    { 4, TRUE, "-", 4, "3082010A" },      // one group
    { 1, TRUE, " ", 1, "30" },
    { 0, TRUE, " ", 1, "" },
  };
  for (const Case &c : cases) {
    gchar *got = tesk_hex_encode_full (sample, c.n, c.upper, c.delim, c.group);
    EXPECT_STREQ (got, c.want) << c.n << " bytes, delimiter " << (c.delim ? c.delim : "none")
                               << ", group " << c.group;
    g_free (got);
  }

  gchar *plain = tesk_hex_encode (sample, sizeof sample);
  EXPECT_STREQ (plain, "3082010A");
  g_free (plain);

  const guchar all[] = { 0x00, 0x7F, 0x80, 0xFF, 0xA5 };
  gchar *edges = tesk_hex_encode_full (all, sizeof all, FALSE, nullptr, 0);
  EXPECT_STREQ (edges, "007f80ffa5");
  g_free (edges);
}

TEST (TeskHex, Decode)
{
  struct Case {
    const char *text;
    gssize n;  // -1: up to the terminator
    const char *delim;
    guint group;
    bool ok;
    std::string want;
  } cases[] = {
    { "3082010a", -1, nullptr, 1, true, "\x30\x82\x01\x0a" },
    { "3082010A", -1, nullptr, 1, true, "\x30\x82\x01\x0a" },
    { "308", -1, nullptr, 1, false, "" },        // high digit without its low digit
    { "30x2", -1, nullptr, 1, false, "" },       // not a digit
    { "3 82", -1, nullptr, 1, false, "" },
    { "", -1, nullptr, 1, true, "" },
    { "30:82:", -1, ":", 1, true, "\x30\x82" },  // trailing delimiter accepted
    { "30:82", -1, ":", 1, true, "\x30\x82" },
    { "30:82", -1, " ", 1, false, "" },          // wrong delimiter
    { "3082", -1, ":", 1, false, "" },           // missing delimiter
    { ":3082", -1, ":", 1, false, "" },          // no delimiter before the first group
    { "3082:010A", -1, ":", 2, true, "\x30\x82\x01\x0a" },
    { "3082:01", -1, ":", 2, true, "\x30\x82\x01" }, // short last group
    { "308201:0A", -1, ":", 2, false, "" },      // group too long
    { "30--82", -1, "--", 1, true, "\x30\x82" },
    { "30-82", -1, "--", 1, false, "" },
    { "3082FFFF", 4, nullptr, 1, true, "\x30\x82" }, // explicit length stops early
    { "30 82 01 0A", -1, " ", 1, true, "\x30\x82\x01\x0a" },
  };
  for (const Case &c : cases) {
    gsize n_decoded = 99;
    guchar *got = tesk_hex_decode_full (c.text, c.n, c.delim, c.group, &n_decoded);
    SCOPED_TRACE (std::string ("text \"") + c.text + "\", delimiter " +
                  (c.delim ? c.delim : "none") + ", group " + std::to_string (c.group));
    if (c.ok) {
      ASSERT_NE (got, nullptr);
      EXPECT_EQ (std::string (reinterpret_cast<char *> (got), n_decoded), c.want);
    } else {
      EXPECT_EQ (got, nullptr);
    }
    g_free (got);
  }

  gsize n = 0;
  guchar *simple = tesk_hex_decode ("ff00", -1, &n);
  ASSERT_NE (simple, nullptr);
  EXPECT_EQ (n, 2u);
  EXPECT_EQ (simple[0], 0xFF);
  EXPECT_EQ (simple[1], 0x00);
  g_free (simple);
}

TEST (TeskHex, RoundTripWithGroups)
{
  guchar bytes[37];
  for (guint i = 0; i < sizeof bytes; ++i)
    bytes[i] = guchar (i * 37 + 11);
  for (guint group = 1; group <= 5; ++group) {
    gchar *text = tesk_hex_encode_full (bytes, sizeof bytes, group % 2, ", ", group);
    gsize n = 0;
    guchar *back = tesk_hex_decode_full (text, -1, ", ", group, &n);
    ASSERT_NE (back, nullptr) << text;
    EXPECT_EQ (std::string (reinterpret_cast<char *> (back), n),
               std::string (reinterpret_cast<char *> (bytes), sizeof bytes));
    g_free (back);
    g_free (text);
  }
}

TEST (TeskHex, Preconditions)
{
  teskmodules::LogCapture log;
  gsize n = 0;

  EXPECT_EQ (tesk_hex_encode_full (nullptr, 3, TRUE, nullptr, 0), nullptr);
  EXPECT_EQ (tesk_hex_decode_full (nullptr, 4, nullptr, 1, &n), nullptr);
  EXPECT_EQ (tesk_hex_decode_full ("30", -1, nullptr, 1, nullptr), nullptr);
  EXPECT_EQ (tesk_hex_decode_full ("30", -1, ":", 0, &n), nullptr);

  auto criticals = log.at (G_LOG_LEVEL_CRITICAL);
  ASSERT_EQ (criticals.size (), 4u);
  EXPECT_EQ (criticals[0], "tesk_hex_encode_full: assertion 'data || !n_data' failed");
  EXPECT_EQ (criticals[1], "tesk_hex_decode_full: assertion 'data || !n_data' failed");
  EXPECT_EQ (criticals[2], "tesk_hex_decode_full: assertion 'n_decoded' failed");
  EXPECT_EQ (criticals[3], "tesk_hex_decode_full: assertion 'group >= 1' failed");

  // No bytes at all is not an error.
  gchar *empty = tesk_hex_encode_full (nullptr, 0, TRUE, nullptr, 0);
  EXPECT_STREQ (empty, "");
  g_free (empty);
}

} // namespace
