#include "mkancesdirs.h"

#include <errno.h>
#include <string.h>

#include "savewd.h"

ptrdiff_t
mkancesdirs(char *file, struct savewd *wd, mkancesdirs_make_dir make_dir, void *data)
{
  // The first component keeps any leading slashes, so that entering it
  // starts from the root.
  char *component = file;
  char *p = file;
  while (*p == '/')
    p++;

  for (;;)
    {
      char *end = p;
      while (*end && *end != '/')
        end++;
      char *next = end;
      while (*next == '/')
        next++;
      if (*next == '\0')
        break;  // the last component is not an ancestor

      size_t length = end - component;
      if (!(length == 1 && component[0] == '.'))
        {
          bool dot_dot = length == 2 && component[0] == '.' && component[1] == '.';
          int make_dir_errno = 0;

          *end = '\0';
          if (!dot_dot && make_dir(file, component, data) < 0)
            make_dir_errno = errno;

          int chdir_result = savewd_chdir(wd, component, 0, nullptr);
          if (chdir_result != -1)
            *end = '/';
          if (chdir_result != 0)
            {
              if (make_dir_errno != 0 && errno == ENOENT)
                errno = make_dir_errno;
              return chdir_result;
            }
        }

      component = next;
      p = next;
    }

  return component - file;
}
