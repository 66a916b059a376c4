// End-to-end exchanges of the test mechanism: the platform's KDC and
// client library both load the module from the build tree, and the
// client's printed lines, its exit status and messages, the mechanism the
// library credits with the ticket, the authentication indicators the
// ticket carries and the KDC's log are checked.
#include "kdc-realm.h"

#include <gtest/gtest.h>

#include <cctype>
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
      PrincipalSpec service;
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
    PrincipalSpec user;
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

}  // namespace
}  // namespace preauthtest
