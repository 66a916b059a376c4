// A small initial-ticket client for the exchanges that the stock kinit
// cannot start: it can ask the library to send the test mechanism's
// pa-data optimistically, before the KDC has offered anything.
//
//   preauth-client [-O] [-X attr[=value]]... principal
//
// The password is the first line of standard input. The ticket goes to
// the default credential cache. Exit status 0 on success, 1 on failure
// with one line "preauth-client: <message>" on standard error.
#include <krb5/krb5.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr krb5_preauthtype TEST_PA_TYPE = -123;

int fail(krb5_context context, krb5_error_code code, const char *what) {
  const char *message = krb5_get_error_message(context, code);
  std::fprintf(stderr, "preauth-client: %s: %s\n", what, message);
  krb5_free_error_message(context, message);
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  bool optimistic = false;
  std::vector<std::pair<std::string, std::string>> options;
  int i = 1;
  for (; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-O") {
      optimistic = true;
    } else if (arg == "-X" && i + 1 < argc) {
      std::string option = argv[++i];
      auto eq = option.find('=');
      if (eq == std::string::npos) options.emplace_back(option, "yes");
      else options.emplace_back(option.substr(0, eq), option.substr(eq + 1));
    } else {
      break;
    }
  }
  if (i + 1 != argc) {
    std::fprintf(stderr, "usage: preauth-client [-O] [-X attr[=value]]... principal\n");
    return 2;
  }
  std::string password;
  std::getline(std::cin, password);

  krb5_context context = nullptr;
  if (krb5_init_context(&context) != 0) {
    std::fprintf(stderr, "preauth-client: cannot create a Kerberos context\n");
    return 1;
  }
  krb5_principal client = nullptr;
  krb5_ccache ccache = nullptr;
  krb5_get_init_creds_opt *opt = nullptr;
  krb5_creds creds;
  std::memset(&creds, 0, sizeof creds);
  int status = 0;

  krb5_error_code ret = krb5_parse_name(context, argv[i], &client);
  if (ret) status = fail(context, ret, "parsing the principal name");
  if (!status && (ret = krb5_cc_default(context, &ccache)))
    status = fail(context, ret, "opening the credential cache");
  if (!status && (ret = krb5_get_init_creds_opt_alloc(context, &opt)))
    status = fail(context, ret, "allocating options");
  for (const auto &[attr, value] : options) {
    if (status) break;
    if ((ret = krb5_get_init_creds_opt_set_pa(context, opt, attr.c_str(), value.c_str())))
      status = fail(context, ret, "setting a pre-authentication option");
  }
  if (!status && optimistic) {
    krb5_preauthtype types[] = {TEST_PA_TYPE};
    krb5_get_init_creds_opt_set_preauth_list(opt, types, 1);
  }
  if (!status && (ret = krb5_get_init_creds_opt_set_out_ccache(context, opt, ccache)))
    status = fail(context, ret, "setting the credential cache");
  if (!status && (ret = krb5_get_init_creds_password(context, &creds, client, password.c_str(),
                                                     nullptr, nullptr, 0, nullptr, opt)))
    status = fail(context, ret, "getting initial credentials");

  krb5_free_cred_contents(context, &creds);
  if (opt) krb5_get_init_creds_opt_free(context, opt);
  if (ccache) krb5_cc_close(context, ccache);
  if (client) krb5_free_principal(context, client);
  krb5_free_context(context);
  return status;
}
