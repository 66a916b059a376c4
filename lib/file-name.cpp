#include "file-name.h"

#include <string.h>

#include "xalloc.h"

char *
last_component(const char *name)
{
  const char *p = name;
  while (*p == '/')
    p++;
  const char *base = p;
  bool after_slash = false;
  for (; *p; p++)
    {
      if (*p == '/')
        after_slash = true;
      else if (after_slash)
        {
          base = p;
          after_slash = false;
        }
    }
  return const_cast<char *>(base);
}

size_t
base_len(const char *name)
{
  size_t len = strlen(name);
  while (len > 1 && name[len - 1] == '/')
    len--;
  return len;
}

size_t
dir_len(const char *file)
{
  // A leading slash is the root and is never stripped.
  size_t root = file[0] == '/' ? 1 : 0;
  size_t length = last_component(file) - file;
  while (length > root && file[length - 1] == '/')
    length--;
  return length;
}

char *
dir_name(const char *file)
{
  size_t length = dir_len(file);
  bool dot = length == 0;
  char *dir = static_cast<char *>(xmalloc(length + dot + 1));
  memcpy(dir, file, length);
  if (dot)
    dir[length++] = '.';
  dir[length] = '\0';
  return dir;
}

char *
file_name_concat(const char *dir, const char *name, char **base_in_result)
{
  const char *dirbase = last_component(dir);
  size_t dirbaselen = base_len(dirbase);
  size_t dirlen = (dirbase - dir) + dirbaselen;
  size_t namelen = strlen(name);

  char sep = '\0';
  if (dirbaselen)
    {
      if (dir[dirlen - 1] != '/' && name[0] != '/')
        sep = '/';
    }
  else if (name[0] == '/')
    sep = '.';

  char *result = static_cast<char *>(xmalloc(dirlen + (sep != '\0') + namelen + 1));
  char *p = result;
  memcpy(p, dir, dirlen);
  p += dirlen;
  if (sep)
    *p++ = sep;
  if (base_in_result)
    *base_in_result = p;
  memcpy(p, name, namelen + 1);
  return result;
}
