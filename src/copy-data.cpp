#include "copy-data.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <limits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <error.h>
#include "full-rw.h"
#include <libintl.h>
#include "quotearg.h"
#include "set-permissions.h"
#include "fd-safer.h"
#include "utimens.h"
#include "xalloc.h"

namespace {

// The largest request copy_file_range is given: the largest signed size
// rounded down to a multiple of 2**30.
constexpr uintmax_t copy_file_range_max = 9223372035781033984ULL;

const char *q_always(int n, const char *name)
{
  return quotearg_n_style(n, shell_escape_always_quoting_style, name);
}

// A descriptor that is closed when its owner goes away, unless it was
// closed by hand first.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd()
  {
    if (fd_ >= 0) {
      int saved_errno = errno;
      ::close(fd_);
      errno = saved_errno;
    }
  }
  Fd(const Fd &) = delete;
  Fd &operator=(const Fd &) = delete;

  int get() const { return fd_; }
  // Closes the descriptor now and returns close's result.
  int close()
  {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd);
  }

 private:
  int fd_;
};

// The copy buffer of one file, released when the file is done.
struct Buffer {
  char *p = nullptr;
  ~Buffer() { free(p); }
};

// The destination this copy created: removed again when the copy fails,
// so that no partly written file is left under the destination's name.
class NewFile {
 public:
  NewFile(int dirfd, const char *relname, int fd) : dirfd_(dirfd), relname_(relname)
  {
    struct stat st;
    armed_ = fstat(fd, &st) == 0;
    if (armed_) {
      dev_ = st.st_dev;
      ino_ = st.st_ino;
    }
  }
  ~NewFile()
  {
    if (!armed_)
      return;
    int saved_errno = errno;
    // Only the file made here, never one that replaced it meanwhile.
    struct stat st;
    if (fstatat(dirfd_, relname_, &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev == dev_
        && st.st_ino == ino_)
      unlinkat(dirfd_, relname_, 0);
    errno = saved_errno;
  }
  NewFile(const NewFile &) = delete;
  NewFile &operator=(const NewFile &) = delete;

  void keep() { armed_ = false; }

 private:
  int dirfd_;
  const char *relname_;
  bool armed_;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
};

}  // namespace

size_t st_block_size(const struct stat &st)
{
  if (0 < st.st_blksize && static_cast<uintmax_t>(st.st_blksize) <= (uintmax_t{1} << 61))
    return st.st_blksize;
  return 512;
}

size_t io_block_size(const struct stat &st)
{
  return std::max(MIN_IO_SIZE, st_block_size(st));
}

size_t buffer_lcm(size_t a, size_t b, size_t max)
{
  if (a == 0)
    return std::min(b ? b : size_t{8192}, max);
  if (b == 0)
    return std::min(a, max);

  size_t m = a, n = b;
  while (n != 0) {
    size_t r = m % n;
    m = n;
    n = r;
  }
  size_t a_over_gcd = a / m;
  size_t lcm;
  if (!__builtin_mul_overflow(a_over_gcd, b, &lcm) && lcm <= max)
    return lcm;
  return std::min(a, max);
}

bool is_nul(const char *buf, size_t len)
{
  // Look at a few bytes one by one until the rest is a multiple of 16
  // long, then compare the block with itself shifted by that prefix: each
  // byte must equal one already known to be zero.
  const auto *p = reinterpret_cast<const unsigned char *>(buf);
  size_t i = 0;
  do {
    if (p[i])
      return false;
    i++;
  } while (i < len && (len - i) % 16 != 0);
  return memcmp(buf, buf + i, len - i) == 0;
}

bool create_hole(int fd, const char *name, bool punch_holes, off_t size)
{
  off_t file_end = lseek(fd, size, SEEK_CUR);
  if (file_end < 0) {
    error(0, errno, gettext("cannot lseek %s"), q_always(0, name));
    return false;
  }
  if (punch_holes
      && fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, file_end - size, size) < 0
      && errno != ENOSYS && errno != EOPNOTSUPP) {
    error(0, errno, gettext("error deallocating %s"), q_always(0, name));
    return false;
  }
  return true;
}

bool write_zeros(int fd, off_t n)
{
  static char *zeros;
  static size_t nz = MIN_IO_SIZE;
  static char fallback[1024];
  if (!zeros) {
    zeros = static_cast<char *>(calloc(nz, 1));
    if (!zeros) {
      zeros = fallback;
      nz = sizeof fallback;
    }
  }
  while (n > 0) {
    size_t chunk = std::min(static_cast<uintmax_t>(n), static_cast<uintmax_t>(nz));
    if (full_write(fd, zeros, chunk) != chunk)
      return false;
    n -= chunk;
  }
  return true;
}

