// A private X server for tests that open windows. Each test program that
// needs a display registers XvfbEnvironment; the server it starts lives
// from before the first test to after the last, also when tests fail, and
// dies with the test program if that is killed.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <memory>
#include <string>

namespace testsupport {

class Xvfb {
 public:
  // Starts Xvfb on a display number that no other server holds and waits
  // until it accepts clients. Throws when it cannot be started.
  Xvfb();
  ~Xvfb();
  Xvfb(const Xvfb &) = delete;
  Xvfb &operator=(const Xvfb &) = delete;

  // The display name, for example ":3".
  const std::string &display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// Starts an Xvfb before the first test and points DISPLAY at it. Register
// it in main or with
//   static auto *env = ::testing::AddGlobalTestEnvironment(new testsupport::XvfbEnvironment);
class XvfbEnvironment : public ::testing::Environment {
 public:
  void SetUp() override;
  void TearDown() override;

 private:
  std::unique_ptr<Xvfb> server_;
};

}  // namespace testsupport
