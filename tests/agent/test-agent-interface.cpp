// The generated agent interface, exported in this process on a private bus
// and looked at from a second connection.

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "private-bus.h"
#include "process.h"
#include "zarfo-agent-interface.h"

namespace agenttest {
namespace {

constexpr const char kInterface[] = "org.freedesktop.Zarfo2.Agent";
constexpr const char kProperties[] = "org.freedesktop.DBus.Properties";

// Runs the default main context until `done` holds or 20 seconds pass.
template <typename Pred>
bool spin_until(Pred done) {
  bool expired = false;
  guint timer = g_timeout_add_seconds(20, [](gpointer flag) {
    *static_cast<bool *>(flag) = true;
    return G_SOURCE_REMOVE;
  }, &expired);
  while (!done() && !expired) g_main_context_iteration(nullptr, TRUE);
  if (!expired) g_source_remove(timer);
  return done();
}

struct CallResult {
  GVariant *reply = nullptr;
  GError *error = nullptr;
  bool finished = false;
  ~CallResult() {
    if (reply) g_variant_unref(reply);
    g_clear_error(&error);
  }
  // "NAME: MESSAGE" of a failed call.
  std::string error_text() const {
    if (!error) return "(no error)";
    g_autoptr(GError) copy = g_error_copy(error);
    g_autofree gchar *name = g_dbus_error_get_remote_error(copy);
    g_dbus_error_strip_remote_error(copy);
    return std::string(name ? name : "(local)") + ": " + copy->message;
  }
  std::string reply_text() const {
    if (!reply) return "(no reply: " + error_text() + ")";
    g_autofree gchar *text = g_variant_print(reply, TRUE);
    return text;
  }
};

class AgentSkeleton : public ::testing::Test {
 protected:
  void SetUp() override {
    bus = std::make_unique<PrivateBus>(tmp.path(), "bus");
    exporter = connect();
    client = connect();
    ASSERT_TRUE(exporter && client);
    subscription = g_dbus_connection_signal_subscribe(
        client, g_dbus_connection_get_unique_name(exporter), kProperties, "PropertiesChanged",
        nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection *, const gchar *, const gchar *path, const gchar *, const gchar *,
           GVariant *parameters, gpointer self) {
          g_autofree gchar *text = g_variant_print(parameters, TRUE);
          static_cast<AgentSkeleton *>(self)->signals.push_back(std::string(path) + " " + text);
        },
        this, nullptr);
  }

  void TearDown() override {
    if (client) g_dbus_connection_signal_unsubscribe(client, subscription);
    g_clear_object(&client);
    g_clear_object(&exporter);
    // Let the connections' pending callbacks run before the bus goes.
    while (g_main_context_iteration(nullptr, FALSE)) {}
    bus.reset();
  }

  GDBusConnection *connect() {
    g_autoptr(GError) error = nullptr;
    GDBusConnection *c = g_dbus_connection_new_for_address_sync(
        bus->address().c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (!c) ADD_FAILURE() << error->message;
    return c;
  }

  // Calls `method` on the exported object from the client and waits.
  std::unique_ptr<CallResult> call(const std::string &path, const char *interface,
                                   const char *method, GVariant *args) {
    auto result = std::make_unique<CallResult>();
    g_dbus_connection_call(
        client, g_dbus_connection_get_unique_name(exporter), path.c_str(), interface, method, args,
        nullptr, G_DBUS_CALL_FLAGS_NONE, 20000, nullptr,
        [](GObject *source, GAsyncResult *res, gpointer data) {
          auto *r = static_cast<CallResult *>(data);
          r->reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), res, &r->error);
          r->finished = true;
        },
        result.get());
    EXPECT_TRUE(spin_until([&] { return result->finished; })) << method;
    return result;
  }

  std::unique_ptr<CallResult> get_level(const std::string &path) {
    return call(path, kProperties, "Get", g_variant_new("(ss)", kInterface, "MaxAccuracyLevel"));
  }

  bool export_at(ZarfoAgentSkeleton *skeleton, const std::string &path) {
    g_autoptr(GError) error = nullptr;
    bool ok = g_dbus_interface_skeleton_export(G_DBUS_INTERFACE_SKELETON(skeleton), exporter,
                                               path.c_str(), &error);
    EXPECT_TRUE(ok) << (error ? error->message : "");
    return ok;
  }

  testsupport::TempDir tmp;
  std::unique_ptr<PrivateBus> bus;
  GDBusConnection *exporter = nullptr;
  GDBusConnection *client = nullptr;
  guint subscription = 0;
  std::vector<std::string> signals;  // "PATH PARAMETERS" of each PropertiesChanged
};

TEST_F(AgentSkeleton, AuthorizeAppWithoutHandlerIsUnknown) {
  g_autoptr(ZarfoAgentSkeleton) skeleton = ZARFO_AGENT_SKELETON(zarfo_agent_skeleton_new());
  ASSERT_TRUE(export_at(skeleton, "/agent"));
  auto result = call("/agent", kInterface, "AuthorizeApp", g_variant_new("(su)", "maps", 3u));
  EXPECT_EQ(result->error_text(),
            "org.freedesktop.DBus.Error.UnknownMethod: "
            "Method AuthorizeApp is not implemented on interface org.freedesktop.Zarfo2.Agent");
}

