#include "child.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>

#include "progname.h"

namespace libtest {

namespace {

void
drain(int out_fd, int err_fd, std::string &out, std::string &err)
{
  struct pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  int open_count = 2;
  char buffer[4096];
  while (open_count > 0)
    {
      if (poll(fds, 2, -1) < 0)
        {
          if (errno == EINTR)
            continue;
          throw std::runtime_error("poll failed");
        }
      for (int i = 0; i < 2; i++)
        {
          if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
          ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
          if (n > 0)
            (i == 0 ? out : err).append(buffer, n);
          else
            {
              close(fds[i].fd);
              fds[i].fd = -1;
              open_count--;
            }
        }
    }
}

}  // namespace

unsigned
nobody_uid()
{
  const struct passwd *pw = getpwnam("nobody");
  return pw ? pw->pw_uid : 65534;
}

unsigned
nobody_gid()
{
  const struct passwd *pw = getpwnam("nobody");
  return pw ? pw->pw_gid : 65534;
}

ChildResult
run_in_child(const std::function<int()> &body, bool as_nobody)
{
  unsigned uid = nobody_uid();
  unsigned gid = nobody_gid();
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
    throw std::runtime_error("pipe failed");
  fflush(nullptr);

  pid_t pid = fork();
  if (pid < 0)
    throw std::runtime_error("fork failed");
  if (pid == 0)
    {
      dup2(out_pipe[1], STDOUT_FILENO);
      dup2(err_pipe[1], STDERR_FILENO);
      close(out_pipe[0]);
      close(out_pipe[1]);
      close(err_pipe[0]);
      close(err_pipe[1]);
      if (as_nobody && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
        _exit(99);
      int status = body();
      fflush(nullptr);
      _exit(status);
    }

  close(out_pipe[1]);
  close(err_pipe[1]);
  ChildResult result;
  drain(out_pipe[0], err_pipe[0], result.out, result.err);
  int wstatus;
  while (waitpid(pid, &wstatus, 0) < 0)
    if (errno != EINTR)
      throw std::runtime_error("waitpid failed");
  if (WIFEXITED(wstatus))
    result.status = WEXITSTATUS(wstatus);
  else if (WIFSIGNALED(wstatus))
    result.signal = WTERMSIG(wstatus);
  return result;
}

bool
nobody_can_enter(const std::string &dir)
{
  return run_in_child([&] { return access(dir.c_str(), X_OK) == 0 ? 0 : 1; }, true).status == 0;
}

void
remove_tree_at(int parent, const std::string &name)
{
  int fd = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0)
    {
      unlinkat(parent, name.c_str(), 0);
      return;
    }
  fchmod(fd, 0700);
  DIR *dir = fdopendir(fd);
  if (!dir)
    {
      close(fd);
      return;
    }
  while (const struct dirent *entry = readdir(dir))
    {
      std::string child = entry->d_name;
      if (child == "." || child == "..")
        continue;
      remove_tree_at(::dirfd(dir), child);
    }
  closedir(dir);
  unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}

}  // namespace libtest

void
usage(int status)
{
  fprintf(stderr, "Try '%s --help' for more information.\n", program_name);
  exit(status);
}
