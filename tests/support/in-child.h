// Running a piece of a test binary in a forked child: for code that ends
// the process (exit handlers, assertions, fatal errors, aborts), that
// changes process-wide state such as the working directory, that needs
// its own standard streams, or that must run without root's privileges.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

#include "process.h"

namespace testsupport {

struct ChildOptions {
  // Becomes standard input when not negative; otherwise STDIN_DATA is fed
  // through a pipe.
  int stdin_fd = -1;
  std::string stdin_data;
  // Becomes standard output (or error) when not negative; otherwise it is
  // captured. CLOSE_STDOUT leaves that descriptor closed instead.
  int stdout_fd = -1;
  int stderr_fd = -1;
  bool close_stdout = false;
  // Identity the child takes before BODY runs (supplementary groups
  // dropped); status 99 when it cannot. Unset: ours.
  std::optional<uid_t> uid;
  std::optional<gid_t> gid;
};

// Runs BODY in a forked child and collects its status and output. BODY's
// result is the exit status: when it returns, the child flushes its
// streams and ends without running exit handlers.
Outcome in_child(const std::function<int()> &body, const ChildOptions &options = {});

}  // namespace testsupport
