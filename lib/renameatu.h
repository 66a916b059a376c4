// Renaming with flags, where the system's flag-taking rename may be
// missing or unsupported by the file system.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// renameat2(); where the system does not support it, RENAME_NOREPLACE is
// emulated (fail with EEXIST when the target exists, then rename). Other
// flags cannot be emulated: EOPNOTSUPP.
int renameatu(int fd1, const char *src, int fd2, const char *dst, unsigned int flags);

// The emulation renameatu() falls back to, for callers and tests that need
// it directly.
int renameatu_fallback(int fd1, const char *src, int fd2, const char *dst,
                       unsigned int flags);

#ifdef __cplusplus
}
#endif
