#include "selinux.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <memory>
#include <selinux/context.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <error.h>
#include <libintl.h>

namespace {

struct ConFree {
  void operator()(char *con) const { freecon(con); }
};
using Con = std::unique_ptr<char, ConFree>;

struct ContextFree {
  void operator()(context_s_t *c) const { context_free(c); }
};
using Context = std::unique_ptr<context_s_t, ContextFree>;

// Keeps errno across the clean-up that runs when a scope ends.
class ErrnoKeeper {
 public:
  ~ErrnoKeeper() { errno = saved_; }
  void keep() { saved_ = errno; }

 private:
  int saved_ = errno;
};

int map_context_result(int r, char **con)
{
  if (r == 0) {
    freecon(*con);
    *con = nullptr;
    errno = ENOTSUP;
    return -1;
  }
  if (r == 10 && *con && strcmp(*con, "unlabeled") == 0) {
    freecon(*con);
    *con = nullptr;
    errno = ENODATA;
    return -1;
  }
  return r;
}

// The absolute form of name, with the symbolic links of its existing
// leading part resolved; the rest may be missing. Empty on failure.
std::string absolute_name(const char *name)
{
  if (char *real = realpath(name, nullptr)) {
    std::string r = real;
    free(real);
    return r;
  }
  std::string n = name;
  while (n.size() > 1 && n.back() == '/')
    n.pop_back();
  std::string::size_type slash = n.rfind('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : n.substr(0, slash);
  std::string base = slash == std::string::npos ? n : n.substr(slash + 1);
  if (char *real = realpath(dir.c_str(), nullptr)) {
    std::string r = real;
    free(real);
    return r == "/" ? "/" + base : r + "/" + base;
  }
  if (name[0] == '/')
    return name;
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd))
    return {};
  return std::string(cwd) + "/" + name;
}

std::string parent_of(const std::string &abs)
{
  std::string::size_type slash = abs.rfind('/');
  if (slash == std::string::npos)
    return ".";
  if (slash == 0)
    return "/";
  return abs.substr(0, slash);
}

// Puts the type of the database's context into the file's current one
// and sets the result, through fd when it is not -1.
int relabel_one(struct selabel_handle *hnd, const char *name)
{
  ErrnoKeeper keeper;
  struct stat st;
  int fd = open(name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (errno != ELOOP) {
      keeper.keep();
      return -1;
    }
    if (lstat(name, &st) != 0) {
      keeper.keep();
      return -1;
    }
  } else if (fstat(fd, &st) != 0) {
    keeper.keep();
    close(fd);
    return -1;
  }
  struct Closer {
    int fd;
    ~Closer()
    {
      if (fd >= 0)
        close(fd);
    }
  } closer{fd};

  char *raw = nullptr;
  if (selabel_lookup(hnd, &raw, name, st.st_mode) != 0) {
    if (errno == ENOENT)
      errno = ENODATA;
    keeper.keep();
    return -1;
  }
  Con tcon(raw);

  raw = nullptr;
  int r = fd >= 0 ? rpl_fgetfilecon(fd, &raw) : rpl_lgetfilecon(name, &raw);
  if (r < 0) {
    keeper.keep();
    return -1;
  }
  Con scon(raw);

  Context scontext(context_new(scon.get()));
  Context tcontext(context_new(tcon.get()));
  if (!scontext || !tcontext) {
    keeper.keep();
    return -1;
  }
  const char *type = context_type_get(tcontext.get());
  if (!type || context_type_set(scontext.get(), type) != 0) {
    keeper.keep();
    return -1;
  }
  const char *con = context_str(scontext.get());
  if (!con) {
    keeper.keep();
    return -1;
  }
  r = fd >= 0 ? fsetfilecon(fd, con) : lsetfilecon(name, con);
  keeper.keep();
  return r;
}

// Applies the process's file-creation context to the name.
int relabel_from_fscreate(const char *name)
{
  char *raw = nullptr;
  if (getfscreatecon(&raw) < 0)
    return -1;
  if (!raw) {
    errno = ENODATA;
    return -1;
  }
  Con con(raw);
  return lsetfilecon(name, con.get());
}

// State of one recursive relabeling; nftw gives its callback no argument.
struct selabel_handle *walk_handle;
bool walk_ok;
int walk_errno;

int relabel_entry(const char *name, const struct stat *, int, struct FTW *)
{
  int r = walk_handle ? relabel_one(walk_handle, name) : relabel_from_fscreate(name);
  if (r < 0) {
    walk_ok = false;
    walk_errno = errno;
  }
  return 0;
}

}  // namespace

struct selabel_handle *get_labeling_handle()
{
  static bool tried;
  static struct selabel_handle *hnd;
  if (!tried) {
    tried = true;
    hnd = selabel_open(SELABEL_CTX_FILE, nullptr, 0);
    if (!hnd)
      error(0, errno, gettext("warning: security labeling handle failed"));
  }
  return hnd;
}

int rpl_getfilecon(const char *file, char **con)
{
  return map_context_result(getfilecon(file, con), con);
}

int rpl_lgetfilecon(const char *file, char **con)
{
  return map_context_result(lgetfilecon(file, con), con);
}

int rpl_fgetfilecon(int fd, char **con)
{
  return map_context_result(fgetfilecon(fd, con), con);
}

int defaultcon(struct selabel_handle *hnd, const char *name, mode_t mode)
{
  ErrnoKeeper keeper;
  std::string abs = absolute_name(name);
  if (abs.empty()) {
    keeper.keep();
    return -1;
  }

  char *raw = nullptr;
  if (selabel_lookup(hnd, &raw, abs.c_str(), mode) != 0) {
    if (errno == ENOENT)
      errno = ENODATA;
    keeper.keep();
    return -1;
  }
  Con dbcon(raw);

  raw = nullptr;
  if (getcon(&raw) != 0) {
    keeper.keep();
    return -1;
  }
  Con scon(raw);

  raw = nullptr;
  if (rpl_getfilecon(parent_of(abs).c_str(), &raw) < 0) {
    keeper.keep();
    return -1;
  }
  Con tcon(raw);

  security_class_t tclass = mode_to_security_class(mode);
  if (!tclass) {
    keeper.keep();
    return -1;
  }
  raw = nullptr;
  if (security_compute_create(scon.get(), tcon.get(), tclass, &raw) != 0) {
    keeper.keep();
    return -1;
  }
  Con computed(raw);

  Context dbcontext(context_new(dbcon.get()));
  Context newcontext(context_new(computed.get()));
  if (!dbcontext || !newcontext) {
    keeper.keep();
    return -1;
  }
  const char *type = context_type_get(dbcontext.get());
  if (!type || context_type_set(newcontext.get(), type) != 0) {
    keeper.keep();
    return -1;
  }
  const char *con = context_str(newcontext.get());
  if (!con) {
    keeper.keep();
    return -1;
  }
  int r = setfscreatecon(con);
  keeper.keep();
  return r;
}

bool restorecon(struct selabel_handle *hnd, const char *name, bool recurse)
{
  std::string abs = absolute_name(name);
  if (abs.empty())
    return false;
  if (!recurse)
    return (hnd ? relabel_one(hnd, abs.c_str()) : relabel_from_fscreate(abs.c_str())) != -1;

  walk_handle = hnd;
  walk_ok = true;
  walk_errno = 0;
  if (nftw(abs.c_str(), relabel_entry, 16, FTW_PHYS) != 0) {
    walk_ok = false;
    walk_errno = errno;
  }
  if (!walk_ok)
    errno = walk_errno;
  return walk_ok;
}
