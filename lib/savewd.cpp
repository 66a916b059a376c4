#include "savewd.h"

#include <assert.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fd-safer.h"

namespace {

// Saves the working directory if that is still to be done. True in the
// parent when a child process now does the work.
bool
savewd_save(savewd *wd)
{
  switch (wd->state)
    {
    case SAVEWD_INITIAL:
      {
        // Read access, not a mere path descriptor: only a directory that
        // can be read is one we can reliably return to.
        int fd = open_safer(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0)
          {
            wd->state = SAVEWD_DESCRIPTOR;
            wd->value = fd;
            break;
          }
        if (errno != EACCES && errno != ESTALE)
          {
            wd->state = SAVEWD_ERROR;
            wd->value = errno;
            break;
          }
        wd->state = SAVEWD_FORKING;
        wd->value = -1;
      }
      [[fallthrough]];
    case SAVEWD_FORKING:
      if (wd->value < 0)
        {
          pid_t child = fork();
          if (child > 0)
            {
              wd->value = child;
              return true;
            }
          if (child == 0)
            wd->value = 0;
          else
            {
              wd->state = SAVEWD_ERROR;
              wd->value = errno;
            }
        }
      break;
    default:
      break;
    }
  return false;
}

}  // namespace

void
savewd_init(struct savewd *wd)
{
  wd->state = SAVEWD_INITIAL;
  wd->value = -1;
}

int
savewd_errno(const struct savewd *wd)
{
  return wd->state == SAVEWD_ERROR ? wd->value : 0;
}

int
savewd_chdir(struct savewd *wd, const char *dir, int options, int open_result[2])
{
  int fd = -1;
  int result = 0;

  if (open_result)
    {
      int flags = O_RDONLY | O_DIRECTORY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
      if (options & SAVEWD_CHDIR_NOFOLLOW)
        flags |= O_NOFOLLOW;
      fd = open(dir, flags);
      open_result[0] = fd;
      open_result[1] = errno;
      if (fd < 0 && errno != EACCES)
        result = -1;
    }

  if (result == 0 && !(fd >= 0 && (options & SAVEWD_CHDIR_SKIP_READABLE)))
    {
      if (savewd_save(wd))
        {
          // The child does the work; the parent keeps no descriptor.
          if (fd >= 0)
            {
              close(fd);
              open_result[0] = -1;
            }
          return -2;
        }
      result = fd < 0 ? chdir(dir) : fchdir(fd);
      if (result == 0 && wd->state == SAVEWD_DESCRIPTOR)
        wd->state = SAVEWD_DESCRIPTOR_AFTER_CHDIR;
    }

  return result;
}

int
savewd_restore(struct savewd *wd, int status)
{
  switch (wd->state)
    {
    case SAVEWD_DESCRIPTOR_AFTER_CHDIR:
      if (fchdir(wd->value) == 0)
        {
          wd->state = SAVEWD_DESCRIPTOR;
          return 0;
        }
      else
        {
          int e = errno;
          close(wd->value);
          wd->state = SAVEWD_ERROR;
          wd->value = e;
        }
      [[fallthrough]];
    case SAVEWD_ERROR:
      errno = wd->value;
      return -1;

    case SAVEWD_FORKING:
      {
        pid_t child = wd->value;
        if (child == 0)
          _exit(status);
        if (child > 0)
          {
            int child_status;
            while (waitpid(child, &child_status, 0) < 0)
              assert(errno == EINTR);
            wd->value = -1;
            if (WIFEXITED(child_status))
              return WEXITSTATUS(child_status);
            if (WIFSIGNALED(child_status))
              raise(WTERMSIG(child_status));
            // A child that did not finish its work never counts as success,
            // even where the signal does not end this process.
            return EXIT_FAILURE;
          }
      }
      return 0;

    default:
      return 0;
    }
}

void
savewd_finish(struct savewd *wd)
{
  switch (wd->state)
    {
    case SAVEWD_DESCRIPTOR:
    case SAVEWD_DESCRIPTOR_AFTER_CHDIR:
      close(wd->value);
      break;
    case SAVEWD_ERROR:
      // The working directory is somewhere we did not mean to be; keep the
      // error so that no later relative name is worked on there.
      return;
    default:
      break;
    }
  wd->state = SAVEWD_FINAL;
}

int
savewd_process_files(int n_files, char **file,
                     int (*act)(char *name, struct savewd *wd, void *options),
                     void *options)
{
  int last_relative = n_files - 1;
  while (last_relative >= 0 && file[last_relative][0] == '/')
    last_relative--;

  int exit_status = 0;
  struct savewd wd;
  savewd_init(&wd);

  int i = 0;
  for (; i < last_relative; i++)
    {
      bool delegating = wd.state == SAVEWD_FORKING && wd.value > 0;
      if (!delegating)
        {
          int s = act(file[i], &wd, options);
          if (s > exit_status)
            exit_status = s;
        }
      if (file[i + 1][0] != '/')
        {
          int s = savewd_restore(&wd, exit_status);
          if (s > exit_status)
            exit_status = s;
        }
    }

  savewd_finish(&wd);

  for (; i < n_files; i++)
    {
      int s = act(file[i], &wd, options);
      if (s > exit_status)
        exit_status = s;
    }
  return exit_status;
}
