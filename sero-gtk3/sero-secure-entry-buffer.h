// An entry buffer whose text lives in locked, non-swappable memory and is
// wiped when the buffer lets go of it: for passwords typed into a GtkEntry.
#pragma once

#include <gtk/gtk.h>

#include "sero-export.h"

G_BEGIN_DECLS

#define SERO_TYPE_SECURE_ENTRY_BUFFER (sero_secure_entry_buffer_get_type ())
SERO_EXPORT
G_DECLARE_FINAL_TYPE (SeroSecureEntryBuffer, sero_secure_entry_buffer, SERO, SECURE_ENTRY_BUFFER,
                      GtkEntryBuffer)

/* Returns a new, empty buffer. */
SERO_EXPORT GtkEntryBuffer *sero_secure_entry_buffer_new (void);

G_END_DECLS
