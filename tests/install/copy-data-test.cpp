// The data transfer of new copies: buffer sizing, zero-block detection,
// hole creation and the extent-by-extent copy, on real files.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "copy-data.h"
#include "process.h"

namespace {

using testsupport::TempDir;

struct Fd {
  int fd;
  explicit Fd(int f) : fd(f) {}
  ~Fd()
  {
    if (fd >= 0)
      close(fd);
  }
};

struct Buf {
  char *p = nullptr;
  ~Buf() { free(p); }
};

std::string contents(const std::string &path)
{
  return testsupport::read_file(path);
}

// The data extents of a file as (start, end) pairs.
std::vector<std::pair<off_t, off_t>> extents(int fd)
{
  std::vector<std::pair<off_t, off_t>> r;
  off_t pos = 0;
  for (;;) {
    off_t data = lseek(fd, pos, SEEK_DATA);
    if (data < 0)
      break;
    off_t hole = lseek(fd, data, SEEK_HOLE);
    r.emplace_back(data, hole);
    pos = hole;
  }
  return r;
}

// Whether the file system of dir reports holes (it keeps a hole in a
// freshly made sparse file).
bool reports_holes(const std::string &dir)
{
  std::string f = dir + "/probe";
  Fd fd(open(f.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600));
  if (fd.fd < 0 || ftruncate(fd.fd, 1 << 20) != 0)
    return false;
  bool r = lseek(fd.fd, 0, SEEK_DATA) < 0 && errno == ENXIO;
  unlink(f.c_str());
  return r;
}

TEST(BufferLcm, Table)
{
  struct Case {
    size_t a, b, max, want;
  } cases[] = {
      {0, 0, 100000, 8192},           // neither known: the default
      {0, 0, 4096, 4096},             // the default, capped
      {0, 4096, 100000, 4096},        // only b known
      {512, 0, 100000, 512},          // only a known
      {131072, 131072, SIZE_MAX, 131072},
      {131072, 196608, SIZE_MAX, 393216},  // a real multiple of both
      {6, 4, 100, 12},
      {6, 4, 10, 6},                  // the multiple exceeds max: a
      {6, 4, 5, 5},                   // and a capped at max
      {SIZE_MAX / 2, SIZE_MAX / 2 - 1, SIZE_MAX, SIZE_MAX / 2},  // overflow: a
  };
  for (const auto &c : cases)
    EXPECT_EQ(buffer_lcm(c.a, c.b, c.max), c.want) << c.a << " " << c.b << " " << c.max;
}

TEST(IsNul, FindsAnyNonzeroByte)
{
  for (size_t len : {1u, 2u, 15u, 16u, 17u, 31u, 4096u, 4097u}) {
    std::vector<char> buf(len, 0);
    EXPECT_TRUE(is_nul(buf.data(), len)) << len;
    // A single nonzero byte anywhere, in the checked prefix or in the
    // compared rest, makes the block data.
    for (size_t at : {size_t{0}, len / 2, len - 1}) {
      buf[at] = 1;
      EXPECT_FALSE(is_nul(buf.data(), len)) << len << " at " << at;
      buf[at] = 0;
    }
  }
}

TEST(IoBlockSize, SaneAndInsaneBlockSizes)
{
  struct Case {
    blksize_t blksize;
    size_t block, io;
  } cases[] = {
      {4096, 4096, MIN_IO_SIZE},
      {1 << 20, 1 << 20, 1 << 20},
      {0, 512, MIN_IO_SIZE},
      {-1, 512, MIN_IO_SIZE},
  };
  for (const auto &c : cases) {
    struct stat st {};
    st.st_blksize = c.blksize;
    EXPECT_EQ(st_block_size(st), c.block) << c.blksize;
    EXPECT_EQ(io_block_size(st), c.io) << c.blksize;
  }
}

class SparseCopy : public ::testing::Test {
 protected:
  TempDir dir;
  std::string src = dir / "src";
  std::string dst = dir / "dst";

