#include "progname.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string_view>

const char *program_name = nullptr;

void set_program_name(const char *argv0) {
  if (argv0 == nullptr) {
    // An empty argument vector: nothing sensible can be said under a name.
    static constexpr std::string_view message =
        "A NULL argv[0] was passed through an exec system call.\n";
    fwrite(message.data(), 1, message.size(), stderr);
    abort();
  }

  // A program run from a libtool build tree lives in ".libs/" and may carry
  // an "lt-" prefix; it should speak under its installed name.
  static constexpr std::string_view libs_dir = "/.libs/";
  const char *slash = strrchr(argv0, '/');
  const char *base = slash != nullptr ? slash + 1 : argv0;
  if (static_cast<size_t>(base - argv0) >= libs_dir.size() &&
      std::string_view(base - libs_dir.size(), libs_dir.size()) == libs_dir) {
    argv0 = base;
    if (strncmp(base, "lt-", 3) == 0) {
      argv0 = base + 3;
      program_invocation_short_name = const_cast<char *>(argv0);
    }
  }

  program_name = argv0;
  program_invocation_name = const_cast<char *>(argv0);
}
