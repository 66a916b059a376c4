#include "child.h"

#include <fcntl.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace frametest {

testsupport::Outcome in_child(const std::function<void()> &body, const ChildStreams &streams) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  // Nothing buffered in this process may be written twice.
  fflush(nullptr);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    dup2(streams.stdin_fd >= 0 ? streams.stdin_fd : in[0], 0);
    if (streams.close_stdout)
      close(1);
    else
      dup2(streams.stdout_fd >= 0 ? streams.stdout_fd : out[1], 1);
    dup2(streams.stderr_fd >= 0 ? streams.stderr_fd : err[1], 2);
    close(in[1]);
    body();
    fflush(nullptr);
    _exit(0);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);

  signal(SIGPIPE, SIG_IGN);
  // Small inputs fit the pipe: write everything, then signal the end.
  if (!streams.stdin_data.empty() &&
      write(in[1], streams.stdin_data.data(), streams.stdin_data.size()) < 0)
    throw std::runtime_error(std::string("write: ") + std::strerror(errno));
  close(in[1]);

  testsupport::Outcome result;
  int fds[2] = {out[0], err[0]};
  std::string *sinks[2] = {&result.out, &result.err};
  while (fds[0] >= 0 || fds[1] >= 0) {
    pollfd p[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
    if (poll(p, 2, -1) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i] < 0 || p[i].revents == 0) continue;
      char buf[4096];
      ssize_t r = read(fds[i], buf, sizeof buf);
      if (r > 0) {
        sinks[i]->append(buf, static_cast<size_t>(r));
      } else {
        close(fds[i]);
        fds[i] = -1;
      }
    }
  }
  for (int fd : fds)
    if (fd >= 0) close(fd);

  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) result.signal = WTERMSIG(wstatus);
  return result;
}

namespace {

struct GeneratedLocales {
  std::unique_ptr<testsupport::TempDir> dir;
  std::string path;

  GeneratedLocales() {
    dir = std::make_unique<testsupport::TempDir>();
    bool ok = true;
    for (const char *spec : {"en_US UTF-8 en_US.UTF-8", "zh_CN GB18030 zh_CN.GB18030"}) {
      char input[16], charmap[16], name[32];
      sscanf(spec, "%15s %15s %31s", input, charmap, name);
      testsupport::RunOptions options;
      options.timeout = 300;
      auto r = testsupport::run({"localedef", "-i", input, "-f", charmap, *dir / name}, options);
      if (r.status != 0) ok = false;
    }
    if (ok) path = dir->path();
  }
};

}  // namespace

const std::string &generated_locales() {
  static GeneratedLocales locales;
  return locales.path;
}

bool use_locale(const char *name) {
  const std::string &dir = generated_locales();
  if (!dir.empty()) setenv("LOCPATH", dir.c_str(), 1);
  bool ok = setlocale(LC_ALL, name) != nullptr;
  if (!ok) {
    // The built-in locales are found without the search path.
    unsetenv("LOCPATH");
    ok = setlocale(LC_ALL, name) != nullptr;
  }
  return ok;
}

}  // namespace frametest
