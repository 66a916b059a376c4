// Running a child process and collecting what it did, and scratch
// directories that clean up after themselves. Shared by every suite that
// drives a built program.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct Outcome {
  int status = -1;       // exit status, or -1 when the child did not exit normally
  int signal = 0;        // terminating signal, 0 when it exited
  std::string out;       // everything written to standard output
  std::string err;       // everything written to standard error
};

struct RunOptions {
  // Variables to set (or, with std::nullopt, to remove) on top of the
  // current environment.
  std::map<std::string, std::optional<std::string>> env;
  // When set, the environment starts empty instead of as a copy of ours.
  bool clean_env = false;
  std::string stdin_data;
  // Directory the child starts in; empty for ours.
  std::string cwd;
  // Seconds before the child is killed; 0 for no limit.
  int timeout = 60;
  // Descriptors to hand to the child, as (our descriptor, its number in the
  // child). Applied after standard input, output and error are set up, so
  // an entry for 0, 1 or 2 replaces that stream (a terminal, a full device).
  std::vector<std::pair<int, int>> fds;
  // Descriptor numbers to leave closed in the child (1: a program that
  // starts with standard output closed).
  std::vector<int> closed_fds;
  // Identity to run the child under (supplementary groups dropped); needs
  // privileges. Unset: ours.
  std::optional<uid_t> uid;
  std::optional<gid_t> gid;
  // When set, the child is killed should the thread that started it end,
  // so that it never outlives a crashed test.
  bool die_with_parent = false;
};

// Runs argv[0] (looked up in PATH when it has no slash) and waits for it.
Outcome run(const std::vector<std::string> &argv, const RunOptions &opts = {});

// A started child and our ends of the pipes to its standard input, output
// and error, all close-on-exec; the caller closes them and reaps the child.
struct Spawned {
  pid_t pid = -1;
  int in = -1, out = -1, err = -1;
};

// Starts argv[0] as run() does, without feeding, reading or waiting
// (OPTS' stdin_data and timeout are run()'s alone).
Spawned spawn(const std::vector<std::string> &argv, const RunOptions &opts = {});

// Path of a file in the build tree, from TEST_BUILDDIR.
std::string build_path(const std::string &relative);
// Path of a file under tests/data, from TEST_DATADIR.
std::string data_path(const std::string &relative);

// A fresh directory under TMPDIR, removed with everything in it on
// destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::string &path() const { return path_; }
  std::string operator/(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes the bytes to the file, replacing it. Throws on failure.
void write_file(const std::string &path, const std::string &contents);
// Reads the whole file. Throws on failure.
std::string read_file(const std::string &path);

}  // namespace testsupport
