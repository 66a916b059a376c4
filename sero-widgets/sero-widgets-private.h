// Included first by every widget source. The build of each library
// provides sero-gtk-build.h with its log domain and its source folder.
#pragma once

#include "sero-gtk-build.h"

#include <glib/gi18n-lib.h>
#include <gtk/gtk.h>

#include <source_location>

// Precondition messages name the C function, as they do in C callers,
// rather than the C++ signature that GLib would print by default.
#undef G_STRFUNC
#define G_STRFUNC ((const char *) (__func__))

// Binds the widgets' text domain once; called when a widget class is set up.
void _sero_widgets_init_i18n ();

// The standard warning for a property id that the class does not have,
// naming the widget's source unit in this library (for example
// sero-gtk3/sero-section.cpp).
void _sero_warn_invalid_property (GObject *object, guint property_id, GParamSpec *pspec,
                                  const char *unit,
                                  std::source_location where = std::source_location::current ());
