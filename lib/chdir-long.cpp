#include "chdir-long.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "fd-safer.h"

namespace {

// A descriptor closed when the scope ends, keeping errno.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { reset(-1); }
  Fd(const Fd &) = delete;
  Fd &operator=(const Fd &) = delete;

  int get() const { return fd_; }
  void reset(int fd)
  {
    if (fd_ >= 0)
      {
        int e = errno;
        close(fd_);
        errno = e;
      }
    fd_ = fd;
  }

 private:
  int fd_;
};

}  // namespace

int
chdir_long(char *dir)
{
  if (chdir(dir) == 0)
    return 0;
  if (errno != ENAMETOOLONG)
    return -1;

  // Only search permission is needed on the way, as for chdir: path
  // descriptors, and the one change of directory at the end checks the
  // last one.
  constexpr int flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  const char *p = dir;
  Fd current(-1);
  if (*p == '/')
    {
      current.reset(open_safer("/", flags));
      if (current.get() < 0)
        return -1;
      while (*p == '/')
        p++;
    }

  while (*p)
    {
      size_t len = strcspn(p, "/");
      std::string component(p, len);
      p += len;
      while (*p == '/')
        p++;
      int base = current.get() >= 0 ? current.get() : AT_FDCWD;
      int fd = openat_safer(base, component.c_str(), flags);
      if (fd < 0)
        return -1;
      current.reset(fd);
    }

  // A name of only slashes is the root, opened above.
  if (current.get() < 0)
    {
      errno = ENAMETOOLONG;
      return -1;
    }
  return fchdir(current.get());
}
