// The agent program against stand-in peers on private buses.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <set>
#include <string>
#include <vector>

#include "agent-session.h"
#include "process.h"

namespace agenttest {
namespace {

using testsupport::build_path;

// ---------------------------------------------------------------------------
// Command line: nothing here may need a bus, so both bus addresses point
// at sockets that do not exist.

TEST(AgentCommandLine, StatusAndOutput) {
  testsupport::TempDir tmp;
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  } cases[] = {
      {{"--version"}, 0, "2.6.0\n", ""},
      {{"--version", "extra"}, 0, "2.6.0\n", ""},
      {{"--bogus"}, 255, "",
       "\n** (agent:PID): CRITICAL **: TIME: option parsing failed: Unknown option --bogus\n\n"},
      {{"-x", "--version"}, 255, "",
       "\n** (agent:PID): CRITICAL **: TIME: option parsing failed: Unknown option -x\n\n"},
      {{}, 254, "",
       "\n** (agent:PID): CRITICAL **: TIME: Failed to get connection to system bus: "
       "Could not connect: No such file or directory\n"},
  };
  for (const auto &c : cases) {
    std::vector<std::string> argv{build_path("demo/agent")};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(testing::PrintToString(c.args));
    testsupport::RunOptions opts;
    opts.env = {{"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (tmp / "no-system-bus")},
                {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (tmp / "no-session-bus")},
                {"G_MESSAGES_DEBUG", std::nullopt}};
    auto result = testsupport::run(argv, opts);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(normalize_log(result.err), c.err);
  }
}

// ---------------------------------------------------------------------------
// Registration with the location service.

class AgentRegistration : public AgentSession {};

TEST_F(AgentRegistration, RegistersAndExposesItsProperty) {
  ASSERT_NO_FATAL_FAILURE(start_service());
  start_agent();
  ASSERT_NO_FATAL_FAILURE(expect_registration("Geolocation service not in use"));

  // The level is set once at start-up and announced once.
  EXPECT_EQ(service->take_prefix("props-changed ").value_or("(none)"),
            "props-changed ('org.freedesktop.Zarfo2.Agent', {'MaxAccuracyLevel': <uint32 8>}, @as [])");

  service->send("get-max");
  EXPECT_EQ(service->take_prefix("max ").value_or("(none)"), "max uint32 8");
  service->send("get-all");
  EXPECT_EQ(service->take_prefix("all ").value_or("(none)"),
            "all ({'MaxAccuracyLevel': <uint32 8>},)");

  // Read-only on the bus: the write is refused and changes nothing.
  service->send("set-max 3");
  auto refused = service->take_prefix("error set ");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->rfind("error set org.freedesktop.DBus.Error.InvalidArgs ", 0), 0u) << *refused;
  service->send("get-max");
  EXPECT_EQ(service->take_prefix("max ").value_or("(none)"), "max uint32 8");

  // Nothing else was announced or registered meanwhile.
  EXPECT_EQ(service->untaken(), std::vector<std::string>{});
}


TEST_F(AgentRegistration, FollowsTheServiceComingAndGoing) {
  // The agent is up before the service exists.
  start_agent();
  ASSERT_NO_FATAL_FAILURE(start_service());
  ASSERT_NO_FATAL_FAILURE(expect_registration("Geolocation service not in use"));

  struct Step {
    const char *command;
    const char *line;
  } steps[] = {
      {"in-use true", "Geolocation service in use"},
      {"in-use false", "Geolocation service not in use"},
      {"in-use true", "Geolocation service in use"},
  };
  for (const auto &step : steps) {
    SCOPED_TRACE(step.command);
    service->send(step.command);
    ASSERT_TRUE(service->take_line("ok"));
    EXPECT_EQ(agent->take_prefix("Geolocation").value_or("(none)"), step.line);
  }

  // A new instance, already in use when the agent finds it: the agent
  // registers with it afresh and says so.
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    service.reset();
    ASSERT_NO_FATAL_FAILURE(start_service());
    service->send("in-use true");
    ASSERT_TRUE(service->take_line("ok"));
    // The name may have been seen before InUse changed; either way the
    // last word is the current state.
    ASSERT_EQ(service->take_prefix("add-agent ").value_or("(none)"), "add-agent zarfo-demo-agent");
    auto line = agent->take_prefix("Geolocation");
    ASSERT_TRUE(line);
    if (*line == "Geolocation service not in use") line = agent->take_prefix("Geolocation");
    EXPECT_EQ(line.value_or("(none)"), "Geolocation service in use");

    // And it still answers the new instance.
    service->send("authorize t" + std::to_string(round) + " nope 2");
    EXPECT_EQ(answer("t" + std::to_string(round)), "reply t" + std::to_string(round) + " false 2");
  }
}

