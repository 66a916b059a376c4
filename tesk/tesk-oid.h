/* What the toolkit knows about common object identifiers: a short name,
 * a description for people, and how distinguished-name code may print a
 * value of that attribute. OIDs are quarks of their dotted text. */
#pragma once

#include <glib.h>

G_BEGIN_DECLS

enum {
  TESK_OID_PRINTABLE = 1, /* the value can be decoded and shown as text */
  TESK_OID_IS_CHOICE = 2, /* the value type is a CHOICE of string types */
};

/* The short name (not copied), NULL for a known OID without one, or the
 * dotted text of an OID the table does not hold. */
const gchar *tesk_oid_get_name (GQuark oid);

/* The translated description (not copied), NULL for a known OID without
 * one, or the dotted text of an OID the table does not hold. */
const gchar *tesk_oid_get_description (GQuark oid);

/* TESK_OID_* flags of the OID, 0 when the table does not hold it. */
guint tesk_oid_get_flags (GQuark oid);

G_END_DECLS
