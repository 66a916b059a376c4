#include "agent-session.h"

#include <sys/stat.h>


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

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Length of "HH:MM:SS.mmm" at `pos`, or 0.
std::size_t time_at(const std::string &text, std::size_t pos) {
  static const char shape[] = "dd:dd:dd.ddd";
  std::size_t n = sizeof shape - 1;
  if (pos + n > text.size()) return 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (shape[i] == 'd' ? !is_digit(text[pos + i]) : text[pos + i] != shape[i]) return 0;
  }
  return n;
}

}  // namespace

std::optional<std::string> log_message(const std::string &line, const std::string &level) {
  std::size_t pos = line.rfind("** ", 0) == 0 ? 3 : 0;
  if (line.compare(pos, 7, "(agent:") != 0) return std::nullopt;
  pos += 7;
  std::size_t digits = pos;
  while (pos < line.size() && is_digit(line[pos])) ++pos;
  if (pos == digits || line.compare(pos, 3, "): ") != 0) return std::nullopt;
  pos += 3;
  if (line.compare(pos, level.size(), level) != 0) return std::nullopt;
  pos += level.size();
  if (line.compare(pos, 3, " **") == 0) pos += 3;
  if (line.compare(pos, 2, ": ") != 0) return std::nullopt;
  pos += 2;
  std::size_t time = time_at(line, pos);
  if (!time || line.compare(pos + time, 2, ": ") != 0) return std::nullopt;
  return line.substr(pos + time + 2);
}

std::string normalize_log(const std::string &text) {
  std::string result;
  std::size_t pos = 0;
  while (pos < text.size()) {
    // "(name:12345)" becomes "(name:PID)".
    if (text[pos] == '(') {
      std::size_t colon = text.find(':', pos);
      std::size_t end = colon;
      if (colon != std::string::npos) {
        end = colon + 1;
        while (end < text.size() && is_digit(text[end])) ++end;
      }
      if (colon != std::string::npos && end > colon + 1 && end < text.size() && text[end] == ')' &&
          text.find_first_of(" \n", pos) > colon) {
        result += text.substr(pos, colon + 1 - pos) + "PID)";
        pos = end + 1;
        continue;
      }
    }
    // ": 12:34:56.789: " becomes ": TIME: ".
    if (text.compare(pos, 2, ": ") == 0) {
      std::size_t time = time_at(text, pos + 2);
      if (time && text.compare(pos + 2 + time, 2, ": ") == 0) {
        result += ": TIME: ";
        pos += 2 + time + 2;
        continue;
      }
    }
    result += text[pos++];
  }
  return result;
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