TEST_F(AgentRegistration, KeepsWorkingWhenRegistrationIsRefused) {
  ASSERT_NO_FATAL_FAILURE(start_service());
  service->send("in-use true");
  ASSERT_TRUE(service->take_line("ok"));
  service->send("fail-add on");
  ASSERT_TRUE(service->take_line("ok"));
  start_agent();
  ASSERT_NO_FATAL_FAILURE(expect_registration("Geolocation service in use"));
  authorize("t", "nope", 3);
  EXPECT_EQ(answer("t"), "reply t false 3");
  EXPECT_EQ(agent->err(), "");
}

// ---------------------------------------------------------------------------
// Authorization through notifications.

class AgentAuthorization : public AgentSession {
 protected:
  void SetUp() override {
    AgentSession::SetUp();
    ASSERT_NO_FATAL_FAILURE(start_notifier());
    ASSERT_NO_FATAL_FAILURE(start_service());
  }
  void start(const Env &extra = {}) {
    start_agent({}, extra);
    expect_registration("Geolocation service not in use");
  }
  void expect_no_more_answers() {
    for (const auto &line : service->untaken())
      EXPECT_TRUE(line.rfind("reply ", 0) != 0 && line.rfind("error ", 0) != 0) << line;
  }
  void send_to_notifier(const std::string &command) {
    notifier->send(command);
    ASSERT_EQ(notifier->take([](const std::string &l) {
                return l == "ok" || l.rfind("unknown ", 0) == 0 || l.rfind("bad-command", 0) == 0;
              }).value_or("(none)"),
              "ok")
        << command;
  }
};

constexpr const char kMapsQuestion[] = "Allow 'Maps' to access your location information?";
constexpr const char kWeatherBody[] =
    "Allow 'Weather' to access your location information?\\n\\n"
    "Shows the forecast for where you are.";

TEST_F(AgentAuthorization, AnswersWithTheUsersChoice) {
  ASSERT_NO_FATAL_FAILURE(start());
  struct Case {
    const char *what;
    const char *desktop_id;
    unsigned level;
    std::vector<std::string> user;  // notifier commands; ID is the notification
    const char *body;
    const char *answer;
    const char *log;
    bool closed_by_agent;
  } cases[] = {
      {"yes", "maps", 4, {"invoke ID yes"}, kMapsQuestion, "true 4", "Authorized 'Maps'", true},
      {"no", "maps", 4, {"invoke ID NO"}, kMapsQuestion, "false 4", "'Maps' not authorized", true},
      {"dismissed", "maps", 6, {"dismiss ID"}, kMapsQuestion, "false 6", "'Maps' not authorized", false},
      {"expired", "maps", 1, {"expire ID"}, kMapsQuestion, "false 1", "'Maps' not authorized", false},
      {"other capitalisation", "maps", 2, {"invoke ID Yes", "dismiss ID"}, kMapsQuestion, "false 2",
       "'Maps' not authorized", false},
      {"lower-case no", "maps", 2, {"invoke ID no", "dismiss ID"}, kMapsQuestion, "false 2",
       "'Maps' not authorized", false},
      {"reason in the body", "weather", 8, {"invoke ID yes"}, kWeatherBody, "true 8",
       "Authorized 'Weather'", true},
      // The granted level is the requested one, even above the maximum.
      {"level above the maximum", "weather", 4294967295u, {"invoke ID yes"}, kWeatherBody,
       "true 4294967295", "Authorized 'Weather'", true},
      {"level zero", "weather", 0, {"invoke ID NO"}, kWeatherBody, "false 0",
       "'Weather' not authorized", true},
  };
  int n = 0;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    std::string tag = "r" + std::to_string(n++);
    authorize(tag, c.desktop_id, c.level);
    Shown shown = next_notification();
    EXPECT_EQ(shown.app, "Zarfo");
    EXPECT_EQ(shown.summary, "Geolocation");
    EXPECT_EQ(shown.body, c.body);
    EXPECT_EQ(shown.icon, "dialog-question");
    EXPECT_EQ(shown.actions, "yes|Yes|NO|No");
    for (std::string command : c.user) {
      command.replace(command.find("ID"), 2, shown.id);
      ASSERT_NO_FATAL_FAILURE(send_to_notifier(command));
    }
    EXPECT_EQ(answer(tag), "reply " + tag + " " + c.answer);
    EXPECT_EQ(take_log("DEBUG", "").value_or("(none)"), c.log);
    if (c.closed_by_agent) {
      EXPECT_TRUE(notifier->take_line("closed " + shown.id + " 3"));
    }
  }
  // Nobody was answered twice and nothing else was shown.
  expect_no_more_answers();
  for (const auto &line : notifier->untaken()) EXPECT_NE(line.rfind("notify ", 0), 0u) << line;
}

