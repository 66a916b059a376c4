// Attribute sets: a list of typed values, each typed by a PKCS #11
// attribute number, as the certificate parser hands them out.
#pragma once

#include <glib-object.h>

#include "sero-export.h"

G_BEGIN_DECLS

#ifndef CKA_CLASS
#define CKA_CLASS 0x00UL
#endif
#ifndef CKA_LABEL
#define CKA_LABEL 0x03UL
#endif
#ifndef CKA_VALUE
#define CKA_VALUE 0x11UL
#endif
#ifndef CKA_CERTIFICATE_TYPE
#define CKA_CERTIFICATE_TYPE 0x80UL
#endif
#ifndef CKO_CERTIFICATE
#define CKO_CERTIFICATE 0x01UL
#endif
#ifndef CKC_X_509
#define CKC_X_509 0x00UL
#endif

typedef struct {
  gulong type;
  guchar *value;
  gulong length;
} TaboAttribute;

typedef struct _TaboAttributes TaboAttributes;

#define TABO_TYPE_ATTRIBUTES (tabo_attributes_get_type ())
SERO_EXPORT GType tabo_attributes_get_type (void);

/* A new, empty set with one reference. */
SERO_EXPORT TaboAttributes *tabo_attributes_new (void);
SERO_EXPORT TaboAttributes *tabo_attributes_ref (TaboAttributes *attrs);
SERO_EXPORT void tabo_attributes_unref (gpointer attrs);

/* Stores a copy of the value under the type, replacing any value of that
 * type. Pointers returned by the lookups stay valid until the set changes
 * or is released. */
SERO_EXPORT void tabo_attributes_add_data (TaboAttributes *attrs, gulong type,
                                           gconstpointer value, gsize length);
SERO_EXPORT void tabo_attributes_add_ulong (TaboAttributes *attrs, gulong type, gulong value);

/* The attribute of that type (borrowed), or NULL. */
SERO_EXPORT const TaboAttribute *tabo_attributes_find (TaboAttributes *attrs, gulong type);
SERO_EXPORT gboolean tabo_attributes_find_ulong (TaboAttributes *attrs, gulong type, gulong *value);
SERO_EXPORT guint tabo_attributes_count (TaboAttributes *attrs);
SERO_EXPORT const TaboAttribute *tabo_attributes_at (TaboAttributes *attrs, guint index);

G_DEFINE_AUTOPTR_CLEANUP_FUNC (TaboAttributes, tabo_attributes_unref)

G_END_DECLS
