#include "private-bus.h"

#include <stdexcept>

#include "process.h"

namespace agenttest {

PrivateBus::PrivateBus(const std::string &dir, const std::string &name) {
  std::string listen = "unix:path=" + dir + "/" + name;
  daemon_ = std::make_unique<Child>(std::vector<std::string>{
      "/usr/bin/dbus-daemon", "--nofork", "--nopidfile", "--nosyslog",
      "--config-file=" + testsupport::data_path("agent/bus.conf"),
      "--address=" + listen, "--print-address=1"});
  // The daemon prints its address once it accepts connections.
  auto line = daemon_->take([](const std::string &) { return true; }, 20000);
  if (!line || line->rfind("unix:", 0) != 0)
    throw std::runtime_error("dbus-daemon did not start: " + daemon_->err());
  address_ = *line;
}

PrivateBus::~PrivateBus() = default;

}  // namespace agenttest
