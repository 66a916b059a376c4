// A stand-in for the desktop notification server, for the agent's tests.
//
// Owns "org.freedesktop.Notifications" on the session bus and keeps the
// notifications it is given. Commands on standard input:
//   invoke ID ACTION      the user picked ACTION on notification ID
//   dismiss ID            the user closed it (reason 2)
//   expire ID             it timed out (reason 1)
//   fail-show on|off      refuse Notify from now on (or not)
//   fail-close on|off     refuse CloseNotification from now on (or not)
// Events on standard output:
//   owned
//   notify ID\tAPP\tSUMMARY\tBODY\tICON\tACTIONS   (fields escaped; actions
//                                                  as id|label|id|label...)
//   refused-notify                                 a Notify that was refused
//   closed ID REASON                               a notification went away
//   ok / unknown ID                                a command was carried out / had no target

#include <gio/gio.h>

#include <cstdlib>
#include <map>
#include <string>

#include "peer-io.h"

namespace {

using agenttest::emit_line;
using agenttest::escape;

constexpr const char kServerXml[] =
    "<node>"
    "  <interface name='org.freedesktop.Notifications'>"
    "    <method name='GetCapabilities'><arg type='as' direction='out'/></method>"
    "    <method name='Notify'>"
    "      <arg type='s' direction='in'/><arg type='u' direction='in'/>"
    "      <arg type='s' direction='in'/><arg type='s' direction='in'/>"
    "      <arg type='s' direction='in'/><arg type='as' direction='in'/>"
    "      <arg type='a{sv}' direction='in'/><arg type='i' direction='in'/>"
    "      <arg type='u' direction='out'/>"
    "    </method>"
    "    <method name='CloseNotification'><arg type='u' direction='in'/></method>"
    "    <method name='GetServerInformation'>"
    "      <arg type='s' direction='out'/><arg type='s' direction='out'/>"
    "      <arg type='s' direction='out'/><arg type='s' direction='out'/>"
    "    </method>"
    "    <signal name='NotificationClosed'><arg type='u'/><arg type='u'/></signal>"
    "    <signal name='ActionInvoked'><arg type='u'/><arg type='s'/></signal>"
    "  </interface>"
    "</node>";
constexpr const char kPath[] = "/org/freedesktop/Notifications";
constexpr const char kInterface[] = "org.freedesktop.Notifications";
constexpr const char kRefused[] = "org.freedesktop.Notifications.Error.Refused";

struct Server {
  GDBusConnection *connection = nullptr;
  guint32 last_id = 0;
  std::map<guint32, std::string> open;  // id -> summary
  bool fail_show = false;
  bool fail_close = false;
};

Server server;

void emit(const char *signal, GVariant *args) {
  g_dbus_connection_emit_signal(server.connection, nullptr, kPath, kInterface, signal, args, nullptr);
  g_dbus_connection_flush_sync(server.connection, nullptr, nullptr);
}

void close_notification(guint32 id, guint32 reason) {
  server.open.erase(id);
  emit("NotificationClosed", g_variant_new("(uu)", id, reason));
  emit_line("closed " + std::to_string(id) + " " + std::to_string(reason));
}

void on_notify(GVariant *parameters, GDBusMethodInvocation *invocation) {
  const gchar *app, *icon, *summary, *body;
  guint32 replaces;
  g_autoptr(GVariantIter) actions = nullptr;
  g_autoptr(GVariant) hints = nullptr;
  gint32 timeout;
  g_variant_get(parameters, "(&su&s&s&sas@a{sv}i)", &app, &replaces, &icon, &summary, &body,
                &actions, &hints, &timeout);
  if (server.fail_show) {
    emit_line("refused-notify");
    g_dbus_method_invocation_return_dbus_error(invocation, kRefused, "notifications are switched off");
    return;
  }
  guint32 id = replaces && server.open.count(replaces) ? replaces : ++server.last_id;
  server.open[id] = summary;
  std::string action_text;
  const gchar *action;
  while (g_variant_iter_next(actions, "&s", &action)) {
    if (!action_text.empty()) action_text += "|";
    action_text += escape(action);
  }
  emit_line("notify " + std::to_string(id) + "\t" + escape(app) + "\t" + escape(summary) + "\t" +
            escape(body) + "\t" + escape(icon) + "\t" + action_text);
  g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", id));
}

void on_method_call(GDBusConnection *, const gchar *, const gchar *, const gchar *,
                    const gchar *method, GVariant *parameters, GDBusMethodInvocation *invocation,
                    gpointer) {
  std::string name = method;
  if (name == "Notify") {
    on_notify(parameters, invocation);
  } else if (name == "CloseNotification") {
    guint32 id;
    g_variant_get(parameters, "(u)", &id);
    if (server.fail_close) {
      g_dbus_method_invocation_return_dbus_error(invocation, kRefused, "this one stays");
      return;
    }
    // The server tells of the closing before it answers the request, as
    // a server does that closes at once.
    if (server.open.count(id)) close_notification(id, 3);
    g_dbus_method_invocation_return_value(invocation, nullptr);
  } else if (name == "GetCapabilities") {
    const gchar *caps[] = {"actions", "body", nullptr};
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(^as)", caps));
  } else if (name == "GetServerInformation") {
    g_dbus_method_invocation_return_value(
        invocation, g_variant_new("(ssss)", "fake-notification-server", "tests", "1.0", "1.2"));
  } else {
    g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.UnknownMethod",
                                               "no such method");
  }
}

const GDBusInterfaceVTable kServerVTable = {on_method_call, nullptr, nullptr, {}};

void on_command(const std::string &line) {
  auto fields = agenttest::split_fields(line, 3);
  const std::string &command = fields[0];
  if ((command == "fail-show" || command == "fail-close") && fields.size() == 2) {
    (command == "fail-show" ? server.fail_show : server.fail_close) = fields[1] == "on";
    emit_line("ok");
    return;
  }
  if (fields.size() < 2) {
    emit_line("bad-command " + escape(line));
    return;
  }
  guint32 id = static_cast<guint32>(std::stoul(fields[1]));
  if (!server.open.count(id)) {
    emit_line("unknown " + fields[1]);
    return;
  }
  if (command == "invoke" && fields.size() == 3) {
    emit("ActionInvoked", g_variant_new("(us)", id, fields[2].c_str()));
  } else if (command == "dismiss") {
    close_notification(id, 2);
  } else if (command == "expire") {
    close_notification(id, 1);
  } else {
    emit_line("bad-command " + escape(line));
    return;
  }
  emit_line("ok");
}

}  // namespace

int main() {
  g_autoptr(GError) error = nullptr;
  server.connection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!server.connection) {
    g_printerr("fake-notification-server: %s\n", error->message);
    return 1;
  }
  g_autoptr(GDBusNodeInfo) node = g_dbus_node_info_new_for_xml(kServerXml, &error);
  g_assert_no_error(error);
  if (!g_dbus_connection_register_object(server.connection, kPath, node->interfaces[0],
                                         &kServerVTable, nullptr, nullptr, &error)) {
    g_printerr("fake-notification-server: %s\n", error->message);
    return 1;
  }

  GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
  g_bus_own_name_on_connection(
      server.connection, "org.freedesktop.Notifications", G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
      [](GDBusConnection *, const gchar *, gpointer) { emit_line("owned"); },
      [](GDBusConnection *, const gchar *, gpointer) {
        emit_line("name-lost");
        std::exit(1);
      },
      nullptr, nullptr);
  agenttest::watch_commands(loop, on_command);
  g_main_loop_run(loop);
  g_main_loop_unref(loop);
  return 0;
}
