// End-to-end exchanges of the test mechanism: the platform's KDC and
// client library both load the module from the build tree, and the
// client's printed lines, its exit status and messages, the mechanism the
// library credits with the ticket, the authentication indicators the
// ticket carries and the KDC's log are checked.
#include "kdc-realm.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <cctype>
#include <cerrno>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace preauthtest {
namespace {

using Strings = std::map<std::string, std::string>;
using Options = std::vector<std::string>;

const std::string USER = "user";
const std::string PASSWORD = "user-password";
const std::string PROMPT = std::string("Password for user@") + REALM + ": \n";

// Mechanisms the library records in the credential cache.
const std::string BY_TEST = "-123";
const std::string BY_TIMESTAMP = "2";  // the library's fallback
const std::string NO_TICKET = "";

class PreauthExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    realm_ = std::make_unique<KdcRealm>();
    // Services that are only issued to clients holding one indicator each.
    for (const char *indicator : {"a", "b", "optimistic"}) {
      NewPrincipal service;
      service.name = std::string("svc/") + indicator;
      service.strings = {{"require_auth", indicator}};
      realm_->add_principal(service);
    }
  }

  void TearDown() override {
    if (HasFailure() && realm_) {
      std::cerr << "--- KDC output\n" << realm_->kdc_output() << "--- KDC log\n"
                << realm_->kdc_log() << "---\n";
    }
    realm_.reset();
  }

  void add_user(const Strings &strings, const std::string &name = USER) {
    NewPrincipal user;
    user.name = name;
    user.password = PASSWORD;
    user.flags = {"+requires_preauth"};
    user.strings = strings;
    realm_->add_principal(user);
  }

  testsupport::Outcome kinit(const Options &options, const std::string &password = PASSWORD,
                             const std::string &name = USER) {
    std::vector<std::string> argv = {KINIT};
    for (const auto &option : options) {
      argv.push_back("-X");
      argv.push_back(option);
    }
    argv.push_back(name);
    return realm_->run(argv, password + "\n");
  }

  // Our own client, which can ask for optimistic preauthentication.
  testsupport::Outcome optimistic_client(const Options &options) {
    std::vector<std::string> argv = {testsupport::build_path("tests/preauth/preauth-client"),
                                     "-O"};
    for (const auto &option : options) {
      argv.push_back("-X");
      argv.push_back(option);
    }
    argv.push_back(USER);
    return realm_->run(argv, PASSWORD + "\n");
  }

  // Which of the indicator-bound services the cached ticket is good for.
  std::string services_granted() {
    std::string granted;
    for (const char *indicator : {"a", "b", "optimistic"}) {
      auto got = realm_->run({KVNO, std::string("svc/") + indicator});
      if (got.status == 0) granted += granted.empty() ? indicator : std::string(" ") + indicator;
    }
    return granted;
  }

  std::unique_ptr<KdcRealm> realm_;
};

struct Exchange {
  const char *name;
  Strings strings;         // the client principal's string attributes
  Options options;         // the client's -X options
  int status;
  std::string out;         // kinit's standard output after the prompt
  std::string err;
  std::string mechanism;   // which mechanism got the ticket
  std::string kdc_logged;  // a text the KDC's log shows
};
// Rows print as their description in failure messages.
void PrintTo(const Exchange &row, std::ostream *os) { *os << row.name; }

const std::string FAILED_AT_KDC =
    std::string("PREAUTH_FAILED: user@") + REALM + " for krbtgt/" + REALM + "@" + REALM + ", ";

