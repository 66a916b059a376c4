#include "package.h"

#include <stdlib.h>

#ifndef PACKAGE
#define PACKAGE "tullwerk"
#endif

const char package_domain[] = PACKAGE;
#ifndef LOCALEDIR
#define LOCALEDIR "/usr/share/locale"
#endif

// Catalogues are looked up where this build installs them: under the
// system's /usr/share/locale for a build with the prefix /usr.
const char package_locale_dir[] = LOCALEDIR;

const char *package_catalog_dir(void) {
  const char *dir = secure_getenv("TULLWERK_LOCALEDIR");
  return dir != nullptr && *dir != '\0' ? dir : package_locale_dir;
}

const char package_name[] = "qent tullwerk";
const char Version[] = "9.1";
const char package_home_page[] = "https://www.varnet.org/software/tullwerk/";
const char package_licence_page[] = "https://www.gnu.org/licenses/lgpl-2.1.html";
const char package_copyright_holder[] = "the Tullwerk developers";
const int package_copyright_year = 2022;