bool sparse_copy(int src_fd, int dest_fd, char **abuf, size_t buf_size, size_t hole_size,
                 bool punch_holes, bool allow_copy_file_range, const char *src_name,
                 const char *dst_name, uintmax_t max_n_read, off_t *total_n_read,
                 bool *last_write_made_hole)
{
  *last_write_made_hole = false;
  *total_n_read = 0;

  // Without holes to find, let the kernel move the bytes.
  if (hole_size == 0 && allow_copy_file_range) {
    while (max_n_read > 0) {
      size_t len = std::min(max_n_read, copy_file_range_max);
      ssize_t n = copy_file_range(src_fd, nullptr, dest_fd, nullptr, len, 0);
      if (n == 0) {
        // End of the source; some file systems also say 0 for files whose
        // size they cannot tell, so read those.
        if (*total_n_read == 0)
          break;
        return true;
      }
      if (n < 0) {
        if (errno == EINTR)
          continue;
        if (errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL || errno == EBADF
            || errno == EXDEV || errno == ETXTBSY)
          break;
        if (errno == EPERM && *total_n_read == 0)
          break;
        error(0, errno, gettext("error copying %s to %s"), q_always(0, src_name),
              q_always(1, dst_name));
        return false;
      }
      max_n_read -= n;
      *total_n_read += n;
    }
    if (max_n_read == 0)
      return true;
  }

  // The pending run: a hole run may grow across buffers, a data run is
  // written before the next read.
  bool pending_hole = false;
  off_t pending = 0;

  while (max_n_read > 0) {
    if (!*abuf)
      *abuf = static_cast<char *>(xalignalloc(getpagesize(), buf_size));
    char *buf = *abuf;
    ssize_t n_read = read(src_fd, buf, std::min(max_n_read, static_cast<uintmax_t>(buf_size)));
    if (n_read < 0) {
      if (errno == EINTR)
        continue;
      error(0, errno, gettext("error reading %s"), q_always(0, src_name));
      return false;
    }
    if (n_read == 0)
      break;
    max_n_read -= n_read;
    *total_n_read += n_read;

    size_t chunk = hole_size ? hole_size : static_cast<size_t>(n_read);
    const char *run_start = buf;
    bool hole = false;
    for (size_t off = 0; off < static_cast<size_t>(n_read);) {
      size_t c = std::min(chunk, static_cast<size_t>(n_read) - off);
      hole = hole_size != 0 && is_nul(buf + off, c);
      if (pending > 0 && hole != pending_hole) {
        if (pending_hole) {
          if (!create_hole(dest_fd, dst_name, punch_holes, pending))
            return false;
        } else if (full_write(dest_fd, run_start, pending) != static_cast<size_t>(pending)) {
          error(0, errno, gettext("error writing %s"), q_always(0, dst_name));
          return false;
        }
        pending = 0;
      }
      if (pending == 0) {
        pending_hole = hole;
        run_start = buf + off;
      }
      if (__builtin_add_overflow(pending, static_cast<off_t>(c), &pending)) {
        error(0, 0, gettext("overflow reading %s"), q_always(0, src_name));
        return false;
      }
      off += c;
    }
    if (pending > 0 && !pending_hole) {
      if (full_write(dest_fd, run_start, pending) != static_cast<size_t>(pending)) {
        error(0, errno, gettext("error writing %s"), q_always(0, dst_name));
        return false;
      }
      pending = 0;
    }
    *last_write_made_hole = hole;
  }

  // A hole at the end: move the position past it, so that the caller's
  // final size is right.
  if (pending > 0 && pending_hole && !create_hole(dest_fd, dst_name, punch_holes, pending))
    return false;
  return true;
}

