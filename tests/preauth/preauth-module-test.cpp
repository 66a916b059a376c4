// The module's parts without a KDC: the pa-data helpers, the entry points
// that fill the hosts' tables, the client's options and error answers,
// and the KDC side's decisions, driven through small stand-ins for the
// host callbacks.
#include "cltest.h"
#include "common.h"
#include "kdctest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using PaList = std::unique_ptr<krb5_pa_data *, PaListDeleter>;

std::string contents(const krb5_pa_data *pa) {
  return std::string(reinterpret_cast<const char *>(pa->contents), pa->length);
}

class Context {
 public:
  Context() {
    if (krb5_init_context(&context_) != 0) throw std::runtime_error("krb5_init_context");
  }
  ~Context() { krb5_free_context(context_); }
  Context(const Context &) = delete;
  Context &operator=(const Context &) = delete;
  operator krb5_context() const { return context_; }

  std::string message(krb5_error_code code) const {
    const char *text = krb5_get_error_message(context_, code);
    std::string result = text;
    krb5_free_error_message(context_, text);
    return result;
  }

 private:
  krb5_context context_ = nullptr;
};

TEST(PaHelpers, MakePaCopiesTheContents) {
  struct Case {
    std::string text;
  } cases[] = {{"optimistic"}, {"a b"}, {std::string("n\0l", 3)}, {""}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    std::string source = c.text;
    std::unique_ptr<krb5_pa_data, PaDataDeleter> pa(make_pa(source.data(), source.size()));
    ASSERT_NE(pa, nullptr);
    EXPECT_EQ(pa->magic, KV5M_PA_DATA);
    EXPECT_EQ(pa->pa_type, -123);
    ASSERT_NE(pa->contents, nullptr);  // a block exists even for empty contents
    EXPECT_NE(static_cast<void *>(pa->contents), static_cast<void *>(source.data()));
    EXPECT_EQ(contents(pa.get()), c.text);
  }
}

TEST(PaHelpers, MakePaListHasOneElementAndATerminator) {
  PaList list(make_pa_list("tryagain", 8));
  ASSERT_NE(list, nullptr);
  ASSERT_NE(list.get()[0], nullptr);
  EXPECT_EQ(list.get()[0]->pa_type, -123);
  EXPECT_EQ(contents(list.get()[0]), "tryagain");
  EXPECT_EQ(list.get()[1], nullptr);
}

// The host hands in tables of its own size; every field is poisoned so
// that a field the entry point leaves alone, or writes wrongly, shows.
template <typename Table>
struct PoisonedTable {
  PoisonedTable() { std::memset(&table, 0xA5, sizeof table); }
  Table table;
  bool untouched_from(const void *field) const {
    auto begin = reinterpret_cast<const unsigned char *>(field);
    auto end = reinterpret_cast<const unsigned char *>(&table) + sizeof table;
    for (auto p = begin; p < end; ++p)
      if (*p != 0xA5) return false;
    return true;
  }
};

TEST(EntryPoints, RefuseOtherMajorVersions) {
  Context context;
  for (int major : {0, 2, 3}) {
    SCOPED_TRACE(major);
    PoisonedTable<krb5_clpreauth_vtable_st> cl;
    EXPECT_EQ(clpreauth_test_initvt(context, major, 1, reinterpret_cast<krb5_plugin_vtable>(&cl.table)),
              KRB5_PLUGIN_VER_NOTSUPP);
    EXPECT_TRUE(cl.untouched_from(&cl.table));
    PoisonedTable<krb5_kdcpreauth_vtable_st> kdc;
    EXPECT_EQ(kdcpreauth_test_initvt(context, major, 1, reinterpret_cast<krb5_plugin_vtable>(&kdc.table)),
              KRB5_PLUGIN_VER_NOTSUPP);
    EXPECT_TRUE(kdc.untouched_from(&kdc.table));
  }
}

