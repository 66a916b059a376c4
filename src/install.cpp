// install: copies files into place and sets their mode, owner and group;
// with -d, creates directories.

#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <error.h>
#include <fcntl.h>
#include <getopt.h>
#include <grp.h>
#include <libintl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "backupfile.h"
#include "closein.h"
#include "copy-options.h"
#include "copy.h"
#include "fd-safer.h"
#include "file-name.h"
#include "file-tables.h"
#include "full-rw.h"
#include "help-footer.h"
#include "mkancesdirs.h"
#include "mkdir-p.h"
#include "modechange.h"
#include "package.h"
#include "progname.h"
#include "quotearg.h"
#include "savewd.h"
#include "selinux.h"
#include "utimens.h"
#include "version-etc.h"
#include "xalloc.h"
#include "xstrtol.h"

namespace {

constexpr const char PROGRAM_NAME[] = "install";
constexpr const char AUTHOR[] = "Ilse Marten";

// Bits of a mode beyond the permission bits: set-user-ID, set-group-ID,
// sticky, and anything above the 16-bit mode range.
constexpr mode_t NON_PERMISSION_BITS = 0xFFFF0E00;
constexpr mode_t CHMOD_MODE_BITS = 07777;
// Leading directories made for -D and -d get this mode.
constexpr mode_t DEFAULT_DIR_MODE = 0755;

// Settings of this run, all settled before the first file is installed.
mode_t mode = 0755;
mode_t dir_mode = 0755;
mode_t dir_mode_bits = CHMOD_MODE_BITS;
const char *owner_name;
const char *group_name;
uid_t owner_id = static_cast<uid_t>(-1);
gid_t group_id = static_cast<gid_t>(-1);
bool strip_files;
const char *strip_program = "strip";
bool copy_only_if_needed;
bool dir_arg;
bool use_default_selinux_context = true;
bool selinux_enabled;

// Buffers of the content comparison (-C).
char a_buff[4096];
char b_buff[4096];

enum {
  PRESERVE_CONTEXT_OPTION = CHAR_MAX + 1,
  STRIP_PROGRAM_OPTION,
  HELP_OPTION,
  VERSION_OPTION,
};

const struct option long_options[] = {
  {"backup", optional_argument, nullptr, 'b'},
  {"compare", no_argument, nullptr, 'C'},
  {"context", optional_argument, nullptr, 'Z'},
  {"directory", no_argument, nullptr, 'd'},
  {"group", required_argument, nullptr, 'g'},
  {"mode", required_argument, nullptr, 'm'},
  {"no-target-directory", no_argument, nullptr, 'T'},
  {"owner", required_argument, nullptr, 'o'},
  {"preserve-timestamps", no_argument, nullptr, 'p'},
  {"preserve-context", no_argument, nullptr, PRESERVE_CONTEXT_OPTION},
  {"strip", no_argument, nullptr, 's'},
  {"strip-program", required_argument, nullptr, STRIP_PROGRAM_OPTION},
  {"suffix", required_argument, nullptr, 'S'},
  {"target-directory", required_argument, nullptr, 't'},
  {"verbose", no_argument, nullptr, 'v'},
  {"help", no_argument, nullptr, HELP_OPTION},
  {"version", no_argument, nullptr, VERSION_OPTION},
  {nullptr, 0, nullptr, 0},
};

const char *q(const char *name)
{
  return quotearg_style(shell_escape_always_quoting_style, name);
}

bool ignorable_ctx_err(int err)
{
  return err == ENOTSUP || err == ENODATA;
}

bool extra_mode(mode_t m)
{
  return (m & NON_PERMISSION_BITS) != 0;
}

// "program: " and the formatted text and a newline on stream.
void prog_fprintf(FILE *stream, const char *format, ...)
    __attribute__((format(printf, 2, 3), nonnull(2)));
void prog_fprintf(FILE *stream, const char *format, ...)
{
  va_list ap;
  va_start(ap, format);
  fputs(program_name, stream);
  fputs(": ", stream);
  vfprintf(stream, format, ap);
  fputc('\n', stream);
  va_end(ap);
}

// Whether the contents of the two open files are the same, reading both
// in blocks. The sizes are known to be equal.
bool have_same_content(int a_fd, int b_fd)
{
  for (;;) {
    size_t size = full_read(a_fd, a_buff, sizeof a_buff);
    if (size == 0)
      // A read error is no proof of equal contents: copy again, and let
      // the copy report the error.
      return errno == 0;
    if (full_read(b_fd, b_buff, sizeof b_buff) != size)
      return false;
    if (memcmp(a_buff, b_buff, size) != 0)
      return false;
  }
}

// Whether -C must copy: the destination differs from what installing
// would make of it, or anything about it cannot be checked.
bool need_copy(const char *src_name, const char *dest_name, int dest_dirfd,
               const char *dest_relname, const struct cp_options *x)
{
  struct stat src_sb, dest_sb;
  if (lstat(src_name, &src_sb) != 0
      || fstatat(dest_dirfd, dest_relname, &dest_sb, AT_SYMLINK_NOFOLLOW) != 0)
    return true;
  if (!S_ISREG(src_sb.st_mode) || !S_ISREG(dest_sb.st_mode))
    return true;
  if (extra_mode(src_sb.st_mode) || extra_mode(dest_sb.st_mode))
    return true;
  if (src_sb.st_size != dest_sb.st_size || (dest_sb.st_mode & CHMOD_MODE_BITS) != mode)
    return true;

  if (owner_id == static_cast<uid_t>(-1)) {
    errno = 0;
    uid_t ruid = getuid();
    if ((ruid == static_cast<uid_t>(-1) && errno) || dest_sb.st_uid != ruid)
      return true;
  } else if (dest_sb.st_uid != owner_id) {
    return true;
  }
  if (group_id == static_cast<gid_t>(-1)) {
    errno = 0;
    gid_t rgid = getgid();
    if ((rgid == static_cast<gid_t>(-1) && errno) || dest_sb.st_gid != rgid)
      return true;
  } else if (dest_sb.st_gid != group_id) {
    return true;
  }

  if (selinux_enabled && x->keep_context) {
    char *src_con = nullptr;
    char *dest_con = nullptr;
    bool differ = rpl_getfilecon(src_name, &src_con) < 0
                  || rpl_getfilecon(dest_name, &dest_con) < 0
                  || strcmp(src_con, dest_con) != 0;
    freecon(src_con);
    freecon(dest_con);
    if (differ)
      return true;
  }

  int src_fd = open_safer(src_name, O_RDONLY);
  if (src_fd < 0)
    return true;
  int dest_fd = openat_safer(dest_dirfd, dest_relname, O_RDONLY);
  if (dest_fd < 0) {
    close(src_fd);
    return true;
  }
  bool differ = !have_same_content(src_fd, dest_fd);
  close(src_fd);
  close(dest_fd);
  return differ;
}

// Gives the file the policy's default context for its name.
void setdefaultfilecon(const char *file)
{
  if (!selinux_enabled)
    return;
  struct stat st;
  if (lstat(file, &st) != 0)
    return;
  struct selabel_handle *hnd = get_labeling_handle();
  if (!hnd)
    return;
  char *scontext = nullptr;
  if (selabel_lookup(hnd, &scontext, file, st.st_mode) != 0) {
    if (errno != ENOENT && errno != ENOTSUP && errno != ENODATA)
      error(0, errno, gettext("warning: %s: context lookup failed"),
            quotearg_n_style_colon(0, shell_escape_quoting_style, file));
    return;
  }
  if (lsetfilecon(file, scontext) < 0 && errno != ENOTSUP)
    error(0, errno, gettext("warning: %s: failed to change context to %s"),
          quotearg_n_style_colon(0, shell_escape_quoting_style, file), quote_n(1, scontext));
  freecon(scontext);
}

// Owner and group first (a change of owner may clear set-ID bits), then
// the mode, then the default context.
bool change_attributes(const char *name, int dirfd, const char *relname)
{
  bool ok = false;
  if (!(owner_id == static_cast<uid_t>(-1) && group_id == static_cast<gid_t>(-1))
      && fchownat(dirfd, relname, owner_id, group_id, AT_SYMLINK_NOFOLLOW) != 0)
    error(0, errno, gettext("cannot change ownership of %s"), q(name));
  else if (fchmodat(dirfd, relname, mode, 0) != 0)
    error(0, errno, gettext("cannot change permissions of %s"), q(name));
  else
    ok = true;

  if (use_default_selinux_context)
    setdefaultfilecon(name);
  return ok;
}

bool change_timestamps(const struct stat *src_sb, const char *dest, int dirfd,
                       const char *relname)
{
  struct timespec ts[2] = {src_sb->st_atim, src_sb->st_mtim};
  if (fdutimensat(-1, dirfd, relname, ts, 0) != 0) {
    error(0, errno, gettext("cannot set timestamps for %s"), q(dest));
    return false;
  }
  return true;
}

// Runs the strip program on name and waits for it.
bool strip(const char *name)
{
  // The child inherits our output buffers; empty them so that nothing
  // is written twice.
  fflush(stdout);
  pid_t pid = fork();
  if (pid == -1) {
    error(0, errno, gettext("fork system call failed"));
    return false;
  }
  if (pid == 0) {
    execlp(strip_program, strip_program, name, static_cast<char *>(nullptr));
    error(EXIT_FAILURE, errno, gettext("cannot run %s"), q(strip_program));
  }
  int status;
  if (waitpid(pid, &status, 0) < 0) {
    error(0, errno, gettext("waiting for strip"));
    return false;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    error(0, 0, gettext("strip process terminated abnormally"));
    return false;
  }
  return true;
}

bool copy_file(const char *from, const char *to, int to_dirfd, const char *to_relname,
               const struct cp_options *x)
{
  bool copy_into_self;
  return copy(from, to, to_dirfd, to_relname, 0, x, &copy_into_self, nullptr);
}

// Puts one source in place under one destination name and gives it the
// requested attributes.
bool install_file_in_file(const char *from, const char *to, int to_dirfd,
                          const char *to_relname, const struct cp_options *x)
{
  struct stat from_sb;
  if (x->keep_times && stat(from, &from_sb) != 0) {
    error(0, errno, gettext("cannot stat %s"), q(from));
    return false;
  }

  bool skip_copy = copy_only_if_needed && !extra_mode(mode)
                   && !need_copy(from, to, to_dirfd, to_relname, x);
  if (!skip_copy && !copy_file(from, to, to_dirfd, to_relname, x))
    return false;

  if (strip_files && !strip(to)) {
    if (unlinkat(to_dirfd, to_relname, 0) != 0)
      error(EXIT_FAILURE, errno, gettext("cannot unlink %s"), q(to));
    return false;
  }

  if (x->keep_times && (strip_files || !S_ISREG(from_sb.st_mode))
      && !change_timestamps(&from_sb, to, to_dirfd, to_relname))
    return false;

  return change_attributes(to, to_dirfd, to_relname);
}

// Creates one leading directory, component, of the name dir.
int make_ancestor(const char *dir, const char *component, void *options)
{
  const auto *x = static_cast<const struct cp_options *>(options);
  if (x->label_handle && defaultcon(x->label_handle, component, S_IFDIR) < 0
      && !ignorable_ctx_err(errno))
    error(0, errno, gettext("failed to set default creation context for %s"), q(dir));

  int r = mkdir(component, DEFAULT_DIR_MODE);
  if (r == 0 && x->verbose) {
    int saved_errno = errno;
    prog_fprintf(stdout, gettext("creating directory %s"), q(dir));
    errno = saved_errno;
  }
  return r;
}

void announce_mkdir(const char *dir, void *options)
{
  const auto *x = static_cast<const struct cp_options *>(options);
  if (x->verbose)
    prog_fprintf(stdout, gettext("creating directory %s"), q(dir));
}

int process_dir(char *dir, struct savewd *wd, void *options)
{
  const auto *x = static_cast<const struct cp_options *>(options);
  int ret = make_dir_parents(dir, wd, make_ancestor, options, dir_mode, announce_mkdir,
                             dir_mode_bits, owner_id, group_id, false)
                ? EXIT_SUCCESS
                : EXIT_FAILURE;
  if (ret == EXIT_SUCCESS && x->label_handle) {
    if (!restorecon(x->label_handle, last_component(dir), false) && !ignorable_ctx_err(errno))
      error(0, errno, gettext("failed to restore context for %s"), q(dir));
  }
  return ret;
}

// Creates the missing leading directories of to.
bool mkancesdirs_safe_wd(const char *from, char *to, struct cp_options *x, bool save_always)
{
  bool save_working_directory = save_always || !(from[0] == '/' && to[0] == '/');
  int status = EXIT_SUCCESS;

  struct savewd wd;
  savewd_init(&wd);
  if (!save_working_directory)
    savewd_finish(&wd);

  if (mkancesdirs(to, &wd, make_ancestor, x) == -1) {
    error(0, errno, gettext("cannot create directory %s"), q(to));
    status = EXIT_FAILURE;
  }

  if (save_working_directory) {
    int restore_result = savewd_restore(&wd, status);
    int restore_errno = errno;
    savewd_finish(&wd);
    if (status != EXIT_SUCCESS)
      return false;
    if (restore_result > 0)
      return false;
    if (restore_result < 0) {
      error(0, restore_errno, gettext("cannot create directory %s"), q(to));
      return false;
    }
  }
  return status == EXIT_SUCCESS;
}

// True when name is "." followed by nothing or slashes, any number of
// times in a row: the working directory itself.
bool names_working_directory(const char *name)
{
  const char *s = name;
  while (*s == '.') {
    s++;
    if (*s == '\0')
      return true;
    if (*s != '/')
      return false;
    while (*s == '/')
      s++;
    if (*s == '\0')
      return true;
  }
  return false;
}

// A descriptor for the target directory name, AT_FDCWD for the working
// directory, or -1 with errno.
int target_directory_operand(const char *name)
{
  if (names_working_directory(name))
    return AT_FDCWD;
  return open_safer(name, O_PATH | O_DIRECTORY);
}

bool target_dirfd_valid(int fd)
{
  return fd != -1;
}

void get_ids()
{
  if (owner_name) {
    if (struct passwd *pw = getpwnam(owner_name)) {
      owner_id = pw->pw_uid;
    } else {
      uintmax_t tmp;
      if (xstrtoumax(owner_name, nullptr, 0, &tmp, "") != LONGINT_OK || tmp > 4294967295U)
        error(EXIT_FAILURE, 0, gettext("invalid user %s"), quote(owner_name));
      owner_id = static_cast<uid_t>(tmp);
    }
    endpwent();
  }
  if (group_name) {
    if (struct group *gr = getgrnam(group_name)) {
      group_id = gr->gr_gid;
    } else {
      uintmax_t tmp;
      if (xstrtoumax(group_name, nullptr, 0, &tmp, "") != LONGINT_OK || tmp > 4294967295U)
        error(EXIT_FAILURE, 0, gettext("invalid group %s"), quote(group_name));
      group_id = static_cast<gid_t>(tmp);
    }
    endgrent();
  }
}

void cp_option_init(struct cp_options *x)
{
  cp_options_default(x);
  x->copy_data = true;
  x->reflink_mode = REFLINK_AUTO;
  x->hard_link = false;
  x->installer_mode = true;
  x->keep_links = false;
  x->keep_context = false;
  x->strict_context = false;
  x->keep_mode = false;
  x->keep_owner = false;
  x->keep_times = false;
  x->keep_xattrs = false;
  x->strict_xattrs = false;
  x->strict_keep = false;
  x->recurse = false;
  x->rename_first = false;
  x->specials_as_regular = true;
  x->symlink_deref = FOLLOW_ALWAYS;
  x->unlink_after_failed_open = false;
  x->unlink_before_open = true;
  x->prompt_mode = PROMPT_UNSET;
  x->sparse_mode = SPARSE_AUTO;
  x->stdin_is_tty = false;
  x->symbolic_link = false;
  x->backup_type = BACKUP_NONE;
  x->use_create_mode = true;
  x->create_mode = S_IRUSR | S_IWUSR;
  x->only_newer = false;
  x->quiet_attr_errors = false;
  x->verbose = false;
  x->dest_info = nullptr;
  x->src_info = nullptr;
}

}  // namespace