bool copy_by_extents(int src_fd, int dest_fd, char **abuf, size_t buf_size, size_t hole_size,
                     off_t first_data, off_t src_total_size, enum Sparse_type sparse_mode,
                     bool allow_copy_file_range, const char *src_name, const char *dst_name)
{
  off_t last_ext_start = 0;
  off_t last_ext_len = 0;
  off_t dest_pos = 0;
  bool wrote_hole_at_eof = true;

  for (off_t ext_start = first_data; ext_start >= 0;) {
    off_t ext_end = lseek(src_fd, ext_start, SEEK_HOLE);
    if (ext_end < 0) {
      if (errno != ENXIO) {
        error(0, errno, gettext("cannot lseek %s"), q_always(0, src_name));
        return false;
      }
      ext_end = src_total_size;
      if (ext_end <= ext_start) {
        // The source has grown since it was examined.
        src_total_size = lseek(src_fd, 0, SEEK_END);
        if (src_total_size <= ext_start)
          break;
        ext_end = src_total_size;
      }
    }
    if (src_total_size < ext_end)
      src_total_size = ext_end;

    if (lseek(src_fd, ext_start, SEEK_SET) < 0) {
      error(0, errno, gettext("cannot lseek %s"), q_always(0, src_name));
      return false;
    }

    off_t gap = ext_start - last_ext_start - last_ext_len;
    if (gap != 0) {
      if (sparse_mode != SPARSE_NEVER) {
        if (!create_hole(dest_fd, dst_name, sparse_mode == SPARSE_ALWAYS, gap))
          return false;
        wrote_hole_at_eof = true;
      } else {
        if (!write_zeros(dest_fd, gap)) {
          error(0, errno, gettext("%s: write failed"),
                quotearg_n_style_colon(0, shell_escape_quoting_style, dst_name));
          return false;
        }
        wrote_hole_at_eof = false;
      }
    } else {
      wrote_hole_at_eof = false;
    }

    off_t ext_len = ext_end - ext_start;
    off_t n_read;
    bool read_hole;
    if (!sparse_copy(src_fd, dest_fd, abuf, buf_size,
                     sparse_mode == SPARSE_NEVER ? 0 : hole_size, true, allow_copy_file_range,
                     src_name, dst_name, ext_len, &n_read, &read_hole))
      return false;

    dest_pos = ext_start + n_read;
    if (n_read)
      wrote_hole_at_eof = read_hole;
    if (n_read < ext_len) {
      // The source has shrunk.
      src_total_size = dest_pos;
      break;
    }

    last_ext_start = ext_start;
    last_ext_len = ext_len;
    ext_start = lseek(src_fd, dest_pos, SEEK_DATA);
    if (ext_start < 0 && errno != ENXIO) {
      error(0, errno, gettext("cannot lseek %s"), q_always(0, src_name));
      return false;
    }
  }

  if (dest_pos < src_total_size || wrote_hole_at_eof) {
    bool extended = sparse_mode == SPARSE_NEVER
                        ? write_zeros(dest_fd, src_total_size - dest_pos)
                        : ftruncate(dest_fd, src_total_size) == 0;
    if (!extended) {
      error(0, errno, gettext("failed to extend %s"), q_always(0, dst_name));
      return false;
    }
  }

  if (sparse_mode == SPARSE_ALWAYS && dest_pos < src_total_size
      && fallocate(dest_fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, dest_pos,
                   src_total_size - dest_pos) < 0
      && errno != ENOSYS && errno != EOPNOTSUPP) {
    error(0, errno, gettext("error deallocating %s"), q_always(0, dst_name));
    return false;
  }
  return true;
}

