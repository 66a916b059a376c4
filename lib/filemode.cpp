#include "filemode.h"

#include <sys/stat.h>

namespace {

char
type_letter(mode_t mode)
{
  if (S_ISREG(mode))
    return '-';
  if (S_ISDIR(mode))
    return 'd';
  if (S_ISBLK(mode))
    return 'b';
  if (S_ISCHR(mode))
    return 'c';
  if (S_ISLNK(mode))
    return 'l';
  if (S_ISFIFO(mode))
    return 'p';
  if (S_ISSOCK(mode))
    return 's';
  return '?';
}

// The execute position: x or -, or the special bit's letter, lower case
// when the class may also execute.
char
exec_letter(mode_t mode, mode_t exec_bit, mode_t special_bit, char special)
{
  if (mode & special_bit)
    return (mode & exec_bit) ? special : static_cast<char>(special - 'a' + 'A');
  return (mode & exec_bit) ? 'x' : '-';
}

}  // namespace

void
strmode(mode_t mode, char *str)
{
  str[0] = type_letter(mode);
  str[1] = mode & S_IRUSR ? 'r' : '-';
  str[2] = mode & S_IWUSR ? 'w' : '-';
  str[3] = exec_letter(mode, S_IXUSR, S_ISUID, 's');
  str[4] = mode & S_IRGRP ? 'r' : '-';
  str[5] = mode & S_IWGRP ? 'w' : '-';
  str[6] = exec_letter(mode, S_IXGRP, S_ISGID, 's');
  str[7] = mode & S_IROTH ? 'r' : '-';
  str[8] = mode & S_IWOTH ? 'w' : '-';
  str[9] = exec_letter(mode, S_IXOTH, S_ISVTX, 't');
  str[10] = ' ';
  str[11] = '\0';
}
