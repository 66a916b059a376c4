// Included first by every source of the certificate libraries.
#pragma once

#include <glib.h>

// Precondition messages name the C function, as they do in C callers,
// rather than the C++ signature that GLib would print by default.
#undef G_STRFUNC
#define G_STRFUNC ((const char *) (__func__))