const Exchange kinit_exchanges[] = {
    {"method data carries teststring", {{"teststring", "hello there"}}, {},
     0, "hello there\n", "", BY_TEST, "ISSUE: "},
    {"method data without teststring", {}, {},
     0, "no attr\n", "", BY_TEST, "ISSUE: "},
    {"unknown option is ignored", {{"teststring", "t"}}, {"no_such_option=1"},
     0, "t\n", "", BY_TEST, "ISSUE: "},
    {"disable_fallback on a good exchange", {{"teststring", "t"}}, {"disable_fallback"},
     0, "t\n", "", BY_TEST, "ISSUE: "},
    {"second round trip", {{"teststring", "t"}, {"2rt", "once more"}}, {},
     0, "t\n2rt: once more\n", "", BY_TEST, "More preauthentication data is required"},
    {"KDC fails the second round, library falls back",
     {{"teststring", "t"}, {"2rt", "r"}, {"fail2rt", "1"}}, {},
     0, "t\n2rt: r\n", "", BY_TIMESTAMP, FAILED_AT_KDC + "Preauthentication failed"},
    {"KDC fails the second round, no fallback",
     {{"teststring", "t"}, {"2rt", "r"}, {"fail2rt", "1"}}, {"disable_fallback"},
     1, "t\n2rt: r\n", "kinit: Password incorrect while getting initial credentials\n", NO_TICKET,
     FAILED_AT_KDC + "Preauthentication failed"},
    {"induced error answered through try-again", {{"teststring", "t"}, {"err", "use tryagain"}},
     {}, 0, "t\ntryagain: use tryagain\n", "", BY_TEST,
     FAILED_AT_KDC + "KDC has no support for encryption type"},
    {"client fails the second round, library falls back", {{"teststring", "t"}, {"2rt", "r"}},
     {"fail_2rt"}, 0, "t\n2rt: r\n", "", BY_TIMESTAMP, "More preauthentication data is required"},
    {"client fails the second round, no fallback", {{"teststring", "t"}, {"2rt", "r"}},
     {"fail_2rt", "disable_fallback"}, 1, "t\n2rt: r\n",
     "kinit: Pre-authentication failed: induced 2rt fail while getting initial credentials\n",
     NO_TICKET, "More preauthentication data is required"},
    {"client fails try-again, library falls back", {{"teststring", "t"}, {"err", "e"}},
     {"fail_tryagain"}, 0, "t\n", "", BY_TIMESTAMP,
     FAILED_AT_KDC + "KDC has no support for encryption type"},
    {"client fails try-again, no fallback", {{"teststring", "t"}, {"err", "e"}},
     {"fail_tryagain", "disable_fallback"}, 1, "t\n",
     "kinit: KDC has no support for encryption type while getting initial credentials\n",
     NO_TICKET, FAILED_AT_KDC + "KDC has no support for encryption type"},
};

// A test name made of the row's description.
template <typename Row>
std::string row_name(const ::testing::TestParamInfo<Row> &info) {
  std::string name;
  for (const char *p = info.param.name; *p; ++p) {
    if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
    else if (!name.empty() && name.back() != '_') name += '_';
  }
  return name;
}

class KinitExchange : public PreauthExchange, public ::testing::WithParamInterface<Exchange> {};

TEST_P(KinitExchange, RunsAsDescribed) {
  const Exchange &c = GetParam();
  add_user(c.strings);

  auto got = kinit(c.options);
  EXPECT_EQ(got.status, c.status);
  EXPECT_EQ(got.out, PROMPT + c.out);
  EXPECT_EQ(got.err, c.err);
  EXPECT_EQ(realm_->cached_pa_type(), c.mechanism);
  EXPECT_NE(realm_->kdc_log().find(c.kdc_logged), std::string::npos) << c.kdc_logged;
}

INSTANTIATE_TEST_SUITE_P(Preauth, KinitExchange, ::testing::ValuesIn(kinit_exchanges),
                         row_name<Exchange>);

// The indicators the client sends end up in the ticket: the KDC only
// issues tickets for svc/X to a client whose ticket carries indicator X.
struct IndicatorExchange {
  const char *name;
  Strings strings;
  Options options;
  std::string granted;  // services the ticket is good for
};
void PrintTo(const IndicatorExchange &row, std::ostream *os) { *os << row.name; }

const IndicatorExchange indicator_exchanges[] = {
    {"two indicators", {}, {"indicators=a  b"}, "a b"},
    {"a later option replaces the earlier", {}, {"indicators=a", "indicators=b"}, "b"},
    {"no indicators", {}, {}, ""},
    {"sent again in the second round", {{"2rt", "r"}}, {"indicators=a"}, "a"},
    {"try-again succeeds without indicators", {{"err", "e"}}, {"indicators=a b"}, ""},
};

class IndicatorsReachTheTicket : public PreauthExchange,
                                 public ::testing::WithParamInterface<IndicatorExchange> {};

TEST_P(IndicatorsReachTheTicket, AsSent) {
  const IndicatorExchange &c = GetParam();
  add_user(c.strings);
  auto got = kinit(c.options);
  ASSERT_EQ(got.status, 0) << got.err;
  ASSERT_EQ(realm_->cached_pa_type(), BY_TEST);
  EXPECT_EQ(services_granted(), c.granted);
}

INSTANTIATE_TEST_SUITE_P(Preauth, IndicatorsReachTheTicket,
                         ::testing::ValuesIn(indicator_exchanges), row_name<IndicatorExchange>);

