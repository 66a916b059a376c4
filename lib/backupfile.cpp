#include "backupfile.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "argmatch.h"
#include "fd-safer.h"
#include "file-name.h"
#include "renameatu.h"
#include "xalloc.h"

const char *const backup_args[] = {
  "none", "off",
  "simple", "never",
  "existing", "nil",
  "numbered", "t",
  nullptr,
};

const enum backup_type backup_types[] = {
  BACKUP_NONE, BACKUP_NONE,
  BACKUP_SIMPLE, BACKUP_SIMPLE,
  BACKUP_EXISTING, BACKUP_EXISTING,
  BACKUP_NUMBERED, BACKUP_NUMBERED,
};

const char *simple_backup_suffix = nullptr;

namespace {

// Room for ".~12345~" and its terminator, the usual longest numbered suffix.
constexpr size_t numbered_suffix_size = sizeof ".~12345~";

// Names up to this length fit in every directory.
constexpr size_t always_fits = 14;

enum numbered_result {
  NUMBERED_SAME_LENGTH,  // a higher number of the same width was built
  NUMBERED_LONGER,       // the new number is one digit wider
  NUMBERED_NONE,         // no numbered backup exists (or the directory is unreadable)
  NUMBERED_NO_MEMORY,
};

// The state of one backupfile_internal call.
struct backup_scan {
  char *buffer;
  size_t size;
  size_t filelen;      // bytes of the file name (without trailing slashes)
  size_t base_offset;  // where its last component begins
  DIR *dirp = nullptr;
  int dir_fd = -1;     // the scanned directory, while dirp is open
  long name_max = 0;   // the directory's usable name limit; 0 until asked, -1 none
};

DIR *
opendirat(int dir_fd, const char *name, int *pnew_fd)
{
  int fd = fd_safer(openat(dir_fd, name,
                           O_RDONLY | O_DIRECTORY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd < 0)
    return nullptr;
  DIR *dirp = fdopendir(fd);
  if (!dirp)
    {
      int e = errno;
      close(fd);
      errno = e;
      return nullptr;
    }
  *pnew_fd = fd;
  return dirp;
}

bool
is_digit(char c)
{
  return '0' <= c && c <= '9';
}

// Looks for NAME.~N~ entries in the file's directory and leaves in the
// buffer the file name followed by ".~N~" with N one higher than any found
// (".~1~" when there are none).
numbered_result
numbered_backup(int dir_fd, backup_scan *scan)
{
  char *buf = scan->buffer;
  size_t baselen = scan->filelen - scan->base_offset;

  if (scan->dirp)
    rewinddir(scan->dirp);
  else
    {
      char *base = buf + scan->base_offset;
      char saved[2];
      memcpy(saved, base, sizeof saved);
      memcpy(base, ".", 2);
      scan->dirp = opendirat(dir_fd, buf, &scan->dir_fd);
      int open_errno = errno;
      memcpy(base, saved, sizeof saved);
      if (!scan->dirp)
        {
          strcpy(buf + scan->filelen, ".~1~");
          return open_errno == ENOMEM ? NUMBERED_NO_MEMORY : NUMBERED_NONE;
        }
    }

  strcpy(buf + scan->filelen, ".~1~");
  numbered_result result = NUMBERED_NONE;
  size_t versionlenmax = 1;

  while (const struct dirent *dp = readdir(scan->dirp))
    {
      const char *name = dp->d_name;
      if (strlen(name) < baselen + 4
          || memcmp(name, buf + scan->base_offset, baselen) != 0
          || name[baselen] != '.' || name[baselen + 1] != '~')
        continue;

      // The version: a digit 1 to 9, then digits, then a final "~".
      const char *p = name + baselen + 2;
      if (!('1' <= *p && *p <= '9'))
        continue;
      bool all_9s = *p == '9';
      size_t versionlen = 1;
      for (; is_digit(p[versionlen]); versionlen++)
        all_9s &= p[versionlen] == '9';
      if (!(p[versionlen] == '~' && p[versionlen + 1] == '\0'))
        continue;

      // Compared as digit strings: no arithmetic, so no overflow.
      if (!(versionlenmax < versionlen
            || (versionlenmax == versionlen
                && memcmp(buf + scan->filelen + 2, p, versionlen) <= 0)))
        continue;

      versionlenmax = all_9s + versionlen;
      result = all_9s ? NUMBERED_LONGER : NUMBERED_SAME_LENGTH;
      size_t new_size = scan->filelen + 2 + versionlenmax + 2;
      if (scan->size < new_size)
        {
          size_t grown = new_size + new_size / 2;
          char *bigger = static_cast<char *>(realloc(buf, grown));
          if (!bigger)
            return NUMBERED_NO_MEMORY;
          buf = scan->buffer = bigger;
          scan->size = grown;
        }

      char *q = buf + scan->filelen;
      *q++ = '.';
      *q++ = '~';
      *q = '0';
      q += all_9s;
      memcpy(q, p, versionlen + 2);

      // Add one to the number in place.
      q += versionlen;
      while (*--q == '9')
        *q = '0';
      ++*q;
    }

  return result;
}

// Makes the backup name in the buffer fit the directory's limit on name
// length. False when it had to be shortened.
bool
check_extension(backup_scan *scan)
{
  char *buf = scan->buffer;
  char *base = last_component(buf);
  size_t baselen = base_len(base);
  if (baselen <= always_fits)
    return true;

  if (scan->name_max == 0)
    {
      long limit;
      errno = 0;
      if (scan->dirp)
        limit = fpathconf(scan->dir_fd, _PC_NAME_MAX);
      else
        {
          char saved[2];
          memcpy(saved, base, sizeof saved);
          memcpy(base, ".", 2);
          limit = pathconf(buf, _PC_NAME_MAX);
          memcpy(base, saved, sizeof saved);
        }
      if (errno != 0 || limit == 0)
        scan->name_max = -1;  // no usable limit: leave the name as it is
      else if (limit < 0)
        scan->name_max = always_fits;
      else
        scan->name_max = limit - 1;
    }

  if (scan->name_max < 0 || baselen <= static_cast<size_t>(scan->name_max))
    return true;

  // Keep the file's own base name if it is short enough, else its first
  // bytes, and mark the result as a backup with a final "~".
  size_t limit = scan->name_max;
  size_t file_baselen = scan->filelen - scan->base_offset;
  char *end = file_baselen < limit ? buf + scan->filelen : buf + scan->base_offset + limit - 1;
  end[0] = '~';
  end[1] = '\0';
  return false;
}

void
release(backup_scan *scan)
{
  if (scan->dirp)
    closedir(scan->dirp);
  scan->dirp = nullptr;
}

}  // namespace

void
set_simple_backup_suffix(const char *s)
{
  if (!s)
    s = getenv("SIMPLE_BACKUP_SUFFIX");
  simple_backup_suffix = s && *s && s == last_component(s) ? s : "~";
}

enum backup_type
get_version(const char *context, const char *version)
{
  if (!version || !*version)
    return BACKUP_EXISTING;
  return xargmatch(context, version, backup_args, backup_types);
}

enum backup_type
xget_version(const char *context, const char *version)
{
  if (version && *version)
    return get_version(context, version);
  return get_version("$VERSION_CONTROL", getenv("VERSION_CONTROL"));
}

char *
backupfile_internal(int dir_fd, const char *file, enum backup_type backup_type,
                    bool do_rename)
{
  backup_scan scan;
  scan.base_offset = last_component(file) - file;
  scan.filelen = scan.base_offset + base_len(file + scan.base_offset);

  if (!simple_backup_suffix)
    set_simple_backup_suffix(nullptr);
  size_t suffix_size = strlen(simple_backup_suffix) + 1;
  scan.size = scan.filelen + (suffix_size > numbered_suffix_size ? suffix_size
                                                                 : numbered_suffix_size)
              + 1;
  scan.buffer = static_cast<char *>(malloc(scan.size));
  if (!scan.buffer)
    return nullptr;

  for (;;)
    {
      bool extended = true;
      memcpy(scan.buffer, file, scan.filelen);

      if (backup_type == BACKUP_SIMPLE)
        strcpy(scan.buffer + scan.filelen, simple_backup_suffix);
      else
        {
          switch (numbered_backup(dir_fd, &scan))
            {
            case NUMBERED_SAME_LENGTH:
              break;
            case NUMBERED_NONE:
              if (backup_type == BACKUP_EXISTING)
                {
                  backup_type = BACKUP_SIMPLE;
                  strcpy(scan.buffer + scan.filelen, simple_backup_suffix);
                }
              [[fallthrough]];
            case NUMBERED_LONGER:
              extended = check_extension(&scan);
              break;
            case NUMBERED_NO_MEMORY:
              release(&scan);
              free(scan.buffer);
              errno = ENOMEM;
              return nullptr;
            }
        }

      if (!do_rename)
        break;

      int sdir = scan.dirp ? scan.dir_fd : dir_fd;
      size_t offset = scan.dirp ? scan.base_offset : 0;
      unsigned int flags = backup_type == BACKUP_SIMPLE ? 0 : RENAME_NOREPLACE;
      if (renameatu(sdir, file + offset, sdir, scan.buffer + offset, flags) == 0)
        break;

      // Another process took the number: look again. That only helps when
      // the directory could be read; otherwise the same name would come
      // back for ever.
      int e = errno;
      if (!(e == EEXIST && extended && scan.dirp))
        {
          release(&scan);
          free(scan.buffer);
          errno = e;
          return nullptr;
        }
    }

  release(&scan);
  return scan.buffer;
}

char *
backup_file_rename(int dir_fd, const char *file, enum backup_type backup_type)
{
  return backupfile_internal(dir_fd, file, backup_type, true);
}

char *
find_backup_file_name(int dir_fd, const char *file, enum backup_type backup_type)
{
  char *result = backupfile_internal(dir_fd, file, backup_type, false);
  if (!result)
    xalloc_die();
  return result;
}

char *
subst_suffix(const char *str, const char *suffix, const char *newsuffix)
{
  size_t prefix_len = suffix - str;
  size_t newsuffix_size = strlen(newsuffix) + 1;
  char *result = static_cast<char *>(xmalloc(prefix_len + newsuffix_size));
  memcpy(result, str, prefix_len);
  memcpy(result + prefix_len, newsuffix, newsuffix_size);
  return result;
}
