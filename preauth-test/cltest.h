// Client half of the test mechanism: options that induce failures, and the
// answers to the KDC's method data, second-round requests and errors.
#pragma once

#include <krb5/clpreauth_plugin.h>

#include <optional>
#include <string>

// Per-context settings, filled from the application's pre-authentication
// options.
struct test_client_settings {
  std::optional<std::string> indicators;
  krb5_boolean fail_optimistic = FALSE;
  krb5_boolean fail_2rt = FALSE;
  krb5_boolean fail_tryagain = FALSE;
  krb5_boolean disable_fallback = FALSE;
};

// Per-request progress.
struct test_request_progress {
  krb5_boolean second_round_trip = FALSE;
};

krb5_error_code test_init(krb5_context context, krb5_clpreauth_moddata *moddata_out);
void test_fini(krb5_context context, krb5_clpreauth_moddata moddata);
void test_request_init(krb5_context context, krb5_clpreauth_moddata moddata,
                       krb5_clpreauth_modreq *modreq_out);
void test_request_fini(krb5_context context, krb5_clpreauth_moddata moddata,
                       krb5_clpreauth_modreq modreq);
krb5_error_code test_gic_opt(krb5_context context, krb5_clpreauth_moddata moddata,
                             krb5_get_init_creds_opt *opt, const char *attr,
                             const char *value);
krb5_error_code test_process(krb5_context context, krb5_clpreauth_moddata moddata,
                             krb5_clpreauth_modreq modreq, krb5_get_init_creds_opt *opt,
                             krb5_clpreauth_callbacks cb, krb5_clpreauth_rock rock,
                             krb5_kdc_req *request, krb5_data *encoded_request_body,
                             krb5_data *encoded_previous_request, krb5_pa_data *pa_data,
                             krb5_prompter_fct prompter, void *prompter_data,
                             krb5_pa_data ***pa_data_out);
krb5_error_code test_tryagain(krb5_context context, krb5_clpreauth_moddata moddata,
                              krb5_clpreauth_modreq modreq, krb5_get_init_creds_opt *opt,
                              krb5_clpreauth_callbacks cb, krb5_clpreauth_rock rock,
                              krb5_kdc_req *request, krb5_data *encoded_request_body,
                              krb5_data *encoded_previous_request, krb5_preauthtype pa_type,
                              krb5_error *error, krb5_pa_data **error_padata,
                              krb5_prompter_fct prompter, void *prompter_data,
                              krb5_pa_data ***pa_data_out);

extern "C" krb5_error_code clpreauth_test_initvt(krb5_context context, int maj_ver,
                                                 int min_ver, krb5_plugin_vtable vtable);