[[noreturn]] void usage(int status)
{
  if (status != EXIT_SUCCESS) {
    fprintf(stderr, gettext("Try '%s --help' for more information.\n"), program_name);
    exit(status);
  }

  printf(gettext("Usage: %s [OPTION]... [-T] SOURCE DEST\n"
                 "  or:  %s [OPTION]... SOURCE... DIRECTORY\n"
                 "  or:  %s [OPTION]... -t DIRECTORY SOURCE...\n"
                 "  or:  %s [OPTION]... -d DIRECTORY...\n"),
         program_name, program_name, program_name, program_name);
  fputs(gettext("\n"
                "This install program copies files (often just compiled) into destination\n"
                "locations you choose.  If you want to download and install a ready-to-use\n"
                "package on a qent/Linux system, you should instead be using a package manager\n"
                "like yum(1) or apt-get(1).\n"
                "\n"
                "In the first three forms, copy SOURCE to DEST or multiple SOURCE(s) to\n"
                "the existing DIRECTORY, while setting permission modes and owner/group.\n"
                "In the 4th form, create all components of the given DIRECTORY(ies).\n"),
        stdout);
  fputs(gettext("\n"
                "Mandatory arguments to long options are mandatory for short options too.\n"),
        stdout);
  fputs(gettext("      --backup[=CONTROL]  make a backup of each existing destination file\n"
                "  -b                  like --backup but does not accept an argument\n"
                "  -c                  (ignored)\n"
                "  -C, --compare       compare content of source and destination files, and\n"
                "                        if no change to content, ownership, and permissions,\n"
                "                        do not modify the destination at all\n"
                "  -d, --directory     treat all arguments as directory names; create all\n"
                "                        components of the specified directories\n"
                "  -D                  create all leading components of DEST except the last,\n"
                "                        or all components of --target-directory,\n"
                "                        then copy SOURCE to DEST\n"
                "  -g, --group=GROUP   set group ownership, instead of process' current group\n"
                "  -m, --mode=MODE     set permission mode (as in chmod), instead of rwxr-xr-x\n"
                "  -o, --owner=OWNER   set ownership (super-user only)\n"
                "  -p, --preserve-timestamps   apply access/modification times of SOURCE files\n"
                "                        to corresponding destination files\n"
                "  -s, --strip         strip symbol tables\n"
                "      --strip-program=PROGRAM  program used to strip binaries\n"
                "  -S, --suffix=SUFFIX  override the usual backup suffix\n"
                "  -t, --target-directory=DIRECTORY  copy all SOURCE arguments into DIRECTORY\n"
                "  -T, --no-target-directory  treat DEST as a normal file\n"
                "  -v, --verbose       print the name of each directory as it is created\n"
                "      --preserve-context  preserve SELinux security context\n"
                "  -Z                      set SELinux security context of destination\n"
                "                            file and each created directory to default type\n"
                "      --context[=CTX]     like -Z, or if CTX is specified then set the\n"
                "                            SELinux or SMACK security context to CTX\n"
                "      --help        display this help and exit\n"
                "      --version     output version information and exit\n"),
        stdout);
  fputs(gettext("\n"
                "The backup suffix is '~', unless set with --suffix or SIMPLE_BACKUP_SUFFIX.\n"
                "The version control method may be selected via the --backup option or through\n"
                "the VERSION_CONTROL environment variable.  Here are the values:\n"
                "\n"),
        stdout);
  fputs(gettext("  none, off       never make backups (even if --backup is given)\n"
                "  numbered, t     make numbered backups\n"
                "  existing, nil   numbered if numbered backups exist, simple otherwise\n"
                "  simple, never   always make simple backups\n"),
        stdout);
  emit_help_footer(PROGRAM_NAME);
  exit(status);
}

