// Many requests pending at once, answered in random order, with the agent
// running under a memory checker.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "agent-session.h"

namespace agenttest {
namespace {

constexpr const char kValgrind[] = "/usr/bin/valgrind";

class AgentLoad : public AgentSession {};

TEST_F(AgentLoad, ManyConcurrentRequestsAnsweredInRandomOrder) {
  if (access(kValgrind, X_OK) != 0) GTEST_SKIP() << "needs " << kValgrind;
  timeout_ms = 180000;  // everything is slow under the checker
  constexpr int kRequests = 200;

  ASSERT_NO_FATAL_FAILURE(start_notifier());
  ASSERT_NO_FATAL_FAILURE(start_service());
  std::string log = tmp / "memcheck.log";
  start_agent({kValgrind, "--leak-check=full", "--show-leak-kinds=definite",
               "--errors-for-leak-kinds=definite", "--num-callers=40", "--log-file=" + log},
              {{"G_SLICE", "always-malloc"}, {"G_DEBUG", "gc-friendly"},
               {"G_MESSAGES_DEBUG", std::nullopt}});
  ASSERT_NO_FATAL_FAILURE(expect_registration("Geolocation service not in use"));

  struct Request {
    std::string tag, desktop_id, body, notification, user, expected;
  };
  const char *choices[] = {"yes", "NO", "dismiss", "expire"};
  std::mt19937 random(20261210);
  std::vector<Request> requests;
  for (int i = 0; i < kRequests; ++i) {
    Request r;
    r.tag = "r" + std::to_string(i);
    bool maps = i % 2 == 0;
    r.desktop_id = maps ? "maps" : "weather";
    r.body = maps ? "Allow 'Maps' to access your location information?"
                  : "Allow 'Weather' to access your location information?\\n\\n"
                    "Shows the forecast for where you are.";
    r.user = choices[random() % 4];
    unsigned level = static_cast<unsigned>(i) * 21474836u;
    r.expected = "reply " + r.tag + (r.user == "yes" ? " true " : " false ") + std::to_string(level);
    requests.push_back(r);
    authorize(r.tag, r.desktop_id, level);
  }

  // One connection carries the calls in order and the agent handles them
  // in that order, so the notifications come in the order of the requests.
  for (auto &r : requests) {
    Shown shown = next_notification();
    ASSERT_FALSE(shown.id.empty());
    EXPECT_EQ(shown.body, r.body) << r.tag;
    r.notification = shown.id;
  }

  std::vector<Request *> order;
  for (auto &r : requests) order.push_back(&r);
  std::shuffle(order.begin(), order.end(), random);
  for (Request *r : order) {
    std::string command = r->user == "yes" || r->user == "NO"
                              ? "invoke " + r->notification + " " + r->user
                              : r->user + " " + r->notification;
    notifier->send(command);
    ASSERT_TRUE(notifier->take_line("ok", timeout_ms)) << command;
  }
  for (const auto &r : requests) EXPECT_EQ(answer(r.tag), r.expected);

  // Nothing left pending: every request was freed with its answer.
  int status = agent->stop(30000);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
  std::string report = testsupport::read_file(log);
  auto summary = report.find("ERROR SUMMARY: ");
  ASSERT_NE(summary, std::string::npos) << report;
  EXPECT_EQ(report.compare(summary, 25, "ERROR SUMMARY: 0 errors f"), 0) << report;
}

}  // namespace
}  // namespace agenttest