TEST(EntryPoints, FillTheClientTableOfVersionOne) {
  Context context;
  for (int minor : {1, 2, 7}) {  // the minor version is not examined
    SCOPED_TRACE(minor);
    PoisonedTable<krb5_clpreauth_vtable_st> t;
    ASSERT_EQ(clpreauth_test_initvt(context, 1, minor, reinterpret_cast<krb5_plugin_vtable>(&t.table)), 0);
    EXPECT_STREQ(t.table.name, "test");
    ASSERT_NE(t.table.pa_type_list, nullptr);
    EXPECT_EQ(t.table.pa_type_list[0], -123);
    EXPECT_EQ(t.table.pa_type_list[1], 0);
    EXPECT_EQ(t.table.enctype_list, nullptr);
    EXPECT_EQ(t.table.flags, nullptr);
    EXPECT_EQ(t.table.init, &test_init);
    EXPECT_EQ(t.table.fini, &test_fini);
    EXPECT_EQ(t.table.request_init, &test_request_init);
    EXPECT_EQ(t.table.request_fini, &test_request_fini);
    EXPECT_EQ(t.table.process, &test_process);
    EXPECT_EQ(t.table.tryagain, &test_tryagain);
    EXPECT_EQ(t.table.gic_opts, &test_gic_opt);
    // Fields after version 1 may not exist in the host's table.
    EXPECT_TRUE(t.untouched_from(&t.table.prep_questions));
  }
}

TEST(EntryPoints, FillTheKdcTableOfVersionOne) {
  Context context;
  PoisonedTable<krb5_kdcpreauth_vtable_st> t;
  ASSERT_EQ(kdcpreauth_test_initvt(context, 1, 2, reinterpret_cast<krb5_plugin_vtable>(&t.table)), 0);
  EXPECT_STREQ(t.table.name, "test");
  ASSERT_NE(t.table.pa_type_list, nullptr);
  EXPECT_EQ(t.table.pa_type_list[0], -123);
  EXPECT_EQ(t.table.pa_type_list[1], 0);
  EXPECT_EQ(t.table.init, nullptr);
  EXPECT_EQ(t.table.fini, nullptr);
  EXPECT_EQ(t.table.flags, nullptr);
  EXPECT_EQ(t.table.edata, &test_edata);
  EXPECT_EQ(t.table.verify, &test_verify);
  EXPECT_EQ(t.table.return_padata, &test_return);
  EXPECT_EQ(t.table.free_modreq, nullptr);
  EXPECT_TRUE(t.untouched_from(&t.table.loop));
}

// The client's settings, created and released as the library does.
class ClientSettings {
 public:
  explicit ClientSettings(krb5_context context) : context_(context) {
    if (test_init(context_, &moddata_) != 0) throw std::runtime_error("test_init");
  }
  ~ClientSettings() { test_fini(context_, moddata_); }
  ClientSettings(const ClientSettings &) = delete;
  ClientSettings &operator=(const ClientSettings &) = delete;

  void option(const char *attr, const char *value) {
    EXPECT_EQ(test_gic_opt(context_, moddata_, nullptr, attr, value), 0);
  }
  krb5_clpreauth_moddata moddata() const { return moddata_; }
  const test_client_settings &operator*() const {
    return *reinterpret_cast<const test_client_settings *>(moddata_);
  }

 private:
  krb5_context context_;
  krb5_clpreauth_moddata moddata_ = nullptr;
};

TEST(ClientOptions, SetTheSettings) {
  struct Case {
    const char *what;
    std::vector<std::pair<const char *, const char *>> options;
    std::optional<std::string> indicators;
    bool fail_optimistic, fail_2rt, fail_tryagain, disable_fallback;
  } cases[] = {
      {"nothing given", {}, std::nullopt, false, false, false, false},
      {"indicators", {{"indicators", "a b"}}, "a b", false, false, false, false},
      {"a later indicators replaces", {{"indicators", "a"}, {"indicators", "b c"}}, "b c",
       false, false, false, false},
      {"switches ignore their value",
       {{"fail_optimistic", "no"}, {"fail_2rt", ""}, {"fail_tryagain", "0"},
        {"disable_fallback", "yes"}},
       std::nullopt, true, true, true, true},
      {"one switch", {{"fail_2rt", "yes"}}, std::nullopt, false, true, false, false},
      {"unknown options are ignored", {{"fail_everything", "yes"}, {"Indicators", "x"}},
       std::nullopt, false, false, false, false},
  };
  Context context;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    ClientSettings settings(context);
    for (const auto &[attr, value] : c.options) settings.option(attr, value);
    EXPECT_EQ((*settings).indicators, c.indicators);
    EXPECT_EQ((*settings).fail_optimistic, c.fail_optimistic);
    EXPECT_EQ((*settings).fail_2rt, c.fail_2rt);
    EXPECT_EQ((*settings).fail_tryagain, c.fail_tryagain);
    EXPECT_EQ((*settings).disable_fallback, c.disable_fallback);
  }
}

