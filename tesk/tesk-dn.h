/* Distinguished names: reading a decoded X.509 name (an RDNSequence node)
 * as text, one attribute at a time or all at once, and adding attributes
 * given as text to a name being built. */
#pragma once

#include <glib.h>

G_BEGIN_DECLS

/* Called for each attribute of a name: the 1-based index of its relative
 * distinguished name, the attribute's OID and its value node. */
typedef void (*TeskDnCallback) (guint index, GQuark oid, GNode *value, gpointer user_data);

/* The whole name as one line, e.g. "O=Example, OU=Web+CN=Server" (new
 * text, g_free), or NULL for an empty or malformed name. */
gchar *tesk_dn_read (GNode *asn);

/* The printed value of the first attribute whose dotted OID or short name
 * equals `match` (ignoring ASCII case), as new text, or NULL. */
gchar *tesk_dn_read_part (GNode *asn, const gchar *match);

/* Calls `callback` (when not NULL) for every attribute in order. FALSE
 * when an attribute has no readable OID. */
gboolean tesk_dn_parse (GNode *asn, TeskDnCallback callback, gpointer user_data);

/* An attribute value as text: decoded when the OID's value type is known
 * and printable, else "#" and the hex of its encoding. New text. */
gchar *tesk_dn_print_value (GQuark oid, GNode *value);

/* Appends a relative distinguished name holding one attribute of type
 * `oid` with the text `string` to the RDNSequence `asn`. */
void tesk_dn_add_string_part (GNode *asn, GQuark oid, const gchar *string);

G_END_DECLS
