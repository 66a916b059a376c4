// A message bus daemon of the test's own, on a socket in a scratch
// directory, allowing everything. Stopped with the object.
#pragma once

#include <memory>
#include <string>

#include "child.h"

namespace agenttest {

class PrivateBus {
 public:
  // Starts the daemon with a socket named `name` inside `dir`; throws when
  // it does not come up.
  PrivateBus(const std::string &dir, const std::string &name);
  ~PrivateBus();
  PrivateBus(const PrivateBus &) = delete;
  PrivateBus &operator=(const PrivateBus &) = delete;

  // The address clients connect to.
  const std::string &address() const { return address_; }

 private:
  std::unique_ptr<Child> daemon_;
  std::string address_;
};

}  // namespace agenttest
