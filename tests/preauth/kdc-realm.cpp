#include "kdc-realm.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char **environ;

namespace preauthtest {
namespace {

constexpr const char *MASTER_PASSWORD = "master-password";

// A socket that closes itself.
class Socket {
 public:
  explicit Socket(int type) : fd_(socket(AF_INET, type | SOCK_CLOEXEC, 0)) {}
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket &) = delete;
  Socket &operator=(const Socket &) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

sockaddr_in loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

// A loopback port that is free for both TCP and UDP right now. Another
// process may still take it before the KDC binds it; the caller retries.
int free_port() {
  for (int attempt = 0; attempt < 20; ++attempt) {
    Socket tcp(SOCK_STREAM);
    sockaddr_in addr = loopback(0);
    if (tcp.fd() < 0 || bind(tcp.fd(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
      continue;
    socklen_t len = sizeof addr;
    if (getsockname(tcp.fd(), reinterpret_cast<sockaddr *>(&addr), &len) != 0) continue;
    int port = ntohs(addr.sin_port);
    Socket udp(SOCK_DGRAM);
    sockaddr_in same = loopback(port);
    if (udp.fd() >= 0 && bind(udp.fd(), reinterpret_cast<sockaddr *>(&same), sizeof same) == 0)
      return port;
  }
  throw std::runtime_error("no free loopback port");
}

bool accepts_connections(int port) {
  Socket s(SOCK_STREAM);
  sockaddr_in addr = loopback(port);
  return s.fd() >= 0 && connect(s.fd(), reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
}

std::string module_path() { return testsupport::build_path("preauth-test/test.so"); }

// Everything on standard error except the notice that a principal gets
// no password policy.
std::string real_errors(const std::string &err) {
  std::istringstream lines(err);
  std::string line, kept;
  while (std::getline(lines, line)) {
    if (line.find("defaulting to no policy") == std::string::npos) kept += line + "\n";
  }
  return kept;
}

}  // namespace

KdcProcess::~KdcProcess() { stop(); }

void KdcProcess::start(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                       const std::string &output_path) {
  std::vector<std::string> args = argv, envs = env;
  std::vector<char *> argp, envp;
  for (auto &a : args) argp.push_back(a.data());
  argp.push_back(nullptr);
  for (auto &e : envs) envp.push_back(e.data());
  envp.push_back(nullptr);

  int out = open(output_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (out < 0) throw std::runtime_error("cannot open " + output_path);
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) {
    close(out);
    throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  }
  if (pid == 0) {
    // The KDC must not outlive a test program that is killed.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    int null = open("/dev/null", O_RDONLY);
    dup2(null, 0);
    dup2(out, 1);
    dup2(out, 2);
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  close(out);
  pid_ = pid;
}

bool KdcProcess::running() {
  if (pid_ < 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

void KdcProcess::stop() {
  if (pid_ < 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(pid_, SIGKILL);
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

KdcRealm::KdcRealm() {
  krb5_config_ = dir_ / "krb5.conf";
  for (int attempt = 0; attempt < 5; ++attempt) {
    int port = free_port();
    write_config(port);
    if (attempt == 0) {
      auto made = testsupport::run({KDB5_UTIL, "-r", REALM, "create", "-s", "-P", MASTER_PASSWORD},
                                   options());
      if (made.status != 0)
        throw std::runtime_error("kdb5_util create failed: " + made.out + made.err);
    }
    if (start_kdc(port)) return;
  }
  throw std::runtime_error("the KDC did not start: " + kdc_output());
}

KdcRealm::~KdcRealm() { kdc_.stop(); }

void KdcRealm::write_config(int port) {
  const std::string address = "127.0.0.1:" + std::to_string(port);
  // The module is named by its path in the build tree on both sides, so
  // no other file of the same module name is ever loaded.
  const std::string plugins =
      "[plugins]\n"
      "  clpreauth = {\n"
      "    module = test:" + module_path() + "\n"
      "  }\n"
      "  kdcpreauth = {\n"
      "    module = test:" + module_path() + "\n"
      "  }\n";
  testsupport::write_file(dir_ / "krb5.conf",
      std::string("[libdefaults]\n"
                  "  default_realm = ") + REALM + "\n"
      "  dns_lookup_kdc = false\n"
      "  dns_lookup_realm = false\n"
      "  rdns = false\n"
      "  udp_preference_limit = 1\n"
      "[realms]\n"
      "  " + REALM + " = {\n"
      "    kdc = " + address + "\n"
      "  }\n" + plugins);
  testsupport::write_file(dir_ / "kdc.conf",
      std::string("[kdcdefaults]\n"
                  "  kdc_listen = ") + address + "\n"
      "  kdc_tcp_listen = " + address + "\n"
      "[realms]\n"
      "  " + REALM + " = {\n"
      "    database_name = " + dir_ / "principal" + "\n"
      "    key_stash_file = " + dir_ / "stash" + "\n"
      "    acl_file = " + dir_ / "kadm5.acl" + "\n"
      "    kdc_listen = " + address + "\n"
      "    kdc_tcp_listen = " + address + "\n"
      "  }\n"
      "[logging]\n"
      "  kdc = FILE:" + dir_ / "kdc.log" + "\n");
}

bool KdcRealm::start_kdc(int port) {
  std::vector<std::string> env;
  for (char **e = environ; *e; ++e) {
    std::string entry(*e);
    if (entry.rfind("KRB5", 0) != 0) env.push_back(entry);
  }
  env.push_back("KRB5_CONFIG=" + krb5_config_);
  env.push_back("KRB5_KDC_PROFILE=" + dir_ / "kdc.conf");
  kdc_.start({KRB5KDC, "-n", "-r", REALM}, env, dir_ / "kdc.out");
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!kdc_.running()) return false;  // most likely the port was taken
    if (accepts_connections(port)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kdc_.stop();
  return false;
}

testsupport::RunOptions KdcRealm::options(const std::string &stdin_data) const {
  testsupport::RunOptions opts;
  opts.env["KRB5_CONFIG"] = krb5_config_;
  opts.env["KRB5_KDC_PROFILE"] = dir_ / "kdc.conf";
  opts.env["KRB5CCNAME"] = "FILE:" + dir_ / "ccache";
  opts.env["KRB5_TRACE"] = std::nullopt;
  opts.env["KRB5_CLIENT_KTNAME"] = "FILE:" + dir_ / "no-client.keytab";
  opts.stdin_data = stdin_data;
  opts.cwd = dir_.path();
  return opts;
}

testsupport::Outcome KdcRealm::run(const std::vector<std::string> &argv,
                                   const std::string &stdin_data) const {
  return testsupport::run(argv, options(stdin_data));
}

void KdcRealm::kadmin(const std::string &query) {
  auto done = run({KADMIN_LOCAL, "-r", REALM, "-q", query});
  std::string errors = real_errors(done.err);
  if (done.status != 0 || !errors.empty())
    throw std::runtime_error("kadmin.local -q '" + query + "' failed: " + errors);
}

void KdcRealm::add_principal(const NewPrincipal &principal) {
  std::string query = "addprinc";
  if (principal.no_keys) query += " -nokey";
  else if (principal.password.empty()) query += " -randkey";
  else query += " -pw \"" + principal.password + "\"";
  if (!principal.enctypes.empty()) query += " -e " + principal.enctypes;
  for (const auto &flag : principal.flags) query += " " + flag;
  kadmin(query + " " + principal.name);
  for (const auto &[key, value] : principal.strings)
    kadmin("setstr " + principal.name + " " + key + " \"" + value + "\"");
}

std::string KdcRealm::cached_pa_type() const {
  auto listed = run({KLIST, "-C"});
  const std::string marker = "config: pa_type(";
  auto at = listed.out.find(marker);
  if (at == std::string::npos) return "";
  auto eq = listed.out.find(" = ", at);
  auto end = listed.out.find('\n', at);
  if (eq == std::string::npos || end == std::string::npos || eq > end) return "";
  return listed.out.substr(eq + 3, end - eq - 3);
}

std::string KdcRealm::kdc_log() const {
  try {
    return testsupport::read_file(dir_ / "kdc.log");
  } catch (const std::exception &) {
    return "";
  }
}

std::string KdcRealm::kdc_output() const {
  try {
    return testsupport::read_file(dir_ / "kdc.out");
  } catch (const std::exception &) {
    return "";
  }
}

void KdcRealm::set_client_overrides(const std::string &text) {
  testsupport::write_file(dir_ / "overrides.conf", text);
  krb5_config_ = dir_ / "overrides.conf" + ":" + dir_ / "krb5.conf";
}

}  // namespace preauthtest
