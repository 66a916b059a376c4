#include "agent-session.h"

#include <sys/stat.h>

#include <regex>

namespace agenttest {

std::optional<Shown> parse_notify(const std::string &line) {
  if (line.rfind("notify ", 0) != 0) return std::nullopt;
  std::vector<std::string> fields;
  std::size_t start = 7;
  for (;;) {
    std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  if (fields.size() != 6) return std::nullopt;
  return Shown{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]};
}

std::optional<std::string> log_message(const std::string &line, const std::string &level) {
  static const std::regex pattern(
      R"(^(?:\*\* )?\(agent:\d+\): ([A-Z]+)(?: \*\*)?: \d\d:\d\d:\d\d\.\d\d\d: (.*)$)");
  std::smatch m;
  if (!std::regex_match(line, m, pattern) || m[1] != level) return std::nullopt;
  return m[2].str();
}

std::string normalize_log(const std::string &text) {
  static const std::regex pid(R"(\((agent|[a-z-]+):\d+\))");
  static const std::regex time(R"(: \d\d:\d\d:\d\d\.\d\d\d: )");
  return std::regex_replace(std::regex_replace(text, pid, "($1:PID)"), time, ": TIME: ");
}

void AgentSession::SetUp() {
  for (const char *dir : {"home", "runtime", "config", "cache"})
    ASSERT_EQ(mkdir((tmp / dir).c_str(), 0700), 0) << dir;
  system_bus = std::make_unique<PrivateBus>(tmp.path(), "system_bus_socket");
  session_bus = std::make_unique<PrivateBus>(tmp.path(), "session_bus_socket");
}

void AgentSession::TearDown() {
  // The agent first, then its peers, then the buses.
  if (agent) {
    agent->stop();
    if (HasFailure()) std::cerr << "agent stderr:\n" << agent->err() << "\n";
  }
  agent.reset();
  service.reset();
  notifier.reset();
  session_bus.reset();
  system_bus.reset();
}

Env AgentSession::env() const {
  return {
      {"DBUS_SYSTEM_BUS_ADDRESS", system_bus->address()},
      {"DBUS_SESSION_BUS_ADDRESS", session_bus->address()},
      {"XDG_DATA_DIRS", testsupport::data_path("agent")},
      {"XDG_DATA_HOME", tmp / "home"},
      {"XDG_CONFIG_HOME", tmp / "config"},
      {"XDG_CACHE_HOME", tmp / "cache"},
      {"XDG_RUNTIME_DIR", tmp / "runtime"},
      {"HOME", tmp / "home"},
      {"G_MESSAGES_DEBUG", "all"},
      {"DISPLAY", std::nullopt},
      {"WAYLAND_DISPLAY", std::nullopt},
      {"LANGUAGE", std::nullopt},
  };
}

Env AgentSession::peer_env() const {
  Env vars = env();
  vars["G_MESSAGES_DEBUG"] = std::nullopt;
  return vars;
}

void AgentSession::start_service() {
  service = std::make_unique<Child>(
      std::vector<std::string>{testsupport::build_path("tests/agent/fake-location-service")},
      peer_env());
  ASSERT_TRUE(service->take_line("owned")) << service->err();
}

void AgentSession::start_notifier() {
  notifier = std::make_unique<Child>(
      std::vector<std::string>{testsupport::build_path("tests/agent/fake-notification-server")},
      peer_env());
  ASSERT_TRUE(notifier->take_line("owned")) << notifier->err();
}

void AgentSession::start_agent(const std::vector<std::string> &wrapper, const Env &extra) {
  std::vector<std::string> argv = wrapper;
  argv.push_back(testsupport::build_path("demo/agent"));
  Env vars = env();
  for (const auto &[name, value] : extra) vars[name] = value;
  agent = std::make_unique<Child>(argv, vars);
}

void AgentSession::expect_registration(const std::string &in_use_line) {
  ASSERT_TRUE(service);
  ASSERT_EQ(service->take_prefix("add-agent ", timeout_ms).value_or("(none)"), "add-agent zarfo-demo-agent")
      << service->err();
  ASSERT_EQ(agent->take([](const std::string &l) { return l.rfind("Geolocation", 0) == 0; }, timeout_ms)
                .value_or("(none)"),
            in_use_line)
      << agent->err();
}

void AgentSession::authorize(const std::string &tag, const std::string &desktop_id, unsigned level) {
  service->send("authorize " + tag + " " + desktop_id + " " + std::to_string(level));
}

Shown AgentSession::next_notification() {
  auto line = notifier->take_prefix("notify ", timeout_ms);
  if (!line) {
    ADD_FAILURE() << "no notification shown; agent stderr: " << agent->err();
    return {};
  }
  auto shown = parse_notify(*line);
  if (!shown) ADD_FAILURE() << "malformed: " << *line;
  return shown.value_or(Shown{});
}

std::string AgentSession::answer(const std::string &tag) {
  auto line = service->take([&](const std::string &l) {
    return l.rfind("reply " + tag + " ", 0) == 0 || l.rfind("error " + tag + " ", 0) == 0;
  }, timeout_ms);
  return line.value_or("(no answer for " + tag + ")");
}

std::optional<std::string> AgentSession::take_log(const std::string &level,
                                                  const std::string &starts) {
  auto line = agent->take([&](const std::string &l) {
    auto message = log_message(l, level);
    return message && message->rfind(starts, 0) == 0;
  }, timeout_ms);
  if (!line) return std::nullopt;
  return log_message(*line, level);
}

}  // namespace agenttest
