// Filling a new regular file with the bytes of another: cloning, in-kernel
// range copies, and a buffered copy that keeps the source's holes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/stat.h>
#include <sys/types.h>

#include "copy-options.h"

// The least buffer the copy uses.
inline constexpr size_t MIN_IO_SIZE = 131072;

// How a source's holes are found.
enum scan_kind { SCAN_PLAIN, SCAN_ZEROS, SCAN_SEEK };

// The file's block size: st_blksize when it is sane, else 512.
size_t st_block_size(const struct stat &st);
// The I/O size for the file: its block size, but at least MIN_IO_SIZE.
size_t io_block_size(const struct stat &st);

// The least common multiple of a and b when it fits within max; else a
// (or b, or 8192 when both are 0) capped at max.
size_t buffer_lcm(size_t a, size_t b, size_t max);

// True when all len bytes (len > 0) of buf are zero.
bool is_nul(const char *buf, size_t len);

// Moves fd's write position forward by size, punching the skipped range
// out with punch_holes. Reports failures against name.
bool create_hole(int fd, const char *name, bool punch_holes, off_t size);

// Writes n zero bytes to fd; false on a short write (errno set).
bool write_zeros(int fd, off_t n);

// Copies at most max_n_read bytes from src_fd to dest_fd through *abuf
// (allocated here when null, page-aligned, buf_size bytes; the caller
// frees it). With hole_size, runs of all-zero blocks of that size become
// holes. *total_n_read gets the count read, *last_write_made_hole whether
// the copy ended in a hole.
bool sparse_copy(int src_fd, int dest_fd, char **abuf, size_t buf_size, size_t hole_size,
                 bool punch_holes, bool allow_copy_file_range, const char *src_name,
                 const char *dst_name, uintmax_t max_n_read, off_t *total_n_read,
                 bool *last_write_made_hole);

// Copies the data extents that SEEK_DATA and SEEK_HOLE report, starting at
// first_data (negative: the source holds no data), leaving holes between.
// src_total_size is the source size as first seen; it follows the source
// when the source grows or shrinks meanwhile.
bool copy_by_extents(int src_fd, int dest_fd, char **abuf, size_t buf_size, size_t hole_size,
                     off_t first_data, off_t src_total_size, enum Sparse_type sparse_mode,
                     bool allow_copy_file_range, const char *src_name, const char *dst_name);

// Creates dst_relname under dst_dirfd as a new regular file with the
// permission bits dst_mode, fills it from src_name, applies the times and
// the creation mode, and closes both. src_sb is the source as the engine
// examined it. Every failure is reported.
bool copy_regular(const char *src_name, const char *dst_name, int dst_dirfd,
                  const char *dst_relname, const struct cp_options *x, mode_t dst_mode,
                  const struct stat *src_sb);
