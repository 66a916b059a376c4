#include "private-x-server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

constexpr int start_timeout_ms = 30000;

}  // namespace

PrivateXServer::PrivateXServer ()
{
  // Xvfb picks a free display itself and writes its number to this pipe
  // once it accepts clients.
  int fds[2];
  if (pipe2 (fds, O_CLOEXEC) != 0)
    throw std::runtime_error (std::string ("pipe: ") + std::strerror (errno));

  const pid_t parent = getpid ();
  pid_ = fork ();
  if (pid_ < 0)
    throw std::runtime_error (std::string ("fork: ") + std::strerror (errno));
  if (pid_ == 0) {
    prctl (PR_SET_PDEATHSIG, SIGTERM);
    if (getppid () != parent)
      _exit (1);
    const int fd = dup (fds[1]);  // without O_CLOEXEC, so it survives exec
    const std::string fd_text = std::to_string (fd);
    const int devnull = open ("/dev/null", O_RDWR);
    dup2 (devnull, 0);
    dup2 (devnull, 1);
    dup2 (devnull, 2);
    const char *argv[] = { "Xvfb", "-displayfd", fd_text.c_str (), "-nolisten", "tcp",
                           "-screen", "0", "1280x1024x24", "-noreset", nullptr };
    execvp (argv[0], const_cast<char **> (argv));
    _exit (127);
  }
  close (fds[1]);

  std::string number;
  pollfd pfd = { fds[0], POLLIN, 0 };
  while (number.find ('\n') == std::string::npos && poll (&pfd, 1, start_timeout_ms) > 0) {
    char buf[32];
    const ssize_t n = read (fds[0], buf, sizeof buf);
    if (n <= 0)
      break;
    number.append (buf, size_t (n));
  }
  close (fds[0]);

  while (!number.empty () && (number.back () == '\n' || number.back () == ' '))
    number.pop_back ();
  if (number.empty ()) {
    kill (pid_, SIGTERM);
    waitpid (pid_, nullptr, 0);
    pid_ = -1;
    throw std::runtime_error ("Xvfb did not start (is the xvfb package installed?)");
  }
  display_ = ":" + number;
}

PrivateXServer::~PrivateXServer ()
{
  if (pid_ <= 0)
    return;
  kill (pid_, SIGTERM);
  while (waitpid (pid_, nullptr, 0) < 0 && errno == EINTR) {
  }
}
