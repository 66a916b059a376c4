#include "selinux.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <selinux/context.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <error.h>
#include <libintl.h>

#include "canonicalize.h"
#include "xalloc.h"
#include "xfts.h"

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

// The absolute form of name, its symbolic links resolved as far as it
// exists; null with errno set on failure.
malloc_ptr<char> absolute_name(const char *name)
{
  return malloc_ptr<char>(canonicalize_filename_mode(name, CAN_MISSING));
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

int relabel(struct selabel_handle *hnd, const char *name)
{
  return hnd ? relabel_one(hnd, name) : relabel_from_fscreate(name);
}

// Relabels every entry of the tree at the absolute name abs, without
// following symbolic links. False, with errno of the last failure, when
// an entry could not be relabeled or the walk could not reach it.
bool relabel_tree(struct selabel_handle *hnd, char *abs)
{
  char *argv[] = {abs, nullptr};
  FTS *fts = xfts_open(argv, FTS_PHYSICAL | FTS_NOCHDIR, nullptr);
  if (!fts)
    return false;
  bool ok = true;
  int last_errno = 0;
  auto fail = [&](int e) {
    ok = false;
    last_errno = e;
  };
  for (;;) {
    errno = 0;
    FTSENT *ent = fts_read(fts);
    if (!ent) {
      if (errno != 0)
        fail(errno);
      break;
    }
    switch (ent->fts_info) {
      case FTS_DP:  // a directory again after its entries
      case FTS_DC:  // a directory the walk is already inside
        continue;
      case FTS_NS:
      case FTS_ERR:
        fail(ent->fts_errno);
        continue;
      case FTS_DNR:
        // The directory itself can be relabeled; what it holds cannot.
        fail(ent->fts_errno);
        break;
      default:
        break;
    }
    if (relabel(hnd, ent->fts_path) < 0)
      fail(errno);
  }
  if (fts_close(fts) != 0)
    fail(errno);
  if (!ok)
    errno = last_errno;
  return ok;
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
  malloc_ptr<char> abs = absolute_name(name);
  if (!abs) {
    keeper.keep();
    return -1;
  }

  char *raw = nullptr;
  if (selabel_lookup(hnd, &raw, abs.get(), mode) != 0) {
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
  if (rpl_getfilecon(parent_of(abs.get()).c_str(), &raw) < 0) {
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
  malloc_ptr<char> abs = absolute_name(name);
  if (!abs)
    return false;
  if (!recurse)
    return relabel(hnd, abs.get()) != -1;
  return relabel_tree(hnd, abs.get());
}