// Stand-in for the library's side of a client request.
struct ClientHost {
  static krb5_clpreauth_callbacks_st callbacks(int vers) {
    krb5_clpreauth_callbacks_st cb{};
    cb.vers = vers;
    cb.get_as_key = [](krb5_context, krb5_clpreauth_rock, krb5_keyblock **) -> krb5_error_code {
      ADD_FAILURE() << "the reply key is not needed here";
      return KRB5_PREAUTH_FAILED;
    };
    cb.disable_fallback = [](krb5_context, krb5_clpreauth_rock rock) {
      ++reinterpret_cast<ClientHost *>(rock)->fallback_disabled;
    };
    return cb;
  }
  krb5_clpreauth_rock rock() { return reinterpret_cast<krb5_clpreauth_rock>(this); }
  int fallback_disabled = 0;
};

krb5_error_code tryagain(krb5_context context, const ClientSettings &settings, krb5_ui_4 code,
                         std::vector<krb5_pa_data *> padata, PaList *out) {
  krb5_error error{};
  error.error = code;
  padata.push_back(nullptr);
  krb5_pa_data **raw = reinterpret_cast<krb5_pa_data **>(0x1);  // must be replaced
  ClientHost host;
  auto cb = ClientHost::callbacks(3);
  krb5_error_code ret = test_tryagain(context, settings.moddata(), nullptr, nullptr, &cb,
                                      host.rock(), nullptr, nullptr, nullptr, -123, &error,
                                      padata.data(), nullptr, nullptr, &raw);
  out->reset(raw);
  return ret;
}

TEST(ClientTryagain, AnswersTheEncryptionTypeErrorAndPrintsEveryTestElement) {
  Context context;
  ClientSettings settings(context);
  std::unique_ptr<krb5_pa_data, PaDataDeleter> first(make_pa("one", 3));
  std::unique_ptr<krb5_pa_data, PaDataDeleter> other(make_pa("not ours", 8));
  other->pa_type = 133;
  std::unique_ptr<krb5_pa_data, PaDataDeleter> second(make_pa("two", 3));

  PaList out;
  testing::internal::CaptureStdout();
  krb5_error_code ret = tryagain(context, settings, 14, {first.get(), other.get(), second.get()}, &out);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(ret, 0);
  EXPECT_EQ(printed, "tryagain: one\ntryagain: two\n");
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(contents(out.get()[0]), "tryagain");
  EXPECT_EQ(out.get()[1], nullptr);
}

TEST(ClientTryagain, RefusesOtherErrorsAndTheInducedFailure) {
  struct Case {
    const char *what;
    bool fail_tryagain;
    krb5_ui_4 code;
    std::string message;  // "" when the library's own text is expected
  } cases[] = {
      {"preauthentication failed", false, 24, ""},
      {"more data required", false, 91, ""},
      {"induced failure", true, 14, "induced tryagain fail"},
      {"induced failure wins over the code", true, 24, "induced tryagain fail"},
  };
  Context context;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    ClientSettings settings(context);
    if (c.fail_tryagain) settings.option("fail_tryagain", "");
    krb5_clear_error_message(context);
    std::unique_ptr<krb5_pa_data, PaDataDeleter> pa(make_pa("e", 1));
    PaList out;
    testing::internal::CaptureStdout();
    EXPECT_EQ(tryagain(context, settings, c.code, {pa.get()}, &out), KRB5_PREAUTH_FAILED);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(context.message(KRB5_PREAUTH_FAILED),
              c.message.empty() ? "Generic preauthentication failure" : c.message);
  }
}

