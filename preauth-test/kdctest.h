// KDC half of the test mechanism: the method data offered in the
// preauthentication-required error and the judgement of the client's
// answers, steered by string attributes of the client principal.
#pragma once

#include <krb5/kdcpreauth_plugin.h>

void test_edata(krb5_context context, krb5_kdc_req *request, krb5_kdcpreauth_callbacks cb,
                krb5_kdcpreauth_rock rock, krb5_kdcpreauth_moddata moddata,
                krb5_preauthtype pa_type, krb5_kdcpreauth_edata_respond_fn respond,
                void *arg);
void test_verify(krb5_context context, krb5_data *req_pkt, krb5_kdc_req *request,
                 krb5_enc_tkt_part *enc_tkt_reply, krb5_pa_data *data,
                 krb5_kdcpreauth_callbacks cb, krb5_kdcpreauth_rock rock,
                 krb5_kdcpreauth_moddata moddata, krb5_kdcpreauth_verify_respond_fn respond,
                 void *arg);
krb5_error_code test_return(krb5_context context, krb5_pa_data *padata, krb5_data *req_pkt,
                            krb5_kdc_req *request, krb5_kdc_rep *reply,
                            krb5_keyblock *encrypting_key, krb5_pa_data **send_pa_out,
                            krb5_kdcpreauth_callbacks cb, krb5_kdcpreauth_rock rock,
                            krb5_kdcpreauth_moddata moddata, krb5_kdcpreauth_modreq modreq);

extern "C" krb5_error_code kdcpreauth_test_initvt(krb5_context context, int maj_ver,
                                                  int min_ver, krb5_plugin_vtable vtable);
