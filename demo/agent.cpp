// agent: answers the location service's requests to let an application
// see the user's location, by asking the user through a notification.

#include <glib/gi18n.h>
#include <libnotify/notify.h>

#include <clocale>
#include <cstdlib>

#include "zarfo-service-agent.h"

namespace {

// Where this build installs the catalogues (/usr/share/locale for the
// prefix /usr).
constexpr const char kLocaleDir[] = ZARFO_LOCALEDIR;
// Another catalogue directory (the build tree's, for its tests); ignored in
// privileged processes.
constexpr const char kLocaleDirVariable[] = "ZARFO_LOCALEDIR";
constexpr const char kVersion[] = "2.6.0";

ZarfoServiceAgent *agent = nullptr;
gboolean version = FALSE;

GOptionEntry entries[] = {
  { "version", 0, 0, G_OPTION_ARG_NONE, &version, N_("Display version number"), nullptr },
  { nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr },
};

void
on_get_bus_ready (GObject *, GAsyncResult *res, gpointer)
{
  GError *error = nullptr;
  g_autoptr (GDBusConnection) connection = g_bus_get_finish (res, &error);

  if (!connection)
    {
      g_critical ("Failed to get connection to system bus: %s", error->message);
      g_error_free (error);
      exit (254);
    }

  agent = zarfo_service_agent_new (connection);
}

}  // namespace

int
main (int argc, char **argv)
{
  setlocale (LC_ALL, "");
  textdomain (GETTEXT_PACKAGE);
  const char *locale_dir = secure_getenv (kLocaleDirVariable);
  bindtextdomain (GETTEXT_PACKAGE, locale_dir && *locale_dir ? locale_dir : kLocaleDir);
  bind_textdomain_codeset (GETTEXT_PACKAGE, "UTF-8");

  g_set_application_name ("Zarfo Agent");
  notify_init (_("Zarfo"));

  g_autoptr (GOptionContext) context = g_option_context_new ("- Zarfo Agent service");
  g_option_context_add_main_entries (context, entries, GETTEXT_PACKAGE);
  g_autoptr (GError) error = nullptr;
  if (!g_option_context_parse (context, &argc, &argv, &error))
    {
      g_critical ("option parsing failed: %s\n", error->message);
      return 255;
    }

  if (version)
    {
      g_print ("%s\n", kVersion);
      return 0;
    }

  GMainLoop *loop = g_main_loop_new (nullptr, FALSE);
  g_bus_get (G_BUS_TYPE_SYSTEM, nullptr, on_get_bus_ready, nullptr);
  g_main_loop_run (loop);

  g_clear_object (&agent);
  g_main_loop_unref (loop);
  return 0;
}
