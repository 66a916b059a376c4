// A private X server for a benchmark run without a display: started on a
// display number no other server holds, stopped when the object goes (and
// by the kernel if the benchmark dies first).
#pragma once

#include <sys/types.h>

#include <string>

class PrivateXServer {
 public:
  // Starts Xvfb and waits until it accepts clients; throws when it cannot.
  PrivateXServer ();
  ~PrivateXServer ();
  PrivateXServer (const PrivateXServer &) = delete;
  PrivateXServer &operator= (const PrivateXServer &) = delete;

  // The display name, for example ":3".
  const std::string &display () const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};
