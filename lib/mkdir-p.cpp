#include "mkdir-p.h"

#include <errno.h>
#include <libintl.h>
#include <sys/stat.h>

#include "dirchownmod.h"
#include "quotearg.h"
#include "savewd.h"
#include "verror.h"

bool
make_dir_parents(char *dir, struct savewd *wd, mkancesdirs_make_dir make_ancestor,
                 void *data, mode_t mode, void (*announce)(const char *dir, void *data),
                 mode_t mode_bits, uid_t owner, gid_t group, bool preserve_existing)
{
  int mkdir_errno = dir[0] != '/' ? savewd_errno(wd) : 0;

  if (mkdir_errno == 0)
    {
      ptrdiff_t prefix_len = 0;
      int chdir_options = SAVEWD_CHDIR_SKIP_READABLE;

      if (make_ancestor)
        {
          prefix_len = mkancesdirs(dir, wd, make_ancestor, data);
          if (prefix_len < -1)
            return true;
          if (prefix_len < 0)
            mkdir_errno = errno;
        }

      if (prefix_len >= 0)
        {
          // Until its owner and special bits are right, nobody else may use
          // the new directory.
          bool keep_owner = owner == static_cast<uid_t>(-1) && group == static_cast<gid_t>(-1);
          bool keep_special = ((mode_bits & (S_ISUID | S_ISGID)) | (mode & S_ISVTX)) == 0;
          mode_t mkdir_mode = mode;
          if (!keep_owner)
            mkdir_mode &= ~(S_IRWXG | S_IRWXO);
          else if (!keep_special)
            mkdir_mode &= ~(S_IWGRP | S_IWOTH);

          const char *name = dir + prefix_len;
          if (mkdir(name, mkdir_mode) == 0)
            {
              if (announce)
                announce(dir, data);
              preserve_existing = keep_owner && keep_special
                                  && !(mode & mode_bits & (S_IRWXU | S_IRWXG | S_IRWXO));
              chdir_options |= SAVEWD_CHDIR_NOFOLLOW;
            }
          else
            {
              mkdir_errno = errno;
              mkdir_mode = static_cast<mode_t>(-1);
            }

          if (preserve_existing)
            {
              if (mkdir_errno == 0)
                return true;
              if (mkdir_errno != ENOENT && make_ancestor)
                {
                  struct stat st;
                  if (stat(name, &st) == 0)
                    {
                      if (S_ISDIR(st.st_mode))
                        return true;
                    }
                  else if (mkdir_errno == EEXIST && errno != ENOENT && errno != ENOTDIR)
                    {
                      error(0, errno, gettext("cannot stat %s"), quote(dir));
                      return false;
                    }
                }
            }
          else
            {
              int open_result[2];
              int chdir_result = savewd_chdir(wd, name, chdir_options, open_result);
              if (chdir_result < -1)
                return true;

              const char *subdir = chdir_result == 0 ? "." : name;
              if (dirchownmod(open_result[0], subdir, mkdir_mode, owner, group, mode,
                              mode_bits)
                  == 0)
                return true;

              // When mkdir failed and the directory is not there either,
              // the failure to report is mkdir's, not the permissions'.
              if (mkdir_errno == 0
                  || (mkdir_errno != ENOENT && make_ancestor && errno != ENOTDIR
                      && errno != ENOENT))
                {
                  error(0, errno,
                        keep_owner ? gettext("cannot change permissions of %s")
                                   : gettext("cannot change owner and permissions of %s"),
                        quote(dir));
                  return false;
                }
            }
        }
    }

  error(0, mkdir_errno, gettext("cannot create directory %s"), quote(dir));
  return false;
}