  // Copies src to dst with sparse_copy and returns the two out values.
  void copy(size_t buf_size, size_t hole_size, bool allow_range, uintmax_t limit,
            off_t *total, bool *ended_in_hole)
  {
    Fd in(open(src.c_str(), O_RDONLY));
    Fd out(open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
    ASSERT_GE(in.fd, 0);
    ASSERT_GE(out.fd, 0);
    Buf buf;
    ASSERT_TRUE(sparse_copy(in.fd, out.fd, &buf.p, buf_size, hole_size, false, allow_range,
                            src.c_str(), dst.c_str(), limit, total, ended_in_hole));
    if (*ended_in_hole) {
      ASSERT_EQ(ftruncate(out.fd, *total), 0);
    }
  }
};

TEST_F(SparseCopy, ZeroBlocksBecomeHoles)
{
  if (!reports_holes(dir.path()))
    GTEST_SKIP() << "the file system of " << dir.path() << " does not report holes";
  // data, 3 zero blocks, data, 2 zero blocks at the end.
  std::string data(4096, 'x');
  std::string zeros(4096, '\0');
  std::string whole = data + zeros + zeros + zeros + data + zeros + zeros;
  testsupport::write_file(src, whole);

  off_t total;
  bool hole;
  // A buffer smaller than the hole run, so that a hole spans buffers.
  copy(8192, 4096, false, UINTMAX_MAX, &total, &hole);
  EXPECT_EQ(total, static_cast<off_t>(whole.size()));
  EXPECT_TRUE(hole);
  EXPECT_EQ(contents(dst), whole);

  Fd fd(open(dst.c_str(), O_RDONLY));
  auto ext = extents(fd.fd);
  std::vector<std::pair<off_t, off_t>> want = {{0, 4096}, {16384, 20480}};
  EXPECT_EQ(ext, want);
}

TEST_F(SparseCopy, WithoutHoleSizeEverythingIsWritten)
{
  std::string whole = std::string(10000, '\0') + "tail";
  testsupport::write_file(src, whole);
  for (bool allow_range : {false, true}) {
    off_t total;
    bool hole;
    copy(4096, 0, allow_range, UINTMAX_MAX, &total, &hole);
    EXPECT_EQ(total, static_cast<off_t>(whole.size()));
    EXPECT_FALSE(hole);
    EXPECT_EQ(contents(dst), whole) << allow_range;
  }
}

TEST_F(SparseCopy, StopsAtTheLimit)
{
  testsupport::write_file(src, "0123456789abcdef");
  for (bool allow_range : {false, true}) {
    off_t total;
    bool hole;
    copy(4, 0, allow_range, 10, &total, &hole);
    EXPECT_EQ(total, 10);
    EXPECT_EQ(contents(dst), "0123456789") << allow_range;
  }
}

TEST_F(SparseCopy, WriteErrorIsReported)
{
  testsupport::write_file(src, "some bytes");
  Fd in(open(src.c_str(), O_RDONLY));
  Fd out(open("/dev/full", O_WRONLY));
  ASSERT_GE(out.fd, 0);
  Buf buf;
  off_t total;
  bool hole;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(sparse_copy(in.fd, out.fd, &buf.p, 4096, 0, false, false, src.c_str(),
                           "/dev/full", UINTMAX_MAX, &total, &hole));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(": error writing '/dev/full': No space left on device\n"),
            std::string::npos)
      << err;
}

TEST(WriteZeros, WritesExactlyTheCount)
{
  TempDir dir;
  std::string f = dir / "z";
  for (off_t n : {off_t{0}, off_t{1}, off_t{131072}, off_t{300000}}) {
    {
      Fd fd(open(f.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
      ASSERT_TRUE(write_zeros(fd.fd, n));
    }
    EXPECT_EQ(contents(f), std::string(n, '\0')) << n;
  }
}

TEST(CreateHole, MovesThePositionAndReportsFailure)
{
  TempDir dir;
  std::string f = dir / "h";
  Fd fd(open(f.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
  ASSERT_EQ(write(fd.fd, "a", 1), 1);
  ASSERT_TRUE(create_hole(fd.fd, f.c_str(), true, 8191));
  ASSERT_EQ(write(fd.fd, "b", 1), 1);
  EXPECT_EQ(contents(f), "a" + std::string(8191, '\0') + "b");

  // A pipe cannot seek.
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(create_hole(p[1], "pipe", false, 10));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(": cannot lseek 'pipe': Illegal seek\n"), std::string::npos) << err;
  close(p[0]);
  close(p[1]);
}

class CopyByExtents : public ::testing::Test {
 protected:
  TempDir dir;
  std::string src = dir / "src";
  std::string dst = dir / "dst";

  void SetUp() override
  {
    if (!reports_holes(dir.path()))
      GTEST_SKIP() << "the file system of " << dir.path() << " does not report holes";
  }

  // Writes the pieces at their offsets into a file of the given size.
  void make_source(off_t size, const std::vector<std::pair<off_t, std::string>> &pieces)
  {
    Fd fd(open(src.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
    ASSERT_EQ(ftruncate(fd.fd, size), 0);
    for (const auto &[off, s] : pieces)
      ASSERT_EQ(pwrite(fd.fd, s.data(), s.size(), off), static_cast<ssize_t>(s.size()));
  }

  void copy(Sparse_type mode, size_t hole_size)
  {
    Fd in(open(src.c_str(), O_RDONLY));
    Fd out(open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
    struct stat st;
    ASSERT_EQ(fstat(in.fd, &st), 0);
    off_t first = lseek(in.fd, 0, SEEK_DATA);
    Buf buf;
    ASSERT_TRUE(copy_by_extents(in.fd, out.fd, &buf.p, MIN_IO_SIZE, hole_size, first,
                                st.st_size, mode, true, src.c_str(), dst.c_str()));
  }
};

TEST_F(CopyByExtents, KeepsHolesWhereTheSourceHasThem)
{
  const off_t mib = 1 << 20;
  make_source(8 * mib, {{3 * mib, std::string(mib, 'd')}});
  copy(SPARSE_AUTO, 4096);

  Fd in(open(src.c_str(), O_RDONLY));
  Fd out(open(dst.c_str(), O_RDONLY));
  struct stat ss, ds;
  ASSERT_EQ(fstat(in.fd, &ss), 0);
  ASSERT_EQ(fstat(out.fd, &ds), 0);
  EXPECT_EQ(ds.st_size, 8 * mib);
  EXPECT_EQ(extents(out.fd), extents(in.fd));
  EXPECT_LE(ds.st_blocks, ss.st_blocks);
  EXPECT_EQ(contents(dst), contents(src));
}

TEST_F(CopyByExtents, HoleOnlyFileIsExtended)
{
  make_source(10 << 20, {});
  copy(SPARSE_AUTO, 4096);
  struct stat ds;
  ASSERT_EQ(stat(dst.c_str(), &ds), 0);
  EXPECT_EQ(ds.st_size, 10 << 20);
  EXPECT_EQ(ds.st_blocks, 0);
}

TEST_F(CopyByExtents, NeverModeWritesTheGapsAsZeros)
{
  make_source(1 << 20, {{4096, "mid"}, {(1 << 20) - 3, "end"}});
  copy(SPARSE_NEVER, 0);
  EXPECT_EQ(contents(dst), contents(src));
  Fd out(open(dst.c_str(), O_RDONLY));
  auto ext = extents(out.fd);
  ASSERT_EQ(ext.size(), 1u);
  EXPECT_EQ(ext[0], std::make_pair(off_t{0}, off_t{1 << 20}));
}

}  // namespace