TEST(ClientOptimistic, SendsOptimisticOrFailsAsInduced) {
  struct Case {
    const char *what;
    std::vector<const char *> switches;
    int vers;  // version of the library's callbacks
    krb5_error_code code;
    const char *sent;  // null when nothing is sent
    int fallback_disabled;
  } cases[] = {
      {"plain", {}, 3, 0, "optimistic", 0},
      {"fallback disabled", {"disable_fallback"}, 3, 0, "optimistic", 1},
      {"old library without the callback", {"disable_fallback"}, 2, 0, "optimistic", 0},
      {"induced failure", {"fail_optimistic", "disable_fallback"}, 3, KRB5_PREAUTH_FAILED,
       nullptr, 0},
  };
  Context context;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    ClientSettings settings(context);
    for (const char *s : c.switches) settings.option(s, "");
    krb5_clpreauth_modreq modreq = nullptr;
    test_request_init(context, settings.moddata(), &modreq);
    ASSERT_NE(modreq, nullptr);

    ClientHost host;
    auto cb = ClientHost::callbacks(c.vers);
    krb5_pa_data empty{};
    empty.pa_type = -123;
    krb5_pa_data **raw = nullptr;
    testing::internal::CaptureStdout();
    krb5_error_code ret = test_process(context, settings.moddata(), modreq, nullptr, &cb,
                                       host.rock(), nullptr, nullptr, nullptr, &empty, nullptr,
                                       nullptr, &raw);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    PaList out(raw);
    EXPECT_EQ(ret, c.code);
    if (c.sent) {
      ASSERT_NE(out, nullptr);
      EXPECT_EQ(contents(out.get()[0]), c.sent);
    } else {
      EXPECT_EQ(out, nullptr);
      EXPECT_EQ(context.message(ret), "induced optimistic fail");
    }
    EXPECT_EQ(host.fallback_disabled, c.fallback_disabled);
    // An optimistic request leaves the round unchanged.
    EXPECT_FALSE(reinterpret_cast<test_request_progress *>(modreq)->second_round_trip);
    test_request_fini(context, settings.moddata(), modreq);
  }
}

// Stand-in for the KDC's side of a request: the client entry's string
// attributes, the cookie, and what the module reports back.
struct KdcHost {
  std::map<std::string, std::string> strings;
  std::optional<std::string> cookie_in;
  std::optional<std::string> cookie_out;
  std::vector<std::string> indicators;
  std::optional<krb5_keyblock> key;
  int strings_outstanding = 0;
  // Failures to report from the host's calls, 0 for none.
  krb5_error_code string_error = 0, cookie_error = 0, indicator_error = 0;

  bool responded = false;
  krb5_error_code code = 0;
  PaList e_data;
  std::unique_ptr<krb5_pa_data, PaDataDeleter> edata_element;

  krb5_kdcpreauth_rock rock() { return reinterpret_cast<krb5_kdcpreauth_rock>(this); }
  static KdcHost &of(krb5_kdcpreauth_rock rock) { return *reinterpret_cast<KdcHost *>(rock); }

  static krb5_kdcpreauth_callbacks_st callbacks() {
    krb5_kdcpreauth_callbacks_st cb{};
    cb.vers = 6;
    cb.get_string = [](krb5_context, krb5_kdcpreauth_rock rock, const char *key,
                       char **value) -> krb5_error_code {
      KdcHost &host = of(rock);
      auto it = host.strings.find(key);
      *value = nullptr;
      if (host.string_error) return host.string_error;
      if (it != host.strings.end()) {
        *value = strdup(it->second.c_str());
        ++host.strings_outstanding;
      }
      return 0;
    };
    cb.free_string = [](krb5_context, krb5_kdcpreauth_rock rock, char *value) {
      if (value) --of(rock).strings_outstanding;
      std::free(value);
    };
    cb.client_keyblock = [](krb5_context, krb5_kdcpreauth_rock rock) -> const krb5_keyblock * {
      KdcHost &host = of(rock);
      return host.key ? &*host.key : nullptr;
    };
    cb.add_auth_indicator = [](krb5_context, krb5_kdcpreauth_rock rock,
                               const char *indicator) -> krb5_error_code {
      if (of(rock).indicator_error) return of(rock).indicator_error;
      of(rock).indicators.push_back(indicator);
      return 0;
    };
    cb.get_cookie = [](krb5_context, krb5_kdcpreauth_rock rock, krb5_preauthtype type,
                       krb5_data *out) -> krb5_boolean {
      KdcHost &host = of(rock);
      EXPECT_EQ(type, -123);
      if (!host.cookie_in) return FALSE;
      out->length = static_cast<unsigned int>(host.cookie_in->size());
      out->data = host.cookie_in->data();
      return TRUE;
    };
    cb.set_cookie = [](krb5_context, krb5_kdcpreauth_rock rock, krb5_preauthtype type,
                       const krb5_data *data) -> krb5_error_code {
      EXPECT_EQ(type, -123);
      if (of(rock).cookie_error) return of(rock).cookie_error;
      of(rock).cookie_out = std::string(data->data, data->length);
      return 0;
    };
    return cb;
  }

