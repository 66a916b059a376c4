// A child process the test talks to while it runs: lines go to its
// standard input, its standard output is read line by line and its
// standard error is kept. The child is stopped when the object goes,
// and dies with the test process should that crash.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace agenttest {

using Env = std::map<std::string, std::optional<std::string>>;

class Child {
 public:
  // Starts argv[0] (a path) with our environment plus `env` (std::nullopt
  // removes a variable).
  explicit Child(const std::vector<std::string> &argv, const Env &env = {});
  ~Child();
  Child(const Child &) = delete;
  Child &operator=(const Child &) = delete;

  // Writes one line (a newline is added) to the child's standard input.
  void send(const std::string &line);

  // Returns the first line of standard output not taken yet that
  // satisfies `match`, reading more output as needed; std::nullopt when
  // the child closes its output or `timeout_ms` passes first. Lines that
  // do not match stay available to later calls.
  std::optional<std::string> take(const std::function<bool(const std::string &)> &match,
                                  int timeout_ms = 20000);
  // Same, for the first line equal to `line` or (with `prefix`) starting with it.
  std::optional<std::string> take_line(const std::string &line, int timeout_ms = 20000);
  std::optional<std::string> take_prefix(const std::string &prefix, int timeout_ms = 20000);

  // Lines read so far and not taken.
  std::vector<std::string> untaken() const;
  // Everything read from standard error so far (reads what is ready).
  const std::string &err();

  // Stops the child (SIGTERM, then SIGKILL after a grace period) and
  // returns its wait status; later calls return the same status.
  int stop(int grace_ms = 5000);
  // Waits for the child to end by itself, reading its output meanwhile.
  // Returns its wait status, or std::nullopt when it is still running.
  std::optional<int> wait_exit(int timeout_ms = 20000);

  pid_t pid() const { return pid_; }

 private:
  // Reads whatever arrives within `timeout_ms`; false once both outputs are closed.
  bool pump(int timeout_ms);

  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
  std::optional<int> status_;
  std::string out_partial_;
  std::string err_text_;
  std::vector<std::string> lines_;
  std::vector<bool> taken_;
};

}  // namespace agenttest
