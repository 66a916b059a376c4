#include "sero-private.h"

#include "sero-oids.h"

GQuark
_sero_oid_basic_constraints_get_quark (void)
{
  return g_quark_from_static_string ("2.5.29.19");
}

GQuark
_sero_oid_extended_key_usage_get_quark (void)
{
  return g_quark_from_static_string ("2.5.29.37");
}

GQuark
_sero_oid_subject_key_identifier_get_quark (void)
{
  return g_quark_from_static_string ("2.5.29.14");
}

GQuark
_sero_oid_key_usage_get_quark (void)
{
  return g_quark_from_static_string ("2.5.29.15");
}

GQuark
_sero_oid_subject_alt_name_get_quark (void)
{
  return g_quark_from_static_string ("2.5.29.17");
}
