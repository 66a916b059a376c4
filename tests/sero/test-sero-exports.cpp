// The libraries export their documented API and nothing else.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "process.h"

namespace {

std::set<std::string> exported(const std::string &library) {
  auto outcome = testsupport::run({"nm", "-D", "--defined-only", testsupport::build_path(library)});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  std::set<std::string> names;
  std::istringstream lines(outcome.out);
  std::string address, kind, name;
  while (lines >> address >> kind >> name) names.insert(name);
  return names;
}

TEST(SeroExports, OnlyTheDocumentedNames) {
  const std::set<std::string> tabo = {
      "tabo_attributes_add_data", "tabo_attributes_add_ulong", "tabo_attributes_at",
      "tabo_attributes_count",    "tabo_attributes_find",      "tabo_attributes_find_ulong",
      "tabo_attributes_get_type", "tabo_attributes_new",       "tabo_attributes_ref",
      "tabo_attributes_unref",
  };
  const std::set<std::string> sero = {
      "SECMEM_pool_data_v1_0",
      "_sero_certificate_extension_basic_constraints",
      "_sero_certificate_extension_extended_key_usage",
      "_sero_certificate_extension_key_usage",
      "_sero_certificate_extension_subject_alt_name",
      "_sero_certificate_extension_subject_key_identifier",
      "_sero_general_names_free",
      "_sero_oid_basic_constraints_get_quark",
      "_sero_oid_extended_key_usage_get_quark",
      "_sero_oid_key_usage_get_quark",
      "_sero_oid_subject_alt_name_get_quark",
      "_sero_oid_subject_key_identifier_get_quark",
      "sero_certificate_get_der_data",
      "sero_certificate_get_key_size",
      "sero_certificate_get_subject_cn",
      "sero_certificate_get_type",
      "sero_data_error_quark",
      "sero_fingerprint_from_subject_public_key_info",
      "sero_parser_get_parsed_attributes",
      "sero_parser_get_type",
      "sero_parser_new",
      "sero_parser_parse_bytes",
      "sero_simple_certificate_get_type",
      "sero_simple_certificate_new",
  };
  EXPECT_EQ(exported("sero/libtabo-2.so"), tabo);
  EXPECT_EQ(exported("sero/libsero-4.so"), sero);
}

}  // namespace
