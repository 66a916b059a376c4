#include "in-child.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace testsupport {

Outcome in_child(const std::function<int()> &body, const ChildOptions &options) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  // Nothing buffered in this process may be written twice.
  fflush(nullptr);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    dup2(options.stdin_fd >= 0 ? options.stdin_fd : in[0], 0);
    if (options.close_stdout)
      close(1);
    else
      dup2(options.stdout_fd >= 0 ? options.stdout_fd : out[1], 1);
    dup2(options.stderr_fd >= 0 ? options.stderr_fd : err[1], 2);
    close(in[1]);
    if (options.gid && (setgroups(0, nullptr) != 0 || setgid(*options.gid) != 0)) _exit(99);
    if (options.uid && setuid(*options.uid) != 0) _exit(99);
    int status = body();
    fflush(nullptr);
    _exit(status);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);

  signal(SIGPIPE, SIG_IGN);
  // Small inputs fit the pipe: write everything, then signal the end.
  if (!options.stdin_data.empty() &&
      write(in[1], options.stdin_data.data(), options.stdin_data.size()) < 0)
    throw std::runtime_error(std::string("write: ") + std::strerror(errno));
  close(in[1]);

  Outcome result;
  int fds[2] = {out[0], err[0]};
  std::string *sinks[2] = {&result.out, &result.err};
  while (fds[0] >= 0 || fds[1] >= 0) {
    pollfd p[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
    if (poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i] < 0 || p[i].revents == 0) continue;
      char buf[4096];
      ssize_t r = read(fds[i], buf, sizeof buf);
      if (r > 0) {
        sinks[i]->append(buf, static_cast<size_t>(r));
      } else if (r == 0 || errno != EINTR) {
        close(fds[i]);
        fds[i] = -1;
      }
    }
  }

  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0)
    if (errno != EINTR) throw std::runtime_error(std::string("waitpid: ") + std::strerror(errno));
  if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) result.signal = WTERMSIG(wstatus);
  return result;
}

}  // namespace testsupport
