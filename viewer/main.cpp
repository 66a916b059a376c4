#include "sero-viewer-application.h"

int
main (int argc, char **argv)
{
  GtkApplication *application = sero_viewer_application_new ();
  const int status = g_application_run (G_APPLICATION (application), argc, argv);
  g_object_unref (application);
  return status;
}