TEST_F(AgentSkeleton, AHandlingHandlerOwnsTheInvocation) {
  g_autoptr(ZarfoAgentSkeleton) skeleton = ZARFO_AGENT_SKELETON(zarfo_agent_skeleton_new());
  struct Seen {
    GDBusMethodInvocation *invocation = nullptr;
    std::string desktop_id;
    guint level = 0;
    int calls = 0;
  } seen;
  // A first handler that declines, and one that takes the call and
  // answers only later.
  g_signal_connect(skeleton, "handle-authorize-app",
                   G_CALLBACK(+[](ZarfoAgent *, GDBusMethodInvocation *, const gchar *, guint,
                                  gpointer data) -> gboolean {
                     static_cast<Seen *>(data)->calls++;
                     return FALSE;
                   }),
                   &seen);
  g_signal_connect(skeleton, "handle-authorize-app",
                   G_CALLBACK(+[](ZarfoAgent *, GDBusMethodInvocation *invocation,
                                  const gchar *desktop_id, guint level, gpointer data) -> gboolean {
                     auto *s = static_cast<Seen *>(data);
                     s->calls++;
                     s->invocation = invocation;
                     s->desktop_id = desktop_id;
                     s->level = level;
                     return TRUE;
                   }),
                   &seen);
  ASSERT_TRUE(export_at(skeleton, "/agent"));

  auto result = std::make_unique<CallResult>();
  g_dbus_connection_call(
      client, g_dbus_connection_get_unique_name(exporter), "/agent", kInterface, "AuthorizeApp",
      g_variant_new("(su)", "weather", 4000000000u), G_VARIANT_TYPE("(bu)"),
      G_DBUS_CALL_FLAGS_NONE, 20000, nullptr,
      [](GObject *source, GAsyncResult *res, gpointer data) {
        auto *r = static_cast<CallResult *>(data);
        r->reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), res, &r->error);
        r->finished = true;
      },
      result.get());
  ASSERT_TRUE(spin_until([&] { return seen.invocation != nullptr; }));
  EXPECT_EQ(seen.calls, 2);
  EXPECT_EQ(seen.desktop_id, "weather");
  EXPECT_EQ(seen.level, 4000000000u);
  EXPECT_FALSE(result->finished);

  zarfo_agent_complete_authorize_app(nullptr, seen.invocation, TRUE, 7);
  ASSERT_TRUE(spin_until([&] { return result->finished; }));
  EXPECT_EQ(result->reply_text(), "(true, uint32 7)");
}

TEST_F(AgentSkeleton, PropertyChangesAreAnnouncedOncePerIdle) {
  struct Case {
    const char *what;
    bool export_first;
    std::vector<guint> values;
    std::vector<std::string> announced;  // values in the signals that follow
  } cases[] = {
      {"two equal sets", true, {8, 8}, {"8"}},
      {"changes before the idle coalesce", true, {3, 5}, {"5"}},
      {"a change undone before the idle", true, {4, 0}, {}},
      {"set before export", false, {8}, {}},
      {"set to the initial value", true, {0}, {}},
  };
  int n = 0;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = "/agent" + std::to_string(n++);
    g_autoptr(ZarfoAgentSkeleton) skeleton = ZARFO_AGENT_SKELETON(zarfo_agent_skeleton_new());
    if (c.export_first) {
      ASSERT_TRUE(export_at(skeleton, path));
    }
    for (guint v : c.values) zarfo_agent_set_max_accuracy_level(ZARFO_AGENT(skeleton), v);
    if (!c.export_first) {
      ASSERT_TRUE(export_at(skeleton, path));
    }
    EXPECT_EQ(zarfo_agent_get_max_accuracy_level(ZARFO_AGENT(skeleton)), c.values.back());

    // A call answered after the announcement would have gone out: the
    // announcement comes first on the same connection.
    signals.clear();
    auto result = get_level(path);
    EXPECT_EQ(result->reply_text(), "(<uint32 " + std::to_string(c.values.back()) + ">,)");
    std::vector<std::string> expected;
    for (const auto &v : c.announced)
      expected.push_back(path + " ('org.freedesktop.Zarfo2.Agent', {'MaxAccuracyLevel': <uint32 " +
                         v + ">}, @as [])");
    EXPECT_EQ(signals, expected);
    g_dbus_interface_skeleton_unexport(G_DBUS_INTERFACE_SKELETON(skeleton));
  }
}

TEST_F(AgentSkeleton, TheLevelIsReadOnlyOnTheBus) {
  g_autoptr(ZarfoAgentSkeleton) skeleton = ZARFO_AGENT_SKELETON(zarfo_agent_skeleton_new());
  ASSERT_TRUE(export_at(skeleton, "/agent"));
  zarfo_agent_set_max_accuracy_level(ZARFO_AGENT(skeleton), 8);
  EXPECT_EQ(get_level("/agent")->reply_text(), "(<uint32 8>,)");
  EXPECT_EQ(call("/agent", kProperties, "GetAll", g_variant_new("(s)", kInterface))->reply_text(),
            "({'MaxAccuracyLevel': <uint32 8>},)");
  signals.clear();

  auto set = call("/agent", kProperties, "Set",
                  g_variant_new("(ssv)", kInterface, "MaxAccuracyLevel", g_variant_new_uint32(3)));
  EXPECT_EQ(set->error_text().rfind("org.freedesktop.DBus.Error.InvalidArgs: ", 0), 0u)
      << set->error_text();
  EXPECT_EQ(get_level("/agent")->reply_text(), "(<uint32 8>,)");
  EXPECT_EQ(zarfo_agent_get_max_accuracy_level(ZARFO_AGENT(skeleton)), 8u);
  EXPECT_EQ(signals, std::vector<std::string>{});
}

}  // namespace
}  // namespace agenttest