// Optimistic exchanges, where the client sends the mechanism's pa-data in
// its first request without any method data from the KDC.
struct OptimisticExchange {
  const char *name;
  Strings strings;
  Options options;
  int status;
  std::string out;
  std::string err;
  std::string mechanism;
  std::string granted;
};
void PrintTo(const OptimisticExchange &row, std::ostream *os) { *os << row.name; }

const OptimisticExchange optimistic_exchanges[] = {
    {"succeeds with the optimistic indicator", {}, {}, 0, "", "", BY_TEST, "optimistic"},
    {"KDC fails it, library falls back", {{"failopt", "1"}}, {}, 0, "", "", BY_TIMESTAMP, ""},
    {"KDC fails it, no fallback", {{"failopt", "1"}}, {"disable_fallback"}, 1, "",
     "preauth-client: getting initial credentials: Preauthentication failed\n", NO_TICKET, ""},
    {"client fails it, library falls back", {}, {"fail_optimistic"}, 0, "", "", BY_TIMESTAMP, ""},
    {"induced error answered through try-again", {{"err", "opt err"}}, {"indicators=a"}, 0,
     "tryagain: opt err\n", "", BY_TEST, ""},
};

class OptimisticPreauth : public PreauthExchange,
                          public ::testing::WithParamInterface<OptimisticExchange> {};

TEST_P(OptimisticPreauth, RunsAsDescribed) {
  const OptimisticExchange &c = GetParam();
  add_user(c.strings);
  auto got = optimistic_client(c.options);
  EXPECT_EQ(got.status, c.status);
  EXPECT_EQ(got.out, c.out);
  EXPECT_EQ(got.err, c.err);
  EXPECT_EQ(realm_->cached_pa_type(), c.mechanism);
  if (c.status == 0) {
    EXPECT_EQ(services_granted(), c.granted);
  }
}

INSTANTIATE_TEST_SUITE_P(Preauth, OptimisticPreauth, ::testing::ValuesIn(optimistic_exchanges),
                         row_name<OptimisticExchange>);

// Without a key of a requested encryption type the KDC offers "no key";
// the client prints it without asking for the password and answers as
// usual, and the KDC then cannot encrypt the reply.
TEST_F(PreauthExchange, PrincipalWithoutKeysGetsNoKey) {
  struct Case {
    const char *what;
    bool no_keys;
    std::string enctypes;  // the principal's keys
  } cases[] = {
      {"no keys at all", true, ""},
      {"keys of another type only", false, "aes128-cts-hmac-sha1-96:normal"},
  };
  realm_->set_client_overrides("[libdefaults]\n  default_tkt_enctypes = aes256-cts-hmac-sha1-96\n");
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    NewPrincipal principal;
    principal.name = c.no_keys ? "nokeys" : "otherkeys";
    principal.password = PASSWORD;
    principal.no_keys = c.no_keys;
    principal.enctypes = c.enctypes;
    principal.flags = {"+requires_preauth"};
    principal.strings = {{"teststring", "never shown"}};
    realm_->add_principal(principal);

    auto got = kinit({}, PASSWORD, principal.name);
    EXPECT_EQ(got.status, 1);
    EXPECT_EQ(got.out, "no key\n");
    EXPECT_EQ(got.err,
              "kinit: KDC has no support for encryption type while getting initial credentials\n");
    EXPECT_NE(realm_->kdc_log().find("CANT_FIND_CLIENT_KEY: " + principal.name + "@"),
              std::string::npos);
  }
}

// Method data that does not decrypt with the key from a wrong password is
// an error for the library, never a line of undecrypted bytes.
TEST_F(PreauthExchange, WrongPasswordPrintsNothing) {
  add_user({{"teststring", "secret"}});
  auto got = kinit({"disable_fallback"}, "not-the-password");
  EXPECT_EQ(got.status, 1);
  EXPECT_EQ(got.out, PROMPT);
  EXPECT_EQ(got.err, "kinit: Password incorrect while getting initial credentials\n");
  EXPECT_EQ(realm_->cached_pa_type(), NO_TICKET);
}

// The realm's KDC goes away with the realm, whatever the test did.
TEST(KdcRealmFixture, StopsItsKdc) {
  pid_t pid = -1;
  {
    KdcRealm realm;
    pid = realm.kdc_pid();
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, 0), 0);
  }
  errno = 0;
  EXPECT_EQ(kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH);
}

}  // namespace
}  // namespace preauthtest
