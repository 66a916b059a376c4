#include "child.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>

#include "progname.h"

namespace libtest {

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
  testsupport::ChildOptions options;
  if (as_nobody)
    {
      options.uid = nobody_uid();
      options.gid = nobody_gid();
    }
  return testsupport::in_child(body, options);
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
