#include "kdctest.h"

#include "common.h"

#include <cerrno>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace {

krb5_preauthtype kdc_pa_types[] = {TEST_PA_TYPE, 0};

// client_keyblock, add_auth_indicator and the cookie callbacks arrived
// with version 3 of the callbacks.
constexpr int CALLBACKS_VERSION_NEEDED = 3;

std::string_view contents_of(const krb5_pa_data *pa) {
  return {reinterpret_cast<const char *>(pa->contents), pa->length};
}

krb5_data data_of(std::string_view text) {
  krb5_data d{};
  d.magic = KV5M_DATA;
  d.length = static_cast<unsigned int>(text.size());
  d.data = const_cast<char *>(text.data());
  return d;
}

// A string attribute of the client's database entry, released through the
// host when it goes out of scope.
class StringAttribute {
 public:
  StringAttribute(krb5_context context, krb5_kdcpreauth_callbacks cb, krb5_kdcpreauth_rock rock,
                  const char *key)
      : context_(context), cb_(cb), rock_(rock) {
    status_ = cb_->get_string(context_, rock_, key, &value_);
    if (status_) value_ = nullptr;
  }
  ~StringAttribute() {
    if (value_) cb_->free_string(context_, rock_, value_);
  }
  StringAttribute(const StringAttribute &) = delete;
  StringAttribute &operator=(const StringAttribute &) = delete;

  // The lookup's own error, 0 when it worked (with or without a value).
  krb5_error_code status() const { return status_; }
  explicit operator bool() const { return value_ != nullptr; }
  std::string_view value() const { return value_ ? std::string_view(value_) : std::string_view(); }

 private:
  krb5_context context_;
  krb5_kdcpreauth_callbacks cb_;
  krb5_kdcpreauth_rock rock_;
  char *value_ = nullptr;
  krb5_error_code status_ = 0;
};

krb5_error_code set_cookie(krb5_context context, krb5_kdcpreauth_callbacks cb,
                           krb5_kdcpreauth_rock rock, std::string_view value) {
  krb5_data d = data_of(value);
  return cb->set_cookie(context, rock, TEST_PA_TYPE, &d);
}

// Builds the method data: the plaintext encrypted in the reply key, or
// "no key" when there is none. Returns null with *ret set on failure.
krb5_pa_data *method_data(krb5_context context, const krb5_keyblock *key,
                          std::string_view plaintext, krb5_error_code *ret) {
  *ret = 0;
  krb5_pa_data *pa = nullptr;
  if (!key) {
    pa = make_pa("no key", 6);
  } else {
    std::size_t length = 0;
    *ret = krb5_c_encrypt_length(context, key->enctype, plaintext.size(), &length);
    if (*ret) return nullptr;
    std::vector<char> buffer(length);
    krb5_enc_data enc{};
    enc.magic = KV5M_ENC_DATA;
    enc.ciphertext.magic = KV5M_DATA;
    enc.ciphertext.length = static_cast<unsigned int>(length);
    enc.ciphertext.data = buffer.data();
    krb5_data plain = data_of(plaintext);
    *ret = krb5_c_encrypt(context, key, TEST_KEY_USAGE, nullptr, &plain, &enc);
    if (*ret) return nullptr;
    pa = make_pa(enc.ciphertext.data, enc.ciphertext.length);
  }
  if (!pa) *ret = ENOMEM;
  return pa;
}

// Adds every space-separated piece of the client's text as an
// authentication indicator; runs of spaces separate like one.
krb5_error_code add_indicators(krb5_context context, krb5_kdcpreauth_callbacks cb,
                               krb5_kdcpreauth_rock rock, std::string_view contents) {
  // The pieces are handed out as terminated texts, so the text ends at
  // its first null byte.
  std::string text(contents.substr(0, contents.find('\0')));
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find(' ', pos);
    if (end == std::string::npos) end = text.size();
    if (end > pos) {
      std::string piece = text.substr(pos, end - pos);
      krb5_error_code ret = cb->add_auth_indicator(context, rock, piece.c_str());
      if (ret) return ret;
    }
    pos = end + 1;
  }
  return 0;
}

}  // namespace

void test_edata(krb5_context context, krb5_kdc_req *, krb5_kdcpreauth_callbacks cb,
                krb5_kdcpreauth_rock rock, krb5_kdcpreauth_moddata, krb5_preauthtype,
                krb5_kdcpreauth_edata_respond_fn respond, void *arg) {
  if (cb->vers < CALLBACKS_VERSION_NEEDED) {
    respond(arg, KRB5_PLUGIN_VER_NOTSUPP, nullptr);
    return;
  }
  std::unique_ptr<krb5_pa_data, PaDataDeleter> pa;
  krb5_error_code ret = 0;
  try {
    const krb5_keyblock *key = cb->client_keyblock(context, rock);
    StringAttribute teststring(context, cb, rock, "teststring");
    ret = teststring.status();
    if (!ret) pa.reset(method_data(context, key, teststring ? teststring.value() : "no attr", &ret));
    if (!ret) ret = set_cookie(context, cb, rock, "method-data");
  } catch (const std::bad_alloc &) {
    ret = ENOMEM;
  }
  if (ret) pa.reset();
  respond(arg, ret, pa.release());
}

