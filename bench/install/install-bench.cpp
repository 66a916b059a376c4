// Timing of install's data transfer, each figure as a ratio against a
// peer measured in the same run:
//   dense   a large dense file, against a plain copy_file_range loop;
//   sparse  a large file holding one 1 MiB data extent, against
//           installing a dense 1 MiB file (1.0 means: time follows data);
//   many    many small files into one directory with -t, per-file cost
//           against a tenth as many (1.0 means: linear); best of three.
// Sizes come from INSTALL_BENCH_DENSE_MIB (1024), INSTALL_BENCH_SPARSE_GIB
// (4) and INSTALL_BENCH_FILES (10000); files go under TMPDIR.
//
// Usage: install-bench PATH-TO-INSTALL

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string install_path;
std::string work;

[[noreturn]] void die(const std::string &what)
{
  fprintf(stderr, "install-bench: %s: %s\n", what.c_str(), strerror(errno));
  exit(1);
}

long env_number(const char *name, long fallback)
{
  const char *v = getenv(name);
  return v && *v ? strtol(v, nullptr, 10) : fallback;
}

// Runs install with the arguments and waits; dies unless it succeeds.
void run_install(const std::vector<std::string> &args)
{
  std::vector<char *> argv;
  argv.push_back(const_cast<char *>(install_path.c_str()));
  for (const auto &a : args)
    argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid < 0)
    die("fork");
  if (pid == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status;
  if (waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    errno = 0;
    die("install failed");
  }
}

double seconds_since(Clock::time_point start)
{
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The least of three timings of f, removing dst before each.
template <typename F>
double best_of_three(const std::string &dst, F f)
{
  double best = 1e300;
  for (int i = 0; i < 3; i++) {
    unlink(dst.c_str());
    sync();
    auto start = Clock::now();
    f();
    best = std::min(best, seconds_since(start));
  }
  return best;
}

void copy_file_range_loop(const std::string &src, const std::string &dst)
{
  int in = open(src.c_str(), O_RDONLY);
  int out = open(dst.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (in < 0 || out < 0)
    die("open");
  for (;;) {
    ssize_t n = copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
    if (n < 0)
      die("copy_file_range");
    if (n == 0)
      break;
  }
  close(in);
  if (close(out) != 0)
    die("close");
}

void write_pattern(int fd, off_t offset, off_t length)
{
  std::vector<char> buf(1 << 20);
  for (size_t i = 0; i < buf.size(); i++)
    buf[i] = static_cast<char>(i * 2654435761u >> 13);
  for (off_t done = 0; done < length;) {
    size_t n = std::min<off_t>(buf.size(), length - done);
    if (pwrite(fd, buf.data(), n, offset + done) != static_cast<ssize_t>(n))
      die("write");
    done += n;
  }
}

void make_file(const std::string &name, off_t size, off_t data_at, off_t data_len)
{
  int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ftruncate(fd, size) != 0)
    die("create " + name);
  write_pattern(fd, data_at, data_len);
  if (close(fd) != 0)
    die("close");
}

struct stat stat_of(const std::string &name)
{
  struct stat st;
  if (stat(name.c_str(), &st) != 0)
    die("stat " + name);
  return st;
}

void dense()
{
  off_t mib = env_number("INSTALL_BENCH_DENSE_MIB", 1024);
  std::string src = work + "/dense", dst = work + "/dense.copy";
  make_file(src, mib << 20, 0, mib << 20);
  double peer = best_of_three(dst, [&] { copy_file_range_loop(src, dst); });
  double ours = best_of_three(dst, [&] { run_install({src, dst}); });
  printf("dense %ld MiB: install %.3f s, copy_file_range loop %.3f s, ratio %.2f\n",
         static_cast<long>(mib), ours, peer, ours / peer);
  unlink(src.c_str());
  unlink(dst.c_str());
}

void sparse()
{
  off_t gib = env_number("INSTALL_BENCH_SPARSE_GIB", 4);
  off_t size = gib << 30;
  std::string src = work + "/sparse", dst = work + "/sparse.copy";
  std::string small = work + "/small", small_dst = work + "/small.copy";
  make_file(src, size, size / 2, 1 << 20);
  make_file(small, 1 << 20, 0, 1 << 20);
  double peer = best_of_three(small_dst, [&] { run_install({small, small_dst}); });
  double ours = best_of_three(dst, [&] { run_install({src, dst}); });
  struct stat s = stat_of(src), d = stat_of(dst);
  printf("sparse %ld GiB with 1 MiB data: install %.3f s, dense 1 MiB %.3f s, ratio %.2f; "
         "size %s, blocks %lld of the source's %lld\n",
         static_cast<long>(gib), ours, peer, ours / peer,
         s.st_size == d.st_size ? "equal" : "DIFFERENT", static_cast<long long>(d.st_blocks),
         static_cast<long long>(s.st_blocks));
  for (const auto &f : {src, dst, small, small_dst})
    unlink(f.c_str());
}

double install_many(long n)
{
  std::string srcdir = work + "/many-src-" + std::to_string(n);
  mkdir(srcdir.c_str(), 0755);
  std::vector<std::string> sources;
  for (long i = 0; i < n; i++) {
    std::string f = srcdir + "/f" + std::to_string(i);
    int fd = open(f.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || write(fd, "small file\n", 11) != 11 || close(fd) != 0)
      die("create " + f);
    sources.push_back(f);
  }
  // Each round goes into a fresh directory, so that no round pays for
  // the removals of the one before.
  double t = 1e300;
  for (int round = 0; round < 3; round++) {
    std::string dstdir = work + "/many-dst-" + std::to_string(n) + "-" + std::to_string(round);
    mkdir(dstdir.c_str(), 0755);
    std::vector<std::string> args = {"-t", dstdir};
    args.insert(args.end(), sources.begin(), sources.end());
    sync();
    auto start = Clock::now();
    run_install(args);
    t = std::min(t, seconds_since(start));
    for (long i = 0; i < n; i++)
      unlink((dstdir + "/f" + std::to_string(i)).c_str());
    rmdir(dstdir.c_str());
  }
  for (const auto &f : sources)
    unlink(f.c_str());
  rmdir(srcdir.c_str());
  return t;
}

void many()
{
  long n = env_number("INSTALL_BENCH_FILES", 10000);
  long tenth = std::max(1L, n / 10);
  double small = install_many(tenth);
  double large = install_many(n);
  double per_small = small / tenth, per_large = large / n;
  printf("many: %ld files %.3f s (%.1f us per file), %ld files %.3f s (%.1f us per file), "
         "per-file ratio %.2f\n",
         n, large, per_large * 1e6, tenth, small, per_small * 1e6, per_large / per_small);
}

}  // namespace

int main(int argc, char **argv)
{
  if (argc != 2) {
    fprintf(stderr, "usage: install-bench PATH-TO-INSTALL\n");
    return 2;
  }
  install_path = argv[1];
  const char *tmp = getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/install-bench-XXXXXX";
  if (!mkdtemp(tmpl.data()))
    die("mkdtemp");
  work = tmpl;
  dense();
  sparse();
  many();
  rmdir(work.c_str());
  return 0;
}
