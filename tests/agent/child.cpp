#include "child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "process.h"

namespace agenttest {
namespace {

using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

void close_fd(int &fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

Child::Child(const std::vector<std::string> &argv, const Env &env) {
  testsupport::RunOptions options;
  options.env = env;
  // Never outlive the test, whatever becomes of it.
  options.die_with_parent = true;
  const testsupport::Spawned child = testsupport::spawn(argv, options);
  pid_ = child.pid;
  in_ = child.in;
  out_ = child.out;
  err_ = child.err;
  fcntl(out_, F_SETFL, fcntl(out_, F_GETFL) | O_NONBLOCK);
  fcntl(err_, F_SETFL, fcntl(err_, F_GETFL) | O_NONBLOCK);
  signal(SIGPIPE, SIG_IGN);
}

Child::~Child() {
  stop();
}

void Child::send(const std::string &line) {
  std::string data = line + "\n";
  std::size_t done = 0;
  while (in_ >= 0 && done < data.size()) {
    ssize_t w = write(in_, data.data() + done, data.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) throw std::runtime_error("cannot write to child: " + std::string(std::strerror(errno)));
    done += static_cast<std::size_t>(w);
  }
}

bool Child::pump(int timeout_ms) {
  if (out_ < 0 && err_ < 0) return false;
  pollfd p[2];
  int n = 0;
  if (out_ >= 0) p[n++] = {out_, POLLIN, 0};
  if (err_ >= 0) p[n++] = {err_, POLLIN, 0};
  int rc = poll(p, n, timeout_ms);
  if (rc <= 0) return true;
  for (int i = 0; i < n; ++i) {
    if (!p[i].revents) continue;
    int &fd = p[i].fd == out_ ? out_ : err_;
    bool is_out = &fd == &out_;
    char buf[65536];
    for (;;) {
      ssize_t r = read(fd, buf, sizeof buf);
      if (r > 0) {
        if (is_out) out_partial_.append(buf, static_cast<std::size_t>(r));
        else err_text_.append(buf, static_cast<std::size_t>(r));
        continue;
      }
      if (r < 0 && errno == EINTR) continue;
      if (r == 0 || errno != EAGAIN) close_fd(fd);
      break;
    }
  }
  std::size_t nl;
  while ((nl = out_partial_.find('\n')) != std::string::npos) {
    lines_.push_back(out_partial_.substr(0, nl));
    taken_.push_back(false);
    out_partial_.erase(0, nl + 1);
  }
  return out_ >= 0 || err_ >= 0;
}

std::optional<std::string> Child::take(const std::function<bool(const std::string &)> &match,
                                       int timeout_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  std::size_t checked = 0;
  for (;;) {
    for (; checked < lines_.size(); ++checked) {
      if (!taken_[checked] && match(lines_[checked])) {
        taken_[checked] = true;
        return lines_[checked];
      }
    }
    int left = remaining_ms(deadline);
    if (left == 0 || out_ < 0) return std::nullopt;
    pump(left);
  }
}

std::optional<std::string> Child::take_line(const std::string &line, int timeout_ms) {
  return take([&](const std::string &l) { return l == line; }, timeout_ms);
}

std::optional<std::string> Child::take_prefix(const std::string &prefix, int timeout_ms) {
  return take([&](const std::string &l) { return l.rfind(prefix, 0) == 0; }, timeout_ms);
}

std::vector<std::string> Child::untaken() const {
  std::vector<std::string> result;
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (!taken_[i]) result.push_back(lines_[i]);
  return result;
}

const std::string &Child::err() {
  pump(0);
  return err_text_;
}

std::optional<int> Child::wait_exit(int timeout_ms) {
  if (status_) return status_;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int wstatus = 0;
    pid_t r = waitpid(pid_, &wstatus, WNOHANG);
    if (r == pid_) {
      status_ = wstatus;
      // Collect what the child left in the pipes.
      auto drain_until = Clock::now() + std::chrono::seconds(2);
      while (pump(50) && remaining_ms(drain_until) > 0) {}
      close_fd(in_);
      return status_;
    }
    int left = remaining_ms(deadline);
    if (left == 0) return std::nullopt;
    // Keep the pipes moving so that the child never blocks on a full one.
    if (!pump(std::min(left, 50))) usleep(10000);
  }
}

int Child::stop(int grace_ms) {
  if (status_) return *status_;
  if (pid_ <= 0) return -1;
  close_fd(in_);
  kill(pid_, SIGTERM);
  if (auto status = wait_exit(grace_ms)) return *status;
  kill(pid_, SIGKILL);
  int wstatus = 0;
  while (waitpid(pid_, &wstatus, 0) < 0 && errno == EINTR) {}
  status_ = wstatus;
  close_fd(out_);
  close_fd(err_);
  return wstatus;
}

}  // namespace agenttest