void test_verify(krb5_context context, krb5_data *, krb5_kdc_req *,
                 krb5_enc_tkt_part *enc_tkt_reply, krb5_pa_data *data,
                 krb5_kdcpreauth_callbacks cb, krb5_kdcpreauth_rock rock,
                 krb5_kdcpreauth_moddata, krb5_kdcpreauth_verify_respond_fn respond, void *arg) {
  if (cb->vers < CALLBACKS_VERSION_NEEDED) {
    respond(arg, KRB5_PLUGIN_VER_NOTSUPP, nullptr, nullptr, nullptr);
    return;
  }
  krb5_error_code ret = 0;
  std::unique_ptr<krb5_pa_data *, PaListDeleter> e_data;
  try {
    StringAttribute err(context, cb, rock, "err");
    StringAttribute two_rt(context, cb, rock, "2rt");
    StringAttribute fail2rt(context, cb, rock, "fail2rt");
    StringAttribute failopt(context, cb, rock, "failopt");
    for (const StringAttribute *attribute : {&err, &two_rt, &fail2rt, &failopt}) {
      if (!ret) ret = attribute->status();
    }

    // The cookie tells which round this is; a request without one was sent
    // before any method data was offered.
    krb5_data cookie{};
    bool have_cookie = cb->get_cookie(context, rock, TEST_PA_TYPE, &cookie);
    bool second_round =
        have_cookie && std::string_view(cookie.data, cookie.length) == "more";
    bool optimistic = !have_cookie;
    std::string_view contents = contents_of(data);

    if (ret) {
      // The database entry could not be read; nothing to decide on.
    } else if (err) {
      if (contents == "tryagain") {
        enc_tkt_reply->flags |= TKT_FLG_PRE_AUTH;
      } else {
        ret = set_cookie(context, cb, rock, "err");
        if (!ret) {
          e_data.reset(make_pa_list(err.value().data(), err.value().size()));
          ret = e_data ? KRB5KDC_ERR_ETYPE_NOSUPP : ENOMEM;
        }
      }
    } else if (two_rt && !second_round) {
      ret = set_cookie(context, cb, rock, "more");
      if (!ret) {
        e_data.reset(make_pa_list(two_rt.value().data(), two_rt.value().size()));
        ret = e_data ? KRB5KDC_ERR_MORE_PREAUTH_DATA_REQUIRED : ENOMEM;
      }
    } else if ((fail2rt && second_round) || (failopt && optimistic)) {
      ret = KRB5KDC_ERR_PREAUTH_FAILED;
    } else {
      ret = add_indicators(context, cb, rock, contents);
      if (!ret) enc_tkt_reply->flags |= TKT_FLG_PRE_AUTH;
    }
  } catch (const std::bad_alloc &) {
    ret = ENOMEM;
    e_data.reset();
  }
  respond(arg, ret, nullptr, e_data.release(), nullptr);
}

krb5_error_code test_return(krb5_context context, krb5_pa_data *, krb5_data *, krb5_kdc_req *,
                            krb5_kdc_rep *, krb5_keyblock *, krb5_pa_data **,
                            krb5_kdcpreauth_callbacks cb, krb5_kdcpreauth_rock rock,
                            krb5_kdcpreauth_moddata, krb5_kdcpreauth_modreq) {
  // The reply key is either absent or the key that encrypts the reply;
  // the mechanism adds nothing to the reply either way.
  if (cb->vers >= CALLBACKS_VERSION_NEEDED) static_cast<void>(cb->client_keyblock(context, rock));
  return 0;
}

extern "C" __attribute__((visibility("default"))) krb5_error_code kdcpreauth_test_initvt(
    krb5_context, int maj_ver, int, krb5_plugin_vtable vtable) {
  if (maj_ver != 1) return KRB5_PLUGIN_VER_NOTSUPP;
  // Only the fields of minor version 1 exist in every host's table.
  auto vt = reinterpret_cast<krb5_kdcpreauth_vtable>(vtable);
  vt->name = "test";
  vt->pa_type_list = kdc_pa_types;
  vt->init = nullptr;
  vt->fini = nullptr;
  vt->flags = nullptr;
  vt->edata = test_edata;
  vt->verify = test_verify;
  vt->return_padata = test_return;
  vt->free_modreq = nullptr;
  return 0;
}
