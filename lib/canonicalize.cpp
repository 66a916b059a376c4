#include "canonicalize.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "xalloc.h"

namespace {

// More links than this in one name are taken as a loop; the kernel uses
// the same bound.
constexpr int max_links = 40;

// The target of the symbolic link NAME, whose size lstat gave as SIZE;
// false with errno set when it cannot be read.
bool
read_link(const std::string &name, off_t size, std::string &target)
{
  std::string buf(size > 0 ? static_cast<size_t>(size) + 1 : 256, '\0');
  for (;;)
    {
      ssize_t n = readlink(name.c_str(), buf.data(), buf.size());
      if (n < 0)
        return false;
      if (static_cast<size_t>(n) < buf.size())
        {
          buf.resize(n);
          target = std::move(buf);
          return true;
        }
      // The link changed under us and grew; try again with more room.
      buf.resize(buf.size() * 2);
    }
}

// Drops the last component of the absolute name ABS; the root stays.
void
drop_last(std::string &abs)
{
  std::string::size_type slash = abs.rfind('/');
  abs.resize(slash == 0 ? 1 : slash);
}

char *
canonicalize(const char *name, int mode)
{
  int base_mode = mode & ~CAN_NOLINKS;
  if (!name || (base_mode != CAN_EXISTING && base_mode != CAN_ALL_BUT_LAST
                && base_mode != CAN_MISSING)
      || (mode & ~(CAN_NOLINKS | 3)) != 0)
    {
      errno = EINVAL;
      return nullptr;
    }
  if (name[0] == '\0')
    {
      errno = ENOENT;
      return nullptr;
    }

  std::string result;
  if (name[0] != '/')
    {
      malloc_ptr<char> cwd(getcwd(nullptr, 0));
      if (!cwd)
        {
          if (errno == ENOMEM)
            xalloc_die();
          return nullptr;
        }
      result = cwd.get();
    }
  else
    result = "/";

  // The components still to be resolved; a link's target is put in front
  // of what follows it.
  std::string rest = name;
  std::string::size_type pos = 0;
  int links = 0;

  while (pos < rest.size())
    {
      while (pos < rest.size() && rest[pos] == '/')
        pos++;
      std::string::size_type end = rest.find('/', pos);
      if (end == std::string::npos)
        end = rest.size();
      std::string_view component(rest.data() + pos, end - pos);
      if (component.empty())
        break;
      std::string::size_type next = end;
      while (next < rest.size() && rest[next] == '/')
        next++;
      bool last = next == rest.size();
      bool trailing_slash = last && end < rest.size();
      pos = end;

      if (component == ".")
        continue;
      if (component == "..")
        {
          drop_last(result);
          continue;
        }

      if (result.back() != '/')
        result += '/';
      result.append(component);

      if (base_mode == CAN_MISSING && (mode & CAN_NOLINKS))
        continue;

      struct stat st;
      int r = (mode & CAN_NOLINKS) ? stat(result.c_str(), &st) : lstat(result.c_str(), &st);
      if (r != 0)
        {
          if (errno == ENOMEM)
            xalloc_die();
          if (base_mode == CAN_MISSING
              || (base_mode == CAN_ALL_BUT_LAST && last && errno == ENOENT))
            continue;
          return nullptr;
        }

      if (S_ISLNK(st.st_mode) && !(mode & CAN_NOLINKS))
        {
          if (++links > max_links)
            {
              errno = ELOOP;
              return nullptr;
            }
          std::string target;
          if (!read_link(result, st.st_size, target))
            {
              if (errno == ENOMEM)
                xalloc_die();
              return nullptr;
            }
          if (target.empty())
            {
              errno = ENOENT;
              return nullptr;
            }
          // The link is replaced by its target, then the rest follows.
          std::string followed = std::move(target);
          followed.append(rest, pos, std::string::npos);
          rest = std::move(followed);
          pos = 0;
          if (rest[0] == '/')
            result = "/";
          else
            drop_last(result);
          continue;
        }

      if (!S_ISDIR(st.st_mode) && (!last || trailing_slash) && base_mode != CAN_MISSING)
        {
          errno = ENOTDIR;
          return nullptr;
        }
    }

  return xstrdup(result.c_str());
}

}  // namespace

char *
canonicalize_filename_mode(const char *name, canonicalize_mode_t mode)
{
  try
    {
      return canonicalize(name, mode);
    }
  catch (const std::bad_alloc &)
    {
      xalloc_die();
    }
}