int main(int argc, char **argv)
{
  selinux_enabled = is_selinux_enabled() > 0;

  set_program_name(argv[0]);
  setlocale(LC_ALL, "");
  bindtextdomain(package_domain, package_catalog_dir());
  textdomain(package_domain);
  atexit(close_stdin);

  // Process-wide, like the tables it points to, which live until exit.
  static struct cp_options x;
  cp_option_init(&x);

  umask(0);

  bool make_backups = false;
  const char *version_control_string = nullptr;
  const char *backup_suffix = nullptr;
  const char *target_directory = nullptr;
  bool no_target_directory = false;
  bool mkdir_and_install = false;
  const char *specified_mode = nullptr;
  bool strip_program_specified = false;
  const char *scontext = nullptr;

  int optc;
  while ((optc = getopt_long(argc, argv, "bcCsDdg:m:o:pt:TvS:Z", long_options, nullptr))
         != -1) {
    switch (optc) {
    case 'b':
      make_backups = true;
      if (optarg)
        version_control_string = optarg;
      break;
    case 'c':
      break;
    case 'C':
      copy_only_if_needed = true;
      break;
    case 's':
      strip_files = true;
      signal(SIGCHLD, SIG_DFL);
      break;
    case STRIP_PROGRAM_OPTION:
      strip_program = xstrdup(optarg);
      strip_program_specified = true;
      break;
    case 'd':
      dir_arg = true;
      break;
    case 'D':
      mkdir_and_install = true;
      break;
    case 'v':
      x.verbose = true;
      break;
    case 'g':
      group_name = optarg;
      break;
    case 'm':
      specified_mode = optarg;
      break;
    case 'o':
      owner_name = optarg;
      break;
    case 'p':
      x.keep_times = true;
      break;
    case 'S':
      make_backups = true;
      backup_suffix = optarg;
      break;
    case 't':
      if (target_directory)
        error(EXIT_FAILURE, 0, gettext("multiple target directories specified"));
      target_directory = optarg;
      break;
    case 'T':
      no_target_directory = true;
      break;
    case PRESERVE_CONTEXT_OPTION:
      if (!selinux_enabled) {
        error(0, 0, gettext("WARNING: ignoring --preserve-context; "
                            "this kernel is not SELinux-enabled"));
        break;
      }
      x.keep_context = true;
      use_default_selinux_context = false;
      break;
    case 'Z':
      if (selinux_enabled) {
        use_default_selinux_context = false;
        if (optarg)
          scontext = optarg;
        else
          x.label_handle = get_labeling_handle();
      } else if (optarg) {
        error(0, 0, gettext("warning: ignoring --context; "
                            "it requires an SELinux-enabled kernel"));
      }
      break;
    case HELP_OPTION:
      usage(EXIT_SUCCESS);
    case VERSION_OPTION:
      version_etc(stdout, PROGRAM_NAME, package_name, Version, AUTHOR,
                  static_cast<char *>(nullptr));
      exit(EXIT_SUCCESS);
    default:
      usage(EXIT_FAILURE);
    }
  }

  if (dir_arg && strip_files)
    error(EXIT_FAILURE, 0, gettext("the strip option may not be used when installing a directory"));
  if (dir_arg && target_directory)
    error(EXIT_FAILURE, 0, gettext("target directory not allowed when installing a directory"));

  x.backup_type = make_backups ? xget_version(gettext("backup type"), version_control_string)
                               : BACKUP_NONE;
  set_simple_backup_suffix(backup_suffix);

  if (x.keep_context && (x.label_handle || scontext))
    error(EXIT_FAILURE, 0, gettext("cannot set target context and preserve it"));
  if (scontext && setfscreatecon(scontext) < 0)
    error(EXIT_FAILURE, errno, gettext("failed to set default file creation context to %s"),
          quote(scontext));

  int n_files = argc - optind;
  char **file = argv + optind;
  int target_dirfd = AT_FDCWD;

  if (dir_arg) {
    if (n_files < 1) {
      error(0, 0, gettext("missing file operand"));
      usage(EXIT_FAILURE);
    }
    if (no_target_directory && n_files > 2) {
      error(0, 0, gettext("extra operand %s"), q(file[2]));
      usage(EXIT_FAILURE);
    }
  } else if (target_directory) {
    if (n_files < 1) {
      error(0, 0, gettext("missing file operand"));
      usage(EXIT_FAILURE);
    }
    if (no_target_directory)
      error(EXIT_FAILURE, 0, gettext("cannot combine --target-directory (-t) "
                                     "and --no-target-directory (-T)"));
    target_dirfd = target_directory_operand(target_directory);
    if (!target_dirfd_valid(target_dirfd) && !(mkdir_and_install && errno == ENOENT))
      error(EXIT_FAILURE, errno, gettext("failed to access %s"), q(target_directory));
  } else {
    if (n_files < 2) {
      if (n_files == 1)
        error(0, 0, gettext("missing destination file operand after %s"), q(file[0]));
      else
        error(0, 0, gettext("missing file operand"));
      usage(EXIT_FAILURE);
    }
    if (no_target_directory) {
      if (n_files > 2) {
        error(0, 0, gettext("extra operand %s"), q(file[2]));
        usage(EXIT_FAILURE);
      }
    } else {
      const char *last = file[n_files - 1];
      int fd = target_directory_operand(last);
      if (target_dirfd_valid(fd)) {
        target_dirfd = fd;
        target_directory = last;
        n_files--;
      } else if (n_files > 2) {
        error(EXIT_FAILURE, errno, gettext("target %s"), q(last));
      }
    }
  }

  if (specified_mode) {
    struct mode_edit *change = mode_compile(specified_mode);
    if (!change)
      error(EXIT_FAILURE, 0, gettext("invalid mode %s"), quote(specified_mode));
    mode = mode_adjust(0, false, 0, change, nullptr);
    dir_mode = mode_adjust(0, true, 0, change, &dir_mode_bits);
    free(change);
  }

  if (strip_program_specified && !strip_files)
    error(0, 0, gettext("WARNING: ignoring --strip-program option as -s option was "
                        "not specified"));

  if (copy_only_if_needed && x.keep_times) {
    error(0, 0, gettext("options --compare (-C) and --preserve-timestamps are "
                        "mutually exclusive"));
    usage(EXIT_FAILURE);
  }
  if (copy_only_if_needed && strip_files) {
    error(0, 0, gettext("options --compare (-C) and --strip are mutually exclusive"));
    usage(EXIT_FAILURE);
  }
  if (copy_only_if_needed && extra_mode(mode))
    error(0, 0, gettext("the --compare (-C) option is ignored when you specify a mode "
                        "with non-permission bits"));

  get_ids();

  int exit_status = EXIT_SUCCESS;
  if (dir_arg) {
    exit_status = savewd_process_files(n_files, file, process_dir, &x);
  } else {
    hash_init();
    if (!target_directory) {
      if (mkdir_and_install && !mkancesdirs_safe_wd(file[0], file[1], &x, false))
        exit_status = EXIT_FAILURE;
      else
        exit_status = install_file_in_file(file[0], file[1], AT_FDCWD, file[1], &x)
                          ? EXIT_SUCCESS
                          : EXIT_FAILURE;
    } else {
      dest_info_init(&x);
      // With -D the target directory may not exist yet: the first source
      // creates it, and every source then uses the one descriptor.
      bool first = true;
      for (int i = 0; i < n_files; i++) {
        char *to_relname;
        char *to = file_name_concat(target_directory, last_component(file[i]), &to_relname);
        bool ok = false;
        if (!target_dirfd_valid(target_dirfd) && first && mkdir_and_install) {
          if (mkancesdirs_safe_wd(file[i], to, &x, true)) {
            target_dirfd = open_safer(target_directory, O_PATH | O_DIRECTORY);
            if (!target_dirfd_valid(target_dirfd))
              error(0, errno, gettext("cannot open %s"), q(to));
          }
        }
        first = false;
        if (target_dirfd_valid(target_dirfd))
          ok = install_file_in_file(file[i], to, target_dirfd, to_relname, &x);
        if (!ok)
          exit_status = EXIT_FAILURE;
        free(to);
      }
    }
  }
  return exit_status;
}
