// The OID information table: names, descriptions and flags by quark.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "log-capture.h"
#include "tesk-oid.h"

namespace {

GQuark q (const char *oid) { return g_quark_from_string (oid); }

std::string
text (const char *s)
{
  return s ? s : "(none)";
}

TEST (TeskOid, Lookups)
{
  struct Case {
    const char *oid;
    const char *name;
    const char *description;
    guint flags;
  } cases[] = {
    { "2.5.4.3", "CN", "Common Name", 3 },
    { "2.5.4.6", "C", "Country", 1 },
    { "2.5.4.10", "O", "Organization", 3 },
    { "0.9.2342.19200300.100.1.25", "DC", "Domain Component", 1 },
    { "0.9.2342.19200300.100.1.1", "UID", "User ID", 3 },
    { "1.2.840.113549.1.9.1", "EMAIL", "Email Address", 1 },
    { "1.2.840.113549.1.9.7", nullptr, nullptr, 3 },
    { "1.2.840.113549.1.9.20", nullptr, nullptr, 1 },
    { "1.2.643.100.5", "OGRNIP", "OGRNIP", 1 },
    { "1.2.840.113549.1.1.5", "sha1WithRSAEncryption", "SHA1 with RSA", 0 },
    { "1.2.840.10045.4.3.2", "sha256WithECDSA", "SHA256 with ECDSA", 0 },
    { "1.2.643.7.1.1.3.3", "signwithdigest-gost-3410-2012-512",
      "GOST R 34.11-2012/512 with GOST R 34.10-2012 512-bit curve", 0 },
    { "1.3.6.1.5.5.7.3.1", nullptr, "Server Authentication", 0 },
    { "1.3.6.1.5.5.7.3.8", nullptr, "Time Stamping", 0 },
    // Not in the table: the dotted text stands for name and description.
    { "2.5.29.35", "2.5.29.35", "2.5.29.35", 0 },
    { "2.5.4.41", "2.5.4.41", "2.5.4.41", 0 },
  };
  for (const Case &c : cases) {
    SCOPED_TRACE (c.oid);
    EXPECT_EQ (text (tesk_oid_get_name (q (c.oid))), text (c.name));
    EXPECT_EQ (text (tesk_oid_get_description (q (c.oid))), text (c.description));
    EXPECT_EQ (tesk_oid_get_flags (q (c.oid)), c.flags);
  }
}

TEST (TeskOid, PrintableAndChoiceFlagsAgree)
{
  // Every OID marked as a choice is also printable: a choice flag alone
  // would make the name code pick an alternative of a value it never
  // decodes.
  const char *oids[] = { "2.5.4.3", "2.5.4.4", "2.5.4.7", "2.5.4.8", "2.5.4.9", "2.5.4.10",
                         "2.5.4.11", "2.5.4.12", "2.5.4.42", "2.5.4.43", "2.5.4.44",
                         "2.5.4.65", "0.9.2342.19200300.100.1.1", "1.2.840.113549.1.9.7" };
  for (const char *oid : oids) {
    guint flags = tesk_oid_get_flags (q (oid));
    EXPECT_EQ (flags, guint (TESK_OID_PRINTABLE | TESK_OID_IS_CHOICE)) << oid;
  }
}

TEST (TeskOid, ConcurrentFirstLookups)
{
  // Threads race for the first lookup; every one must see a filled table.
  std::vector<std::thread> threads;
  std::vector<guint> flags (8, 99);
  for (size_t i = 0; i < flags.size (); ++i)
    threads.emplace_back ([&flags, i] { flags[i] = tesk_oid_get_flags (q ("2.5.4.11")); });
  for (auto &t : threads)
    t.join ();
  for (guint f : flags)
    EXPECT_EQ (f, 3u);
}

TEST (TeskOid, ZeroQuark)
{
  teskmodules::LogCapture log;
  EXPECT_EQ (tesk_oid_get_name (0), nullptr);
  EXPECT_EQ (tesk_oid_get_description (0), nullptr);
  EXPECT_EQ (tesk_oid_get_flags (0), 0u);
  auto criticals = log.at (G_LOG_LEVEL_CRITICAL);
  ASSERT_EQ (criticals.size (), 3u);
  EXPECT_EQ (criticals[0], "tesk_oid_get_name: assertion 'oid' failed");
  EXPECT_EQ (criticals[1], "tesk_oid_get_description: assertion 'oid' failed");
  EXPECT_EQ (criticals[2], "tesk_oid_get_flags: assertion 'oid' failed");
}

} // namespace
