// The agent's world in a test: a private system bus and session bus, the
// stand-in location service and notification server, desktop entries from
// the fixtures and the agent itself. Everything stops with the fixture.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "child.h"
#include "private-bus.h"
#include "process.h"

namespace agenttest {

// One notification as the server saw it.
struct Shown {
  std::string id, app, summary, body, icon, actions;
};

// Parses a "notify" line of the notification server.
std::optional<Shown> parse_notify(const std::string &line);

// The message of a log line the agent wrote ("(agent:PID): LEVEL...: TIME:
// MESSAGE"), or std::nullopt when `line` is no such line of that level.
std::optional<std::string> log_message(const std::string &line, const std::string &level);

// Replaces the process id and the time of day in GLib's log prefixes so
// that output can be compared exactly.
std::string normalize_log(const std::string &text);

class AgentSession : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Environment for the agent and the peers.
  Env env() const;
  // The same without the agent's debug output switched on.
  Env peer_env() const;

  // Each of these starts a process and waits until it is ready; they fail
  // the test (fatally) otherwise.
  void start_service();
  void start_notifier();
  // `wrapper` goes in front of the agent's command line (e.g. a checker).
  // `extra` is added to the environment.
  void start_agent(const std::vector<std::string> &wrapper = {}, const Env &extra = {});
  // Waits for the agent to register with the current service and print
  // its in-use line, which must be `in_use_line`.
  void expect_registration(const std::string &in_use_line);

  // Asks the service to have the agent authorize `desktop_id` at `level`.
  void authorize(const std::string &tag, const std::string &desktop_id, unsigned level);
  // The next notification shown.
  Shown next_notification();
  // The service's answer for `tag` ("reply TAG ..." or "error TAG ...").
  std::string answer(const std::string &tag);
  // The message of the next agent log line of `level` that satisfies the
  // prefix `starts`.
  std::optional<std::string> take_log(const std::string &level, const std::string &starts);

  // How long to wait for any one event.
  int timeout_ms = 20000;

  testsupport::TempDir tmp;
  std::unique_ptr<PrivateBus> system_bus, session_bus;
  std::unique_ptr<Child> service, notifier, agent;
};

}  // namespace agenttest
