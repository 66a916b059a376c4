#include "process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char **environ;

namespace testsupport {
namespace {

std::string env_or_throw(const char *name) {
  const char *value = std::getenv(name);
  if (!value) throw std::runtime_error(std::string(name) + " is not set; run through meson test");
  return value;
}

void close_fd(int &fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

Spawned spawn(const std::vector<std::string> &argv, const RunOptions &opts) {
  if (argv.empty()) throw std::invalid_argument("empty argv");

  std::map<std::string, std::string> env;
  if (!opts.clean_env) {
    for (char **e = environ; *e; ++e) {
      std::string_view entry(*e);
      auto eq = entry.find('=');
      if (eq == std::string_view::npos) continue;
      env[std::string(entry.substr(0, eq))] = std::string(entry.substr(eq + 1));
    }
  }
  for (const auto &[name, value] : opts.env) {
    if (value) env[name] = *value; else env.erase(name);
  }
  std::vector<std::string> env_strings;
  for (const auto &[name, value] : env) env_strings.push_back(name + "=" + value);
  std::vector<char *> envp;
  for (auto &s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);

  std::vector<std::string> args = argv;
  std::vector<char *> argp;
  for (auto &s : args) argp.push_back(s.data());
  argp.push_back(nullptr);

  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));

  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    if (opts.die_with_parent) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      // The parent may have gone before the request took hold.
      if (getppid() != parent) _exit(127);
    }
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    // Move the extra descriptors out of the way first, so that one mapping
    // cannot overwrite the source of another.
    std::vector<std::pair<int, int>> moved;
    for (const auto &[ours, theirs] : opts.fds) {
      int high = fcntl(ours, F_DUPFD_CLOEXEC, 64);
      if (high < 0) _exit(125);
      moved.emplace_back(high, theirs);
    }
    for (const auto &[high, theirs] : moved)
      if (dup2(high, theirs) < 0) _exit(125);
    for (int fd : opts.closed_fds) ::close(fd);
    if (opts.gid && (setgroups(0, nullptr) != 0 || setgid(*opts.gid) != 0)) _exit(124);
    if (opts.uid && setuid(*opts.uid) != 0) _exit(124);
    if (!opts.cwd.empty() && chdir(opts.cwd.c_str()) != 0) _exit(126);
    if (args[0].find('/') == std::string::npos) {
      // execvpe looks PATH up in our environment, which is what a shell does.
      execvpe(argp[0], argp.data(), envp.data());
    } else {
      execve(argp[0], argp.data(), envp.data());
    }
    _exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  return {pid, in[1], out[0], err[0]};
}

Outcome run(const std::vector<std::string> &argv, const RunOptions &opts) {
  const Spawned child = spawn(argv, opts);
  const pid_t pid = child.pid;

  Outcome result;
  int fds[3] = {child.in, child.out, child.err};
  std::size_t written = 0;
  if (opts.stdin_data.empty()) close_fd(fds[0]);
  signal(SIGPIPE, SIG_IGN);
  for (int i = 0; i < 3; ++i)
    if (fds[i] >= 0) fcntl(fds[i], F_SETFL, fcntl(fds[i], F_GETFL) | O_NONBLOCK);

  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(opts.timeout);
  bool killed = false;
  while (fds[1] >= 0 || fds[2] >= 0) {
    pollfd p[3];
    int n = 0;
    int which[3];
    if (fds[0] >= 0) { p[n] = {fds[0], POLLOUT, 0}; which[n++] = 0; }
    if (fds[1] >= 0) { p[n] = {fds[1], POLLIN, 0}; which[n++] = 1; }
    if (fds[2] >= 0) { p[n] = {fds[2], POLLIN, 0}; which[n++] = 2; }
    int rc = poll(p, n, 200);
    if (rc < 0 && errno != EINTR) break;
    if (opts.timeout > 0 && !killed && std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      killed = true;
    }
    for (int i = 0; i < n && rc > 0; ++i) {
      if (!p[i].revents) continue;
      int k = which[i];
      if (k == 0) {
        ssize_t w = write(fds[0], opts.stdin_data.data() + written, opts.stdin_data.size() - written);
        if (w > 0) written += static_cast<std::size_t>(w);
        if (w < 0 && errno != EAGAIN) close_fd(fds[0]);
        if (written == opts.stdin_data.size()) close_fd(fds[0]);
      } else {
        char buf[65536];
        ssize_t r = read(fds[k], buf, sizeof buf);
        if (r > 0) (k == 1 ? result.out : result.err).append(buf, static_cast<std::size_t>(r));
        else if (r == 0 || errno != EAGAIN) close_fd(fds[k]);
      }
    }
  }
  close_fd(fds[0]);
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {}
  if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  else if (WIFSIGNALED(wstatus)) result.signal = WTERMSIG(wstatus);
  return result;
}

std::string build_path(const std::string &relative) {
  return env_or_throw("TEST_BUILDDIR") + "/" + relative;
}

std::string data_path(const std::string &relative) {
  return env_or_throw("TEST_DATADIR") + "/" + relative;
}

TempDir::TempDir() {
  const char *tmp = std::getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/sero-test-XXXXXX";
  if (!mkdtemp(tmpl.data())) throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave unreadable or unwritable directories behind; make them
  // removable first.
  for (auto it = std::filesystem::recursive_directory_iterator(
           path_, std::filesystem::directory_options::skip_permission_denied, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) chmod(it->path().c_str(), 0700);
  }
  chmod(path_.c_str(), 0700);
  std::filesystem::remove_all(path_, ec);
}

void write_file(const std::string &path, const std::string &contents) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) throw std::runtime_error("cannot write " + path);
  f << contents;
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace testsupport
