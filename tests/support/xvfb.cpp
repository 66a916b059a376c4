#include "xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace testsupport {

namespace {

constexpr int start_timeout_ms = 30000;

}  // namespace

Xvfb::Xvfb() {
  // Xvfb chooses a free display itself (skipping numbers whose lock file
  // /tmp/.X<N>-lock exists) and writes the number it took to this pipe
  // once it accepts clients, so parallel test programs never clash.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));

  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    // The write end must survive exec; its number goes on the command line.
    const int fd = dup(fds[1]);
    const std::string fd_text = std::to_string(fd);
    int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    dup2(devnull, 2);
    std::vector<const char *> argv = {"Xvfb", "-displayfd", fd_text.c_str(), "-nolisten", "tcp",
                                      "-screen", "0", "1280x1024x24", "-noreset", nullptr};
    execvp(argv[0], const_cast<char **>(argv.data()));
    _exit(127);
  }
  close(fds[1]);

  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(start_timeout_ms);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd pfd = {fds[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&pfd, 1, int(left.count())) <= 0) break;
    char buf[32];
    const ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    number.append(buf, size_t(n));
    if (number.find('\n') != std::string::npos) break;
  }
  close(fds[0]);

  while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
  if (number.empty()) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    throw std::runtime_error("Xvfb did not start (is the xvfb package installed?)");
  }
  display_ = ":" + number;
}

Xvfb::~Xvfb() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
}

void XvfbEnvironment::SetUp() {
  server_ = std::make_unique<Xvfb>();
  setenv("DISPLAY", server_->display().c_str(), 1);
  setenv("GDK_BACKEND", "x11", 1);
  unsetenv("WAYLAND_DISPLAY");
}

void XvfbEnvironment::TearDown() {
  server_.reset();
  unsetenv("DISPLAY");
}

}  // namespace testsupport