bool copy_regular(const char *src_name, const char *dst_name, int dst_dirfd,
                  const char *dst_relname, const struct cp_options *x, mode_t dst_mode,
                  const struct stat *src_sb)
{
  int open_flags = O_RDONLY | (x->symlink_deref == FOLLOW_NEVER ? O_NOFOLLOW : 0);
  Fd source(open_safer(src_name, open_flags));
  if (source.get() < 0) {
    error(0, errno, gettext("cannot open %s for reading"), q_always(0, src_name));
    return false;
  }

  struct stat src_open_sb;
  if (fstat(source.get(), &src_open_sb) != 0) {
    error(0, errno, gettext("cannot fstat %s"), q_always(0, src_name));
    return false;
  }
  if (src_open_sb.st_ino != src_sb->st_ino || src_open_sb.st_dev != src_sb->st_dev) {
    error(0, 0, gettext("skipping file %s, as it was replaced while being copied"),
          q_always(0, src_name));
    return false;
  }

  Fd dest(openat_safer(dst_dirfd, dst_relname, O_WRONLY | O_CREAT | O_EXCL, dst_mode));
  if (dest.get() < 0) {
    int open_errno = errno;
    char dummy;
    if (open_errno == EEXIST && !x->open_dangling_dest
        && readlinkat(dst_dirfd, dst_relname, &dummy, 1) >= 0) {
      error(0, 0, gettext("not writing through dangling symlink %s"), q_always(0, dst_name));
      return false;
    }
    size_t len = strlen(dst_name);
    if (open_errno == EISDIR && len > 0 && dst_name[len - 1] == '/')
      open_errno = ENOTDIR;
    error(0, open_errno, gettext("cannot create regular file %s"), q_always(0, dst_name));
    return false;
  }

  NewFile created(dst_dirfd, dst_relname, dest.get());
  Buffer buf;
  bool data_done = false;
  if (x->copy_data && x->reflink_mode != REFLINK_NEVER) {
    if (ioctl(dest.get(), FICLONE, source.get()) == 0) {
      data_done = true;
    } else if (x->reflink_mode == REFLINK_ALWAYS) {
      error(0, errno, gettext("failed to clone %s from %s"), q_always(0, dst_name),
            q_always(1, src_name));
      return false;
    }
  }

  if (!data_done && x->copy_data) {
    struct stat dst_sb;
    if (fstat(dest.get(), &dst_sb) != 0) {
      error(0, errno, gettext("cannot fstat %s"), q_always(0, dst_name));
      return false;
    }
    size_t buf_size = io_block_size(dst_sb);
    size_t hole_size = st_block_size(dst_sb);

    // Look for holes only in a source with fewer blocks than its size
    // needs; ask the file system for its extents when it can tell.
    scan_kind scan = SCAN_PLAIN;
    off_t first_data = -1;
    if (S_ISREG(src_open_sb.st_mode) && src_open_sb.st_blocks < src_open_sb.st_size / 512) {
      first_data = lseek(source.get(), 0, SEEK_DATA);
      if (first_data >= 0 || errno == ENXIO) {
        scan = SCAN_SEEK;
      } else if (errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP) {
        scan = SCAN_ZEROS;
      } else {
        error(0, errno, gettext("cannot lseek %s"), q_always(0, src_name));
        return false;
      }
    }

    bool make_holes = S_ISREG(dst_sb.st_mode)
                      && (x->sparse_mode == SPARSE_ALWAYS
                          || (x->sparse_mode == SPARSE_AUTO && scan != SCAN_PLAIN));
    bool allow_range = x->reflink_mode != REFLINK_NEVER;
    posix_fadvise(source.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    bool ok;
    off_t n_read = 0;
    bool wrote_hole_at_eof = false;
    if (!make_holes) {
      // A buffer that suits both files, but no longer than a small file.
      constexpr size_t blcm_max = std::numeric_limits<ssize_t>::max();
      size_t blcm = buffer_lcm(io_block_size(src_open_sb), buf_size, blcm_max);
      if (S_ISREG(src_open_sb.st_mode) && src_open_sb.st_size >= 0
          && static_cast<uintmax_t>(src_open_sb.st_size) < buf_size)
        buf_size = src_open_sb.st_size + 1;
      size_t rounded;
      if (__builtin_add_overflow(buf_size, blcm - 1, &rounded))
        rounded = 0;
      else
        rounded -= rounded % blcm;
      buf_size = (rounded == 0 || rounded > blcm_max) ? blcm : rounded;

      if (scan == SCAN_SEEK)
        ok = copy_by_extents(source.get(), dest.get(), &buf.p, buf_size, 0, first_data,
                             src_open_sb.st_size, SPARSE_NEVER, allow_range, src_name, dst_name);
      else
        ok = sparse_copy(source.get(), dest.get(), &buf.p, buf_size, 0, false, allow_range,
                         src_name, dst_name, UINTMAX_MAX, &n_read, &wrote_hole_at_eof);
    } else if (scan == SCAN_SEEK) {
      ok = copy_by_extents(source.get(), dest.get(), &buf.p, buf_size, hole_size, first_data,
                           src_open_sb.st_size, x->sparse_mode, allow_range, src_name, dst_name);
    } else {
      ok = sparse_copy(source.get(), dest.get(), &buf.p, buf_size, hole_size,
                       x->sparse_mode == SPARSE_ALWAYS, allow_range, src_name, dst_name,
                       UINTMAX_MAX, &n_read, &wrote_hole_at_eof);
    }
    if (!ok)
      return false;
    if (scan != SCAN_SEEK && wrote_hole_at_eof && ftruncate(dest.get(), n_read) != 0) {
      error(0, errno, gettext("failed to extend %s"), q_always(0, dst_name));
      return false;
    }
  }

  if (x->keep_times) {
    struct timespec ts[2] = {src_sb->st_atim, src_sb->st_mtim};
    if (fdutimensat(dest.get(), dst_dirfd, dst_relname, ts, 0) != 0) {
      error(0, errno, gettext("preserving times for %s"), q_always(0, dst_name));
      if (x->strict_keep)
        return false;
    }
  }

  if (x->use_create_mode && set_acl(dst_name, dest.get(), x->create_mode) != 0)
    return false;

  if (dest.close() < 0) {
    error(0, errno, gettext("failed to close %s"), q_always(0, dst_name));
    return false;
  }
  if (source.close() < 0) {
    error(0, errno, gettext("failed to close %s"), q_always(0, src_name));
    return false;
  }
  created.keep();
  return true;
}