  static void verify_respond(void *arg, krb5_error_code code, krb5_kdcpreauth_modreq modreq,
                             krb5_pa_data **e_data, krb5_authdata **authz) {
    KdcHost &host = *static_cast<KdcHost *>(arg);
    EXPECT_FALSE(host.responded);
    EXPECT_EQ(modreq, nullptr);
    EXPECT_EQ(authz, nullptr);
    host.responded = true;
    host.code = code;
    host.e_data.reset(e_data);
  }

  static void edata_respond(void *arg, krb5_error_code code, krb5_pa_data *pa) {
    KdcHost &host = *static_cast<KdcHost *>(arg);
    EXPECT_FALSE(host.responded);
    host.responded = true;
    host.code = code;
    host.edata_element.reset(pa);
  }
};

TEST(KdcVerify, DecidesByAttributesAndCookie) {
  constexpr krb5_flags PRE_AUTH = TKT_FLG_PRE_AUTH;
  struct Case {
    const char *what;
    std::map<std::string, std::string> strings;
    std::optional<std::string> cookie;  // none: an optimistic request
    std::string sent;
    krb5_error_code code;
    std::optional<std::string> e_data;
    std::optional<std::string> cookie_set;
    std::vector<std::string> indicators;
    krb5_flags flags;
  } cases[] = {
      {"answer to method data", {}, "method-data", "a b", 0, {}, {}, {"a", "b"}, PRE_AUTH},
      {"runs of spaces separate like one", {}, "method-data", "  a  b ", 0, {}, {},
       {"a", "b"}, PRE_AUTH},
      {"empty indicators still succeed", {}, "method-data", "", 0, {}, {}, {}, PRE_AUTH},
      {"optimistic request", {}, std::nullopt, "optimistic", 0, {}, {}, {"optimistic"}, PRE_AUTH},
      {"err asks for try-again", {{"err", "E!"}}, "method-data", "x",
       KRB5KDC_ERR_ETYPE_NOSUPP, "E!", "err", {}, 0},
      {"err repeats until tryagain", {{"err", "E!"}}, "err", "not tryagain",
       KRB5KDC_ERR_ETYPE_NOSUPP, "E!", "err", {}, 0},
      {"tryagain succeeds without indicators", {{"err", "E!"}}, "err", "tryagain", 0, {}, {},
       {}, PRE_AUTH},
      {"err on an optimistic request", {{"err", "E!"}, {"failopt", "1"}}, std::nullopt,
       "optimistic", KRB5KDC_ERR_ETYPE_NOSUPP, "E!", "err", {}, 0},
      {"2rt asks for another round", {{"2rt", "more?"}}, "method-data", "a",
       KRB5KDC_ERR_MORE_PREAUTH_DATA_REQUIRED, "more?", "more", {}, 0},
      {"second round accepted though 2rt is set", {{"2rt", "more?"}}, "more", "a", 0, {}, {},
       {"a"}, PRE_AUTH},
      {"fail2rt fails the second round", {{"2rt", "r"}, {"fail2rt", "1"}}, "more", "a",
       KRB5KDC_ERR_PREAUTH_FAILED, {}, {}, {}, 0},
      {"fail2rt alone does not fail a first answer", {{"fail2rt", "1"}}, "method-data", "a", 0,
       {}, {}, {"a"}, PRE_AUTH},
      {"failopt fails an optimistic request", {{"failopt", "1"}}, std::nullopt, "optimistic",
       KRB5KDC_ERR_PREAUTH_FAILED, {}, {}, {}, 0},
      {"failopt leaves answers to method data alone", {{"failopt", "1"}}, "method-data", "a", 0,
       {}, {}, {"a"}, PRE_AUTH},
  };
  Context context;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    KdcHost host;
    host.strings = c.strings;
    host.cookie_in = c.cookie;
    auto cb = KdcHost::callbacks();
    krb5_enc_tkt_part ticket{};
    std::string sent = c.sent;
    std::unique_ptr<krb5_pa_data, PaDataDeleter> pa(make_pa(sent.data(), sent.size()));

    test_verify(context, nullptr, nullptr, &ticket, pa.get(), &cb, host.rock(), nullptr,
                KdcHost::verify_respond, &host);

    ASSERT_TRUE(host.responded);
    EXPECT_EQ(host.code, c.code);
    if (c.e_data) {
      ASSERT_NE(host.e_data, nullptr);
      EXPECT_EQ(contents(host.e_data.get()[0]), *c.e_data);
      EXPECT_EQ(host.e_data.get()[1], nullptr);
    } else {
      EXPECT_EQ(host.e_data, nullptr);
    }
    EXPECT_EQ(host.cookie_out, c.cookie_set);
    EXPECT_EQ(host.indicators, c.indicators);
    EXPECT_EQ(ticket.flags, c.flags);
    EXPECT_EQ(host.strings_outstanding, 0);
  }
}

