#include "version-etc.h"

#include <libintl.h>
#include <stdarg.h>

#include "package.h"

namespace {

constexpr int max_named_authors = 9;

void print_authors(FILE *stream, const char *const (&a)[max_named_authors + 1], size_t n) {
  switch (n) {
    case 0:
      break;
    case 1:
      fprintf(stream, gettext("Written by %s.\n"), a[0]);
      break;
    case 2:
      fprintf(stream, gettext("Written by %s and %s.\n"), a[0], a[1]);
      break;
    case 3:
      fprintf(stream, gettext("Written by %s, %s, and %s.\n"), a[0], a[1], a[2]);
      break;
    case 4:
      fprintf(stream, gettext("Written by %s, %s, %s,\nand %s.\n"), a[0], a[1], a[2], a[3]);
      break;
    case 5:
      fprintf(stream, gettext("Written by %s, %s, %s,\n%s, and %s.\n"), a[0], a[1], a[2], a[3],
              a[4]);
      break;
    case 6:
      fprintf(stream, gettext("Written by %s, %s, %s,\n%s, %s, and %s.\n"), a[0], a[1], a[2],
              a[3], a[4], a[5]);
      break;
    case 7:
      fprintf(stream, gettext("Written by %s, %s, %s,\n%s, %s, %s, and %s.\n"), a[0], a[1], a[2],
              a[3], a[4], a[5], a[6]);
      break;
    case 8:
      fprintf(stream, gettext("Written by %s, %s, %s,\n%s, %s, %s, %s,\nand %s.\n"), a[0], a[1],
              a[2], a[3], a[4], a[5], a[6], a[7]);
      break;
    case 9:
      fprintf(stream, gettext("Written by %s, %s, %s,\n%s, %s, %s, %s,\n%s, and %s.\n"), a[0],
              a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]);
      break;
    default:
      // Ten or more: the first nine, then "others".
      fprintf(stream, gettext("Written by %s, %s, %s,\n%s, %s, %s, %s,\n%s, %s, and others.\n"),
              a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]);
      break;
  }
}

}  // namespace

void version_etc(FILE *stream, const char *command_name, const char *package,
                 const char *version, ...) {
  fprintf(stream, "%s (%s) %s\n", command_name, package, version);
  fprintf(stream, gettext("Copyright %s %d %s.\n"), gettext("(C)"), package_copyright_year,
          package_copyright_holder);
  fprintf(stream, gettext("Licence: LGPL-2.1-or-later <%s>.\n"), package_licence_page);
  fputs(gettext("You may change and share this program under that licence;\n"
                "it comes without any warranty.\n"),
        stream);
  fputs("\n", stream);

  // Take up to ten names; the tenth only tells that there are others.
  const char *authors[max_named_authors + 1] = {};
  size_t n = 0;
  va_list args;
  va_start(args, version);
  while (n < max_named_authors + 1) {
    const char *name = va_arg(args, const char *);
    if (name == nullptr) break;
    authors[n++] = name;
  }
  va_end(args);
  print_authors(stream, authors, n);
}
