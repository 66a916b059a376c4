#include "cltest.h"

#include "common.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

namespace {

krb5_preauthtype client_pa_types[] = {TEST_PA_TYPE, 0};

// The disable_fallback callback arrived with version 3 of the callbacks.
constexpr int DISABLE_FALLBACK_CALLBACKS_VERSION = 3;

test_client_settings &settings_of(krb5_clpreauth_moddata moddata) {
  return *reinterpret_cast<test_client_settings *>(moddata);
}

test_request_progress &progress_of(krb5_clpreauth_modreq modreq) {
  return *reinterpret_cast<test_request_progress *>(modreq);
}

std::string_view contents_of(const krb5_pa_data *pa) {
  return {reinterpret_cast<const char *>(pa->contents), pa->length};
}

// Progress lines are flushed at once so that they survive whatever the
// host does next.
void print_line(std::string_view prefix, std::string_view text) {
  std::printf("%.*s%.*s\n", static_cast<int>(prefix.size()), prefix.data(),
              static_cast<int>(text.size()), text.data());
  std::fflush(stdout);
}

krb5_error_code induced_failure(krb5_context context, const char *message) {
  krb5_set_error_message(context, KRB5_PREAUTH_FAILED, "%s", message);
  return KRB5_PREAUTH_FAILED;
}

void maybe_disable_fallback(const test_client_settings &settings, krb5_context context,
                            krb5_clpreauth_callbacks cb, krb5_clpreauth_rock rock) {
  if (settings.disable_fallback && cb->vers >= DISABLE_FALLBACK_CALLBACKS_VERSION)
    cb->disable_fallback(context, rock);
}

// Decrypts the method data with the reply key and prints the plaintext.
krb5_error_code print_method_data(krb5_context context, krb5_clpreauth_callbacks cb,
                                  krb5_clpreauth_rock rock, const krb5_pa_data *pa_data) {
  krb5_keyblock *key = nullptr;
  krb5_error_code ret = cb->get_as_key(context, rock, &key);
  if (ret) return ret;

  krb5_enc_data enc{};
  enc.magic = KV5M_ENC_DATA;
  enc.enctype = key->enctype;
  enc.ciphertext.magic = KV5M_DATA;
  enc.ciphertext.length = pa_data->length;
  enc.ciphertext.data = reinterpret_cast<char *>(pa_data->contents);

  std::vector<char> buffer(pa_data->length);
  krb5_data plain{};
  plain.magic = KV5M_DATA;
  plain.length = pa_data->length;
  plain.data = buffer.data();
  // A wrong password shows here; the error goes back to the library rather
  // than a line of undecrypted bytes.
  ret = krb5_c_decrypt(context, key, TEST_KEY_USAGE, nullptr, &enc, &plain);
  if (ret) return ret;
  print_line("", std::string_view(plain.data, plain.length));
  return 0;
}

}  // namespace

krb5_error_code test_init(krb5_context, krb5_clpreauth_moddata *moddata_out) {
  auto settings = std::unique_ptr<test_client_settings>(new (std::nothrow) test_client_settings);
  if (!settings) return ENOMEM;
  *moddata_out = reinterpret_cast<krb5_clpreauth_moddata>(settings.release());
  return 0;
}

void test_fini(krb5_context, krb5_clpreauth_moddata moddata) {
  std::unique_ptr<test_client_settings> settings(
      reinterpret_cast<test_client_settings *>(moddata));
}

void test_request_init(krb5_context, krb5_clpreauth_moddata,
                       krb5_clpreauth_modreq *modreq_out) {
  *modreq_out = reinterpret_cast<krb5_clpreauth_modreq>(new (std::nothrow) test_request_progress);
}

void test_request_fini(krb5_context, krb5_clpreauth_moddata, krb5_clpreauth_modreq modreq) {
  std::unique_ptr<test_request_progress> progress(
      reinterpret_cast<test_request_progress *>(modreq));
}