// A failing host call is passed on as the answer; the ticket is never
// marked pre-authenticated after one.
TEST(KdcVerify, HostFailuresAreNotSuccess) {
  struct Case {
    const char *what;
    std::map<std::string, std::string> strings;
    krb5_error_code string_error, cookie_error, indicator_error;
  } cases[] = {
      {"attribute lookup fails", {}, ENOMEM, 0, 0},
      {"cookie cannot be set for err", {{"err", "e"}}, 0, ENOMEM, 0},
      {"cookie cannot be set for 2rt", {{"2rt", "r"}}, 0, ENOMEM, 0},
      {"indicator cannot be added", {}, 0, 0, ENOMEM},
  };
  Context context;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    KdcHost host;
    host.strings = c.strings;
    host.cookie_in = "method-data";
    host.string_error = c.string_error;
    host.cookie_error = c.cookie_error;
    host.indicator_error = c.indicator_error;
    auto cb = KdcHost::callbacks();
    krb5_enc_tkt_part ticket{};
    std::unique_ptr<krb5_pa_data, PaDataDeleter> pa(make_pa("a", 1));

    test_verify(context, nullptr, nullptr, &ticket, pa.get(), &cb, host.rock(), nullptr,
                KdcHost::verify_respond, &host);

    ASSERT_TRUE(host.responded);
    EXPECT_EQ(host.code, ENOMEM);
    EXPECT_EQ(host.e_data, nullptr);
    EXPECT_EQ(ticket.flags, 0);
    EXPECT_EQ(host.strings_outstanding, 0);
  }
}

TEST(KdcEdata, OffersMethodDataInTheReplyKey) {
  Context context;
  krb5_keyblock *random = nullptr;
  ASSERT_EQ(krb5_init_keyblock(context, ENCTYPE_AES256_CTS_HMAC_SHA1_96, 0, &random), 0);
  ASSERT_EQ(krb5_c_make_random_key(context, ENCTYPE_AES256_CTS_HMAC_SHA1_96, random), 0);
  std::unique_ptr<krb5_keyblock, void (*)(krb5_keyblock *)> key(random, [](krb5_keyblock *k) {
    Context c;
    krb5_free_keyblock(c, k);
  });

  struct Case {
    const char *what;
    bool have_key;
    std::map<std::string, std::string> strings;
    std::string plaintext;  // what the element decrypts to, or its contents without a key
  } cases[] = {
      {"teststring", true, {{"teststring", "hello there"}}, "hello there"},
      {"no teststring", true, {}, "no attr"},
      {"no reply key", false, {{"teststring", "hello"}}, "no key"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    KdcHost host;
    host.strings = c.strings;
    if (c.have_key) host.key = *key;
    auto cb = KdcHost::callbacks();
    test_edata(context, nullptr, &cb, host.rock(), nullptr, -123, KdcHost::edata_respond, &host);

    ASSERT_TRUE(host.responded);
    EXPECT_EQ(host.code, 0);
    ASSERT_NE(host.edata_element, nullptr);
    EXPECT_EQ(host.edata_element->pa_type, -123);
    EXPECT_EQ(host.cookie_out, "method-data");
    EXPECT_EQ(host.strings_outstanding, 0);
    if (!c.have_key) {
      EXPECT_EQ(contents(host.edata_element.get()), c.plaintext);
      continue;
    }
    krb5_enc_data enc{};
    enc.enctype = key->enctype;
    enc.ciphertext.length = host.edata_element->length;
    enc.ciphertext.data = reinterpret_cast<char *>(host.edata_element->contents);
    std::vector<char> buffer(enc.ciphertext.length);
    krb5_data plain{};
    plain.length = static_cast<unsigned int>(buffer.size());
    plain.data = buffer.data();
    ASSERT_EQ(krb5_c_decrypt(context, key.get(), 1024, nullptr, &enc, &plain), 0);
    EXPECT_EQ(std::string(plain.data, plain.length), c.plaintext);
  }
}

}  // namespace
