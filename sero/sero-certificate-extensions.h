// Parsers of the values (the contents of extnValue) of the certificate
// extensions that the widgets show in readable form.
#pragma once

#include <glib.h>

#include "sero-export.h"

G_BEGIN_DECLS

typedef enum {
  SERO_GENERAL_NAME_OTHER = 0,
  SERO_GENERAL_NAME_RFC822,
  SERO_GENERAL_NAME_DNS,
  SERO_GENERAL_NAME_X400,
  SERO_GENERAL_NAME_DN,
  SERO_GENERAL_NAME_EDI,
  SERO_GENERAL_NAME_URI,
  SERO_GENERAL_NAME_IP,
  SERO_GENERAL_NAME_REGISTERED_ID,
} SeroGeneralNameType;

typedef struct {
  guint32 type;              /* a SeroGeneralNameType */
  const gchar *description;  /* caption text of the kind of name; static */
  gchar *display;            /* the name as text, or NULL when it has none */
  GBytes *raw;               /* the complete DER encoding of the name */
} SeroGeneralName;

/* BasicConstraints. Either out location may be NULL; path_len is -1 when
 * the extension carries no path length. */
SERO_EXPORT gboolean _sero_certificate_extension_basic_constraints (GBytes *data, gboolean *is_ca,
                                                                    gint *path_len);

/* ExtKeyUsageSyntax: a new zero-terminated array of OID quarks (free with
 * g_free), or NULL. */
SERO_EXPORT GQuark *_sero_certificate_extension_extended_key_usage (GBytes *data);

/* SubjectKeyIdentifier: a new buffer with the identifier (free with
 * g_free) and its length, or NULL. */
SERO_EXPORT gpointer _sero_certificate_extension_subject_key_identifier (GBytes *data,
                                                                         gsize *n_keyid);

/* KeyUsage: bit n of the mask is bit n of the encoded bit string
 * (0x1 digital signature ... 0x100 decipher only). */
SERO_EXPORT gboolean _sero_certificate_extension_key_usage (GBytes *data, gulong *key_usage);

/* SubjectAltName: a new array of SeroGeneralName, or NULL. Release it with
 * _sero_general_names_free(). */
SERO_EXPORT GArray *_sero_certificate_extension_subject_alt_name (GBytes *data);
SERO_EXPORT void _sero_general_names_free (GArray *names);

G_END_DECLS
