// Parser of certificate data: PEM text with one or several certificate
// blocks, or one bare DER-encoded certificate. Each certificate found is
// announced through the "parsed" signal, synchronously, before
// sero_parser_parse_bytes() returns.
#pragma once

#include <glib-object.h>

#include "sero-export.h"
#include "tabo-attributes.h"

G_BEGIN_DECLS

#define SERO_DATA_ERROR (sero_data_error_quark ())
SERO_EXPORT GQuark sero_data_error_quark (void);

typedef enum {
  /* The data holds something damaged where a certificate should be. */
  SERO_ERROR_FAILURE = -1,
  /* The data holds no certificate at all. */
  SERO_ERROR_UNRECOGNIZED = 1,
} SeroDataError;

#define SERO_TYPE_PARSER (sero_parser_get_type ())
SERO_EXPORT
G_DECLARE_FINAL_TYPE (SeroParser, sero_parser, SERO, PARSER, GObject)

SERO_EXPORT SeroParser *sero_parser_new (void);

/* Parses the data, emitting "parsed" once per certificate in the order
 * they appear. When any certificate block is damaged, or none is found,
 * nothing is emitted and FALSE is returned with the error set. */
SERO_EXPORT gboolean sero_parser_parse_bytes (SeroParser *self, GBytes *data, GError **error);

/* Inside a "parsed" handler: the attributes of the item being announced
 * (borrowed; take a reference to keep them). NULL outside of one. */
SERO_EXPORT TaboAttributes *sero_parser_get_parsed_attributes (SeroParser *self);

G_END_DECLS