krb5_error_code test_gic_opt(krb5_context, krb5_clpreauth_moddata moddata,
                             krb5_get_init_creds_opt *, const char *attr, const char *value) {
  test_client_settings &settings = settings_of(moddata);
  std::string_view name(attr ? attr : "");
  if (name == "indicators") {
    try {
      settings.indicators = value ? value : "";
    } catch (const std::bad_alloc &) {
      return ENOMEM;
    }
  } else if (name == "fail_optimistic") {
    settings.fail_optimistic = TRUE;
  } else if (name == "fail_2rt") {
    settings.fail_2rt = TRUE;
  } else if (name == "fail_tryagain") {
    settings.fail_tryagain = TRUE;
  } else if (name == "disable_fallback") {
    settings.disable_fallback = TRUE;
  }
  return 0;
}

krb5_error_code test_process(krb5_context context, krb5_clpreauth_moddata moddata,
                             krb5_clpreauth_modreq modreq, krb5_get_init_creds_opt *,
                             krb5_clpreauth_callbacks cb, krb5_clpreauth_rock rock,
                             krb5_kdc_req *, krb5_data *, krb5_data *, krb5_pa_data *pa_data,
                             krb5_prompter_fct, void *, krb5_pa_data ***pa_data_out) {
  const test_client_settings &settings = settings_of(moddata);
  if (!modreq) return ENOMEM;  // the progress record could not be allocated
  test_request_progress &progress = progress_of(modreq);

  if (pa_data->length == 0) {
    // Sent without a hint from the KDC: optimistic preauthentication.
    if (settings.fail_optimistic) return induced_failure(context, "induced optimistic fail");
    *pa_data_out = make_pa_list("optimistic", 10);
    if (!*pa_data_out) return ENOMEM;
    maybe_disable_fallback(settings, context, cb, rock);
    return 0;
  }

  if (progress.second_round_trip) {
    print_line("2rt: ", contents_of(pa_data));
    if (settings.fail_2rt) return induced_failure(context, "induced 2rt fail");
  } else if (contents_of(pa_data) == "no key") {
    print_line("", "no key");
  } else {
    krb5_error_code ret = print_method_data(context, cb, rock, pa_data);
    if (ret) return ret;
  }

  progress.second_round_trip = TRUE;
  std::string_view indicators;
  if (settings.indicators) indicators = *settings.indicators;
  *pa_data_out = make_pa_list(indicators.data(), indicators.size());
  if (!*pa_data_out) return ENOMEM;
  maybe_disable_fallback(settings, context, cb, rock);
  return 0;
}

krb5_error_code test_tryagain(krb5_context context, krb5_clpreauth_moddata moddata,
                              krb5_clpreauth_modreq, krb5_get_init_creds_opt *,
                              krb5_clpreauth_callbacks, krb5_clpreauth_rock, krb5_kdc_req *,
                              krb5_data *, krb5_data *, krb5_preauthtype, krb5_error *error,
                              krb5_pa_data **error_padata, krb5_prompter_fct, void *,
                              krb5_pa_data ***pa_data_out) {
  const test_client_settings &settings = settings_of(moddata);
  *pa_data_out = nullptr;
  if (settings.fail_tryagain) return induced_failure(context, "induced tryagain fail");
  // Only the encryption-type-not-supported error is answered.
  if (error->error != 14) return KRB5_PREAUTH_FAILED;
  for (krb5_pa_data **pa = error_padata; pa && *pa; ++pa) {
    if ((*pa)->pa_type == TEST_PA_TYPE) print_line("tryagain: ", contents_of(*pa));
  }
  *pa_data_out = make_pa_list("tryagain", 8);
  if (!*pa_data_out) return ENOMEM;
  return 0;
}

extern "C" __attribute__((visibility("default"))) krb5_error_code clpreauth_test_initvt(
    krb5_context, int maj_ver, int, krb5_plugin_vtable vtable) {
  if (maj_ver != 1) return KRB5_PLUGIN_VER_NOTSUPP;
  // Only the fields of minor version 1 exist in every host's table.
  auto vt = reinterpret_cast<krb5_clpreauth_vtable>(vtable);
  vt->name = "test";
  vt->pa_type_list = client_pa_types;
  vt->enctype_list = nullptr;
  vt->init = test_init;
  vt->fini = test_fini;
  vt->flags = nullptr;
  vt->request_init = test_request_init;
  vt->request_fini = test_request_fini;
  vt->process = test_process;
  vt->tryagain = test_tryagain;
  vt->gic_opts = test_gic_opt;
  return 0;
}