TEST_F(AgentAuthorization, UnknownApplicationsAreRefusedAtOnce) {
  ASSERT_NO_FATAL_FAILURE(start());
  struct Case {
    const char *desktop_id;
    unsigned level;
    const char *file_id;
  } cases[] = {
      {"nope", 3, "nope.desktop"},
      {"", 0, ".desktop"},
      {"maps.desktop", 5, "maps.desktop.desktop"},
      {"Maps", 5, "Maps.desktop"},
      {"../applications/maps", 7, "../applications/maps.desktop"},
  };
  int n = 0;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.desktop_id);
    std::string tag = "u" + std::to_string(n++);
    authorize(tag, c.desktop_id, c.level);
    EXPECT_EQ(answer(tag), "reply " + tag + " false " + std::to_string(c.level));
    EXPECT_EQ(take_log("DEBUG", "").value_or("(none)"), std::string("Failed to find ") + c.file_id);
  }
  // The server prints each notification before it answers the agent, and
  // the agent answers only after that; so any notification would be in
  // the pipe by now.
  EXPECT_FALSE(notifier->take_prefix("notify ", 200));
}

TEST_F(AgentAuthorization, TheReasonIsNotTranslated) {
  ASSERT_NO_FATAL_FAILURE(start({{"LANGUAGE", "de"}}));
  authorize("t", "weather", 3);
  Shown shown = next_notification();
  EXPECT_EQ(shown.body, "Allow 'Wetter' to access your location information?\\n\\n"
                        "Shows the forecast for where you are.");
  ASSERT_NO_FATAL_FAILURE(send_to_notifier("dismiss " + shown.id));
  EXPECT_EQ(answer("t"), "reply t false 3");
}

TEST_F(AgentAuthorization, ConcurrentRequestsKeepTheirOwnAnswers) {
  ASSERT_NO_FATAL_FAILURE(start());
  authorize("first", "maps", 3);
  Shown first = next_notification();
  authorize("second", "weather", 5);
  Shown second = next_notification();
  ASSERT_NE(first.id, second.id);
  EXPECT_EQ(first.body, kMapsQuestion);
  EXPECT_EQ(second.body, kWeatherBody);

  // Answered in the other order.
  ASSERT_NO_FATAL_FAILURE(send_to_notifier("invoke " + second.id + " NO"));
  EXPECT_EQ(answer("second"), "reply second false 5");
  ASSERT_NO_FATAL_FAILURE(send_to_notifier("invoke " + first.id + " yes"));
  EXPECT_EQ(answer("first"), "reply first true 3");
}

TEST_F(AgentAuthorization, AFailedShowIsAnsweredWithTheError) {
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_NO_FATAL_FAILURE(send_to_notifier("fail-show on"));
  authorize("t", "maps", 3);
  // The service sees the server's own error.
  EXPECT_EQ(answer("t"), "error t org.freedesktop.Notifications.Error.Refused "
                         "notifications are switched off");
  EXPECT_TRUE(notifier->take_line("refused-notify"));
  EXPECT_EQ(normalize_log(agent->err()),
            "\n** (agent:PID): CRITICAL **: TIME: Failed to show notification: "
            "GDBus.Error:org.freedesktop.Notifications.Error.Refused: "
            "notifications are switched off\n\n");

  // The agent goes on as before.
  ASSERT_NO_FATAL_FAILURE(send_to_notifier("fail-show off"));
  authorize("again", "maps", 3);
  Shown shown = next_notification();
  ASSERT_NO_FATAL_FAILURE(send_to_notifier("invoke " + shown.id + " yes"));
  EXPECT_EQ(answer("again"), "reply again true 3");
}

TEST_F(AgentAuthorization, AFailedCloseIsAnsweredWithTheErrorOnce) {
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_NO_FATAL_FAILURE(send_to_notifier("fail-close on"));
  authorize("t", "maps", 3);
  Shown shown = next_notification();
  ASSERT_NO_FATAL_FAILURE(send_to_notifier("invoke " + shown.id + " yes"));
  EXPECT_EQ(answer("t"), "error t org.freedesktop.Notifications.Error.Refused this one stays");

  // The notification is still up; when it finally goes, or is acted on
  // again, the finished request must not be answered a second time.
  ASSERT_NO_FATAL_FAILURE(send_to_notifier("invoke " + shown.id + " NO"));
  ASSERT_NO_FATAL_FAILURE(send_to_notifier("fail-close off"));
  ASSERT_NO_FATAL_FAILURE(send_to_notifier("dismiss " + shown.id));

  authorize("next", "weather", 4);
  Shown next = next_notification();
  ASSERT_NO_FATAL_FAILURE(send_to_notifier("invoke " + next.id + " yes"));
  EXPECT_EQ(answer("next"), "reply next true 4");
  expect_no_more_answers();
  EXPECT_EQ(agent->stop(), SIGTERM) << "the agent did not survive: " << agent->err();
}
}  // namespace
}  // namespace agenttest
