#include "sero-widgets-private.h"

#include <cstdlib>
#include <string>

void
_sero_widgets_init_i18n ()
{
  static gsize bound = 0;
  if (g_once_init_enter (&bound)) {
    // SERO_4_LOCALEDIR points to other catalogues (the build tree's, for its
    // tests); privileged processes ignore it.
    const char *dir = secure_getenv ("SERO_4_LOCALEDIR");
    bindtextdomain (GETTEXT_PACKAGE, dir && *dir ? dir : SERO_LOCALEDIR);
    bind_textdomain_codeset (GETTEXT_PACKAGE, "UTF-8");
    g_once_init_leave (&bound, 1);
  }
}

void
_sero_warn_invalid_property (GObject *object, guint property_id, GParamSpec *pspec,
                             const char *unit, std::source_location where)
{
  const std::string path = std::string (SERO_GTK_SOURCE_DIR) + "/" + unit + ".cpp";
  g_warning ("%s:%d: invalid %s id %u for \"%s\" of type '%s' in '%s'", path.c_str (),
             static_cast<int> (where.line ()), "property", property_id, pspec->name,
             g_type_name (G_PARAM_SPEC_TYPE (pspec)), G_OBJECT_TYPE_NAME (object));
}
